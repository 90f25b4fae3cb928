#include "tools/SimHttpServer.h"

#include "platform/TextCodec.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

namespace {

// A client that never ends its header must not grow the buffer without end.
constexpr qsizetype kMaxRequest = 64 * 1024;

// The end of the header (just past the empty line), LF or CR LF line ends; -1 when not yet.
qsizetype headerEnd(const QByteArray &bytes)
{
    qsizetype from = 0;
    while (true) {
        const qsizetype lf = bytes.indexOf('\n', from);
        if (lf < 0)
            return -1;
        if (lf + 1 < bytes.size() && bytes[lf + 1] == '\n')
            return lf + 2;
        if (lf + 2 < bytes.size() && bytes[lf + 1] == '\r' && bytes[lf + 2] == '\n')
            return lf + 3;
        from = lf + 1;
    }
}

// "GET <path> HTTP/1.0": the path may hold blanks, so it runs to the last blank.
QByteArray pathOf(const QByteArray &header)
{
    QByteArray line = header.left(header.indexOf('\n'));
    if (line.endsWith('\r'))
        line.chop(1);
    const qsizetype first = line.indexOf(' ');
    if (first < 0)
        return {};
    const qsizetype last = line.lastIndexOf(' ');
    if (last > first && line.mid(last + 1).startsWith("HTTP/"))
        return line.mid(first + 1, last - first - 1);
    return line.mid(first + 1);
}

QByteArray reasonOf(int code)
{
    switch (code) {
    case 200: return "OK";
    case 204: return "No Content";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

} // namespace

SimHttpServer::SimHttpServer(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &SimHttpServer::acceptConnections);
}

SimHttpServer::~SimHttpServer()
{
    close();
    // The connections are the listener's children: let them go while the
    // request lists they update still exist.
    delete m_server;
}

bool SimHttpServer::listen(const QHostAddress &address, quint16 port)
{
    return m_server->listen(address, port);
}

void SimHttpServer::close()
{
    m_server->close();
    const auto connections = m_connections;
    m_connections.clear();
    for (const QPointer<QTcpSocket> &socket : connections) {
        if (socket) {
            socket->disconnect(this);
            socket->abort();
            socket->deleteLater();
        }
    }
}

bool SimHttpServer::isListening() const
{
    return m_server->isListening();
}

QString SimHttpServer::errorString() const
{
    return m_server->errorString();
}

QList<QByteArray> SimHttpServer::rawRequests() const
{
    return m_rawRequests;
}

QStringList SimHttpServer::requestPaths() const
{
    return m_paths;
}

int SimHttpServer::connectionCount() const
{
    return m_connectionCount;
}

void SimHttpServer::clearRequests()
{
    m_rawRequests.clear();
    m_paths.clear();
    m_connectionCount = 0;
}

void SimHttpServer::setStatus(int code)
{
    m_status = code;
}

void SimHttpServer::setStatusFor(const QString &pathPrefix, int code)
{
    m_statusFor.insert(pathPrefix, code);
}

void SimHttpServer::setNeverAnswer(bool never)
{
    m_neverAnswer = never;
}

void SimHttpServer::setRawReply(const QByteArray &bytes)
{
    m_rawReply = bytes;
}

void SimHttpServer::clearRawReply()
{
    m_rawReply.reset();
}

void SimHttpServer::setReplyDelay(int ms)
{
    m_replyDelayMs = ms;
}

void SimHttpServer::setTrickle(int intervalMs)
{
    m_trickleMs = intervalMs;
}

void SimHttpServer::acceptConnections()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        ++m_connectionCount;
        m_connections.removeAll(nullptr);
        m_connections.append(socket);
        m_pending.insert(socket, QByteArray());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, socket] { m_pending.remove(socket); });
        readRequest(socket);
    }
}

void SimHttpServer::readRequest(QTcpSocket *socket)
{
    const QByteArray arrived = socket->readAll();
    // Once the header is complete, whatever else the client sends is dropped.
    auto pending = m_pending.find(socket);
    if (pending == m_pending.end())
        return;
    pending->append(arrived);
    const qsizetype end = headerEnd(*pending);
    if (end < 0) {
        if (pending->size() > kMaxRequest) {
            m_pending.erase(pending);
            socket->abort();
        }
        return;
    }
    const QByteArray header = pending->left(end);
    m_pending.erase(pending);

    const QString path = fromWin1251(pathOf(header));
    m_rawRequests.append(header);
    m_paths.append(path);
    emit requestReceived(path);
    if (!m_neverAnswer)
        answer(socket, path);
}

void SimHttpServer::answer(QTcpSocket *socket, const QString &path)
{
    const QByteArray reply = m_rawReply ? *m_rawReply : replyFor(path);
    if (m_replyDelayMs > 0)
        QTimer::singleShot(m_replyDelayMs, socket, [this, socket, reply] { sendReply(socket, reply); });
    else
        sendReply(socket, reply);
}

QByteArray SimHttpServer::replyFor(const QString &path) const
{
    int code = 404;
    if (path == QLatin1String("/cgi-bin/execute") || path.startsWith(QLatin1String("/cgi-bin/execute?")))
        code = 200;
    if (m_status)
        code = *m_status;
    qsizetype longest = -1;
    for (auto it = m_statusFor.cbegin(); it != m_statusFor.cend(); ++it) {
        if (path.startsWith(it.key()) && it.key().size() > longest) {
            longest = it.key().size();
            code = it.value();
        }
    }
    const QByteArray body = reasonOf(code) + "\r\n";
    return "HTTP/1.0 " + QByteArray::number(code) + ' ' + reasonOf(code) + "\r\n"
           "Content-Type: text/plain\r\n"
           "Content-Length: " + QByteArray::number(body.size()) + "\r\n"
           "\r\n" + body;
}

void SimHttpServer::sendReply(QTcpSocket *socket, const QByteArray &reply)
{
    if (socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (m_trickleMs <= 0 || reply.isEmpty()) {
        socket->write(reply);
        socket->disconnectFromHost();
        return;
    }
    auto *timer = new QTimer(socket);
    auto sent = std::make_shared<qsizetype>(0);
    connect(timer, &QTimer::timeout, socket, [socket, timer, reply, sent] {
        if (socket->state() != QAbstractSocket::ConnectedState) {
            timer->stop();
            return;
        }
        socket->write(reply.mid(*sent, 1));
        socket->flush();
        if (++*sent >= reply.size()) {
            timer->stop();
            socket->disconnectFromHost();
        }
    });
    timer->start(m_trickleMs);
}
