#include "platform/FtpClient.h"

#include "platform/AppState.h"
#include "platform/BlockingWait.h"
#include "platform/TextCodec.h"

#include <QFile>
#include <QHostAddress>
#include <QList>
#include <QNetworkProxy>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

namespace {

// A broken server must not eat memory: caps as other clients use them.
constexpr qsizetype kMaxLine = 8192;
constexpr qsizetype kMaxReply = 64 * 1024;
constexpr qint64 kControlReadBuffer = 64 * 1024;
// Downloads are written to the local file in big pieces. Uploads hand the
// kernel one piece at a time, as soon as it is read, so that the server
// stores one piece while the next is read; after kPumpBudget the event loop
// gets its turn.
constexpr qint64 kFileChunk = 1024 * 1024;
constexpr qint64 kUploadChunk = 256 * 1024;
constexpr qint64 kPumpBudget = 1024 * 1024;
constexpr int kProgressIntervalMs = 100;
// After an aborted transfer the server gets this long to answer once.
constexpr int kResyncSeconds = 2;

bool isBadName(const QString &name)
{
    return name.contains(QLatin1Char('\r')) || name.contains(QLatin1Char('\n'))
        || name.contains(QChar(0));
}

bool startsWithCode(const QByteArray &line, int &code)
{
    if (line.size() < 3)
        return false;
    for (int i = 0; i < 3; ++i)
        if (line[i] < '0' || line[i] > '9')
            return false;
    if (line[0] < '1' || line[0] > '5')
        return false;
    code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    return true;
}

// Six numbers "h1,h2,h3,h4,p1,p2" anywhere in a 227 reply; only the port is
// used, the address is the control connection's peer.
bool parsePassivePort(const QByteArray &text, quint16 &port)
{
    qsizetype i = text.indexOf(' ');
    if (i < 0)
        i = 3;
    while (i < text.size()) {
        while (i < text.size() && (text[i] < '0' || text[i] > '9'))
            ++i;
        int numbers[6];
        int count = 0;
        qsizetype j = i;
        while (count < 6 && j < text.size()) {
            qsizetype start = j;
            int value = 0;
            while (j < text.size() && text[j] >= '0' && text[j] <= '9' && j - start < 4)
                value = value * 10 + (text[j++] - '0');
            if (j == start)
                break;
            if (j < text.size() && text[j] >= '0' && text[j] <= '9')
                return false;  // five digits or more: not a byte
            numbers[count++] = value;
            while (j < text.size() && text[j] == ' ')
                ++j;
            if (count < 6) {
                if (j >= text.size() || text[j] != ',')
                    break;
                ++j;
                while (j < text.size() && text[j] == ' ')
                    ++j;
            }
        }
        if (count == 6) {
            for (int n : numbers)
                if (n > 255)
                    return false;
            port = quint16(numbers[4] * 256 + numbers[5]);
            return port != 0;
        }
        if (i >= text.size())
            break;
        // Not six numbers here; look from the next run of digits.
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
    }
    return false;
}

// Closing a socket this way sends a reset: the server learns that an upload
// was cut short instead of taking a plain close for its end.
void resetOnClose(QAbstractSocket *socket)
{
    const qintptr fd = socket->socketDescriptor();
    if (fd == -1)
        return;
    linger value{};
    value.l_onoff = 1;
    value.l_linger = 0;
#ifdef Q_OS_WIN
    ::setsockopt(SOCKET(fd), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char *>(&value), sizeof value);
#else
    ::setsockopt(int(fd), SOL_SOCKET, SO_LINGER, &value, sizeof value);
#endif
}

QHostAddress plainAddress(const QHostAddress &address)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(v4) : address;
}

} // namespace

class FtpClient::Private
{
public:
    explicit Private(FtpClient *owner) : q(owner) {}

    struct Reply
    {
        int code = 0;
        QByteArray text;
    };

