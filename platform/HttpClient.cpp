#include "platform/HttpClient.h"

#include "platform/BlockingWait.h"
#include "platform/TextCodec.h"

#include <QPointer>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <cstring>

namespace {

// A broken server must not be able to eat memory: the header is bounded, the
// body is counted and dropped.
constexpr qsizetype kMaxLine = 8 * 1024;
constexpr qsizetype kMaxHeader = 64 * 1024;
constexpr qint64 kSocketBuffer = 64 * 1024;

// Follows a reply as it arrives in pieces of any size: the status line (a
// stray 1xx block before it is skipped), the header fields that say how long
// the body is, and the body, which is only counted.
class ReplyReader
{
public:
    enum class State { StatusLine, Header, Body, Complete, Bad };

    State state() const { return m_state; }
    bool decided() const { return m_state == State::Complete || m_state == State::Bad; }
    int status() const { return m_status; }

    void feed(const char *data, qsizetype size)
    {
        qsizetype pos = 0;
        while (pos < size && !decided()) {
            if (m_state == State::Body) {
                countBody(size - pos);
                return;
            }
            const char *lf = static_cast<const char *>(memchr(data + pos, '\n', size_t(size - pos)));
            const qsizetype end = lf ? lf - data : size;
            m_line.append(data + pos, end - pos);
            m_headerBytes += end - pos + (lf ? 1 : 0);
            pos = lf ? end + 1 : size;
            if (m_line.size() > kMaxLine || m_headerBytes > kMaxHeader) {
                m_state = State::Bad;
                return;
            }
            if (!lf) {
                // Anything that cannot begin a status line ("hello") needs no more bytes.
                if (m_state == State::StatusLine && !QByteArrayView("HTTP/").startsWith(m_line.left(5)))
                    m_state = State::Bad;
                return;
            }
            if (m_line.endsWith('\r'))
                m_line.chop(1);
            takeLine(m_line);
            m_line.clear();
        }
    }

    // The server closed the connection: is what came a whole reply?
    void closed()
    {
        if (decided())
            return;
        if (m_state == State::Body && (m_contentLength < 0 || m_chunked))
            m_state = State::Complete;
        else
            m_state = State::Bad;
    }

private:
    void takeLine(const QByteArray &line)
    {
        if (m_state == State::StatusLine) {
            const int code = parseStatusLine(line);
            if (code == 0) {
                m_state = State::Bad;
                return;
            }
            m_interim = code < 200;
            if (!m_interim)
                m_status = code;
            m_state = State::Header;
            return;
        }
        if (!line.isEmpty()) {
            if (!m_interim)
                takeField(line);
            return;
        }
        if (m_interim) {
            m_state = State::StatusLine;
            return;
        }
        // A 204 or 304 has no body by definition; neither has an empty one.
        if (m_status == 204 || m_status == 304 || (!m_chunked && m_contentLength == 0))
            m_state = State::Complete;
        else
            m_state = State::Body;
    }

    void takeField(const QByteArray &line)
    {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length") {
            bool ok = false;
            const qint64 length = value.toLongLong(&ok);
            // An unreadable length is ignored: the body then runs to the close.
            if (ok && length >= 0 && value.front() != '+')
                m_contentLength = length;
        } else if (name == "transfer-encoding") {
            // Chunked is not allowed in an answer to 1.0 but happens; the
            // server still closes at the end, so the body runs to the close.
            if (value.toLower().contains("chunked"))
                m_chunked = true;
        }
    }

    void countBody(qsizetype size)
    {
        m_bodyRead += size;
        if (!m_chunked && m_contentLength >= 0 && m_bodyRead >= m_contentLength)
            m_state = State::Complete;
    }

