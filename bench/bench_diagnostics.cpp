// Wall time of a whole diagnostics run over 20 simulated recorders (both poll
// tables fetched, read and reported), beside curl fetching the same 40 files
// from the same servers in the same run, in passive and in active mode.

#include "RecorderThread.h"
#include "RunFigures.h"

#include "diagnostics/DiagnosticsRun.h"
#include "platform/TextCodec.h"
#include "shell/HeadlessView.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRecorders = 20;
constexpr int kFirstHost = 160;  // 127.0.0.160 .. 127.0.0.179
constexpr int kDevices = 250;    // a large block of flats: one row per polled device
constexpr int kChannels = 500;
constexpr double kTarget = 1.2;
constexpr int kRuns = 5;

QString address(int i)
{
    return QStringLiteral("127.0.0.%1").arg(kFirstHost + i);
}

// Laid out as a recorder writes them (titles right above their fields, LF
// line ends, Windows-1251), with the odd faulty device and channel.
QByteArray deviceTable(QRandomGenerator &random)
{
    const char *types[] = {"RPX-2", "MOLT-4", "TSQ-1", "KDL-8"};
    QString text = QStringLiteral(" Опрос устройств сети ЦУЛ-17\n")
        + QString::asprintf(" %-3s %-8s %-7s %-7s %-5s %s\n", "N", "Type", "Quality", "Version", "Vcc", "State")
        + QString(56, QLatin1Char('-')) + QLatin1Char('\n');
    for (int i = 1; i <= kDevices; ++i) {
        const int roll = int(random.bounded(100));
        const int quality = roll < 3 ? int(random.bounded(30, 90)) : int(random.bounded(90, 101));
        const int version = roll == 50 ? 1 : int(random.bounded(3, 13));
        const QByteArray vcc = QByteArray::number(roll == 60 ? 21.5 : 26.0 + random.bounded(20) / 10.0, 'f', 1);
        const char *state = roll == 70 ? "Error" : roll == 80 ? "Failure ext." : "Ok";
        text += QString::asprintf(" %03d %-8s %-7d %-7d %-5s %s\n", i, types[i % 4], quality, version,
                                  vcc.constData(), state);
    }
    text += QString(56, QLatin1Char('-')) + QLatin1Char('\n');
    text += QStringLiteral(" Всего устройств: %1\n").arg(kDevices);
    return toWin1251(text);
}