    // One data transfer ("RETR" or "STOR") under way.
    struct Transfer
    {
        bool upload = false;
        QTcpSocket *data = nullptr;
        QTcpServer *listener = nullptr;
        QFile file;
        QByteArray pending;       // received bytes not yet written to the file
        qint64 count = 0;         // bytes moved so far
        qint64 reported = -1;     // count at the last progress report
        qint64 readFromFile = 0;  // uploads: bytes taken from the local file
        bool commandSent = false;
        bool dataConnected = false;
        bool dataDone = false;    // the data connection has closed
        bool dataError = false;
        bool sourceAtEnd = false; // uploads: the whole local file is queued
        bool pumping = false;     // uploads: pumpUpload is on the stack
        QByteArray outgoing;      // uploads: the piece being sent, reused
        bool aborted = false;     // by the progress handler
        bool localError = false;  // the local file could not be opened, read or written
        int finalCode = 0;
        QTimer progressTimer;
    };

    FtpClient *q;
    QString host;
    quint16 port = 21;
    QString user;
    QString password;
    bool passive = false;
    int timeout = 0;
    QString dir;
    QString file;
    QString localFile;
    QHostAddress localAddress;
    qint64 lastSize = 0;

    QPointer<QTcpSocket> ctrl;
    bool ctrlGone = true;
    bool sessionOpen = false;  // greeted positively and not yet closed
    QByteArray lineBuffer;
    int multiCode = 0;         // code of the multi-line reply being read
    QByteArray multiText;
    QList<Reply> replies;

    BlockingWait *wait = nullptr;
    std::function<bool()> until;
    bool busy = false;
    Transfer *xfer = nullptr;

    // One operation at a time: an operator action that re-enters the client
    // during a wait gets a failure instead of a second conversation.
    class Operation
    {
    public:
        explicit Operation(Private &d) : m_d(d), m_wait(d.timeout)
        {
            m_d.busy = true;
            m_d.wait = &m_wait;
        }
        ~Operation()
        {
            m_d.wait = nullptr;
            m_d.until = nullptr;
            m_d.busy = false;
        }

    private:
        Private &m_d;
        BlockingWait m_wait;
    };

    bool usable() const { return ctrl && !ctrlGone && ctrl->state() == QAbstractSocket::ConnectedState; }

    void poke()
    {
        if (wait && until && !wait->finished() && until())
            wait->finish(true);
    }

    BlockingWait::Result waitFor(std::function<bool()> condition)
    {
        if (applicationEnding())
            return BlockingWait::Result::Ending;
        if (condition())
            return BlockingWait::Result::Done;
        until = std::move(condition);
        wait->resume();
        const BlockingWait::Result result = wait->exec();
        until = nullptr;
        return result;
    }

    // --- control connection ---

    void openControl()
    {
        dropControl();
        ctrl = new QTcpSocket(q);
        ctrlGone = false;
        lineBuffer.clear();
        multiCode = 0;
        multiText.clear();
        replies.clear();
        ctrl->setReadBufferSize(kControlReadBuffer);
        // Recorders are reached directly: a desktop proxy setting must not
        // reroute FTP, and asking the system for one costs every connection.
        ctrl->setProxy(QNetworkProxy::NoProxy);
        QTcpSocket *socket = ctrl;
        QObject::connect(socket, &QTcpSocket::connected, q, [this, socket] {
            // Commands and replies are tiny: without this each would wait
            // for the peer's delayed acknowledgement.
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            poke();
        });
        QObject::connect(socket, &QTcpSocket::readyRead, q, [this] { readControl(); });
        QObject::connect(socket, &QTcpSocket::disconnected, q, [this] { controlLost(); });
        QObject::connect(socket, &QTcpSocket::errorOccurred, q, [this](QAbstractSocket::SocketError) {
            controlLost();
        });
        if (!localAddress.isNull())
            socket->bind(localAddress);
        socket->connectToHost(host, port);
    }

