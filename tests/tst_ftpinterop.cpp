#include "platform/FtpClient.h"
#include "platform/TextCodec.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

// The FTP client against real third-party servers from the distribution's
// packages, started here on loopback addresses: vsftpd with a configuration
// of its own and a local test user, and pyftpdlib, which refuses "SIZE" in
// ASCII mode and says nothing after an aborted upload.

namespace {

const QHostAddress kServerAddress(QStringLiteral("127.0.0.12"));
const QHostAddress kClientAddress(QStringLiteral("127.0.0.13"));
const QString kUser = QStringLiteral("zentarftp");
const QString kPassword = QStringLiteral("Zt-interop-21");
const QHostAddress kPyServerAddress(QStringLiteral("127.0.0.16"));
const QHostAddress kPyClientAddress(QStringLiteral("127.0.0.17"));

QByteArray content(qint64 size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = 2463534242u + quint32(seed);
    for (qint64 i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = char(x & 0xFF);
    }
    return bytes;
}

// Poll tables as recorders write them: text with LF and CR LF line ends.
QByteArray table(int rows, int seed)
{
    QByteArray text;
    for (int i = 0; i < rows; ++i) {
        text += QByteArray::number(seed * 1000 + i) + "  0001  ok  23.9  2.11";
        text += (i % 3 == 0) ? "\r\n" : "\n";
    }
    return text;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

int run(const QString &program, const QStringList &arguments, const QByteArray &input = QByteArray())
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        return -1;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(15000);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Waits until a server greets on port 21 of the address.
bool greets(const QHostAddress &address, QProcess &process)
{
    for (int i = 0; i < 50; ++i) {
        if (process.state() != QProcess::Running)
            return false;
        QTcpSocket probe;
        probe.connectToHost(address, 21);
        if (probe.waitForConnected(200) && probe.waitForReadyRead(2000) && probe.readAll().startsWith("220"))
            return true;
        QTest::qWait(100);
    }
    return false;
}

// A server started in a process group of its own and ended with it, session
// processes included.
void startInOwnGroup(QProcess &process, const QString &program, const QStringList &arguments)
{
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setChildProcessModifier([] { ::setsid(); });
    process.start(program, arguments);
}

void stopGroup(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    ::kill(-pid_t(process.processId()), SIGTERM);
    if (!process.waitForFinished(5000)) {
        ::kill(-pid_t(process.processId()), SIGKILL);
        process.waitForFinished(5000);
    }
}

} // namespace

class tst_FtpInterop : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void diagnosticsSequence_data();
    void diagnosticsSequence();
    void binaryUploadSizeDelete_data();
    void binaryUploadSizeDelete();
    void abortedTransferFailsOnBothSides_data();
    void abortedTransferFailsOnBothSides();
    void cyrillicNameArrivesByteExact();
    void serverRefusingSizeInAsciiMode_data();
    void serverRefusingSizeInAsciiMode();

private:
    QString rootPath(const QString &path) const { return m_dir->path() + QStringLiteral("/root") + path; }
    QString localPath(const QString &name) const { return m_local->path() + QLatin1Char('/') + name; }
    void setUpClient(bool passive);
    QStringList loggedCommandsSince(qint64 offset) const;
    qint64 logSize() const { return QFileInfo(m_logPath).size(); }
    QStringList logLinesSince(qint64 offset) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_local;
    std::unique_ptr<QProcess> m_server;
    QString m_logPath;
    bool m_createdUser = false;
    std::unique_ptr<FtpClient> m_client;
};

