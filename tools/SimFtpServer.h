#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTcpServer>

class SimFtpSession;

// The recorder's FTP server: serves a local folder as the recorder's file
// system ("/var/opros/opros.out" is <root>/var/opros/opros.out). Single
// threaded and event driven, any number of sessions at once; a real server
// that any FTP client can use, with switches that make it misbehave the way
// recorders and other servers do.
class SimFtpServer : public QObject
{
    Q_OBJECT
public:
    explicit SimFtpServer(QObject *parent = nullptr);
    ~SimFtpServer() override;

    bool listen(const QHostAddress &address, quint16 port = 21);
    void close();  // stops listening and ends every session
    bool isListening() const;
    QHostAddress serverAddress() const;
    quint16 serverPort() const;
    int sessionCount() const;

    void setRoot(const QString &dir);
    QString root() const;
    void setCredentials(const QString &user, const QString &password);

    // Every command line received, in order, over all sessions ("USER root",
    // "PASS x", "CWD /var/opros/"), decoded from Windows-1251.
    QStringList commands() const;
    void clearCommands();
    // One line per finished transfer as the server saw it:
    // "RETR /var/opros/opros.out complete 1234", "STOR /x aborted 500"...
    QStringList transfers() const;
    void clearTransfers();

    // --- misbehaviour ---
    // Answer this verb with this code and do nothing else (0: normal again).
    // A 421 closes the session; 230 to "USER" or 230/202 to "PASS" log in.
    // The verb "CONNECT" stands for the greeting (here and in stallOn).
    void refuseCommand(const QString &verb, int code);
    void refuseLogin(bool refuse);              // "PASS" gets 530 whatever it holds
    void stallOn(const QString &verb);          // never answer this verb
    void dropDuringTransfer(qint64 afterBytes); // close data and control after so many bytes; < 0: off
    void stallTransferAfter(qint64 bytes);      // send so many bytes, then fall silent; < 0: off
    void setSendRate(qint64 bytesPerSecond);    // "RETR" data at this rate; 0: as fast as possible
    void setReceiveRate(qint64 bytesPerSecond); // "STOR" data read at this rate; 0: as fast as possible
    void trickleReplies(bool on);               // every reply one byte at a time
    void multilineGreeting(bool on);            // "220----", digit-led lines, then "220 "
    void multilineReplies(bool on);             // every other reply in two lines
    void sizeRefusedInAscii(bool on);           // "550 SIZE not allowed in ASCII mode" until "TYPE I"
    void acceptUserWithoutPassword(bool on);    // "230" to "USER" of the right user
    // Text of the 227 reply: "{h}" becomes h1,h2,h3,h4 of the control
    // connection's local address and "{p}" becomes p1,p2.
    void setPassiveReply(const QString &pattern);
    void completionBeforeData(bool on);         // "226" right after "150", before any data
    void delayCompletion(int ms);               // "226" so long after the data ended; < 0: never
    void clearFaults();                         // all of the above back to normal

    struct Settings
    {
        QString root;
        QString user = QStringLiteral("root");
        QString password;
        QHash<QString, int> refused;
        QSet<QString> stalled;
        bool refuseLogin = false;
        qint64 dropAfter = -1;
        qint64 stallAfter = -1;
        qint64 sendRate = 0;
        qint64 receiveRate = 0;
        bool trickle = false;
        bool multilineGreeting = false;
        bool multilineReplies = false;
        bool sizeRefusedInAscii = false;
        bool userWithoutPassword = false;
        QString passiveReply;
        bool completionBeforeData = false;
        int completionDelayMs = 0;
    };
    const Settings &settings() const { return m_settings; }

signals:
    void commandReceived(const QString &line);
    void transferFinished(const QString &line);

private:
    friend class SimFtpSession;
    void record(const QString &line);
    void recordTransfer(const QString &line);
    void sessionEnded(SimFtpSession *session);

    QTcpServer m_server;
    Settings m_settings;
    QStringList m_commands;
    QStringList m_transfers;
    QList<QPointer<SimFtpSession>> m_sessions;
};
