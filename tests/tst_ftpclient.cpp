#include "platform/AppState.h"
#include "platform/FtpClient.h"
#include "platform/TextCodec.h"
#include "tools/SimFtpServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

namespace {

const QHostAddress kServerAddress(QStringLiteral("127.0.0.10"));
const QHostAddress kClientAddress(QStringLiteral("127.0.0.11"));
constexpr quint16 kPort = 21;

// Bytes that trip text handling: CR, LF, NUL, 0xFF (Telnet IAC) and 0x1A.
QByteArray content(qint64 size, int seed = 1)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = 2463534242u + quint32(seed);
    for (qint64 i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = char(x & 0xFF);
    }
    if (size > 8) {
        bytes[0] = '\r';
        bytes[1] = '\n';
        bytes[2] = '\0';
        bytes[3] = char(0xFF);
        bytes[4] = char(0x1A);
    }
    return bytes;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

enum class Op { Cwd, Size, Get, Put, Dele, Type };

} // namespace

Q_DECLARE_METATYPE(Op)

class tst_FtpClient : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void login_data();
    void login();
    void diagnosticsSequence_data();
    void diagnosticsSequence();
    void transfers_data();
    void transfers();
    void passiveReplyForms_data();
    void passiveReplyForms();
    void refusalsLeaveSessionUsable_data();
    void refusalsLeaveSessionUsable();
    void sizeInAsciiMode();
    void lostConnections_data();
    void lostConnections();
    void timeoutRestartsOnProgress();
    void timeoutFailsSilentServer_data();
    void timeoutFailsSilentServer();
    void abortFlagFailsTransfer_data();
    void abortFlagFailsTransfer();
    void localWriteFailureFailsGet();
    void endingMarkFailsWaitAtOnce();
    void badNamesSendNothing_data();
    void badNamesSendNothing();
    void cyrillicNamesGoAsWindows1251();
    void reentryDuringWaitIsRefused();
    void hugeReplyLineFailsFast();
    void serverKeepsSessionsApart();
    void serverServesStandardClient();

private:
    void setUpClient(bool passive, int timeout = 5);
    bool logIn() { return m_client->connectAndLogin(); }
    QString serverPath(const QString &path) const { return m_root->path() + path; }
    QString localPath(const QString &name) const { return m_local->path() + QLatin1Char('/') + name; }

    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<QTemporaryDir> m_local;
    std::unique_ptr<SimFtpServer> m_server;
    std::unique_ptr<FtpClient> m_client;
};

void tst_FtpClient::init()
{
    setApplicationEnding(false);
    m_root = std::make_unique<QTemporaryDir>();
    m_local = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid() && m_local->isValid());
    writeFile(serverPath(QStringLiteral("/var/opros/opros.out")), content(5000, 1));
    writeFile(serverPath(QStringLiteral("/var/opros/cs.out")), content(3000, 2));
    QDir().mkpath(serverPath(QStringLiteral("/mnt/dos/bin")));
    m_server = std::make_unique<SimFtpServer>();
    m_server->setRoot(m_root->path());
    m_server->setCredentials(QStringLiteral("root"), QStringLiteral("secret"));
    QVERIFY2(m_server->listen(kServerAddress, kPort), "cannot listen on 127.0.0.10:21");
    m_client = std::make_unique<FtpClient>();
    setUpClient(true);
}

void tst_FtpClient::cleanup()
{
    m_client.reset();
    m_server.reset();
    setApplicationEnding(false);
    m_root.reset();
    m_local.reset();
}

void tst_FtpClient::setUpClient(bool passive, int timeout)
{
    m_client->setHostName(kServerAddress.toString());
    m_client->setPort(kPort);
    m_client->setLocalAddress(kClientAddress);
    m_client->setUserName(QStringLiteral("root"));
    m_client->setPassword(QStringLiteral("secret"));
    m_client->setPassive(passive);
    m_client->setTimeout(timeout);
}

// Catches a log-in that decides on anything but the reply codes, or that
// chokes on multi-line or split replies.
void tst_FtpClient::login_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("greetings");
    QTest::newRow("password accepted") << "" << "secret" << true << 1;
    QTest::newRow("wrong password") << "" << "wrong" << false << 1;
    QTest::newRow("login refused") << "refuse login" << "secret" << false << 1;
    QTest::newRow("USER answered 230") << "user 230" << "unused" << true << 1;
    QTest::newRow("PASS answered 202") << "pass 202" << "anything" << true << 1;
    QTest::newRow("421 after USER") << "user 421" << "secret" << false << 1;
    QTest::newRow("multi-line greeting") << "multi-line greeting" << "secret" << true << 1;
    QTest::newRow("multi-line replies") << "multi-line replies" << "secret" << true << 1;
    QTest::newRow("replies trickled") << "trickle" << "secret" << true << 1;
    QTest::newRow("greeting 421") << "greeting 421" << "secret" << false << 0;
    QTest::newRow("no greeting") << "no greeting" << "secret" << false << 0;
}

