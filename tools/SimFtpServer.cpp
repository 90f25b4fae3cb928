#include "tools/SimFtpServer.h"

#include "platform/TextCodec.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>
#include <limits>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

constexpr qsizetype kMaxCommandLine = 8192;
constexpr qint64 kChunk = 512 * 1024;
constexpr qint64 kSendAhead = 2 * 1024 * 1024;
constexpr int kDataConnectTimeoutMs = 30000;
constexpr int kRateTickMs = 10;

QHostAddress plainAddress(const QHostAddress &address)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(v4) : address;
}

QString commaAddress(const QHostAddress &address)
{
    const quint32 a = plainAddress(address).toIPv4Address();
    return QStringLiteral("%1,%2,%3,%4").arg(a >> 24).arg((a >> 16) & 0xFF).arg((a >> 8) & 0xFF).arg(a & 0xFF);
}

} // namespace

// One control connection and whatever data connection it has open.
class SimFtpSession : public QObject
{
public:
    SimFtpSession(SimFtpServer *server, QTcpSocket *ctrl);
    ~SimFtpSession() override;
    void greet();
    void end();

private:
    enum class DataMode { None, Passive, Active };
    enum class Kind { Retr, Stor, List, Nlst };

    struct Transfer
    {
        bool active = false;
        Kind kind = Kind::Retr;
        QString path;
        QFile file;
        QByteArray listing;
        qint64 listingPos = 0;
        QTcpSocket *data = nullptr;
        int rawFd = -1;
        QSocketNotifier *rawNotifier = nullptr;
        qint64 queued = 0;
        qint64 written = 0;
        bool sourceAtEnd = false;
        bool stalled = false;
        bool completionSent = false;
        QTimer rateTimer;
        QElapsedTimer rateClock;
        QTimer connectTimer;
    };

    const SimFtpServer::Settings &s() const { return m_server->m_settings; }

    void readCommands();
    void handle(const QByteArray &line);
    void reply(int code, const QString &text);
    void sendRaw(const QByteArray &bytes);
    void trickleOne();
    void closeAfterReplies();

    QString resolve(const QString &argument) const;
    QString localPath(const QString &serverPath) const;

    void resetDataPrep();
    void acceptPassive();
    void startTransfer(Kind kind, const QString &path);
    void dataReady(QTcpSocket *socket);
    void pumpDownload();
    void downloadClosed();
    void takeOverUpload(QTcpSocket *socket);
    void readUpload();
    void finishTransfer(const QString &outcome, int code, const QString &text, bool delayed);
    void closeTransfer();
    void dropSession(const QString &outcome);
    QByteArray listing(const QString &dir, bool namesOnly) const;
    QString verbName(Kind kind) const;

    SimFtpServer *m_server;
    QTcpSocket *m_ctrl;
    QByteArray m_in;
    QByteArray m_out;
    QTimer m_trickleTimer;
    bool m_closing = false;
    bool m_ended = false;
    QList<QByteArray> m_queued;

    QString m_userName;
    bool m_userGiven = false;
    bool m_loggedIn = false;
    QString m_cwd = QStringLiteral("/");
    bool m_ascii = true;

    DataMode m_mode = DataMode::None;
    QTcpServer *m_passive = nullptr;
    QTcpSocket *m_earlyData = nullptr;
    QHostAddress m_activeAddress;
    quint16 m_activePort = 0;
    Transfer m_x;
};

SimFtpSession::SimFtpSession(SimFtpServer *server, QTcpSocket *ctrl)
    : QObject(server)
    , m_server(server)
    , m_ctrl(ctrl)
{
    m_ctrl->setParent(this);
    m_ctrl->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(m_ctrl, &QTcpSocket::readyRead, this, &SimFtpSession::readCommands);
    connect(m_ctrl, &QTcpSocket::disconnected, this, [this] { dropSession(QStringLiteral("aborted")); });
    m_trickleTimer.setInterval(1);
    connect(&m_trickleTimer, &QTimer::timeout, this, &SimFtpSession::trickleOne);
    m_x.rateTimer.setSingleShot(true);
    connect(&m_x.rateTimer, &QTimer::timeout, this, [this] {
        if (m_x.rawNotifier) {
            m_x.rawNotifier->setEnabled(true);
            readUpload();
        } else {
            pumpDownload();
        }
    });
    m_x.connectTimer.setSingleShot(true);
    connect(&m_x.connectTimer, &QTimer::timeout, this, [this] {
        finishTransfer(QStringLiteral("no-data-connection"), 425, QStringLiteral("Failed to establish connection."), false);
    });
}