    void controlLost()
    {
        if (!ctrl || ctrlGone)
            return;
        readControl();  // data may still be buffered after the close
        if (!ctrl)
            return;
        ctrlGone = true;
        closeSession();
        poke();
    }

    void closeSession()
    {
        if (sessionOpen) {
            sessionOpen = false;
            try {
                emit q->sessionClosed(0);
            } catch (...) {
                // The state shown is not worth a failed operation.
            }
        }
    }

    // Ends the control connection without a word: after a time-out or a
    // broken reply the conversation can no longer be trusted.
    void dropControl()
    {
        if (ctrl) {
            QTcpSocket *socket = ctrl;
            ctrl = nullptr;
            QObject::disconnect(socket, nullptr, q, nullptr);
            socket->abort();
            socket->deleteLater();
        }
        ctrlGone = true;
        replies.clear();
        closeSession();
        poke();
    }

    void closeControlGracefully()
    {
        if (ctrl) {
            QTcpSocket *socket = ctrl;
            ctrl = nullptr;
            QObject::disconnect(socket, nullptr, q, nullptr);
            socket->disconnectFromHost();
            socket->deleteLater();
        }
        ctrlGone = true;
        replies.clear();
        closeSession();
    }

    void readControl()
    {
        if (!ctrl)
            return;
        const QByteArray chunk = ctrl->readAll();
        if (chunk.isEmpty())
            return;
        if (wait)
            wait->progress();
        lineBuffer += chunk;
        qsizetype start = 0;
        for (;;) {
            const qsizetype end = lineBuffer.indexOf('\n', start);
            if (end < 0)
                break;
            QByteArray line = lineBuffer.mid(start, end - start);
            start = end + 1;
            if (line.endsWith('\r'))
                line.chop(1);
            if (!takeLine(line)) {
                protocolBroken();
                return;
            }
        }
        lineBuffer.remove(0, start);
        if (lineBuffer.size() > kMaxLine) {
            protocolBroken();
            return;
        }
        poke();
    }

    // A reply runs from "NNN-" to the first line that begins "NNN ".
    bool takeLine(const QByteArray &line)
    {
        if (line.size() > kMaxLine)
            return false;
        int code = 0;
        if (multiCode == 0) {
            if (!startsWithCode(line, code))
                return true;  // stray text between replies
            if (line.size() > 3 && line[3] == '-') {
                multiCode = code;
                multiText = line;
                return true;
            }
            replies.append({code, line});
            return true;
        }
        if (multiText.size() + line.size() > kMaxReply)
            return false;
        multiText += '\n';
        multiText += line;
        if (startsWithCode(line, code) && code == multiCode && (line.size() == 3 || line[3] == ' ')) {
            replies.append({multiCode, multiText});
            multiCode = 0;
            multiText.clear();
        }
        return true;
    }

    void protocolBroken()
    {
        lineBuffer.clear();
        multiText.clear();
        multiCode = 0;
        dropControl();
    }

    bool sendCommand(const QByteArray &verb, const QString *argument)
    {
        if (!usable())
            return false;
        QByteArray bytes = verb;
        if (argument) {
            bytes += ' ';
            bytes += toWin1251(*argument);
        }
        bytes += "\r\n";
        // Whatever came unasked (a late or idle message) is not this
        // command's answer.
        replies.clear();
        if (ctrl->write(bytes) != bytes.size()) {
            dropControl();
            return false;
        }
        ctrl->flush();
        return true;
    }

    // The next final reply; 1xx replies are passed over. False when the
    // connection is gone; a wait that timed out or was ended drops it.
    bool readFinal(Reply &reply)
    {
        for (;;) {
            const BlockingWait::Result result =
                waitFor([this] { return !replies.isEmpty() || ctrlGone; });
            if (result != BlockingWait::Result::Done) {
                dropControl();
                return false;
            }
            if (replies.isEmpty())
                return false;
            reply = replies.takeFirst();
            if (reply.code >= 200)
                return true;
        }
    }