void tst_FtpClient::login()
{
    QFETCH(QString, fault);
    QFETCH(QString, password);
    QFETCH(bool, ok);
    QFETCH(int, greetings);
    if (fault == QLatin1String("refuse login"))
        m_server->refuseLogin(true);
    else if (fault == QLatin1String("user 230"))
        m_server->acceptUserWithoutPassword(true);
    else if (fault == QLatin1String("pass 202"))
        m_server->refuseCommand(QStringLiteral("PASS"), 202);
    else if (fault == QLatin1String("user 421"))
        m_server->refuseCommand(QStringLiteral("USER"), 421);
    else if (fault == QLatin1String("multi-line greeting"))
        m_server->multilineGreeting(true);
    else if (fault == QLatin1String("multi-line replies"))
        m_server->multilineReplies(true);
    else if (fault == QLatin1String("trickle"))
        m_server->trickleReplies(true);
    else if (fault == QLatin1String("greeting 421"))
        m_server->refuseCommand(QStringLiteral("CONNECT"), 421);
    else if (fault == QLatin1String("no greeting"))
        m_server->stallOn(QStringLiteral("CONNECT"));
    setUpClient(true, 1);
    m_client->setPassword(password);
    QSignalSpy connected(m_client.get(), &FtpClient::sessionConnected);
    QCOMPARE(m_client->connectAndLogin(), ok);
    QCOMPARE(connected.count(), greetings);
    if (ok) {
        QVERIFY(m_client->isConnected());
        QSignalSpy closed(m_client.get(), &FtpClient::sessionClosed);
        m_client->setHostDirName(QStringLiteral("/var/opros/"));
        QVERIFY(m_client->changeDirectory());
        QVERIFY(m_client->quit());
        QCOMPARE(closed.count(), 1);
        QVERIFY(!m_client->isConnected());
    }
}

// Catches any deviation from the fetch of the two poll tables: wrong command
// order, a stop at "226" before the data, a wait for a "226" already read.
void tst_FtpClient::diagnosticsSequence_data()
{
    QTest::addColumn<bool>("passive");
    QTest::addColumn<QString>("fault");
    QTest::newRow("passive") << true << "";
    QTest::newRow("active") << false << "";
    QTest::newRow("passive, replies trickled") << true << "trickle";
    QTest::newRow("active, replies trickled") << false << "trickle";
    QTest::newRow("passive, multi-line replies") << true << "multi-line";
    QTest::newRow("passive, 226 before the data") << true << "226 first";
    QTest::newRow("active, 226 before the data") << false << "226 first";
    QTest::newRow("passive, 226 a second after the data") << true << "226 late";
    QTest::newRow("active, 226 a second after the data") << false << "226 late";
}

void tst_FtpClient::diagnosticsSequence()
{
    QFETCH(bool, passive);
    QFETCH(QString, fault);
    if (fault == QLatin1String("trickle"))
        m_server->trickleReplies(true);
    else if (fault == QLatin1String("multi-line"))
        m_server->multilineReplies(true);
    else if (fault == QLatin1String("226 first"))
        m_server->completionBeforeData(true);
    else if (fault == QLatin1String("226 late"))
        m_server->delayCompletion(1000);
    setUpClient(passive, 5);
    QSignalSpy closed(m_client.get(), &FtpClient::sessionClosed);
    QVERIFY(logIn());
    const QString dataVerb = passive ? QStringLiteral("PASV") : QStringLiteral("PORT");
    QStringList expected{QStringLiteral("USER root"), QStringLiteral("PASS secret")};
    for (const QString &name : {QStringLiteral("opros.out"), QStringLiteral("cs.out")}) {
        m_client->setLocalFileName(localPath(name));
        m_client->setHostDirName(QStringLiteral("/var/opros/"));
        QVERIFY(m_client->changeDirectory());
        m_client->setHostFileName(name);
        QVERIFY(m_client->size());
        QCOMPARE(m_client->sizeResult(), QFileInfo(serverPath(QStringLiteral("/var/opros/") + name)).size());
        QVERIFY(m_client->get());
        QCOMPARE(readFile(localPath(name)), readFile(serverPath(QStringLiteral("/var/opros/") + name)));
        expected << QStringLiteral("CWD /var/opros/") << QStringLiteral("SIZE ") + name;
        const QStringList sent = m_server->commands();
        QVERIFY(sent.size() >= expected.size() + 2);
        QVERIFY2(sent.at(expected.size()).startsWith(dataVerb), qPrintable(sent.join(QLatin1Char('|'))));
        expected << sent.at(expected.size()) << QStringLiteral("RETR ") + name;
    }
    QVERIFY(m_client->quit());
    expected << QStringLiteral("QUIT");
    QTRY_COMPARE(m_server->commands(), expected);
    QCOMPARE(closed.count(), 1);
}

