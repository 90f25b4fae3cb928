#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <optional>

class QTcpServer;
class QTcpSocket;

// The web server of a simulated recorder: it records every request and answers
// with the configured status; it never runs the command it is sent. It lives in
// the caller's thread and works only while that thread's event loop turns
// (which a blocking client's nested wait does).
class SimHttpServer : public QObject
{
    Q_OBJECT
public:
    explicit SimHttpServer(QObject *parent = nullptr);
    ~SimHttpServer() override;

    bool listen(const QHostAddress &address, quint16 port = 80);
    void close();
    bool isListening() const;
    QString errorString() const;

    // Each request's header bytes (request line to the empty line) as received.
    QList<QByteArray> rawRequests() const;
    // The path of each request line, read as Windows-1251.
    QStringList requestPaths() const;
    // Connections accepted, with or without a whole request.
    int connectionCount() const;
    void clearRequests();  // forgets requests and connections

    // Without settings, "/cgi-bin/execute" (with or without a query) gets 200
    // and any other path 404, each with a short body and its Content-Length.
    void setStatus(int code);  // the status of every reply from now on
    // Paths that begin with pathPrefix get code; the longest prefix wins over
    // setStatus and the default.
    void setStatusFor(const QString &pathPrefix, int code);
    void setNeverAnswer(bool never);  // read requests, never reply, keep the connection
    // Reply with exactly these bytes, then close (empty: close without a word).
    void setRawReply(const QByteArray &bytes);
    void clearRawReply();
    void setReplyDelay(int ms);  // before the first byte of a reply
    // Send replies one byte every intervalMs (0: in one piece).
    void setTrickle(int intervalMs);

signals:
    void requestReceived(const QString &path);

private:
    void acceptConnections();
    void readRequest(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const QString &path);
    QByteArray replyFor(const QString &path) const;
    void sendReply(QTcpSocket *socket, const QByteArray &reply);

    QTcpServer *m_server;
    QList<QPointer<QTcpSocket>> m_connections;
    QHash<QTcpSocket *, QByteArray> m_pending;  // connections still sending their header
    QList<QByteArray> m_rawRequests;
    QStringList m_paths;
    int m_connectionCount = 0;
    std::optional<int> m_status;
    QMap<QString, int> m_statusFor;
    bool m_neverAnswer = false;
    std::optional<QByteArray> m_rawReply;
    int m_replyDelayMs = 0;
    int m_trickleMs = 0;
};
