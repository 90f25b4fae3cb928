#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QHostAddress;

// The FTP client of the main window (FtpClient1). Every operation blocks,
// keeps the window alive while it waits, and returns success or failure; it
// never throws. Set the properties first, then call the operation.
//
// Waits fail when "timeout" seconds pass without progress (counted from the
// start of the operation and restarted whenever file data moves; 0 or less:
// no limit), when the application is ending, when the server refuses, when
// the connection cannot be made or is lost, and when the progress handler
// sets the abort flag. A name holding CR, LF or NUL is refused before anything
// is sent. Names go on the wire as Windows-1251 bytes.
class FtpClient : public QObject
{
    Q_OBJECT
public:
    explicit FtpClient(QObject *parent = nullptr);
    ~FtpClient() override;

    void setHostName(const QString &host);
    QString hostName() const;
    void setPort(quint16 port);  // 21 unless a test says otherwise
    void setUserName(const QString &user);
    void setPassword(const QString &password);
    void setPassive(bool passive);
    void setTimeout(int seconds);
    void setHostDirName(const QString &dir);
    void setHostFileName(const QString &name);
    void setLocalFileName(const QString &name);
    // Address the connections leave from; by default the system picks it.
    void setLocalAddress(const QHostAddress &address);

    // Connect to port 21 and log in with "USER" and "PASS".
    bool connectAndLogin();
    bool typeBinary();                 // "TYPE I"
    bool changeDirectory();            // "CWD" host dir
    bool size();                       // "SIZE" host file
    qint64 sizeResult() const;         // size from the last successful "SIZE"
    bool get();                        // "RETR" host file into the local file
    bool put();                        // "STOR" host file from the local file
    bool deleteFile();                 // "DELE" host file
    bool quit();                       // "QUIT", then the connection is closed
    bool isConnected() const;

signals:
    // Bytes moved so far in the current transfer; setting abort aborts it.
    void progress(qint64 count, bool &abort);
    // The server greeted a new control connection positively (before "USER").
    void sessionConnected(int error);
    // An established control connection has closed.
    void sessionClosed(int error);

private:
    class Private;
    std::unique_ptr<Private> d;
};