SimFtpSession::~SimFtpSession()
{
    closeTransfer();
}

void SimFtpSession::greet()
{
    if (s().stalled.contains(QStringLiteral("CONNECT")))
        return;
    const int code = s().refused.value(QStringLiteral("CONNECT"), 0);
    if (code != 0) {
        reply(code, QStringLiteral("Service not available."));
        if (code == 421)
            closeAfterReplies();
        return;
    }
    if (s().multilineGreeting) {
        sendRaw("220-----------------------------------------\r\n"
                "220-Welcome to the house recorder\r\n"
                "123 lines may begin with digits\r\n"
                "221 and with another code\r\n"
                "220-\r\n"
                "220 Ready.\r\n");
        return;
    }
    reply(220, QStringLiteral("(SimFtp) Ready."));
}

void SimFtpSession::end()
{
    dropSession(QStringLiteral("aborted"));
}

void SimFtpSession::dropSession(const QString &outcome)
{
    if (m_ended)
        return;
    m_ended = true;
    if (m_x.active)
        m_server->recordTransfer(QStringLiteral("%1 %2 %3 %4").arg(verbName(m_x.kind), m_x.path, outcome).arg(m_x.written));
    m_x.active = false;
    closeTransfer();
    resetDataPrep();
    m_trickleTimer.stop();
    disconnect(m_ctrl, nullptr, this, nullptr);
    m_ctrl->abort();
    m_server->sessionEnded(this);
    deleteLater();
}

void SimFtpSession::readCommands()
{
    if (m_ended)
        return;
    m_in += m_ctrl->readAll();
    for (;;) {
        const qsizetype end = m_in.indexOf('\n');
        if (end < 0)
            break;
        QByteArray line = m_in.left(end);
        m_in.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        m_server->record(fromWin1251(line));
        const QByteArray verb = line.left(line.indexOf(' ')).toUpper();
        // Like real servers, one command at a time: what comes during a
        // transfer waits for its end, except an abort.
        if ((m_x.active || !m_queued.isEmpty()) && verb != "ABOR")
            m_queued.append(line);
        else
            handle(line);
        if (m_ended)
            return;
    }
    if (m_in.size() > kMaxCommandLine) {
        m_in.clear();
        reply(500, QStringLiteral("Command line too long."));
        closeAfterReplies();
    }
}

void SimFtpSession::sendRaw(const QByteArray &bytes)
{
    if (m_ended || m_closing)
        return;
    if (s().trickle) {
        m_out += bytes;
        if (!m_trickleTimer.isActive())
            m_trickleTimer.start();
        return;
    }
    m_ctrl->write(bytes);
    m_ctrl->flush();
}

void SimFtpSession::trickleOne()
{
    if (m_out.isEmpty()) {
        m_trickleTimer.stop();
        return;
    }
    m_ctrl->write(m_out.left(1));
    m_ctrl->flush();
    m_out.remove(0, 1);
    if (m_out.isEmpty()) {
        m_trickleTimer.stop();
        if (m_closing)
            m_ctrl->disconnectFromHost();
    }
}

void SimFtpSession::reply(int code, const QString &text)
{
    const QByteArray number = QByteArray::number(code);
    const QByteArray body = toWin1251(text);
    if (s().multilineReplies)
        sendRaw(number + '-' + body + "\r\n" + number + ' ' + body + "\r\n");
    else
        sendRaw(number + ' ' + body + "\r\n");
}

void SimFtpSession::closeAfterReplies()
{
    if (m_closing)
        return;
    m_closing = true;
    if (m_out.isEmpty())
        m_ctrl->disconnectFromHost();
}