// Catches lost or extra bytes at the edges: empty files, big files, both
// directions, both data connection modes; and a progress count that lies.
void tst_FtpClient::transfers_data()
{
    QTest::addColumn<bool>("upload");
    QTest::addColumn<bool>("passive");
    QTest::addColumn<qint64>("size");
    QTest::newRow("RETR empty, passive") << false << true << qint64(0);
    QTest::newRow("RETR empty, active") << false << false << qint64(0);
    QTest::newRow("RETR one byte, passive") << false << true << qint64(1);
    QTest::newRow("RETR 20 MB, passive") << false << true << qint64(20 * 1024 * 1024 + 7);
    QTest::newRow("RETR 20 MB, active") << false << false << qint64(20 * 1024 * 1024 + 7);
    QTest::newRow("STOR empty, passive") << true << true << qint64(0);
    QTest::newRow("STOR empty, active") << true << false << qint64(0);
    QTest::newRow("STOR 5000 bytes, passive") << true << true << qint64(5000);
    QTest::newRow("STOR 20 MB, passive") << true << true << qint64(20 * 1024 * 1024 + 7);
    QTest::newRow("STOR 20 MB, active") << true << false << qint64(20 * 1024 * 1024 + 7);
}

void tst_FtpClient::transfers()
{
    QFETCH(bool, upload);
    QFETCH(bool, passive);
    QFETCH(qint64, size);
    const QByteArray bytes = content(size, 7);
    const QString remote = serverPath(QStringLiteral("/mnt/dos/bin/file.bin"));
    const QString local = localPath(QStringLiteral("file.bin"));
    if (upload) {
        writeFile(local, bytes);
        writeFile(remote, "old contents, longer than the empty file");
    } else {
        writeFile(remote, bytes);
        writeFile(local, "old contents, longer than the empty file");
    }
    setUpClient(passive, 5);
    QVERIFY(logIn());
    QVERIFY(m_client->typeBinary());
    m_client->setHostDirName(QStringLiteral("/mnt/dos/bin/"));
    QVERIFY(m_client->changeDirectory());
    m_client->setHostFileName(QStringLiteral("file.bin"));
    m_client->setLocalFileName(local);
    QList<qint64> counts;
    connect(m_client.get(), &FtpClient::progress, this, [&counts](qint64 count, bool &) { counts.append(count); });
    QVERIFY(upload ? m_client->put() : m_client->get());
    QCOMPARE(readFile(upload ? remote : local), bytes);
    if (size > 0) {
        QVERIFY(!counts.isEmpty());
        QCOMPARE(counts.last(), size);
        QVERIFY(std::is_sorted(counts.begin(), counts.end()));
    }
    if (upload)
        QCOMPARE(m_server->transfers().last(), QStringLiteral("STOR /mnt/dos/bin/file.bin complete %1").arg(size));
    // The session is still in step for the next command.
    QVERIFY(m_client->size());
    QCOMPARE(m_client->sizeResult(), size);
    QVERIFY(m_client->deleteFile());
    QVERIFY(!QFile::exists(remote));
    QVERIFY(!m_client->deleteFile());
    QVERIFY(m_client->quit());
}

// Catches a client that trusts the address in the 227 reply or stumbles over
// its many spellings; a number above 255 fails without harm to the session.
void tst_FtpClient::passiveReplyForms_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("ok");
    QTest::newRow("usual") << "227 Entering Passive Mode ({h},{p})." << true;
    QTest::newRow("no parentheses") << "227 Entering Passive Mode {h},{p}" << true;
    QTest::newRow("other words, lower case") << "227 passive ok ({h},{p})" << true;
    QTest::newRow("multi-line") << "227-Entering Passive Mode\n227 =({h},{p})" << true;
    QTest::newRow("unroutable address") << "227 Entering Passive Mode (10,255,255,1,{p})." << true;
    QTest::newRow("zero address") << "227 Entering Passive Mode (0,0,0,0,{p})" << true;
    QTest::newRow("number above 255") << "227 Entering Passive Mode (127,0,0,300,{p})" << false;
    QTest::newRow("port number above 255") << "227 Entering Passive Mode (127,0,0,10,256,1)" << false;
    QTest::newRow("five numbers") << "227 Entering Passive Mode (127,0,0,10,4)" << false;
}

