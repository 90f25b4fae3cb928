#include "platform/AppState.h"
#include "platform/HttpClient.h"
#include "tools/SimHttpServer.h"

#include <QElapsedTimer>
#include <QtTest>
#include <memory>

namespace {
const QHostAddress kServerAddress(QStringLiteral("127.0.0.40"));
const QString kServerHost = QStringLiteral("127.0.0.40");
// Nothing ever listens here.
const QString kDeadHost = QStringLiteral("127.0.0.41");

QByteArray requestFor(const QByteArray &path)
{
    return "GET " + path + " HTTP/1.0\r\n"
           "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
           "User-Agent: Mozilla/3.0 (compatible)\r\n"
           "Host: 127.0.0.40\r\n"
           "\r\n";
}
} // namespace

class tst_HttpClient : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void requestBytes_data();
    void requestBytes();
    void replyForms_data();
    void replyForms();
    void silenceLimitRestartsOnEveryByte();
    void silentServerFailsAfterTimeoutWhileLoopTurns();
    void noLimitWaitsForSlowReply();
    void endingMarkDoesNotEndWait();
    void lineBreaksRefusedBeforeSending_data();
    void lineBreaksRefusedBeforeSending();
    void refusedConnectionFailsQuickly();
    void nestedRequestRefused();
    void serverStatusRules();

private:
    std::unique_ptr<SimHttpServer> m_server;
};

void tst_HttpClient::init()
{
    m_server = std::make_unique<SimHttpServer>();
    QVERIFY2(m_server->listen(kServerAddress, 80), qPrintable(m_server->errorString()));
}

void tst_HttpClient::cleanup()
{
    m_server.reset();
    setApplicationEnding(false);
}

// Catches a path re-encoded on the way (QUrl, percent-decoding, UTF-8) or a
// header out of order or with the wrong line ends.
void tst_HttpClient::requestBytes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("wirePath");
    QTest::newRow("escapes, plus, ampersand, percent, question mark")
        << QStringLiteral("/cgi-bin/execute?a%20%20b+&%?%2B%zz")
        << QByteArray("/cgi-bin/execute?a%20%20b+&%?%2B%zz");
    QTest::newRow("Cyrillic name as Windows-1251")
        << QStringLiteral("/cgi-bin/execute?/bin/chmod%20a+x%20/mnt/dos/bin/Отчёт_я")
        << QByteArray("/cgi-bin/execute?/bin/chmod%20a+x%20/mnt/dos/bin/\xCE\xF2\xF7\xB8\xF2_\xFF");
    QTest::newRow("blank left as typed")
        << QStringLiteral("/cgi-bin/execute?/bin/chmod%20a+x%20/mnt/my dir/f")
        << QByteArray("/cgi-bin/execute?/bin/chmod%20a+x%20/mnt/my dir/f");
    QTest::newRow("empty command") << QStringLiteral("/cgi-bin/execute?")
                                   << QByteArray("/cgi-bin/execute?");
}

void tst_HttpClient::requestBytes()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, wirePath);
    HttpClient client;
    QVERIFY(client.get(kServerHost, path));
    QCOMPARE(client.lastStatus(), 200);
    QCOMPARE(m_server->rawRequests(), QList<QByteArray>{requestFor(wirePath)});
    QCOMPARE(m_server->requestPaths(), QStringList{path});
}

