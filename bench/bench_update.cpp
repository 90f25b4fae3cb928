// Wall time of a software update run storing 5 files of 1 MB on each of 20
// simulated recorders (no poll daemon requests, no command, no size check),
// beside curl uploading the same files to the same servers in the same run,
// in passive and in active mode.

#include "RecorderThread.h"
#include "RunFigures.h"

#include "shell/HeadlessView.h"
#include "update/UpdateRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

namespace {

constexpr int kRecorders = 20;
constexpr int kFirstHost = 160;  // 127.0.0.160 .. 127.0.0.179
constexpr qint64 kFileSize = 1024 * 1024;
constexpr double kTarget = 1.2;
constexpr int kRuns = 5;
const QString kServerDir = QStringLiteral("/mnt/dos/bin/");
const QStringList kFiles = {QStringLiteral("opd"), QStringLiteral("libdev.so"), QStringLiteral("modem"),
                            QStringLiteral("watchdog"), QStringLiteral("devices.dat")};

QString address(int i)
{
    return QStringLiteral("127.0.0.%1").arg(kFirstHost + i);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The recorders' upload folders emptied, so that a run that stored nothing
// cannot pass for one that did.
void clearServers(const RecorderThread &recorders)
{
    for (int i = 0; i < kRecorders; ++i) {
        QDir dir(recorders.root(i) + kServerDir);
        for (const QString &name : dir.entryList(QDir::Files))
            dir.remove(name);
    }
}

// Every file arrived whole on every recorder.
bool allStored(const RecorderThread &recorders, const QString &uploadDir)
{
    for (const QString &name : kFiles) {
        const QByteArray original = readFile(uploadDir + QLatin1Char('/') + name);
        for (int i = 0; i < kRecorders; ++i) {
            if (readFile(recorders.root(i) + kServerDir + name) != original)
                return false;
        }
    }
    return true;
}

qint64 ourRun(bool passive, const QString &workDir, const QString &uploadDir)
{
    StoredSettings settings;
    for (int i = 0; i < kRecorders; ++i)
        settings.recorders.append({address(i), true});
    for (const QString &name : kFiles) {
        TUploadEntry entry;
        entry.LocalName = uploadDir + QLatin1Char('/') + name;
        entry.ServerPath = kServerDir;
        entry.ServerName = name;
        settings.uploads.push_back(entry);
    }
    settings.passive = passive;
    settings.checkDate = false;
    settings.bdel = false;
    settings.stopStart = 0;
    HeadlessView view(settings);
    // "upload.log" is written in the current directory.
    QDir::setCurrent(workDir);
    QElapsedTimer clock;
    clock.start();
    RunSoftwareUpdate(view);
    const qint64 ns = clock.nsecsElapsed();
    if (view.errorLines() != 0) {
        std::printf("  update run: %d error line(s), the first: %s\n", view.errorLines(),
                    qPrintable(view.logLines().filter(QStringLiteral(" ERROR: ")).value(0)));
        return -1;
    }
    return ns;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The servers' files in memory where there is a memory file system, so
    // that disk write-back does not blur the figures.
    const bool inMemory = QFileInfo(QStringLiteral("/dev/shm")).isWritable();
    std::unique_ptr<QTemporaryDir> serverTemp = inMemory
        ? std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/zentar-bench-XXXXXX"))
        : std::make_unique<QTemporaryDir>();
    QTemporaryDir dir;
    if (!dir.isValid() || !serverTemp->isValid())
        return 1;
    const QString workDir = dir.filePath(QStringLiteral("work"));
    const QString uploadDir = dir.filePath(QStringLiteral("upload"));
    QDir().mkpath(workDir);
    QDir().mkpath(uploadDir);
    QRandomGenerator random(7);
    for (const QString &name : kFiles) {
        QByteArray bytes(kFileSize, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
        QFile file(uploadDir + QLatin1Char('/') + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return 1;
    }

    QStringList addresses;
    for (int i = 0; i < kRecorders; ++i)
        addresses << address(i);
    RecorderThread recorders;
    if (!recorders.start(addresses, serverTemp->path())) {
        std::printf("cannot listen on ports 21 and 80 of %s .. %s\n", qPrintable(addresses.first()),
                    qPrintable(addresses.last()));
        return 1;
    }
    for (int i = 0; i < kRecorders; ++i)
        QDir().mkpath(recorders.root(i) + kServerDir);

    std::printf("Update run storing %d files of %lld KB on each of %d recorders (%lld MB in all, servers' files %s);\n"
                "curl uploads the same files in one process, one session per recorder. %d runs:\n",
                int(kFiles.size()), kFileSize / 1024, kRecorders, kFileSize * kFiles.size() * kRecorders / (1024 * 1024),
                inMemory ? "in memory" : "on disk", kRuns);

    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    const QString globbed = QLatin1Char('{') + kFiles.join(QLatin1Char(',')) + QLatin1Char('}');
    int status = 0;
    for (bool passive : {true, false}) {
        Series ours;
        Series theirs;
        Series theirsCorrected;
        int stalls = 0;
        for (int run = 0; run < kRuns; ++run) {
            // Interleaved, so both see the same machine load.
            clearServers(recorders);
            ours.add(ourRun(passive, workDir, uploadDir));
            if (!allStored(recorders, uploadDir))
                ours.failed = true;
            if (curl.isEmpty())
                continue;
            clearServers(recorders);
            QStringList arguments;
            if (!passive)
                arguments << QStringLiteral("-P") << QStringLiteral("-");
            for (int i = 0; i < kRecorders; ++i)
                arguments << QStringLiteral("-T") << globbed << QStringLiteral("ftp://root:@") + address(i) + kServerDir;
            const CurlTiming timing = timeCurl(curl, arguments, uploadDir);
            theirs.add(timing.wallNs);
            theirsCorrected.add(timing.correctedNs);
            stalls += timing.stalls;
            if (!allStored(recorders, uploadDir))
                theirs.failed = theirsCorrected.failed = true;
        }
        status |= reportFigures(passive ? "passive" : "active", ours, curl.isEmpty() ? nullptr : &theirs,
                                theirsCorrected, stalls, kRecorders, kTarget);
    }
    return status;
}