QString SimFtpSession::resolve(const QString &argument) const
{
    const QString path = argument.startsWith(QLatin1Char('/')) ? argument : m_cwd + QLatin1Char('/') + argument;
    QStringList parts;
    for (const QString &part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts.append(part);
    }
    return QLatin1Char('/') + parts.join(QLatin1Char('/'));
}

QString SimFtpSession::localPath(const QString &serverPath) const
{
    if (s().root.isEmpty())
        return QString();
    return s().root + serverPath;
}

QString SimFtpSession::verbName(Kind kind) const
{
    switch (kind) {
    case Kind::Retr: return QStringLiteral("RETR");
    case Kind::Stor: return QStringLiteral("STOR");
    case Kind::List: return QStringLiteral("LIST");
    case Kind::Nlst: return QStringLiteral("NLST");
    }
    return QString();
}

void SimFtpSession::handle(const QByteArray &line)
{
    const qsizetype space = line.indexOf(' ');
    const QString verb = QString::fromLatin1(space < 0 ? line : line.left(space)).toUpper();
    const QString argument = space < 0 ? QString() : fromWin1251(line.mid(space + 1));

    if (s().stalled.contains(verb))
        return;
    if (s().refused.contains(verb)) {
        const int code = s().refused.value(verb);
        reply(code, code < 400 ? QStringLiteral("As you wish.") : QStringLiteral("Refused."));
        if ((verb == QLatin1String("USER") && code == 230)
            || (verb == QLatin1String("PASS") && (code == 230 || code == 202)))
            m_loggedIn = true;
        if (verb == QLatin1String("USER") && code == 331) {
            m_userGiven = true;
            m_userName = argument;
        }
        if (code == 421)
            closeAfterReplies();
        return;
    }

    if (verb == QLatin1String("USER")) {
        m_userName = argument;
        m_userGiven = true;
        m_loggedIn = false;
        if (s().userWithoutPassword && !s().refuseLogin && argument == s().user) {
            m_loggedIn = true;
            reply(230, QStringLiteral("Login successful."));
        } else {
            reply(331, QStringLiteral("Please specify the password."));
        }
        return;
    }
    if (verb == QLatin1String("PASS")) {
        if (!m_userGiven) {
            reply(503, QStringLiteral("Login with USER first."));
            return;
        }
        if (s().refuseLogin || m_userName != s().user || argument != s().password) {
            reply(530, QStringLiteral("Login incorrect."));
            return;
        }
        m_loggedIn = true;
        reply(230, QStringLiteral("Login successful."));
        return;
    }
    if (verb == QLatin1String("QUIT")) {
        reply(221, QStringLiteral("Goodbye."));
        closeAfterReplies();
        return;
    }
    if (verb == QLatin1String("SYST")) {
        reply(215, QStringLiteral("UNIX Type: L8"));
        return;
    }
    if (verb == QLatin1String("NOOP")) {
        reply(200, QStringLiteral("NOOP ok."));
        return;
    }
    if (verb == QLatin1String("FEAT")) {
        sendRaw("211-Features:\r\n EPSV\r\n PASV\r\n SIZE\r\n211 End\r\n");
        return;
    }
    if (verb == QLatin1String("ABOR")) {
        if (m_x.active) {
            finishTransfer(QStringLiteral("aborted"), 426, QStringLiteral("Connection closed; transfer aborted."), false);
            reply(226, QStringLiteral("ABOR successful."));
        } else {
            reply(225, QStringLiteral("No transfer to ABOR."));
        }
        return;
    }
    if (!m_loggedIn) {
        reply(530, QStringLiteral("Please login with USER and PASS."));
        return;
    }
    if (verb == QLatin1String("PWD") || verb == QLatin1String("XPWD")) {
        reply(257, QLatin1Char('"') + m_cwd + QStringLiteral("\" is the current directory"));
        return;
    }
    if (verb == QLatin1String("CWD") || verb == QLatin1String("CDUP")) {
        const QString target = resolve(verb == QLatin1String("CDUP") ? QStringLiteral("..") : argument);
        const QString local = localPath(target);
        if (!local.isEmpty() && QFileInfo(local).isDir()) {
            m_cwd = target;
            reply(250, QStringLiteral("Directory successfully changed."));
        } else {
            reply(550, QStringLiteral("Failed to change directory."));
        }
        return;
    }
    if (verb == QLatin1String("TYPE")) {
        const QString type = argument.trimmed().toUpper();
        if (type == QLatin1String("I") || type == QLatin1String("L 8")) {
            m_ascii = false;
            reply(200, QStringLiteral("Switching to Binary mode."));
        } else if (type == QLatin1String("A") || type == QLatin1String("A N")) {
            m_ascii = true;
            reply(200, QStringLiteral("Switching to ASCII mode."));
        } else {
            reply(504, QStringLiteral("Bad TYPE command."));
        }
        return;
    }
    if (verb == QLatin1String("SIZE")) {
        if (s().sizeRefusedInAscii && m_ascii) {
            reply(550, QStringLiteral("SIZE not allowed in ASCII mode"));
            return;
        }
        const QFileInfo info(localPath(resolve(argument)));
        if (!s().root.isEmpty() && info.isFile())
            reply(213, QString::number(info.size()));
        else
            reply(550, QStringLiteral("Could not get file size."));
        return;
    }
    if (verb == QLatin1String("DELE")) {
        const QString local = localPath(resolve(argument));
        if (!local.isEmpty() && QFileInfo(local).isFile() && QFile::remove(local))
            reply(250, QStringLiteral("Delete operation successful."));
        else
            reply(550, QStringLiteral("Delete operation failed."));
        return;
    }
    if (verb == QLatin1String("PASV") || verb == QLatin1String("EPSV")) {
        resetDataPrep();
        m_passive = new QTcpServer(this);
        connect(m_passive, &QTcpServer::newConnection, this, &SimFtpSession::acceptPassive);
        if (!m_passive->listen(m_ctrl->localAddress(), 0)) {
            resetDataPrep();
            reply(425, QStringLiteral("Cannot open passive connection."));
            return;
        }
        m_mode = DataMode::Passive;
        const quint16 port = m_passive->serverPort();
        if (verb == QLatin1String("EPSV")) {
            reply(229, QStringLiteral("Entering Extended Passive Mode (|||%1|)").arg(port));
            return;
        }
        QString text = s().passiveReply.isEmpty() ? QStringLiteral("227 Entering Passive Mode ({h},{p}).")
                                                  : s().passiveReply;
        text.replace(QStringLiteral("{h}"), commaAddress(m_ctrl->localAddress()));
        text.replace(QStringLiteral("{p}"), QStringLiteral("%1,%2").arg(port >> 8).arg(port & 0xFF));
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        sendRaw(toWin1251(text) + "\r\n");
        return;
    }
    if (verb == QLatin1String("PORT")) {
        resetDataPrep();
        const QStringList parts = argument.trimmed().split(QLatin1Char(','));
        bool ok = parts.size() == 6;
        quint32 numbers[6] = {};
        for (int i = 0; ok && i < 6; ++i) {
            numbers[i] = parts[i].trimmed().toUInt(&ok);
            ok = ok && numbers[i] <= 255;
        }
        const QHostAddress address(quint32((numbers[0] << 24) | (numbers[1] << 16) | (numbers[2] << 8) | numbers[3]));
        // As real servers do: data goes only to the client's own address.
        if (!ok || address != plainAddress(m_ctrl->peerAddress())) {
            reply(500, QStringLiteral("Illegal PORT command."));
            return;
        }
        m_mode = DataMode::Active;
        m_activeAddress = address;
        m_activePort = quint16(numbers[4] * 256 + numbers[5]);
        reply(200, QStringLiteral("PORT command successful. Consider using PASV."));
        return;
    }
    if (verb == QLatin1String("RETR") || verb == QLatin1String("STOR")) {
        const QString path = resolve(argument);
        const QString local = localPath(path);
        const bool upload = verb == QLatin1String("STOR");
        if (local.isEmpty() || (upload ? !QFileInfo(QFileInfo(local).path()).isDir() || QFileInfo(local).isDir()
                                       : !QFileInfo(local).isFile())) {
            reply(upload ? 553 : 550, upload ? QStringLiteral("Could not create file.") : QStringLiteral("Failed to open file."));
            return;
        }
        startTransfer(upload ? Kind::Stor : Kind::Retr, path);
        return;
    }
    if (verb == QLatin1String("LIST") || verb == QLatin1String("NLST")) {
        QString target = argument.trimmed();
        if (target.startsWith(QLatin1Char('-')))
            target.clear();
        const QString path = resolve(target);
        const QString local = localPath(path);
        if (local.isEmpty() || !QFileInfo::exists(local)) {
            reply(550, QStringLiteral("Failed to open directory."));
            return;
        }
        startTransfer(verb == QLatin1String("LIST") ? Kind::List : Kind::Nlst, path);
        return;
    }
    reply(502, QStringLiteral("Command not implemented."));
}