// Catches a status rule other than "below 400", a reply form that hangs or
// passes as done, and a reader that needs a whole line in one read.
void tst_HttpClient::replyForms_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("trickleMs");
    QTest::addColumn<bool>("done");
    QTest::addColumn<int>("status");
    const QByteArray ok = "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok";
    QTest::newRow("200 with length") << ok << 0 << true << 200;
    QTest::newRow("1.1 404 with reason") << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nNot Found")
                                         << 0 << false << 404;
    QTest::newRow("200 without reason, body to close") << QByteArray("HTTP/1.0 200\r\n\r\nran") << 0 << true << 200;
    QTest::newRow("LF line ends") << QByteArray("HTTP/1.0 200 OK\nContent-Length: 2\n\nok") << 0 << true << 200;
    QTest::newRow("302 counts as done") << QByteArray("HTTP/1.0 302 Found\r\nLocation: /x\r\n\r\n") << 0 << true << 302;
    QTest::newRow("399 done") << QByteArray("HTTP/1.0 399 Odd\r\n\r\n") << 0 << true << 399;
    QTest::newRow("400 failed") << QByteArray("HTTP/1.0 400 Bad Request\r\n\r\n") << 0 << false << 400;
    QTest::newRow("500 failed") << QByteArray("HTTP/1.0 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n")
                                << 0 << false << 500;
    QTest::newRow("immediate close") << QByteArray() << 0 << false << 0;
    QTest::newRow("hello") << QByteArray("hello") << 0 << false << 0;
    QTest::newRow("hello line") << QByteArray("hello\r\n\r\n") << 0 << false << 0;
    QTest::newRow("garbled status") << QByteArray("HTTP/1.0 2OO OK\r\n\r\n") << 0 << false << 0;
    QTest::newRow("100 Continue then 200")
        << QByteArray("HTTP/1.1 100 Continue\r\nX: y\r\n\r\nHTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok")
        << 0 << true << 200;
    QTest::newRow("100 Continue then 404")
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.0 404 Not Found\r\n\r\n") << 0 << false << 404;
    QTest::newRow("only 100 Continue") << QByteArray("HTTP/1.1 100 Continue\r\n\r\n") << 0 << false << 0;
    QTest::newRow("short body") << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nabc") << 0 << false << 200;
    QTest::newRow("header cut off") << QByteArray("HTTP/1.0 200 OK\r\nContent-Le") << 0 << false << 200;
    QTest::newRow("chunked, read to close")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 99\r\n\r\n"
                      "5\r\nhello\r\n0\r\n\r\n")
        << 0 << true << 200;
    QTest::newRow("long body without length")
        << QByteArray("HTTP/1.0 200 OK\r\n\r\n") + QByteArray(4 * 1024 * 1024, 'x') << 0 << true << 200;
    QTest::newRow("one byte at a time")
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.0 200 OK\nContent-Length: 2\r\n\r\nok") << 2 << true << 200;
}

void tst_HttpClient::replyForms()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, trickleMs);
    QFETCH(bool, done);
    QFETCH(int, status);
    m_server->setRawReply(reply);
    m_server->setTrickle(trickleMs);
    HttpClient client;
    client.setTimeout(10);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(client.get(kServerHost, QStringLiteral("/cgi-bin/execute?true")), done);
    QCOMPARE(client.lastStatus(), status);
    // Every form ends by itself, long before the time-out.
    QVERIFY2(clock.elapsed() < 5000, QByteArray::number(clock.elapsed()));
    QCOMPARE(m_server->rawRequests().size(), 1);
}

// Catches a time limit counted from the start instead of from the last byte.
void tst_HttpClient::silenceLimitRestartsOnEveryByte()
{
    // 14 bytes, one every 150 ms: about 2 s in all, never 1 s of silence.
    m_server->setRawReply("HTTP/1.0 200\n\n");
    m_server->setTrickle(150);
    HttpClient client;
    client.setTimeout(1);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(client.get(kServerHost, QStringLiteral("/cgi-bin/execute?sleep")));
    QVERIFY(clock.elapsed() > 1500);
}

// Catches a wait that never ends on a silent server, or one that freezes the
// window instead of turning the event loop.
void tst_HttpClient::silentServerFailsAfterTimeoutWhileLoopTurns()
{
    m_server->setNeverAnswer(true);
    HttpClient client;
    client.setTimeout(1);
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
    ticker.start(50);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!client.get(kServerHost, QStringLiteral("/cgi-bin/execute?true")));
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= 900 && elapsed < 5000, QByteArray::number(elapsed));
    QVERIFY2(ticks >= 5, QByteArray::number(ticks));
    QCOMPARE(client.lastStatus(), 0);
    QCOMPARE(m_server->rawRequests().size(), 1);
}

// Catches "0 seconds" taken as an immediate time-out.
void tst_HttpClient::noLimitWaitsForSlowReply()
{
    m_server->setReplyDelay(1500);
    HttpClient client;
    client.setTimeout(0);
    QVERIFY(client.get(kServerHost, QStringLiteral("/cgi-bin/execute?true")));
    QCOMPARE(client.lastStatus(), 200);
}