    // "HTTP/" digits "." digits, blanks, three digits, then a blank or the end
    // (the reason phrase is optional). 0 when the line is no status line.
    static int parseStatusLine(const QByteArray &line)
    {
        if (!line.startsWith("HTTP/"))
            return 0;
        qsizetype i = 5;
        auto digits = [&] {
            const qsizetype from = i;
            while (i < line.size() && line[i] >= '0' && line[i] <= '9')
                ++i;
            return i > from;
        };
        if (!digits() || i >= line.size() || line[i] != '.')
            return 0;
        ++i;
        if (!digits())
            return 0;
        const qsizetype blanks = i;
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i == blanks || i + 3 > line.size())
            return 0;
        int code = 0;
        for (int k = 0; k < 3; ++k, ++i) {
            if (line[i] < '0' || line[i] > '9')
                return 0;
            code = code * 10 + (line[i] - '0');
        }
        if (i < line.size() && line[i] != ' ' && line[i] != '\t')
            return 0;
        return code >= 100 ? code : 0;
    }

    State m_state = State::StatusLine;
    QByteArray m_line;
    qsizetype m_headerBytes = 0;
    int m_status = 0;
    bool m_interim = false;
    bool m_chunked = false;
    qint64 m_contentLength = -1;
    qint64 m_bodyRead = 0;
};

bool hasLineBreakOrNul(const QString &text)
{
    for (const QChar c : text) {
        if (c == u'\r' || c == u'\n' || c == u'\0')
            return true;
    }
    return false;
}

} // namespace

class HttpClient::Private
{
public:
    quint16 port = 80;
    int timeoutSeconds = 0;
    int lastStatus = 0;
    bool busy = false;
};

HttpClient::HttpClient(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
}

HttpClient::~HttpClient() = default;

void HttpClient::setPort(quint16 port)
{
    d->port = port;
}

void HttpClient::setTimeout(int seconds)
{
    d->timeoutSeconds = seconds;
}

int HttpClient::lastStatus() const
{
    return d->lastStatus;
}

bool HttpClient::get(const QString &host, const QString &path)
{
    // An operator action handled during the wait below may ask for another
    // request; one at a time, so that one is refused.
    if (d->busy)
        return false;
    d->lastStatus = 0;
    // A line break would let the text write header lines of its own.
    if (host.isEmpty() || hasLineBreakOrNul(host) || hasLineBreakOrNul(path))
        return false;

    // Everything of the exchange lives in this frame, so the client may even
    // be destroyed by something handled during the wait.
    QPointer<HttpClient> self(this);
    d->busy = true;
    try {
        const QByteArray request = "GET " + toWin1251(path) + " HTTP/1.0\r\n"
            "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
            "User-Agent: Mozilla/3.0 (compatible)\r\n"
            "Host: " + toWin1251(host) + "\r\n"
            "\r\n";

        BlockingWait wait(d->timeoutSeconds, false);
        ReplyReader reader;
        QTcpSocket socket;
        // Recorders are reached directly; no proxy is asked, as the request has none.
        socket.setProxy(QNetworkProxy::NoProxy);
        socket.setReadBufferSize(kSocketBuffer);

        auto readAvailable = [&] {
            char buffer[16 * 1024];
            while (!reader.decided() && socket.bytesAvailable() > 0) {
                const qint64 n = socket.read(buffer, sizeof buffer);
                if (n <= 0)
                    break;
                wait.progress();
                reader.feed(buffer, n);
            }
            if (reader.decided())
                wait.finish(reader.state() == ReplyReader::State::Complete && reader.status() < 400);
        };
        auto endOfStream = [&] {
            readAvailable();
            reader.closed();
            wait.finish(reader.state() == ReplyReader::State::Complete && reader.status() < 400);
        };

        QObject::connect(&socket, &QTcpSocket::connected, &socket, [&] { socket.write(request); });
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket, readAvailable);
        QObject::connect(&socket, &QTcpSocket::disconnected, &socket, endOfStream);
        QObject::connect(&socket, &QTcpSocket::errorOccurred, &socket,
                         [&](QAbstractSocket::SocketError error) {
                             if (error == QAbstractSocket::RemoteHostClosedError) {
                                 endOfStream();
                                 return;
                             }
                             // Refused, unresolvable, reset mid-reply: whatever
                             // came so far decides, and an unfinished reply fails.
                             readAvailable();
                             wait.finish(false);
                         });

        socket.connectToHost(host, d->port);
        const BlockingWait::Result result = wait.exec();

        socket.disconnect();
        socket.abort();
        if (!self)
            return false;
        d->lastStatus = reader.status();
        d->busy = false;
        return result == BlockingWait::Result::Done;
    } catch (...) {
        // A failed request is a result, never an error that leaves the run.
        if (self)
            d->busy = false;
        return false;
    }
}