QByteArray channelTable(QRandomGenerator &random)
{
    const QString names[] = {QStringLiteral("Лифт"), QStringLiteral("ИТП"), QStringLiteral("Водомер"),
                             QStringLiteral("Электросчетчик"), QStringLiteral("Пожарная сигн.")};
    QString text = QStringLiteral(" Состояние каналов TEKVAL\n")
        + QString::asprintf(" %-3s %-20s %s\n", "Ch", "Name", "State") + QString(40, QLatin1Char('-'))
        + QLatin1Char('\n');
    for (int i = 1; i <= kChannels; ++i) {
        const int roll = int(random.bounded(100));
        const QString state = QLatin1String(roll == 1 ? "Error" : roll == 2 ? "Failure" : roll == 3 ? "Wrong data" : "Ok");
        text += QStringLiteral(" %1 %2 %3\n")
                    .arg(i, -3)
                    .arg(names[i % 5] + QLatin1Char(' ') + QString::number(i / 5 + 1), -20)
                    .arg(state);
    }
    return toWin1251(text);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Our run, as the batch front end starts it. -1 when a recorder failed.
qint64 ourRun(bool passive, const QString &workDir, QStringList &problems)
{
    StoredSettings settings;
    settings.passive = passive;
    for (int i = 0; i < kRecorders; ++i)
        settings.recorders.append({address(i), true});
    HeadlessView view(settings);
    QDir::setCurrent(workDir);
    QElapsedTimer clock;
    clock.start();
    RunDiagnostics(view);
    const qint64 ns = clock.nsecsElapsed();
    problems = view.failedRecorders();
    return problems.isEmpty() ? ns : -1;
}

QStringList curlUrls(int i, const QString &dir)
{
    const QString base = QStringLiteral("ftp://root:@") + address(i) + QStringLiteral("/var/opros/");
    return {base + QStringLiteral("opros.out"), QStringLiteral("-o"), dir + QStringLiteral("/opros.out"),
            base + QStringLiteral("cs.out"), QStringLiteral("-o"), dir + QStringLiteral("/cs.out")};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString rootDir = dir.filePath(QStringLiteral("recorders"));
    const QString workDir = dir.filePath(QStringLiteral("work"));
    const QString curlDir = dir.filePath(QStringLiteral("curl"));
    QDir().mkpath(workDir);
    QDir().mkpath(curlDir);

    QStringList addresses;
    for (int i = 0; i < kRecorders; ++i)
        addresses << address(i);
    RecorderThread recorders;
    if (!recorders.start(addresses, rootDir)) {
        std::printf("cannot listen on ports 21 and 80 of %s .. %s\n", qPrintable(addresses.first()),
                    qPrintable(addresses.last()));
        return 1;
    }
    QRandomGenerator random(2024);
    qint64 deviceBytes = 0;
    qint64 channelBytes = 0;
    for (int i = 0; i < kRecorders; ++i) {
        const QByteArray devices = deviceTable(random);
        const QByteArray channels = channelTable(random);
        deviceBytes += devices.size();
        channelBytes += channels.size();
        if (!writeFile(recorders.root(i) + QStringLiteral("/var/opros/opros.out"), devices)
            || !writeFile(recorders.root(i) + QStringLiteral("/var/opros/cs.out"), channels))
            return 1;
    }
    std::printf("Diagnostics run over %d recorders, \"opros.out\" %d rows (%.1f KB) and \"cs.out\" %d rows (%.1f KB)"
                " each;\ncurl fetches the same 40 files in one process, one session per recorder. %d runs:\n",
                kRecorders, kDevices, deviceBytes / 1024.0 / kRecorders, kChannels,
                channelBytes / 1024.0 / kRecorders, kRuns);

    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    int status = 0;
    for (bool passive : {true, false}) {
        Series ours;
        Series theirs;
        Series theirsCorrected;
        int stalls = 0;
        for (int run = 0; run < kRuns; ++run) {
            // Interleaved, so both see the same machine load.
            QStringList problems;
            ours.add(ourRun(passive, workDir, problems));
            if (!problems.isEmpty())
                std::printf("  failed recorders: %s\n", qPrintable(problems.join(QLatin1Char(' '))));
            if (!curl.isEmpty()) {
                // One process for all 40 files, so that curl's start is paid once.
                QStringList arguments;
                if (!passive)
                    arguments << QStringLiteral("-P") << QStringLiteral("-");
                for (int i = 0; i < kRecorders; ++i)
                    arguments += curlUrls(i, curlDir);
                const CurlTiming timing = timeCurl(curl, arguments);
                theirs.add(timing.wallNs);
                theirsCorrected.add(timing.correctedNs);
                stalls += timing.stalls;
            }
        }
        // The last recorder's tables must have arrived whole on both sides.
        const QString last = recorders.root(kRecorders - 1) + QStringLiteral("/var/opros/");
        for (const QString &name : {QStringLiteral("opros.out"), QStringLiteral("cs.out")}) {
            const QByteArray original = readFile(last + name);
            if (readFile(workDir + QLatin1Char('/') + name) != original)
                ours.failed = true;
            if (!curl.isEmpty() && readFile(curlDir + QLatin1Char('/') + name) != original)
                theirs.failed = theirsCorrected.failed = true;
        }
        status |= reportFigures(passive ? "passive" : "active", ours, curl.isEmpty() ? nullptr : &theirs,
                                theirsCorrected, stalls, kRecorders, kTarget);
    }
    return status;
}