void tst_FtpClient::passiveReplyForms()
{
    QFETCH(QString, reply);
    QFETCH(bool, ok);
    m_server->setPassiveReply(reply);
    setUpClient(true, 3);
    QVERIFY(logIn());
    m_client->setHostDirName(QStringLiteral("/var/opros/"));
    QVERIFY(m_client->changeDirectory());
    m_client->setHostFileName(QStringLiteral("opros.out"));
    m_client->setLocalFileName(localPath(QStringLiteral("opros.out")));
    QCOMPARE(m_client->get(), ok);
    if (ok)
        QCOMPARE(readFile(localPath(QStringLiteral("opros.out"))), content(5000, 1));
    else
        QVERIFY(!m_server->commands().contains(QStringLiteral("RETR opros.out")));
    QVERIFY(m_client->size());
    QCOMPARE(m_client->sizeResult(), qint64(5000));
}

// Catches a refusal taken for success, or one that leaves the control
// connection out of step so that the next command reads a stale reply.
void tst_FtpClient::refusalsLeaveSessionUsable_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<QString>("verb");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("passive");
    QTest::newRow("CWD 550") << Op::Cwd << "CWD" << 550 << true;
    QTest::newRow("SIZE 550") << Op::Size << "SIZE" << 550 << true;
    QTest::newRow("SIZE 500") << Op::Size << "SIZE" << 500 << true;
    QTest::newRow("TYPE 504") << Op::Type << "TYPE" << 504 << true;
    QTest::newRow("DELE 550") << Op::Dele << "DELE" << 550 << true;
    QTest::newRow("RETR 550") << Op::Get << "RETR" << 550 << true;
    QTest::newRow("RETR 425, active") << Op::Get << "RETR" << 425 << false;
    QTest::newRow("STOR 553") << Op::Put << "STOR" << 553 << true;
    QTest::newRow("STOR 452, active") << Op::Put << "STOR" << 452 << false;
    QTest::newRow("PASV 500") << Op::Get << "PASV" << 500 << true;
    QTest::newRow("PORT 500") << Op::Put << "PORT" << 500 << false;
}

void tst_FtpClient::refusalsLeaveSessionUsable()
{
    QFETCH(Op, op);
    QFETCH(QString, verb);
    QFETCH(int, code);
    QFETCH(bool, passive);
    writeFile(localPath(QStringLiteral("up.bin")), content(100000, 3));
    setUpClient(passive, 3);
    QVERIFY(logIn());
    m_server->refuseCommand(verb, code);
    m_client->setHostDirName(QStringLiteral("/var/opros/"));
    m_client->setHostFileName(QStringLiteral("opros.out"));
    m_client->setLocalFileName(localPath(op == Op::Put ? QStringLiteral("up.bin") : QStringLiteral("opros.out")));
    bool result = true;
    switch (op) {
    case Op::Cwd: result = m_client->changeDirectory(); break;
    case Op::Size: result = m_client->size(); break;
    case Op::Get: result = m_client->get(); break;
    case Op::Put: result = m_client->put(); break;
    case Op::Dele: result = m_client->deleteFile(); break;
    case Op::Type: result = m_client->typeBinary(); break;
    }
    QVERIFY(!result);
    QCOMPARE(readFile(serverPath(QStringLiteral("/var/opros/opros.out"))), content(5000, 1));
    m_server->refuseCommand(verb, 0);
    QVERIFY(m_client->isConnected());
    QVERIFY(m_client->changeDirectory());
    m_client->setHostFileName(QStringLiteral("cs.out"));
    QVERIFY(m_client->size());
    QCOMPARE(m_client->sizeResult(), qint64(3000));
    m_client->setLocalFileName(localPath(QStringLiteral("cs.out")));
    QVERIFY(m_client->get());
    QCOMPARE(readFile(localPath(QStringLiteral("cs.out"))), content(3000, 2));
}

// Catches a size taken from a refusal: servers that refuse SIZE in ASCII
// mode answer it after "TYPE I".
void tst_FtpClient::sizeInAsciiMode()
{
    m_server->sizeRefusedInAscii(true);
    QVERIFY(logIn());
    m_client->setHostDirName(QStringLiteral("/var/opros/"));
    QVERIFY(m_client->changeDirectory());
    m_client->setHostFileName(QStringLiteral("opros.out"));
    QVERIFY(!m_client->size());
    QVERIFY(m_client->typeBinary());
    QVERIFY(m_client->size());
    QCOMPARE(m_client->sizeResult(), qint64(5000));
}