void tst_FtpInterop::initTestCase()
{
    const QString vsftpd = QStandardPaths::findExecutable(QStringLiteral("vsftpd"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (vsftpd.isEmpty())
        QSKIP("vsftpd is not installed (scripts/install-deps.sh installs it)");
    if (::geteuid() != 0)
        QSKIP("starting vsftpd on port 21 with a local test user needs root");
    if (!QFile::exists(QStringLiteral("/etc/pam.d/vsftpd")))
        QSKIP("the PAM service file /etc/pam.d/vsftpd of the vsftpd package is missing");

    m_dir = std::make_unique<QTemporaryDir>();
    m_local = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid() && m_local->isValid());
    // The server runs the session as the test user, who must reach the tree.
    QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                     | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
    QVERIFY(QDir().mkpath(m_dir->path() + QStringLiteral("/empty")));
    QVERIFY(QDir().mkpath(rootPath(QStringLiteral("/mnt/dos/bin"))));
    QVERIFY(QDir().mkpath(rootPath(QStringLiteral("/var/opros"))));

    if (run(QStringLiteral("id"), {kUser}) != 0) {
        QCOMPARE(run(QStringLiteral("useradd"), {QStringLiteral("-M"), QStringLiteral("-d"), rootPath(QString()),
                                                 QStringLiteral("-s"), QStringLiteral("/bin/sh"), kUser}), 0);
        m_createdUser = true;
    }
    QCOMPARE(run(QStringLiteral("chpasswd"), {}, (kUser + QLatin1Char(':') + kPassword + QLatin1Char('\n')).toUtf8()), 0);
    QCOMPARE(run(QStringLiteral("chown"), {QStringLiteral("-R"), kUser, rootPath(QStringLiteral("/mnt")), rootPath(QStringLiteral("/var"))}), 0);

    m_logPath = m_dir->path() + QStringLiteral("/vsftpd.log");
    const QString config = m_dir->path() + QStringLiteral("/vsftpd.conf");
    QByteArray text;
    text += "listen=YES\nlisten_ipv6=NO\nlisten_port=21\nbackground=NO\n";
    text += "listen_address=" + kServerAddress.toString().toLatin1() + "\n";
    text += "anonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\nlocal_umask=022\n";
    // Absolute recorder paths ("/var/opros/") land under the test tree.
    text += "chroot_local_user=YES\nallow_writeable_chroot=YES\n";
    text += "local_root=" + rootPath(QString()).toLocal8Bit() + "\n";
    text += "pam_service_name=vsftpd\nuserlist_enable=NO\n";
    text += "secure_chroot_dir=" + m_dir->path().toLocal8Bit() + "/empty\n";
    text += "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\nconnect_from_port_20=NO\n";
    text += "xferlog_enable=YES\nlog_ftp_protocol=YES\n";
    text += "vsftpd_log_file=" + m_logPath.toLocal8Bit() + "\n";
    QVERIFY(writeFile(config, text));

    m_server = std::make_unique<QProcess>();
    startInOwnGroup(*m_server, vsftpd, {config});
    QVERIFY(m_server->waitForStarted(5000));
    if (!greets(kServerAddress, *m_server)) {
        const QByteArray output = m_server->readAll();
        cleanupTestCase();
        QSKIP(qPrintable(QStringLiteral("vsftpd did not start on 127.0.0.12:21: ") + QString::fromLocal8Bit(output)));
    }
}

void tst_FtpInterop::cleanupTestCase()
{
    m_client.reset();
    if (m_server)
        stopGroup(*m_server);
    m_server.reset();
    if (m_createdUser) {
        run(QStringLiteral("userdel"), {kUser});
        m_createdUser = false;
    }
}

void tst_FtpInterop::init()
{
    m_client = std::make_unique<FtpClient>();
    setUpClient(true);
}

void tst_FtpInterop::setUpClient(bool passive)
{
    m_client->setHostName(kServerAddress.toString());
    m_client->setLocalAddress(kClientAddress);
    m_client->setUserName(kUser);
    m_client->setPassword(kPassword);
    m_client->setPassive(passive);
    m_client->setTimeout(10);
}

QStringList tst_FtpInterop::logLinesSince(qint64 offset) const
{
    QFile file(m_logPath);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
        return {};
    return QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The commands the server logged, in order: `FTP command: Client "a", "CWD x"`.
QStringList tst_FtpInterop::loggedCommandsSince(qint64 offset) const
{
    QStringList commands;
    static const QRegularExpression pattern(QStringLiteral("FTP command: Client \"[^\"]*\", \"(.*)\"$"));
    for (const QString &line : logLinesSince(offset)) {
        const QRegularExpressionMatch match = pattern.match(line);
        if (match.hasMatch())
            commands.append(match.captured(1));
    }
    return commands;
}

// Catches a fetch that breaks on a real server: the exact commands of the
// diagnostics run, "SIZE" in ASCII mode (no "TYPE" is sent), both data modes.
void tst_FtpInterop::diagnosticsSequence_data()
{
    QTest::addColumn<bool>("passive");
    QTest::newRow("passive") << true;
    QTest::newRow("active") << false;
}

void tst_FtpInterop::diagnosticsSequence()
{
    QFETCH(bool, passive);
    QVERIFY(writeFile(rootPath(QStringLiteral("/var/opros/opros.out")), table(400, 1)));
    QVERIFY(writeFile(rootPath(QStringLiteral("/var/opros/cs.out")), table(90, 2)));
    setUpClient(passive);
    const qint64 offset = logSize();
    QVERIFY(m_client->connectAndLogin());
    for (const QString &name : {QStringLiteral("opros.out"), QStringLiteral("cs.out")}) {
        m_client->setHostDirName(QStringLiteral("/var/opros/"));
        QVERIFY(m_client->changeDirectory());
        m_client->setHostFileName(name);
        QVERIFY2(m_client->size(), "the server refused SIZE in ASCII mode");
        QCOMPARE(m_client->sizeResult(), QFileInfo(rootPath(QStringLiteral("/var/opros/") + name)).size());
        m_client->setLocalFileName(localPath(name));
        QVERIFY(m_client->get());
        QCOMPARE(readFile(localPath(name)), readFile(rootPath(QStringLiteral("/var/opros/") + name)));
    }
    QVERIFY(m_client->quit());
    QTRY_VERIFY(loggedCommandsSince(offset).contains(QStringLiteral("QUIT")));
    QStringList commands = loggedCommandsSince(offset);
    const QString dataVerb = passive ? QStringLiteral("PASV") : QStringLiteral("PORT ");
    for (QString &command : commands)
        if (command.startsWith(QLatin1String("PORT ")))
            command = QStringLiteral("PORT ");
    const QStringList expected{
        QStringLiteral("USER ") + kUser, QStringLiteral("PASS <password>"),
        QStringLiteral("CWD /var/opros/"), QStringLiteral("SIZE opros.out"), dataVerb, QStringLiteral("RETR opros.out"),
        QStringLiteral("CWD /var/opros/"), QStringLiteral("SIZE cs.out"), dataVerb, QStringLiteral("RETR cs.out"),
        QStringLiteral("QUIT")};
    QCOMPARE(commands, expected);
}

// Catches an upload, size check or delete that only works against our own
// simulated server.
void tst_FtpInterop::binaryUploadSizeDelete_data()
{
    QTest::addColumn<bool>("passive");
    QTest::addColumn<qint64>("size");
    QTest::newRow("passive, 3 MB") << true << qint64(3 * 1024 * 1024 + 5);
    QTest::newRow("active, 3 MB") << false << qint64(3 * 1024 * 1024 + 5);
    QTest::newRow("passive, empty") << true << qint64(0);
    QTest::newRow("active, empty") << false << qint64(0);
}

void tst_FtpInterop::binaryUploadSizeDelete()
{
    QFETCH(bool, passive);
    QFETCH(qint64, size);
    const QByteArray bytes = content(size, 3);
    QVERIFY(writeFile(localPath(QStringLiteral("opd")), bytes));
    setUpClient(passive);
    QVERIFY(m_client->connectAndLogin());
    QVERIFY(m_client->typeBinary());
    m_client->setHostDirName(QStringLiteral("/mnt/dos/bin/"));
    QVERIFY(m_client->changeDirectory());
    m_client->setHostFileName(QStringLiteral("opd"));
    m_client->setLocalFileName(localPath(QStringLiteral("opd")));
    QVERIFY(m_client->put());
    QCOMPARE(readFile(rootPath(QStringLiteral("/mnt/dos/bin/opd"))), bytes);
    QVERIFY(m_client->size());
    QCOMPARE(m_client->sizeResult(), size);
    QVERIFY(m_client->deleteFile());
    QVERIFY(!QFile::exists(rootPath(QStringLiteral("/mnt/dos/bin/opd"))));
    QVERIFY(!m_client->size());
    QVERIFY(!m_client->deleteFile());
    QVERIFY(m_client->quit());
}

// Catches an aborted upload that a real server stores as a complete (but cut)
// file, and a session that is out of step after an abort.
void tst_FtpInterop::abortedTransferFailsOnBothSides_data()
{
    QTest::addColumn<bool>("upload");
    QTest::addColumn<bool>("passive");
    QTest::newRow("STOR, passive") << true << true;
    QTest::newRow("STOR, active") << true << false;
    QTest::newRow("RETR, passive") << false << true;
}

void tst_FtpInterop::abortedTransferFailsOnBothSides()
{
    QFETCH(bool, upload);
    QFETCH(bool, passive);
    QVERIFY(writeFile(localPath(QStringLiteral("big.bin")), content(8 * 1024 * 1024, 4)));
    QVERIFY(writeFile(rootPath(QStringLiteral("/mnt/dos/bin/big.bin")), content(64 * 1024 * 1024, 5)));
    QVERIFY(writeFile(rootPath(QStringLiteral("/var/opros/cs.out")), table(90, 2)));
    setUpClient(passive);
    QVERIFY(m_client->connectAndLogin());
    QVERIFY(m_client->typeBinary());
    // The operator's cancel, handed over at the first report.
    connect(m_client.get(), &FtpClient::progress, this, [](qint64, bool &abort) { abort = true; });
    const qint64 offset = logSize();
    m_client->setHostFileName(QStringLiteral("/mnt/dos/bin/big.bin"));
    m_client->setLocalFileName(localPath(QStringLiteral("big.bin")));
    QVERIFY(upload ? !m_client->put() : !m_client->get());
    disconnect(m_client.get(), &FtpClient::progress, this, nullptr);
    const QString failed = upload ? QStringLiteral("FAIL UPLOAD") : QStringLiteral("FAIL DOWNLOAD");
    QTRY_VERIFY2(logLinesSince(offset).join(QLatin1Char('\n')).contains(failed), qPrintable(logLinesSince(offset).join(QLatin1Char('\n'))));
    QVERIFY(!logLinesSince(offset).join(QLatin1Char('\n')).contains(QLatin1String("OK UPLOAD")));
    // Still in step: the next commands get their own replies.
    QVERIFY(m_client->isConnected());
    m_client->setHostFileName(QStringLiteral("/var/opros/cs.out"));
    QVERIFY(m_client->size());
    QCOMPARE(m_client->sizeResult(), qint64(table(90, 2).size()));
    m_client->setLocalFileName(localPath(QStringLiteral("cs.out")));
    QVERIFY(m_client->get());
    QCOMPARE(readFile(localPath(QStringLiteral("cs.out"))), table(90, 2));
    QVERIFY(m_client->quit());
}

// Catches a name re-encoded on the way: the server must get the
// Windows-1251 bytes, with the byte 0xFF ("я") single.
void tst_FtpInterop::cyrillicNameArrivesByteExact()
{
    const QString name = QStringLiteral("Версия-я.bin");
    QVERIFY(writeFile(localPath(QStringLiteral("up.bin")), "data"));
    QVERIFY(m_client->connectAndLogin());
    QVERIFY(m_client->typeBinary());
    m_client->setHostFileName(QStringLiteral("/mnt/dos/bin/") + name);
    m_client->setLocalFileName(localPath(QStringLiteral("up.bin")));
    QVERIFY(m_client->put());
    const QByteArray onDisk = QFile::encodeName(rootPath(QStringLiteral("/mnt/dos/bin/"))) + toWin1251(name);
    struct stat info {};
    QCOMPARE(::stat(onDisk.constData(), &info), 0);
    QCOMPARE(qint64(info.st_size), qint64(4));
    QVERIFY(m_client->size());
    QCOMPARE(m_client->sizeResult(), qint64(4));
    QVERIFY(m_client->deleteFile());
    QVERIFY(m_client->quit());
}

// Catches a client that takes a refused "SIZE" for a size, hangs after an
// aborted upload that the server never answers, or cannot use a server that
// connects the active data connection while answering "PORT".
void tst_FtpInterop::serverRefusingSizeInAsciiMode_data()
{
    QTest::addColumn<bool>("passive");
    QTest::newRow("passive") << true;
    QTest::newRow("active") << false;
}

void tst_FtpInterop::serverRefusingSizeInAsciiMode()
{
    QFETCH(bool, passive);
    const QString python = QStringLiteral("/usr/bin/python3");
    if (run(python, {QStringLiteral("-c"), QStringLiteral("import pyftpdlib")}) != 0)
        QSKIP("pyftpdlib is not installed (python3-pyftpdlib, scripts/install-deps.sh installs it)");
    QVERIFY(writeFile(rootPath(QStringLiteral("/var/opros/opros.out")), table(400, 1)));
    QVERIFY(writeFile(rootPath(QStringLiteral("/var/opros/cs.out")), table(90, 2)));
    QVERIFY(writeFile(localPath(QStringLiteral("big.bin")), content(16 * 1024 * 1024, 4)));
    QProcess server;
    startInOwnGroup(server, python, {QStringLiteral("-m"), QStringLiteral("pyftpdlib"), QStringLiteral("-i"),
                                     kPyServerAddress.toString(), QStringLiteral("-p"), QStringLiteral("21"),
                                     QStringLiteral("-w"), QStringLiteral("-d"), rootPath(QString()),
                                     QStringLiteral("-u"), kUser, QStringLiteral("-P"), kPassword});
    struct Stop
    {
        QProcess &process;
        ~Stop() { stopGroup(process); }
    } stop{server};
    QVERIFY(server.waitForStarted(5000));
    QVERIFY2(greets(kPyServerAddress, server), server.readAll().constData());

    m_client->setHostName(kPyServerAddress.toString());
    m_client->setLocalAddress(kPyClientAddress);
    m_client->setPassive(passive);
    QVERIFY(m_client->connectAndLogin());
    m_client->setHostDirName(QStringLiteral("/var/opros/"));
    QVERIFY(m_client->changeDirectory());
    m_client->setHostFileName(QStringLiteral("opros.out"));
    QVERIFY(!m_client->size());
    QVERIFY(m_client->isConnected());
    QVERIFY(m_client->typeBinary());
    QVERIFY(m_client->size());
    QCOMPARE(m_client->sizeResult(), qint64(table(400, 1).size()));
    m_client->setLocalFileName(localPath(QStringLiteral("opros.out")));
    QVERIFY(m_client->get());
    QCOMPARE(readFile(localPath(QStringLiteral("opros.out"))), table(400, 1));

    connect(m_client.get(), &FtpClient::progress, this, [](qint64, bool &abort) { abort = true; });
    m_client->setHostFileName(QStringLiteral("/var/opros/big.bin"));
    m_client->setLocalFileName(localPath(QStringLiteral("big.bin")));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!m_client->put());
    QVERIFY(clock.elapsed() < 5000);
    disconnect(m_client.get(), &FtpClient::progress, this, nullptr);
    // Whether the server spoke up or the session was dropped, the next
    // recorder's session works.
    m_client->quit();
    QVERIFY(m_client->connectAndLogin());
    m_client->setHostFileName(QStringLiteral("/var/opros/cs.out"));
    m_client->setLocalFileName(localPath(QStringLiteral("cs.out")));
    QVERIFY(m_client->get());
    // A new session is in ASCII mode, in which this server ends every line
    // with CR LF; the table readers take both.
    QCOMPARE(readFile(localPath(QStringLiteral("cs.out"))), table(90, 2).replace("\r\n", "\n").replace("\n", "\r\n"));
    QVERIFY(m_client->quit());
}

QTEST_GUILESS_MAIN(tst_FtpInterop)
#include "tst_ftpinterop.moc"
