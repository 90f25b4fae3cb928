#pragma once

// The wall times of repeated runs, how the run benchmarks print them, and
// curl timed the same way.

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QtGlobal>
#include <algorithm>
#include <cstdio>
#include <vector>

struct Series
{
    std::vector<qint64> samples;  // nanoseconds
    bool failed = false;

    void add(qint64 ns)
    {
        if (ns < 0)
            failed = true;
        else
            samples.push_back(ns);
    }
    bool usable() const { return !failed && !samples.empty(); }
    double best() const { return double(*std::min_element(samples.begin(), samples.end())) / 1e6; }
    double median() const
    {
        std::vector<qint64> sorted = samples;
        std::sort(sorted.begin(), sorted.end());
        const size_t n = sorted.size();
        return double(n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2) / 1e6;
    }
};

inline void print(const char *what, const Series &series, int recorders, const char *note = "")
{
    if (!series.usable()) {
        std::printf("  %-12s failed\n", what);
        return;
    }
    std::printf("  %-12s best %7.1f ms   median %7.1f ms   (%.2f ms a recorder)%s\n", what, series.best(),
                series.median(), series.median() / recorders, note);
}

// One curl process. Over loopback curl 7.x now and then sits out its
// one-second poll before it opens a passive data connection (when the reply
// to "EPSV" is there at once); no network would show that, so besides the
// wall time there is the wall time with each such stalled transfer counted as
// long as the run's typical transfer. Both -1 when curl failed.
struct CurlTiming
{
    qint64 wallNs = -1;
    qint64 correctedNs = -1;
    int stalls = 0;
};

inline CurlTiming timeCurl(const QString &curl, QStringList arguments, const QString &workingDir = QString())
{
    CurlTiming timing;
    arguments = QStringList{QStringLiteral("-s"), QStringLiteral("--fail"), QStringLiteral("-w"),
                            QStringLiteral("%{time_total}\n")}
        + arguments;
    QProcess process;
    if (!workingDir.isEmpty())
        process.setWorkingDirectory(workingDir);
    QElapsedTimer clock;
    clock.start();
    process.start(curl, arguments);
    if (!process.waitForFinished(600000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return timing;
    timing.wallNs = clock.nsecsElapsed();
    std::vector<double> normal;
    std::vector<double> stalled;
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const double seconds = line.trimmed().toDouble();
        (seconds >= 0.9 ? stalled : normal).push_back(seconds);
    }
    std::sort(normal.begin(), normal.end());
    const double typical = normal.empty() ? 0.0 : normal[normal.size() / 2];
    double excess = 0;
    for (double seconds : stalled)
        excess += seconds - typical;
    timing.stalls = int(stalled.size());
    timing.correctedNs = timing.wallNs - qint64(excess * 1e9);
    return timing;
}

// Prints one mode's figures and the verdict; returns 1 when our run failed.
// The ratio is taken on medians, against curl with its loopback stalls out.
inline int reportFigures(const char *mode, const Series &ours, const Series *curl, const Series &curlCorrected,
                         int stalls, int recorders, double target)
{
    std::printf("%s mode:\n", mode);
    print("ours", ours, recorders);
    if (!curl) {
        std::printf("  curl: not available\n");
        return ours.usable() ? 0 : 1;
    }
    print("curl", *curl, recorders);
    if (stalls > 0) {
        char note[64];
        std::snprintf(note, sizeof note, "   (%d stalled transfer(s) counted as typical)", stalls);
        print("curl, fixed", curlCorrected, recorders, note);
    }
    if (!ours.usable())
        return 1;
    if (curlCorrected.usable()) {
        const double ratio = ours.median() / curlCorrected.median();
        std::printf("  ours / curl (medians): %.2f (target <= %.1f): %s\n", ratio, target,
                    ratio <= target ? "met" : "NOT met");
    }
    return 0;
}