// Catches a transfer that ends in success because the data stream ended,
// though the server went away without its final reply.
void tst_FtpClient::lostConnections_data()
{
    QTest::addColumn<bool>("upload");
    QTest::addColumn<bool>("passive");
    QTest::newRow("RETR, passive") << false << true;
    QTest::newRow("RETR, active") << false << false;
    QTest::newRow("STOR, passive") << true << true;
    QTest::newRow("STOR, active") << true << false;
}

void tst_FtpClient::lostConnections()
{
    QFETCH(bool, upload);
    QFETCH(bool, passive);
    writeFile(serverPath(QStringLiteral("/var/opros/big.bin")), content(3000000, 4));
    writeFile(localPath(QStringLiteral("up.bin")), content(3000000, 5));
    m_server->dropDuringTransfer(1000000);
    setUpClient(passive, 5);
    QVERIFY(logIn());
    QSignalSpy closed(m_client.get(), &FtpClient::sessionClosed);
    m_client->setHostDirName(QStringLiteral("/var/opros/"));
    QVERIFY(m_client->changeDirectory());
    m_client->setHostFileName(upload ? QStringLiteral("up.bin") : QStringLiteral("big.bin"));
    m_client->setLocalFileName(localPath(upload ? QStringLiteral("up.bin") : QStringLiteral("big.bin")));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(upload ? !m_client->put() : !m_client->get());
    QVERIFY(clock.elapsed() < 4000);
    QVERIFY(!m_client->isConnected());
    QCOMPARE(closed.count(), 1);
    QVERIFY(!m_client->size());
    QVERIFY(!m_client->quit());
    // The next recorder is served as usual.
    m_server->dropDuringTransfer(-1);
    QVERIFY(logIn());
    m_client->setHostFileName(QStringLiteral("/var/opros/cs.out"));
    m_client->setLocalFileName(localPath(QStringLiteral("cs.out")));
    QVERIFY(m_client->get());
    QCOMPARE(readFile(localPath(QStringLiteral("cs.out"))), content(3000, 2));
    QVERIFY(m_client->quit());
}

// Catches a time-out that counts the whole transfer instead of the silence:
// a slow but steady server must be waited for.
void tst_FtpClient::timeoutRestartsOnProgress()
{
    writeFile(serverPath(QStringLiteral("/var/opros/slow.bin")), content(250000, 6));
    m_server->setSendRate(100000);
    setUpClient(true, 1);
    QVERIFY(logIn());
    m_client->setHostFileName(QStringLiteral("/var/opros/slow.bin"));
    m_client->setLocalFileName(localPath(QStringLiteral("slow.bin")));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_client->get());
    QVERIFY2(clock.elapsed() > 1500, "the sender was not slow: the test shows nothing");
    QCOMPARE(readFile(localPath(QStringLiteral("slow.bin"))), content(250000, 6));
}

// Catches a wait that never ends when the server falls silent at any step,
// and a session that stays in use after it.
void tst_FtpClient::timeoutFailsSilentServer_data()
{
    QTest::addColumn<QString>("silence");
    QTest::addColumn<bool>("passive");
    QTest::newRow("no reply to CWD") << "CWD" << true;
    QTest::newRow("no reply to PASV") << "PASV" << true;
    QTest::newRow("no reply to RETR") << "RETR" << true;
    QTest::newRow("no reply to RETR, active") << "RETR" << false;
    QTest::newRow("data stops midway") << "midway" << true;
    QTest::newRow("data stops midway, active") << "midway" << false;
    QTest::newRow("no 226 after the data") << "no 226" << true;
}

void tst_FtpClient::timeoutFailsSilentServer()
{
    QFETCH(QString, silence);
    QFETCH(bool, passive);
    writeFile(serverPath(QStringLiteral("/var/opros/big.bin")), content(2000000, 4));
    if (silence == QLatin1String("midway"))
        m_server->stallTransferAfter(500000);
    else if (silence == QLatin1String("no 226"))
        m_server->delayCompletion(-1);
    else
        m_server->stallOn(silence);
    setUpClient(passive, 1);
    QVERIFY(logIn());
    QSignalSpy closed(m_client.get(), &FtpClient::sessionClosed);
    m_client->setHostDirName(QStringLiteral("/var/opros/"));
    m_client->setHostFileName(QStringLiteral("/var/opros/big.bin"));
    m_client->setLocalFileName(localPath(QStringLiteral("big.bin")));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(silence == QLatin1String("CWD") ? !m_client->changeDirectory() : !m_client->get());
    QVERIFY(clock.elapsed() >= 900);
    QVERIFY(clock.elapsed() < 3000);
    // A reply that comes late would answer the next command: the session is gone.
    QVERIFY(!m_client->isConnected());
    QCOMPARE(closed.count(), 1);
    QVERIFY(!m_client->size());
    m_server->clearFaults();
    QVERIFY(logIn());
    QVERIFY(m_client->get());
    QCOMPARE(readFile(localPath(QStringLiteral("big.bin"))), content(2000000, 4));
}