    bool simpleCommand(const QByteArray &verb, const QString &argument, Reply &reply)
    {
        if (busy || isBadName(argument) || !usable() || applicationEnding())
            return false;
        Operation op(*this);
        return sendCommand(verb, &argument) && readFinal(reply);
    }

    // --- log-in ---

    bool connectAndLogin()
    {
        if (busy || isBadName(user) || isBadName(password) || isBadName(host) || host.isEmpty())
            return false;
        if (applicationEnding())
            return false;
        Operation op(*this);
        openControl();
        Reply reply;
        if (!readFinal(reply))
            return false;
        if (reply.code / 100 != 2) {
            dropControl();
            return false;
        }
        sessionOpen = true;
        try {
            emit q->sessionConnected(0);
        } catch (...) {
            // As above: only a display.
        }
        if (!sendCommand("USER", &user) || !readFinal(reply))
            return false;
        if (reply.code == 230)
            return true;
        if (reply.code != 331)
            return false;
        if (!sendCommand("PASS", &password) || !readFinal(reply))
            return false;
        return reply.code == 230 || reply.code == 202;
    }

    // --- transfers ---

    void scheduleReport(bool now)
    {
        if (now)
            xfer->progressTimer.start(0);
        else if (!xfer->progressTimer.isActive())
            xfer->progressTimer.start(kProgressIntervalMs);
    }

    void report()
    {
        Transfer *x = xfer;
        if (!x || x->aborted)
            return;
        x->reported = x->count;
        bool abort = false;
        try {
            emit q->progress(x->count, abort);
        } catch (...) {
            // A handler that fails ends the transfer, never the caller.
            abort = true;
        }
        if (abort && xfer == x)
            x->aborted = true;
        poke();
    }

    void moved(qint64 bytes)
    {
        xfer->count += bytes;
        if (wait)
            wait->progress();
        scheduleReport(xfer->reported < 0);
    }