QByteArray SimFtpSession::listing(const QString &dir, bool namesOnly) const
{
    const QFileInfo info(localPath(dir));
    QFileInfoList entries;
    if (info.isDir())
        entries = QDir(info.filePath()).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    else
        entries.append(info);
    QByteArray out;
    const QLocale c = QLocale::c();
    for (const QFileInfo &entry : entries) {
        if (!namesOnly) {
            out += entry.isDir() ? "drwxr-xr-x" : "-rw-r--r--";
            out += "    1 0        0        ";
            out += QByteArray::number(entry.isDir() ? 4096 : entry.size()).rightJustified(12, ' ');
            out += ' ';
            out += c.toString(entry.lastModified(), QStringLiteral("MMM dd HH:mm")).toLatin1();
            out += ' ';
        }
        out += toWin1251(entry.fileName());
        out += "\r\n";
    }
    return out;
}

void SimFtpSession::resetDataPrep()
{
    if (m_passive) {
        m_passive->close();
        m_passive->deleteLater();
        m_passive = nullptr;
    }
    if (m_earlyData) {
        m_earlyData->abort();
        m_earlyData->deleteLater();
        m_earlyData = nullptr;
    }
    m_mode = DataMode::None;
}

void SimFtpSession::acceptPassive()
{
    while (m_passive && m_passive->hasPendingConnections()) {
        QTcpSocket *socket = m_passive->nextPendingConnection();
        if (plainAddress(socket->peerAddress()) != plainAddress(m_ctrl->peerAddress())
            || m_earlyData || (m_x.active && m_x.data)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setParent(this);
        m_passive->close();
        if (m_x.active && m_x.connectTimer.isActive()) {
            m_x.connectTimer.stop();
            dataReady(socket);
        } else {
            m_earlyData = socket;
        }
    }
}

void SimFtpSession::startTransfer(Kind kind, const QString &path)
{
    if (m_mode == DataMode::None) {
        reply(425, QStringLiteral("Use PORT or PASV first."));
        return;
    }
    m_x.active = true;
    m_x.kind = kind;
    m_x.path = path;
    m_x.queued = m_x.written = 0;
    m_x.listingPos = 0;
    m_x.sourceAtEnd = m_x.stalled = m_x.completionSent = false;
    const QString local = localPath(path);
    if (kind == Kind::List || kind == Kind::Nlst) {
        m_x.listing = listing(path, kind == Kind::Nlst);
    } else {
        m_x.file.setFileName(local);
        const bool opened = kind == Kind::Stor ? m_x.file.open(QIODevice::WriteOnly | QIODevice::Truncate)
                                               : m_x.file.open(QIODevice::ReadOnly);
        if (!opened) {
            m_x.active = false;
            resetDataPrep();
            reply(kind == Kind::Stor ? 553 : 550, QStringLiteral("Could not open file."));
            return;
        }
    }
    const DataMode mode = m_mode;
    m_mode = DataMode::None;
    if (mode == DataMode::Passive) {
        QTcpSocket *early = m_earlyData;
        m_earlyData = nullptr;
        if (early) {
            dataReady(early);
        } else {
            // Like most servers, "150" only once the client has connected.
            m_x.connectTimer.start(kDataConnectTimeoutMs);
        }
        return;
    }
    auto *socket = new QTcpSocket(this);
    m_x.data = socket;
    connect(socket, &QTcpSocket::connected, this, [this, socket] {
        m_x.connectTimer.stop();
        m_x.data = nullptr;
        dataReady(socket);
    });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] {
        if (socket->state() == QAbstractSocket::ConnectedState || m_x.data != socket)
            return;
        finishTransfer(QStringLiteral("no-data-connection"), 425, QStringLiteral("Failed to establish connection."), false);
    });
    m_x.connectTimer.start(kDataConnectTimeoutMs);
    socket->bind(plainAddress(m_ctrl->localAddress()));
    socket->connectToHost(m_activeAddress, m_activePort);
}

