// Throughput of one 100 MB "RETR" (and "STOR") with the FTP client beside
// curl on the same file, same server, same run. The simulated recorder's
// server runs on a thread of its own so that it does not share the client's.

#include "platform/FtpClient.h"
#include "tools/SimFtpServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>

namespace {

const QString kServer = QStringLiteral("127.0.0.180");
const QString kClient = QStringLiteral("127.0.0.181");
constexpr qint64 kSize = 100LL * 1024 * 1024;
constexpr int kRuns = 3;

double mbps(qint64 bytes, qint64 ns)
{
    return ns > 0 ? double(bytes) / (1024.0 * 1024.0) / (double(ns) / 1e9) : 0.0;
}

// The bench's client: passive, to the bench server, from the bench's own address.
void setUpClient(FtpClient &client)
{
    client.setHostName(kServer);
    client.setLocalAddress(QHostAddress(kClient));
    client.setUserName(QStringLiteral("root"));
    client.setPassword(QStringLiteral("secret"));
    client.setPassive(true);
    client.setTimeout(30);
}

qint64 ourTransfer(bool upload, const QString &local, const QString &arrived)
{
    FtpClient client;
    setUpClient(client);
    QElapsedTimer clock;
    clock.start();
    if (!client.connectAndLogin())
        return -1;
    client.setHostFileName(upload ? QStringLiteral("/mnt/dos/bin/up.bin") : QStringLiteral("/var/opros/big.bin"));
    client.setLocalFileName(local);
    if (!(upload ? client.put() : client.get()))
        return -1;
    const qint64 ns = clock.nsecsElapsed();
    client.quit();
    return QFileInfo(arrived).size() == kSize ? ns : -1;
}

// curl's own figure (from its start of the transfer, connect included), so
// that the start of the curl process does not count against it.
qint64 curlTransfer(const QString &curl, bool upload, const QString &local, const QString &arrived)
{
    const QString base = QStringLiteral("ftp://root:secret@") + kServer;
    QStringList arguments{QStringLiteral("-s"), QStringLiteral("--fail"), QStringLiteral("--interface"), kClient,
                          QStringLiteral("-w"), QStringLiteral("%{time_total}")};
    if (upload)
        arguments << QStringLiteral("-T") << local << base + QStringLiteral("/mnt/dos/bin/up.bin");
    else
        arguments << QStringLiteral("-o") << local << base + QStringLiteral("/var/opros/big.bin");
    QProcess process;
    process.start(curl, arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0 || QFileInfo(arrived).size() != kSize)
        return -1;
    bool ok = false;
    const double seconds = process.readAllStandardOutput().trimmed().toDouble(&ok);
    return ok ? qint64(seconds * 1e9) : -1;
}

// One recorder as the diagnostics run serves it: small replies back and
// forth, where a delayed acknowledgement would cost 40 ms a step.
qint64 ourSession(const QString &dir)
{
    FtpClient client;
    setUpClient(client);
    QElapsedTimer clock;
    clock.start();
    if (!client.connectAndLogin())
        return -1;
    for (const QString &name : {QStringLiteral("opros.out"), QStringLiteral("cs.out")}) {
        client.setHostDirName(QStringLiteral("/var/opros/"));
        client.setHostFileName(name);
        client.setLocalFileName(dir + QLatin1Char('/') + name);
        if (!client.changeDirectory() || !client.size() || !client.get())
            return -1;
    }
    client.quit();
    return clock.nsecsElapsed();
}

// Over loopback curl 7.x now and then sits out its one-second poll before a
// passive data connection; such a transfer counts as long as the other one.
qint64 curlSession(const QString &curl, const QString &dir, int &stalls)
{
    const QString base = QStringLiteral("ftp://root:secret@") + kServer + QStringLiteral("/var/opros/");
    QProcess process;
    process.start(curl, {QStringLiteral("-s"), QStringLiteral("--fail"), QStringLiteral("--interface"), kClient,
                         QStringLiteral("-w"), QStringLiteral("%{time_total}\n"),
                         base + QStringLiteral("opros.out"), QStringLiteral("-o"), dir + QStringLiteral("/a"),
                         base + QStringLiteral("cs.out"), QStringLiteral("-o"), dir + QStringLiteral("/b")});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return -1;
    QList<double> times;
    for (const QByteArray &line : process.readAllStandardOutput().split('\n'))
        if (!line.trimmed().isEmpty())
            times << line.trimmed().toDouble();
    if (times.size() != 2)
        return -1;
    for (int i = 0; i < 2; ++i) {
        if (times[i] >= 0.9) {
            ++stalls;
            times[i] = times[1 - i] < 0.9 ? times[1 - i] : 0.0;
        }
    }
    return qint64((times[0] + times[1]) * 1e9);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString root = dir.path() + QStringLiteral("/root");
    QDir().mkpath(root + QStringLiteral("/var/opros"));
    QDir().mkpath(root + QStringLiteral("/mnt/dos/bin"));
    {
        QFile file(root + QStringLiteral("/var/opros/big.bin"));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        QByteArray block(1024 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < block.size(); ++i)
            block[i] = char((i * 131) ^ (i >> 9));
        for (qint64 written = 0; written < kSize; written += block.size())
            file.write(block);
    }

    QThread serverThread;
    serverThread.start();
    QObject context;
    context.moveToThread(&serverThread);
    SimFtpServer *server = nullptr;
    bool listening = false;
    QMetaObject::invokeMethod(&context, [&] {
        server = new SimFtpServer;
        server->setRoot(root);
        server->setCredentials(QStringLiteral("root"), QStringLiteral("secret"));
        listening = server->listen(QHostAddress(kServer), 21);
    }, Qt::BlockingQueuedConnection);
    if (!listening) {
        std::printf("cannot listen on %s:21\n", qPrintable(kServer));
        return 1;
    }

    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    const QString fetched = dir.path() + QStringLiteral("/fetched.bin");
    const QString source = root + QStringLiteral("/var/opros/big.bin");
    const QString uploaded = root + QStringLiteral("/mnt/dos/bin/up.bin");
    int status = 0;
    for (bool upload : {false, true}) {
        qint64 ours = -1;
        qint64 theirs = -1;
        for (int run = 0; run < kRuns; ++run) {
            // Interleaved, so both see the same machine load.
            const QString local = upload ? source : fetched;
            const QString arrived = upload ? uploaded : fetched;
            const qint64 a = ourTransfer(upload, local, arrived);
            QFile::remove(arrived);
            const qint64 b = curl.isEmpty() ? -1 : curlTransfer(curl, upload, local, arrived);
            QFile::remove(arrived);
            if (a > 0)
                ours = ours < 0 ? a : std::min(ours, a);
            if (b > 0)
                theirs = theirs < 0 ? b : std::min(theirs, b);
        }
        const char *what = upload ? "STOR" : "RETR";
        if (ours < 0) {
            std::printf("%s 100 MB: FtpClient failed\n", what);
            status = 1;
            continue;
        }
        std::printf("%s 100 MB, FtpClient: %.3f s, %.0f MB/s (best of %d)\n", what, ours / 1e9, mbps(kSize, ours), kRuns);
        if (theirs < 0) {
            std::printf("%s 100 MB, curl: not available\n", what);
            continue;
        }
        const double ratio = double(theirs) / double(ours);
        std::printf("%s 100 MB, curl:      %.3f s, %.0f MB/s (best of %d)\n", what, theirs / 1e9, mbps(kSize, theirs), kRuns);
        std::printf("%s throughput FtpClient / curl: %.2f (target >= 0.80): %s\n", what, ratio,
                    ratio >= 0.8 ? "met" : "NOT met");
    }

    {
        QFile table(root + QStringLiteral("/var/opros/opros.out"));
        table.open(QIODevice::WriteOnly);
        table.write(QByteArray(5000, 'x'));
        QFile channels(root + QStringLiteral("/var/opros/cs.out"));
        channels.open(QIODevice::WriteOnly);
        channels.write(QByteArray(3000, 'y'));
    }
    constexpr int kSessions = 20;
    qint64 ourTotal = 0;
    qint64 curlTotal = 0;
    int curlStalls = 0;
    for (int i = 0; i < kSessions && ourTotal >= 0; ++i) {
        const qint64 a = ourSession(dir.path());
        ourTotal = a < 0 ? -1 : ourTotal + a;
        if (!curl.isEmpty() && curlTotal >= 0) {
            const qint64 b = curlSession(curl, dir.path(), curlStalls);
            curlTotal = b < 0 ? -1 : curlTotal + b;
        }
    }
    if (ourTotal < 0) {
        std::printf("diagnostics session: FtpClient failed\n");
        status = 1;
    } else {
        std::printf("diagnostics session (log-in, 2 x CWD+SIZE+RETR of 5000/3000 bytes, QUIT), FtpClient: %.2f ms (mean of %d)\n",
                    ourTotal / 1e6 / kSessions, kSessions);
        if (!curl.isEmpty() && curlTotal > 0)
            std::printf("the same two files over one connection, curl: %.2f ms (mean of %d; %d stalled transfer(s) counted as the other)\n",
                        curlTotal / 1e6 / kSessions, kSessions, curlStalls);
    }

    QMetaObject::invokeMethod(&context, [&] { delete server; }, Qt::BlockingQueuedConnection);
    serverThread.quit();
    serverThread.wait();
    return status;
}
