// Throughput of the two poll table readers on 100,000-row tables, beside a
// plain line count of the same files: the readers should stay close to it.

#include "diagnostics/PollFiles.h"
#include "platform/TextCodec.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int kRows = 100000;
constexpr int kRepeats = 5;

void put(QByteArray &row, int column, const QByteArray &text)
{
    row.replace(column - 1, text.size(), text);
}

// "Quality" at 20, "Version" at 28, "Vcc" at 37, as a recorder lays it out.
QByteArray deviceTable()
{
    QRandomGenerator random(17);
    const QByteArray types[] = {"DAT", "RPX", "MOLT", "TSQ", "KTR", "DAT"};
    QByteArray text = "\xCE\xEF\xF0\xEE\xF1 \xF3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2 \xD6\xD3\xCB-17\r\n";
    text += "Adr   Line Type    Quality Version  Vcc  State\r\n";
    text += QByteArray(60, '-') + "\r\n";
    for (int i = 0; i < kRows; ++i) {
        QByteArray row(45, ' ');
        put(row, 1, QByteArray::number(i + 1).rightJustified(5, '0'));
        put(row, 7, QByteArray::number(i % 8));
        put(row, 12, types[random.bounded(6)]);
        // Most devices are healthy; a few percent have a poor link or supply.
        put(row, 20, QByteArray::number(random.bounded(100) < 5 ? random.bounded(40, 90) : random.bounded(90, 101)));
        put(row, 28, QByteArray::number(random.bounded(0, 40)));
        put(row, 37, QByteArray::number(random.bounded(100) < 3 ? 22.5 : 24.0 + random.bounded(30) / 10.0, 'f', 1));
        const int state = random.bounded(100);
        row += state < 2 ? "Error \xED\xE5\xF2 \xEE\xF2\xE2\xE5\xF2\xE0" : state < 3 ? "Failur" : "OK";
        text += row + "\r\n";
    }
    text += QByteArray(60, '-') + "\r\n";
    return text;
}

QByteArray channelTable()
{
    QRandomGenerator random(23);
    QByteArray text = "  Chan  Device  Param         Value      State\r\n  " + QByteArray(56, '-') + "\r\n";
    for (int i = 0; i < kRows; ++i) {
        QByteArray row(44, ' ');
        put(row, 3, QByteArray::number(i + 1));
        put(row, 9, QByteArray::number(random.bounded(1, 512)));
        put(row, 17, "T\xE5\xEC\xEF\xE5\xF0\xE0\xF2\xF3\xF0\xE0");
        put(row, 31, QByteArray::number(random.bounded(1000) / 10.0, 'f', 1));
        const int state = random.bounded(100);
        row += state < 2 ? "Error" : state < 3 ? "Failur" : state < 4 ? "Wrong" : "OK";
        text += row + "  \r\n";
    }
    return text;
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    return path;
}

// Best of several runs, in seconds.
double best(const std::function<void()> &work)
{
    double fastest = 1e9;
    for (int i = 0; i < kRepeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        fastest = std::min(fastest, timer.nsecsElapsed() / 1e9);
    }
    return fastest;
}

qint64 lineReaderCount(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    LineReader reader(file);
    QByteArray line;
    qint64 count = 0;
    while (reader.readLine(line))
        ++count;
    return count;
}

void report(const char *what, qint64 bytes, double seconds)
{
    std::printf("  %-28s %8.2f ms  %8.1f MB/s\n", what, seconds * 1e3, bytes / seconds / 1e6);
}

void measure(const char *title, const QString &path, qint64 bytes, const std::function<void()> &reader)
{
    std::printf("%s: %d rows, %.2f MB\n", title, kRows, bytes / 1e6);
    report("reader", bytes, best(reader));
    qint64 lines = 0;
    report("LineReader line count", bytes, best([&] { lines = lineReaderCount(path); }));
    const QString wc = QStandardPaths::findExecutable(QStringLiteral("wc"));
    if (!wc.isEmpty()) {
        report("wc -l (process included)", bytes, best([&] {
                   QProcess process;
                   process.start(wc, {QStringLiteral("-l"), path});
                   process.waitForFinished(-1);
               }));
    }
    std::printf("  (%lld lines)\n", static_cast<long long>(lines));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    const QByteArray devices = deviceTable();
    const QByteArray channels = channelTable();
    const QString devicePath = writeFile(dir, QStringLiteral("opros.out"), devices);
    const QString channelPath = writeFile(dir, QStringLiteral("cs.out"), channels);

    TDiagnosticsTotals last;
    measure("ReadDeviceFile", devicePath, devices.size(), [&] {
        TDiagnosticsTotals totals;
        TDeviceColumns columns;
        ReadDeviceFile(devicePath, QStringLiteral("10.0.0.1"), columns, QStringLiteral("90"),
                       QStringLiteral("24.0"), totals);
        last = totals;
    });
    std::printf("  rows %d, errors %d, low quality %d, low voltage %d, failures %d, old firmware %d\n",
                last.DeviceRows, last.DeviceErrors, last.LowQuality, last.LowVoltage, last.ExternalFailures,
                last.OldFirmware);

    measure("ReadChannelFile", channelPath, channels.size(), [&] {
        TDiagnosticsTotals totals;
        ReadChannelFile(channelPath, QStringLiteral("10.0.0.1"), totals);
        last = totals;
    });
    std::printf("  rows %d, errors %d, failures %d, wrong %d\n", last.ChannelRows, last.ChannelErrors,
                last.ChannelFailures, last.ChannelWrong);
    return 0;
}