void SimFtpSession::dataReady(QTcpSocket *socket)
{
    disconnect(socket, nullptr, this, nullptr);
    const bool upload = m_x.kind == Kind::Stor;
    if (upload) {
        reply(150, QStringLiteral("Ok to send data."));
        takeOverUpload(socket);
        return;
    }
    if (m_x.kind == Kind::Retr)
        reply(150, QStringLiteral("Opening BINARY mode data connection for %1 (%2 bytes).")
                       .arg(QFileInfo(m_x.path).fileName()).arg(m_x.file.size()));
    else
        reply(150, QStringLiteral("Here comes the directory listing."));
    if (s().completionBeforeData) {
        m_x.completionSent = true;
        reply(226, QStringLiteral("Transfer complete."));
    }
    m_x.data = socket;
    connect(socket, &QTcpSocket::bytesWritten, this, [this](qint64 bytes) {
        m_x.written += bytes;
        pumpDownload();
    });
    connect(socket, &QTcpSocket::disconnected, this, &SimFtpSession::downloadClosed);
    connect(socket, &QTcpSocket::errorOccurred, this, [this] {
        // The client went away before the end: the transfer failed.
        if (!m_x.sourceAtEnd || (m_x.data && m_x.data->bytesToWrite() > 0))
            finishTransfer(QStringLiteral("aborted"), 426, QStringLiteral("Failure writing network stream."), false);
    });
    m_x.rateClock.start();
    pumpDownload();
}