// Catches a command request cut short when the window is closed mid-run (the
// recorder would be left with its poll daemon stopped).
void tst_HttpClient::endingMarkDoesNotEndWait()
{
    m_server->setReplyDelay(300);
    setApplicationEnding(true);
    HttpClient client;
    QVERIFY(client.get(kServerHost, QStringLiteral("/cgi-bin/execute?/mnt/dos/bin/opd%20start")));
    QCOMPARE(client.lastStatus(), 200);
}

// Catches header injection through an address or a command line.
void tst_HttpClient::lineBreaksRefusedBeforeSending_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("path");
    QTest::newRow("CR LF in path") << kServerHost << QStringLiteral("/cgi-bin/execute?a\r\nX-Evil: 1");
    QTest::newRow("LF in path") << kServerHost << QStringLiteral("/cgi-bin/execute?a\nb");
    QTest::newRow("CR in path") << kServerHost << QStringLiteral("/cgi-bin/execute?a\rb");
    QTest::newRow("NUL in path") << kServerHost << QString(QStringLiteral("/cgi-bin/execute?a") + QChar(0) + u'b');
    QTest::newRow("LF in host") << QStringLiteral("127.0.0.40\nX-Evil: 1") << QStringLiteral("/cgi-bin/execute?a");
    QTest::newRow("empty host") << QString() << QStringLiteral("/cgi-bin/execute?a");
}

void tst_HttpClient::lineBreaksRefusedBeforeSending()
{
    QFETCH(QString, host);
    QFETCH(QString, path);
    HttpClient client;
    QVERIFY(!client.get(host, path));
    QCOMPARE(client.lastStatus(), 0);
    QTest::qWait(200);
    QCOMPARE(m_server->connectionCount(), 0);
}

// Catches a refused connection left to the time-out (or waited on forever).
void tst_HttpClient::refusedConnectionFailsQuickly()
{
    HttpClient client;
    client.setTimeout(30);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!client.get(kDeadHost, QStringLiteral("/cgi-bin/execute?true")));
    QVERIFY2(clock.elapsed() < 3000, QByteArray::number(clock.elapsed()));
    QCOMPARE(client.lastStatus(), 0);
}

// Catches a second request started from a handler during the wait, which
// would mix two exchanges on one client.
void tst_HttpClient::nestedRequestRefused()
{
    m_server->setReplyDelay(500);
    HttpClient client;
    bool nestedResult = true;
    bool nestedRan = false;
    QTimer::singleShot(100, this, [&] {
        nestedRan = true;
        nestedResult = client.get(kServerHost, QStringLiteral("/cgi-bin/execute?nested"));
    });
    QVERIFY(client.get(kServerHost, QStringLiteral("/cgi-bin/execute?outer")));
    QVERIFY(nestedRan);
    QVERIFY(!nestedResult);
    QCOMPARE(m_server->requestPaths(), QStringList{QStringLiteral("/cgi-bin/execute?outer")});
    // The refusal leaves the client usable.
    m_server->setReplyDelay(0);
    QVERIFY(client.get(kServerHost, QStringLiteral("/cgi-bin/execute?after")));
}

// Catches a simulated recorder that answers the wrong status, which the
// update run tests rely on.
void tst_HttpClient::serverStatusRules()
{
    const QString stop = QStringLiteral("/cgi-bin/execute?/mnt/dos/bin/opd%20stop");
    HttpClient client;
    QVERIFY(client.get(kServerHost, QStringLiteral("/cgi-bin/execute")));
    QVERIFY(!client.get(kServerHost, QStringLiteral("/cgi-bin/executex")));
    QCOMPARE(client.lastStatus(), 404);
    QVERIFY(!client.get(kServerHost, QStringLiteral("/index.html")));
    QCOMPARE(client.lastStatus(), 404);

    m_server->setStatusFor(stop, 500);
    QVERIFY(!client.get(kServerHost, stop));
    QCOMPARE(client.lastStatus(), 500);
    QVERIFY(client.get(kServerHost, QStringLiteral("/cgi-bin/execute?/mnt/dos/bin/opd%20start")));

    m_server->setStatus(503);
    QVERIFY(!client.get(kServerHost, QStringLiteral("/cgi-bin/execute?true")));
    QCOMPARE(client.lastStatus(), 503);
    QVERIFY(!client.get(kServerHost, stop));
    QCOMPARE(client.lastStatus(), 500);
    QCOMPARE(m_server->requestPaths().size(), 7);
}

QTEST_GUILESS_MAIN(tst_HttpClient)
#include "tst_httpclient.moc"