// Catches an abort flag that is ignored, an aborted upload that the server
// takes for a complete file, and a session left out of step after an abort.
void tst_FtpClient::abortFlagFailsTransfer_data()
{
    QTest::addColumn<bool>("upload");
    QTest::addColumn<bool>("passive");
    QTest::addColumn<int>("atReport");
    QTest::newRow("RETR at the first report, passive") << false << true << 1;
    QTest::newRow("RETR at the first report, active") << false << false << 1;
    QTest::newRow("RETR midway, passive") << false << true << 3;
    QTest::newRow("STOR at the first report, passive") << true << true << 1;
    QTest::newRow("STOR midway, passive") << true << true << 3;
    QTest::newRow("STOR midway, active") << true << false << 3;
}

void tst_FtpClient::abortFlagFailsTransfer()
{
    QFETCH(bool, upload);
    QFETCH(bool, passive);
    QFETCH(int, atReport);
    writeFile(serverPath(QStringLiteral("/mnt/dos/bin/slow.bin")), content(2000000, 8));
    // The upload must outgrow what the kernel buffers on loopback.
    writeFile(localPath(QStringLiteral("up.bin")), content(40000000, 9));
    // Slow enough that the transfer is still under way at the third report.
    m_server->setSendRate(2000000);
    m_server->setReceiveRate(2000000);
    setUpClient(passive, 5);
    QVERIFY(logIn());
    int reports = 0;
    connect(m_client.get(), &FtpClient::progress, this, [&reports, atReport](qint64, bool &abort) {
        if (++reports == atReport)
            abort = true;
    });
    m_client->setHostDirName(QStringLiteral("/mnt/dos/bin"));
    QVERIFY(m_client->changeDirectory());
    m_client->setHostFileName(upload ? QStringLiteral("up.bin") : QStringLiteral("slow.bin"));
    m_client->setLocalFileName(localPath(upload ? QStringLiteral("up.bin") : QStringLiteral("slow.bin")));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(upload ? !m_client->put() : !m_client->get());
    QCOMPARE(reports, atReport);
    QVERIFY(clock.elapsed() < 3000);
    QTRY_VERIFY(!m_server->transfers().isEmpty());
    // A plain close would have told the server that an upload was complete.
    const QString outcome = m_server->transfers().last();
    QVERIFY2(!outcome.contains(QLatin1String(" complete ")), qPrintable(outcome));
    // In step again: the next command gets its own reply.
    m_server->setSendRate(0);
    m_server->setReceiveRate(0);
    QVERIFY(m_client->isConnected());
    m_client->setHostFileName(QStringLiteral("/var/opros/cs.out"));
    QVERIFY(m_client->size());
    QCOMPARE(m_client->sizeResult(), qint64(3000));
    m_client->setLocalFileName(localPath(QStringLiteral("cs.out")));
    QVERIFY(m_client->get());
    QCOMPARE(readFile(localPath(QStringLiteral("cs.out"))), content(3000, 2));
    QVERIFY(m_client->quit());
}

// Catches a fetch reported as done though its local copy could not be written.
void tst_FtpClient::localWriteFailureFailsGet()
{
    QVERIFY(logIn());
    m_client->setHostFileName(QStringLiteral("/var/opros/opros.out"));
    m_client->setLocalFileName(localPath(QStringLiteral("no/such/dir/opros.out")));
    QVERIFY(!m_client->get());
    m_client->setHostFileName(QStringLiteral("/var/opros/cs.out"));
    QVERIFY(m_client->size());
    QCOMPARE(m_client->sizeResult(), qint64(3000));
}

// Catches a wait that outlives the closed main window, or any later wait that
// still talks to the server.
void tst_FtpClient::endingMarkFailsWaitAtOnce()
{
    m_server->stallOn(QStringLiteral("CWD"));
    setUpClient(true, 0);
    QVERIFY(logIn());
    m_client->setHostDirName(QStringLiteral("/var/opros/"));
    QTimer::singleShot(300, this, [] { setApplicationEnding(true); });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!m_client->changeDirectory());
    QVERIFY2(clock.elapsed() < 1000, "the wait went on after the ending mark");
    m_server->clearCommands();
    clock.restart();
    QVERIFY(!m_client->connectAndLogin());
    QVERIFY(!m_client->quit());
    QVERIFY(clock.elapsed() < 200);
    QTest::qWait(100);
    QVERIFY(m_server->commands().isEmpty());
}