void SimFtpSession::pumpDownload()
{
    if (!m_x.active || !m_x.data || m_x.sourceAtEnd || m_x.stalled)
        return;
    qint64 budget = std::numeric_limits<qint64>::max();
    if (s().dropAfter >= 0) {
        budget = s().dropAfter - m_x.queued;
        if (budget <= 0) {
            // Everything queued is with the kernel, which still delivers it
            // after the close; no reply is sent.
            if (m_x.written >= m_x.queued)
                dropSession(QStringLiteral("dropped"));
            return;
        }
    }
    if (s().stallAfter >= 0) {
        budget = qMin(budget, s().stallAfter - m_x.queued);
        if (budget <= 0) {
            m_x.stalled = true;
            return;
        }
    }
    if (s().sendRate > 0) {
        const qint64 allowed = s().sendRate * m_x.rateClock.elapsed() / 1000 - m_x.queued;
        if (allowed <= 0) {
            if (!m_x.rateTimer.isActive())
                m_x.rateTimer.start(kRateTickMs);
            return;
        }
        budget = qMin(budget, allowed);
        m_x.rateTimer.start(kRateTickMs);
    }
    QByteArray chunk;
    while (budget > 0 && m_x.data->bytesToWrite() < kSendAhead) {
        const qint64 want = qMin(budget, kChunk);
        if (m_x.kind == Kind::Retr) {
            chunk.resize(want);
            const qint64 n = m_x.file.read(chunk.data(), want);
            chunk.resize(qMax<qint64>(n, 0));
        } else {
            chunk = m_x.listing.mid(m_x.listingPos, want);
            m_x.listingPos += chunk.size();
        }
        if (chunk.isEmpty()) {
            m_x.sourceAtEnd = true;
            m_x.rateTimer.stop();
            m_x.data->disconnectFromHost();
            return;
        }
        m_x.data->write(chunk);
        m_x.queued += chunk.size();
        budget -= chunk.size();
    }
}

void SimFtpSession::downloadClosed()
{
    if (!m_x.active)
        return;
    if (m_x.sourceAtEnd && m_x.written == m_x.queued)
        finishTransfer(QStringLiteral("complete"), 226, QStringLiteral("Transfer complete."), true);
    else
        finishTransfer(QStringLiteral("aborted"), 426, QStringLiteral("Failure writing network stream."), false);
}

