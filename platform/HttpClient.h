#pragma once

#include <QObject>
#include <QString>
#include <memory>

// The HTTP client of the main window (HttpCli1): one HTTP/1.0 GET at a time to
// port 80 of a host, sent exactly as
//   "GET " path " HTTP/1.0" CR LF
//   "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*" CR LF
//   "User-Agent: Mozilla/3.0 (compatible)" CR LF
//   "Host: " host CR LF CR LF
// The path goes out byte for byte (Windows-1251), never re-encoded. Done when
// the status code is below 400; failed at 400 or above, without a status
// line, or when the connection cannot be made or breaks. The reply is read and
// dropped. The window is serviced while waiting; the wait is not ended by the
// application-ending mark. CR, LF or NUL in host or path fails the request
// before anything is sent.
class HttpClient : public QObject
{
    Q_OBJECT
public:
    explicit HttpClient(QObject *parent = nullptr);
    ~HttpClient() override;

    void setPort(quint16 port);  // 80 unless a test says otherwise
    // Seconds without any reply data before the request fails; 0 or less: no limit.
    void setTimeout(int seconds);

    bool get(const QString &host, const QString &path);
    int lastStatus() const;  // status code of the last reply, 0 when none

private:
    class Private;
    std::unique_ptr<Private> d;
};