// Catches a name that smuggles a second command onto the control connection.
void tst_FtpClient::badNamesSendNothing_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<QString>("name");
    QTest::newRow("CR LF in CWD") << Op::Cwd << "/var/opros/\r\nDELE opros.out";
    QTest::newRow("LF in SIZE") << Op::Size << "opros.out\nDELE cs.out";
    QTest::newRow("CR in RETR") << Op::Get << "opros.out\rDELE cs.out";
    QTest::newRow("NUL in STOR") << Op::Put << QString::fromLatin1("up.bin\0x", 8);
    QTest::newRow("LF in DELE") << Op::Dele << "cs.out\nQUIT";
}

void tst_FtpClient::badNamesSendNothing()
{
    QFETCH(Op, op);
    QFETCH(QString, name);
    writeFile(localPath(QStringLiteral("up.bin")), "data");
    QVERIFY(logIn());
    m_server->clearCommands();
    m_client->setHostDirName(name);
    m_client->setHostFileName(name);
    m_client->setLocalFileName(localPath(QStringLiteral("up.bin")));
    bool result = true;
    switch (op) {
    case Op::Cwd: result = m_client->changeDirectory(); break;
    case Op::Size: result = m_client->size(); break;
    case Op::Get: result = m_client->get(); break;
    case Op::Put: result = m_client->put(); break;
    case Op::Dele: result = m_client->deleteFile(); break;
    case Op::Type: break;
    }
    QVERIFY(!result);
    QVERIFY(m_client->typeBinary());
    QCOMPARE(m_server->commands(), QStringList{QStringLiteral("TYPE I")});
    QVERIFY(QFile::exists(serverPath(QStringLiteral("/var/opros/cs.out"))));

    // The same holds for the log-in names.
    m_client->quit();
    m_server->clearCommands();
    m_client->setUserName(QStringLiteral("root\r\nDELE x"));
    QVERIFY(!m_client->connectAndLogin());
    QTest::qWait(50);
    QVERIFY(m_server->commands().isEmpty());
}

// Catches names sent in UTF-8 or Latin-1: the recorder's names are Windows-1251.
void tst_FtpClient::cyrillicNamesGoAsWindows1251()
{
    const QString name = QStringLiteral("Отчёт-я.txt");
    writeFile(localPath(QStringLiteral("up.bin")), "данные");
    QVERIFY(logIn());
    m_client->setHostFileName(QStringLiteral("/mnt/dos/bin/") + name);
    m_client->setLocalFileName(localPath(QStringLiteral("up.bin")));
    QVERIFY(m_client->put());
    QVERIFY(QFile::exists(serverPath(QStringLiteral("/mnt/dos/bin/") + name)));
    QVERIFY(m_server->commands().contains(QStringLiteral("STOR /mnt/dos/bin/") + name));
    m_client->setLocalFileName(localPath(name));
    QVERIFY(m_client->get());
    QCOMPARE(readFile(localPath(name)), QByteArray("данные"));
}

// Catches an operator click that starts a second conversation on the same
// connection while the first one waits.
void tst_FtpClient::reentryDuringWaitIsRefused()
{
    writeFile(serverPath(QStringLiteral("/var/opros/slow.bin")), content(300000, 6));
    m_server->setSendRate(300000);
    QVERIFY(logIn());
    m_client->setHostFileName(QStringLiteral("/var/opros/slow.bin"));
    m_client->setLocalFileName(localPath(QStringLiteral("slow.bin")));
    m_server->clearCommands();
    int nested = -1;
    QTimer::singleShot(300, this, [this, &nested] {
        m_client->setHostDirName(QStringLiteral("/var/opros/"));
        nested = m_client->changeDirectory() ? 1 : 0;
    });
    QVERIFY(m_client->get());
    QCOMPARE(nested, 0);
    QCOMPARE(readFile(localPath(QStringLiteral("slow.bin"))), content(300000, 6));
    for (const QString &line : m_server->commands())
        QVERIFY2(!line.startsWith(QLatin1String("CWD")), qPrintable(line));
}