// Uploads are read from the descriptor itself: only there does a reset (an
// aborted upload) differ from a plain close (the end of the file).
void SimFtpSession::takeOverUpload(QTcpSocket *socket)
{
#ifdef Q_OS_UNIX
    m_x.rawFd = ::dup(int(socket->socketDescriptor()));
#endif
    if (m_x.rawFd < 0) {
        socket->abort();
        socket->deleteLater();
        finishTransfer(QStringLiteral("aborted"), 426, QStringLiteral("Failure reading network stream."), false);
        return;
    }
    socket->abort();
    socket->deleteLater();
    m_x.rateClock.start();
    m_x.rawNotifier = new QSocketNotifier(m_x.rawFd, QSocketNotifier::Read, this);
    connect(m_x.rawNotifier, &QSocketNotifier::activated, this, &SimFtpSession::readUpload);
    readUpload();
}

void SimFtpSession::readUpload()
{
#ifdef Q_OS_UNIX
    QByteArray buffer(kChunk, Qt::Uninitialized);
    for (;;) {
        if (!m_x.active || m_x.rawFd < 0)
            return;
        qint64 want = buffer.size();
        if (s().receiveRate > 0) {
            const qint64 allowed = s().receiveRate * m_x.rateClock.elapsed() / 1000 - m_x.written;
            if (allowed <= 0) {
                // Leave the bytes in the kernel until the rate allows more.
                m_x.rawNotifier->setEnabled(false);
                m_x.rateTimer.start(kRateTickMs);
                return;
            }
            want = qMin(want, allowed);
        }
        const ssize_t n = ::recv(m_x.rawFd, buffer.data(), size_t(want), 0);
        if (n > 0) {
            if (m_x.file.write(buffer.constData(), n) != n) {
                finishTransfer(QStringLiteral("aborted"), 451, QStringLiteral("Failure writing to local file."), false);
                return;
            }
            m_x.written += n;
            if (s().dropAfter >= 0 && m_x.written >= s().dropAfter) {
                dropSession(QStringLiteral("dropped"));
                return;
            }
            continue;
        }
        if (n == 0) {
            m_x.file.close();
            finishTransfer(QStringLiteral("complete"), 226, QStringLiteral("Transfer complete."), true);
            return;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return;
        if (errno == EINTR)
            continue;
        finishTransfer(QStringLiteral("aborted"), 426, QStringLiteral("Failure reading network stream."), false);
        return;
    }
#endif
}

void SimFtpSession::closeTransfer()
{
    m_x.rateTimer.stop();
    m_x.connectTimer.stop();
    if (m_x.data) {
        disconnect(m_x.data, nullptr, this, nullptr);
        m_x.data->abort();
        m_x.data->deleteLater();
        m_x.data = nullptr;
    }
    if (m_x.rawNotifier) {
        m_x.rawNotifier->setEnabled(false);
        m_x.rawNotifier->deleteLater();
        m_x.rawNotifier = nullptr;
    }
#ifdef Q_OS_UNIX
    if (m_x.rawFd >= 0)
        ::close(m_x.rawFd);
#endif
    m_x.rawFd = -1;
    if (m_x.file.isOpen())
        m_x.file.close();
    m_x.listing.clear();
}

void SimFtpSession::finishTransfer(const QString &outcome, int code, const QString &text, bool delayed)
{
    if (!m_x.active)
        return;
    m_x.active = false;
    m_server->recordTransfer(QStringLiteral("%1 %2 %3 %4").arg(verbName(m_x.kind), m_x.path, outcome).arg(m_x.written));
    const bool sentAlready = m_x.completionSent && code == 226;
    closeTransfer();
    if (!sentAlready) {
        const int delay = delayed ? s().completionDelayMs : 0;
        if (delay == 0) {
            reply(code, text);
        } else if (delay > 0) {
            QPointer<SimFtpSession> self(this);
            QTimer::singleShot(delay, this, [self, code, text] {
                if (self && !self->m_ended)
                    self->reply(code, text);
            });
        }
    }
    // Commands that came during the transfer are answered now, in order.
    while (!m_x.active && !m_queued.isEmpty() && !m_ended)
        handle(m_queued.takeFirst());
}

// ---------------------------------------------------------------------------

SimFtpServer::SimFtpServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            auto *session = new SimFtpSession(this, socket);
            m_sessions.append(session);
            session->greet();
        }
    });
}

