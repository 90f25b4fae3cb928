#include "platform/HttpClient.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString kHost = QStringLiteral("127.0.0.45");
} // namespace

// The command request against a real web server (lighttpd from the distribution)
// running CGI scripts the way a recorder's "/cgi-bin/execute" does.
class tst_HttpInterop : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void queryArrivesAsTyped_data();
    void queryArrivesAsTyped();
    void headerFieldsSeenByServer();
    void outcome_data();
    void outcome();

private:
    QString file(const QString &name) const { return m_dir.filePath(name); }
    bool writeFile(const QString &name, const QByteArray &bytes, bool executable = false);
    QByteArray readFile(const QString &name) const;

    QTemporaryDir m_dir;
    QProcess m_server;
};

bool tst_HttpInterop::writeFile(const QString &name, const QByteArray &bytes, bool executable)
{
    QFile f(file(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return false;
    if (executable)
        f.setPermissions(f.permissions() | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    return true;
}

QByteArray tst_HttpInterop::readFile(const QString &name) const
{
    QFile f(file(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void tst_HttpInterop::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString lighttpd = QStandardPaths::findExecutable(
        QStringLiteral("lighttpd"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin"),
                                     QStringLiteral("/usr/bin")});
    if (lighttpd.isEmpty())
        QSKIP("lighttpd is not installed (scripts/install-deps.sh installs it)");

    const QByteArray dir = QFile::encodeName(m_dir.path());
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("www/cgi-bin")));
    // The command script records its query exactly, one line per request, and
    // the request's header fields as the server understood them.
    QVERIFY(writeFile(QStringLiteral("www/cgi-bin/execute"),
                      "#!/bin/sh\n"
                      "printf '%s\\n' \"$QUERY_STRING\" >> '" + dir + "/queries'\n"
                      "printf '%s\\n%s\\n%s\\n' \"$HTTP_ACCEPT\" \"$HTTP_USER_AGENT\" \"$HTTP_HOST\" > '"
                          + dir + "/headers'\n"
                      "printf 'Content-Type: text/plain\\r\\n\\r\\nok\\r\\n'\n",
                      true));
    QVERIFY(writeFile(QStringLiteral("www/cgi-bin/broken"),
                      "#!/bin/sh\nprintf 'Status: 500 Internal Server Error\\r\\n\\r\\nbroken\\r\\n'\n", true));
    QVERIFY(writeFile(QStringLiteral("www/cgi-bin/moved"),
                      "#!/bin/sh\nprintf 'Location: http://" + kHost.toLatin1() + "/elsewhere\\r\\n\\r\\n'\n",
                      true));
    // The default configuration re-encodes a lone "%" and bytes above 127 in
    // the query; normalisation is turned off so the query arrives as sent.
    QVERIFY(writeFile(QStringLiteral("lighttpd.conf"),
                      "server.modules = ( \"mod_cgi\" )\n"
                      "server.document-root = \"" + dir + "/www\"\n"
                      "server.bind = \"" + kHost.toLatin1() + "\"\n"
                      "server.port = 80\n"
                      "server.errorlog = \"" + dir + "/error.log\"\n"
                      "server.http-parseopts = ( \"url-normalize\" => \"disable\" )\n"
                      "$HTTP[\"url\"] =~ \"^/cgi-bin/\" { cgi.assign = ( \"\" => \"\" ) }\n"));

    m_server.setProcessChannelMode(QProcess::MergedChannels);
    m_server.start(lighttpd, {QStringLiteral("-D"), QStringLiteral("-f"), file(QStringLiteral("lighttpd.conf"))});
    if (!m_server.waitForStarted(5000))
        QSKIP(qPrintable(QStringLiteral("lighttpd could not be started: ") + m_server.errorString()));

    // lighttpd notes "server started" in its error log once it listens; a
    // bare connect could reach some other program holding the address.
    QElapsedTimer clock;
    clock.start();
    bool up = false;
    while (!up && clock.elapsed() < 5000 && m_server.state() == QProcess::Running) {
        up = readFile(QStringLiteral("error.log")).contains("server started");
        if (!up)
            QTest::qWait(50);
    }
    if (!up) {
        const QString why = QString::fromLocal8Bit(m_server.readAll() + readFile(QStringLiteral("error.log")));
        m_server.kill();
        m_server.waitForFinished(2000);
        QSKIP(qPrintable(QStringLiteral("lighttpd did not come up on %1:80: %2").arg(kHost, why.trimmed())));
    }
}

void tst_HttpInterop::cleanupTestCase()
{
    if (m_server.state() == QProcess::NotRunning)
        return;
    m_server.terminate();
    if (!m_server.waitForFinished(5000)) {
        m_server.kill();
        m_server.waitForFinished(2000);
    }
}

// Catches a query re-encoded or cut on the way to the recorder's script
// ("+" turned into a blank, "%20" decoded, Cyrillic sent as UTF-8).
void tst_HttpInterop::queryArrivesAsTyped_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QByteArray>("received");
    QTest::newRow("daemon restart with switch") << QStringLiteral("/mnt/dos/bin/opd%20restart%20-c")
                                                << QByteArray("/mnt/dos/bin/opd%20restart%20-c");
    QTest::newRow("escapes, plus, ampersand, percent, question mark")
        << QStringLiteral("a%20%20b+&%?%2B%zz") << QByteArray("a%20%20b+&%?%2B%zz");
    QTest::newRow("Cyrillic name")
        << QStringLiteral("/bin/chmod%20a+x%20/mnt/dos/bin/Отчёт")
        << QByteArray("/bin/chmod%20a+x%20/mnt/dos/bin/\xCE\xF2\xF7\xB8\xF2");
    QTest::newRow("blank in a directory") << QStringLiteral("/bin/chmod%20a+x%20/mnt/my dir/f")
                                          << QByteArray("/bin/chmod%20a+x%20/mnt/my dir/f");
    QTest::newRow("empty command") << QString() << QByteArray();
}

void tst_HttpInterop::queryArrivesAsTyped()
{
    QFETCH(QString, query);
    QFETCH(QByteArray, received);
    QFile::remove(file(QStringLiteral("queries")));
    HttpClient client;
    client.setTimeout(10);
    QVERIFY(client.get(kHost, QStringLiteral("/cgi-bin/execute?") + query));
    QCOMPARE(client.lastStatus(), 200);
    QCOMPARE(readFile(QStringLiteral("queries")), received + '\n');
}

// Catches header fields a real server does not parse as meant.
void tst_HttpInterop::headerFieldsSeenByServer()
{
    HttpClient client;
    client.setTimeout(10);
    QVERIFY(client.get(kHost, QStringLiteral("/cgi-bin/execute?true")));
    QCOMPARE(readFile(QStringLiteral("headers")),
             QByteArray("image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\n"
                        "Mozilla/3.0 (compatible)\n") + kHost.toLatin1() + '\n');
}

// Catches a real server's error replies taken as done, or its redirect as failed.
void tst_HttpInterop::outcome_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("done");
    QTest::addColumn<int>("status");
    QTest::newRow("script ran") << QStringLiteral("/cgi-bin/execute?/mnt/dos/bin/opd%20stop") << true << 200;
    QTest::newRow("no such script") << QStringLiteral("/cgi-bin/nothing?x") << false << 404;
    QTest::newRow("script failed") << QStringLiteral("/cgi-bin/broken") << false << 500;
    QTest::newRow("script redirects") << QStringLiteral("/cgi-bin/moved") << true << 302;
}

void tst_HttpInterop::outcome()
{
    QFETCH(QString, path);
    QFETCH(bool, done);
    QFETCH(int, status);
    HttpClient client;
    client.setTimeout(10);
    QCOMPARE(client.get(kHost, path), done);
    QCOMPARE(client.lastStatus(), status);
}

QTEST_GUILESS_MAIN(tst_HttpInterop)
#include "tst_httpinterop.moc"