// Catches unbounded buffering of a reply line that never ends.
void tst_FtpClient::hugeReplyLineFailsFast()
{
    m_server.reset();
    QTcpServer raw;
    QVERIFY(raw.listen(kServerAddress, kPort));
    QList<QTcpSocket *> peers;
    connect(&raw, &QTcpServer::newConnection, this, [&raw, &peers] {
        QTcpSocket *peer = raw.nextPendingConnection();
        peers.append(peer);
        peer->write(QByteArray(1024 * 1024, 'x'));
    });
    setUpClient(true, 0);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!m_client->connectAndLogin());
    QVERIFY(clock.elapsed() < 2000);
    QVERIFY(!m_client->isConnected());
}

// Catches a server that shares one session's state (directory, log-in,
// data connection) with another's.
void tst_FtpClient::serverKeepsSessionsApart()
{
    FtpClient other;
    other.setHostName(kServerAddress.toString());
    other.setPort(kPort);
    other.setLocalAddress(kClientAddress);
    other.setUserName(QStringLiteral("root"));
    other.setPassword(QStringLiteral("secret"));
    other.setPassive(false);
    other.setTimeout(5);
    QVERIFY(logIn());
    QVERIFY(other.connectAndLogin());
    QCOMPARE(m_server->sessionCount(), 2);
    m_client->setHostDirName(QStringLiteral("/var/opros"));
    other.setHostDirName(QStringLiteral("/mnt/dos/bin"));
    QVERIFY(m_client->changeDirectory());
    QVERIFY(other.changeDirectory());
    writeFile(localPath(QStringLiteral("up.bin")), content(70000, 3));
    other.setHostFileName(QStringLiteral("opros.out"));
    other.setLocalFileName(localPath(QStringLiteral("up.bin")));
    QVERIFY(other.put());
    m_client->setHostFileName(QStringLiteral("opros.out"));
    QVERIFY(m_client->size());
    QCOMPARE(m_client->sizeResult(), qint64(5000));
    QVERIFY(other.size());
    QCOMPARE(other.sizeResult(), qint64(70000));
    QVERIFY(m_client->quit());
    QTRY_COMPARE(m_server->sessionCount(), 1);
    QVERIFY(other.quit());
    QTRY_COMPARE(m_server->sessionCount(), 0);
}

// Catches a simulated server that only our own client can use: curl lists,
// fetches and stores with its usual commands (PWD, EPSV, TYPE I, LIST...).
void tst_FtpClient::serverServesStandardClient()
{
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    if (curl.isEmpty())
        QSKIP("curl is not installed");
    writeFile(localPath(QStringLiteral("up.bin")), content(100000, 3));
    auto runCurl = [&](const QStringList &arguments, QByteArray &output) {
        QProcess process;
        process.start(curl, QStringList{QStringLiteral("-s"), QStringLiteral("--fail"), QStringLiteral("--interface"),
                                        kClientAddress.toString(), QStringLiteral("--max-time"), QStringLiteral("20")}
                                + arguments);
        if (!process.waitForStarted(5000))
            return -1;
        // The server lives on this thread: keep it served while curl runs.
        QElapsedTimer clock;
        clock.start();
        while (process.state() != QProcess::NotRunning && clock.elapsed() < 25000)
            QTest::qWait(10);
        output = process.readAllStandardOutput();
        return process.exitCode();
    };
    const QString base = QStringLiteral("ftp://root:secret@") + kServerAddress.toString();
    QByteArray output;
    QCOMPARE(runCurl({base + QStringLiteral("/var/opros/")}, output), 0);
    // curl turns the listing's CR LF into LF.
    QVERIFY2(output.contains(" opros.out\n") && output.contains(" cs.out\n"), output.constData());
    QCOMPARE(runCurl({QStringLiteral("--list-only"), base + QStringLiteral("/var/opros/")}, output), 0);
    QCOMPARE(output, QByteArray("cs.out\nopros.out\n"));
    QCOMPARE(runCurl({base + QStringLiteral("/var/opros/cs.out")}, output), 0);
    QCOMPARE(output, content(3000, 2));
    QCOMPARE(runCurl({QStringLiteral("-T"), localPath(QStringLiteral("up.bin")), base + QStringLiteral("/mnt/dos/bin/")}, output), 0);
    QCOMPARE(readFile(serverPath(QStringLiteral("/mnt/dos/bin/up.bin"))), content(100000, 3));
    QCOMPARE(runCurl({QStringLiteral("--ftp-port"), kClientAddress.toString(), base + QStringLiteral("/var/opros/opros.out")}, output), 0);
    QCOMPARE(output, content(5000, 1));
    QCOMPARE(runCurl({base + QStringLiteral("/var/opros/missing.out")}, output), 78);
}

QTEST_GUILESS_MAIN(tst_FtpClient)
#include "tst_ftpclient.moc"