    bool openLocalForWriting()
    {
        Transfer &x = *xfer;
        if (x.file.isOpen() || x.localError)
            return !x.localError;
        x.file.setFileName(localFile);
        if (!x.file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
            x.localError = true;
        return !x.localError;
    }

    bool flushPending()
    {
        Transfer &x = *xfer;
        if (x.pending.isEmpty())
            return true;
        if (!openLocalForWriting())
            return false;
        if (x.file.write(x.pending) != x.pending.size())
            x.localError = true;
        x.pending.clear();
        return !x.localError;
    }

    void readData()
    {
        Transfer *x = xfer;
        if (!x || !x->data)
            return;
        qint64 got = 0;
        for (;;) {
            const qint64 available = x->data->bytesAvailable();
            if (available <= 0)
                break;
            const qsizetype used = x->pending.size();
            const qint64 room = qMax<qint64>(kFileChunk - used, 64 * 1024);
            const qint64 take = qMin(available, room);
            x->pending.resize(used + take);
            const qint64 n = x->data->read(x->pending.data() + used, take);
            x->pending.resize(used + qMax<qint64>(n, 0));
            if (n <= 0)
                break;
            got += n;
            if (x->pending.size() >= kFileChunk && !x->localError)
                flushPending();
            if (x->localError)
                x->pending.clear();
        }
        if (got > 0)
            moved(got);
        if (x->localError)
            poke();
    }

    void pumpUpload()
    {
        Transfer *x = xfer;
        if (!x || !x->upload || !x->data || !x->commandSent || !x->dataConnected || x->sourceAtEnd || x->localError
            || x->pumping)
            return;
        // flush() reports the bytes written at once, which calls here again.
        x->pumping = true;
        qint64 queued = 0;
        while (!x->sourceAtEnd && !x->dataError && !x->dataDone
               && x->data->state() == QAbstractSocket::ConnectedState && x->data->bytesToWrite() == 0) {
            x->outgoing.resize(kUploadChunk);
            const qint64 n = x->file.read(x->outgoing.data(), kUploadChunk);
            if (n < 0) {
                x->localError = true;
                poke();
                break;
            }
            if (n == 0) {
                x->sourceAtEnd = true;
                // Closing is the end-of-file mark; Qt closes only once all
                // queued bytes have gone out.
                x->data->disconnectFromHost();
                break;
            }
            x->outgoing.resize(n);
            x->readFromFile += n;
            x->data->write(x->outgoing);
            queued += n;
            // The piece left queued brings the next call when it is written.
            if (queued >= kPumpBudget)
                break;
            x->data->flush();
        }
        x->pumping = false;
    }

    void attachData(QTcpSocket *socket)
    {
        Transfer *x = xfer;
        x->data = socket;
        socket->setParent(q);
        QObject::connect(socket, &QTcpSocket::connected, q, [this, x] {
            if (xfer != x)
                return;
            x->dataConnected = true;
            x->data->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            pumpUpload();
            poke();
        });
        QObject::connect(socket, &QTcpSocket::readyRead, q, [this] { readData(); });
        // Not bytesWritten: Qt drops that one when a flush() happens inside
        // its handler, and pumpUpload flushes there.
        QObject::connect(socket, &QTcpSocket::channelBytesWritten, q, [this, x](int, qint64 bytes) {
            if (xfer != x)
                return;
            moved(bytes);
            pumpUpload();
        });
        QObject::connect(socket, &QTcpSocket::disconnected, q, [this, x] { dataClosed(x); });
        QObject::connect(socket, &QTcpSocket::errorOccurred, q, [this, x](QAbstractSocket::SocketError error) {
            if (xfer != x)
                return;
            if (error == QAbstractSocket::RemoteHostClosedError && !x->upload) {
                dataClosed(x);
                return;
            }
            if (error == QAbstractSocket::RemoteHostClosedError && x->sourceAtEnd
                && x->data && x->data->bytesToWrite() == 0)
                return;
            x->dataError = true;
            poke();
        });
    }

    void dataClosed(Transfer *x)
    {
        if (xfer != x || x->dataDone)
            return;
        if (!x->upload)
            readData();  // what was buffered before the close
        x->dataDone = true;
        if (x->count != x->reported)
            scheduleReport(true);
        poke();
    }

    void acceptData()
    {
        Transfer *x = xfer;
        if (!x || !x->listener)
            return;
        while (QTcpSocket *socket = x->listener->nextPendingConnection()) {
            // Only the server we talk to may bring the data.
            if (x->data || !ctrl || plainAddress(socket->peerAddress()) != plainAddress(ctrl->peerAddress())) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            attachData(socket);
            x->dataConnected = true;
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            x->listener->close();
            pumpUpload();
        }
        poke();
    }

    void closeTransferSockets(Transfer &x, bool reset)
    {
        x.progressTimer.stop();
        if (x.data) {
            QTcpSocket *socket = x.data;
            x.data = nullptr;
            QObject::disconnect(socket, nullptr, q, nullptr);
            if (reset) {
                resetOnClose(socket);
                socket->abort();
            } else {
                socket->disconnectFromHost();
            }
            socket->deleteLater();
        }
        if (x.listener) {
            QObject::disconnect(x.listener, nullptr, q, nullptr);
            x.listener->close();
            x.listener->deleteLater();
            x.listener = nullptr;
        }
    }

    // After a transfer cut short by this side: one brief wait for the
    // server's word on it, or the control connection goes.
    void resynchronise(Transfer &x)
    {
        if (!x.commandSent || x.finalCode != 0 || !usable())
            return;
        BlockingWait brief(kResyncSeconds);
        BlockingWait *operationWait = wait;
        wait = &brief;
        for (;;) {
            const BlockingWait::Result result =
                waitFor([this] { return !replies.isEmpty() || ctrlGone; });
            if (result != BlockingWait::Result::Done || replies.isEmpty()) {
                dropControl();
                break;
            }
            if (replies.takeFirst().code >= 200)
                break;
        }
        wait = operationWait;
    }

    bool failTransfer(Transfer &x, bool resync)
    {
        closeTransferSockets(x, true);
        if (x.file.isOpen())
            x.file.close();
        if (resync)
            resynchronise(x);
        return false;
    }

    bool transfer(bool upload)
    {
        if (busy || isBadName(file) || isBadName(localFile) || !usable())
            return false;
        if (applicationEnding())
            return false;
        Operation op(*this);
        Transfer x;
        x.upload = upload;
        x.progressTimer.setSingleShot(true);
        QObject::connect(&x.progressTimer, &QTimer::timeout, q, [this] { report(); });
        xfer = &x;
        struct Detach
        {
            Private &d;
            ~Detach() { d.xfer = nullptr; }
        } detach{*this};

        if (upload) {
            x.file.setFileName(localFile);
            if (!x.file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
                return false;
        }

        Reply reply;
        if (passive) {
            if (!sendCommand("PASV", nullptr) || !readFinal(reply))
                return failTransfer(x, false);
            quint16 dataPort = 0;
            if (reply.code != 227 || !parsePassivePort(reply.text, dataPort))
                return failTransfer(x, false);
            auto *socket = new QTcpSocket(q);
            socket->setProxy(QNetworkProxy::NoProxy);
            attachData(socket);
            const QHostAddress local = ctrl->localAddress();
            if (!local.isNull())
                socket->bind(local);
            socket->connectToHost(ctrl->peerAddress(), dataPort);
            const BlockingWait::Result result = waitFor([this, &x] {
                return x.dataConnected || x.dataError || x.dataDone || ctrlGone;
            });
            if (result != BlockingWait::Result::Done) {
                failTransfer(x, false);
                dropControl();
                return false;
            }
            if (!x.dataConnected || x.dataDone || x.dataError)
                return failTransfer(x, false);
        } else {
            const QHostAddress local = plainAddress(ctrl->localAddress());
            if (local.protocol() != QAbstractSocket::IPv4Protocol)
                return failTransfer(x, false);
            x.listener = new QTcpServer(q);
            x.listener->setProxy(QNetworkProxy::NoProxy);
            QObject::connect(x.listener, &QTcpServer::newConnection, q, [this] { acceptData(); });
            if (!x.listener->listen(local, 0))
                return failTransfer(x, false);
            const quint32 a = local.toIPv4Address();
            const quint16 p = x.listener->serverPort();
            const QString argument = QStringLiteral("%1,%2,%3,%4,%5,%6")
                                         .arg(a >> 24).arg((a >> 16) & 0xFF).arg((a >> 8) & 0xFF).arg(a & 0xFF)
                                         .arg(p >> 8).arg(p & 0xFF);
            if (!sendCommand("PORT", &argument) || !readFinal(reply))
                return failTransfer(x, false);
            if (reply.code / 100 != 2)
                return failTransfer(x, false);
        }

        if (!sendCommand(upload ? "STOR" : "RETR", &file))
            return failTransfer(x, false);
        x.commandSent = true;
        scheduleReport(true);
        pumpUpload();

        for (;;) {
            // Done only when both the final reply and the end of the data
            // have come, in either order, and the last count was reported.
            const BlockingWait::Result result = waitFor([this, &x] {
                return (x.finalCode == 0 && (!replies.isEmpty() || ctrlGone))
                    || x.aborted || x.localError || x.dataError
                    || (x.finalCode != 0 && x.dataDone && x.reported == x.count);
            });
            if (result != BlockingWait::Result::Done) {
                failTransfer(x, false);
                dropControl();
                return false;
            }
            while (x.finalCode == 0 && !replies.isEmpty()) {
                const Reply r = replies.takeFirst();
                if (r.code < 200) {
                    if (!upload)
                        openLocalForWriting();
                    continue;
                }
                x.finalCode = r.code;
            }
            if (x.aborted || x.localError)
                return failTransfer(x, true);
            if (x.finalCode != 0 && x.finalCode / 100 != 2)
                return failTransfer(x, false);
            if (x.dataError)
                return failTransfer(x, true);
            if (x.finalCode == 0 && ctrlGone)
                return failTransfer(x, false);
            if (x.finalCode != 0 && x.dataDone && x.reported == x.count)
                break;
        }

        closeTransferSockets(x, false);
        if (upload) {
            const bool whole = x.sourceAtEnd && x.count == x.readFromFile;
            x.file.close();
            return whole;
        }
        if (!flushPending() || !openLocalForWriting())
            return failTransfer(x, false);
        x.file.close();
        return x.file.error() == QFileDevice::NoError;
    }
};

FtpClient::FtpClient(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this))
{
}

FtpClient::~FtpClient()
{
    if (d->ctrl) {
        QObject::disconnect(d->ctrl, nullptr, this, nullptr);
        d->ctrl->abort();
    }
}

void FtpClient::setHostName(const QString &host) { d->host = host; }
QString FtpClient::hostName() const { return d->host; }
void FtpClient::setPort(quint16 port) { d->port = port; }
void FtpClient::setUserName(const QString &user) { d->user = user; }
void FtpClient::setPassword(const QString &password) { d->password = password; }
void FtpClient::setPassive(bool passive) { d->passive = passive; }
void FtpClient::setTimeout(int seconds) { d->timeout = seconds; }
void FtpClient::setHostDirName(const QString &dir) { d->dir = dir; }
void FtpClient::setHostFileName(const QString &name) { d->file = name; }
void FtpClient::setLocalFileName(const QString &name) { d->localFile = name; }
void FtpClient::setLocalAddress(const QHostAddress &address) { d->localAddress = address; }

bool FtpClient::connectAndLogin()
{
    return d->connectAndLogin();
}

bool FtpClient::typeBinary()
{
    Private::Reply reply;
    return d->simpleCommand("TYPE", QStringLiteral("I"), reply) && reply.code / 100 == 2;
}

bool FtpClient::changeDirectory()
{
    Private::Reply reply;
    return d->simpleCommand("CWD", d->dir, reply) && reply.code / 100 == 2;
}

bool FtpClient::size()
{
    Private::Reply reply;
    if (!d->simpleCommand("SIZE", d->file, reply) || reply.code != 213)
        return false;
    // "213 <digits>"; a multi-line reply carries the number on its last line.
    QByteArray text = reply.text.mid(reply.text.lastIndexOf('\n') + 1).mid(4).trimmed();
    if (text.isEmpty() || text.size() > 18)
        return false;
    qint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    d->lastSize = value;
    return true;
}

qint64 FtpClient::sizeResult() const
{
    return d->lastSize;
}

bool FtpClient::get()
{
    return d->transfer(false);
}

bool FtpClient::put()
{
    return d->transfer(true);
}

bool FtpClient::deleteFile()
{
    Private::Reply reply;
    return d->simpleCommand("DELE", d->file, reply) && reply.code / 100 == 2;
}

bool FtpClient::quit()
{
    if (d->busy)
        return false;
    if (!d->usable()) {
        d->dropControl();
        return false;
    }
    bool ok = false;
    {
        Private::Operation op(*d);
        Private::Reply reply;
        ok = d->sendCommand("QUIT", nullptr) && d->readFinal(reply) && reply.code / 100 == 2;
    }
    d->closeControlGracefully();
    return ok;
}

bool FtpClient::isConnected() const
{
    return d->usable();
}