SimFtpServer::~SimFtpServer()
{
    close();
}

bool SimFtpServer::listen(const QHostAddress &address, quint16 port)
{
    m_server.close();
    return m_server.listen(address, port);
}

void SimFtpServer::close()
{
    m_server.close();
    const QList<QPointer<SimFtpSession>> sessions = m_sessions;
    for (const QPointer<SimFtpSession> &session : sessions)
        if (session)
            session->end();
    m_sessions.clear();
}

bool SimFtpServer::isListening() const { return m_server.isListening(); }
QHostAddress SimFtpServer::serverAddress() const { return m_server.serverAddress(); }
quint16 SimFtpServer::serverPort() const { return m_server.serverPort(); }

int SimFtpServer::sessionCount() const
{
    int n = 0;
    for (const QPointer<SimFtpSession> &session : m_sessions)
        n += session ? 1 : 0;
    return n;
}

void SimFtpServer::setRoot(const QString &dir)
{
    QString root = QDir::cleanPath(QFileInfo(dir).absoluteFilePath());
    if (root.endsWith(QLatin1Char('/')))
        root.chop(1);
    m_settings.root = root;
}

QString SimFtpServer::root() const { return m_settings.root; }

void SimFtpServer::setCredentials(const QString &user, const QString &password)
{
    m_settings.user = user;
    m_settings.password = password;
}

QStringList SimFtpServer::commands() const { return m_commands; }
void SimFtpServer::clearCommands() { m_commands.clear(); }
QStringList SimFtpServer::transfers() const { return m_transfers; }
void SimFtpServer::clearTransfers() { m_transfers.clear(); }

void SimFtpServer::refuseCommand(const QString &verb, int code)
{
    if (code == 0)
        m_settings.refused.remove(verb.toUpper());
    else
        m_settings.refused.insert(verb.toUpper(), code);
}

void SimFtpServer::refuseLogin(bool refuse) { m_settings.refuseLogin = refuse; }
void SimFtpServer::stallOn(const QString &verb) { m_settings.stalled.insert(verb.toUpper()); }
void SimFtpServer::dropDuringTransfer(qint64 afterBytes) { m_settings.dropAfter = afterBytes; }
void SimFtpServer::stallTransferAfter(qint64 bytes) { m_settings.stallAfter = bytes; }
void SimFtpServer::setSendRate(qint64 bytesPerSecond) { m_settings.sendRate = qMax<qint64>(bytesPerSecond, 0); }
void SimFtpServer::setReceiveRate(qint64 bytesPerSecond) { m_settings.receiveRate = qMax<qint64>(bytesPerSecond, 0); }
void SimFtpServer::trickleReplies(bool on) { m_settings.trickle = on; }
void SimFtpServer::multilineGreeting(bool on) { m_settings.multilineGreeting = on; }
void SimFtpServer::multilineReplies(bool on) { m_settings.multilineReplies = on; }
void SimFtpServer::sizeRefusedInAscii(bool on) { m_settings.sizeRefusedInAscii = on; }
void SimFtpServer::acceptUserWithoutPassword(bool on) { m_settings.userWithoutPassword = on; }
void SimFtpServer::setPassiveReply(const QString &pattern) { m_settings.passiveReply = pattern; }
void SimFtpServer::completionBeforeData(bool on) { m_settings.completionBeforeData = on; }
void SimFtpServer::delayCompletion(int ms) { m_settings.completionDelayMs = ms; }

void SimFtpServer::clearFaults()
{
    Settings fresh;
    fresh.root = m_settings.root;
    fresh.user = m_settings.user;
    fresh.password = m_settings.password;
    m_settings = fresh;
}

void SimFtpServer::record(const QString &line)
{
    m_commands.append(line);
    emit commandReceived(line);
}

void SimFtpServer::recordTransfer(const QString &line)
{
    m_transfers.append(line);
    emit transferFinished(line);
}

void SimFtpServer::sessionEnded(SimFtpSession *session)
{
    m_sessions.removeAll(session);
}
