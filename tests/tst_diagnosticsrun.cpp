#include "diagnostics/DiagnosticsRun.h"
#include "diagnostics/Hooks.h"
#include "platform/AppState.h"
#include "platform/Errors.h"
#include "platform/TextCodec.h"
#include "shell/HeadlessView.h"
#include "support/RecorderFarm.h"
#include "support/ScriptedDialogs.h"

#include <QtTest>

namespace {

// A window-less host that remembers every job progress position it was given.
class RecordingView : public HeadlessView
{
public:
    QList<int> positions;
    void setJobPosition(int position) override
    {
        positions << position;
        HeadlessView::setJobPosition(position);
    }
};

StoredSettings settingsFor(const QStringList &addresses, const QList<bool> &checks = {})
{
    StoredSettings s;
    for (int i = 0; i < addresses.size(); ++i)
        s.recorders.append({addresses[i], checks.isEmpty() ? true : checks[i]});
    s.repDate = false;
    s.timeoutText = QStringLiteral("5");
    return s;
}

QString reportText(const RecorderFarm &farm)
{
    return fromWin1251(farm.readWorkFile(QStringLiteral("report.txt")));
}

const QStringList kFetchBoth = {
    "USER root", "PASS ", "CWD /var/opros/", "SIZE opros.out", "PASV", "RETR opros.out",
    "CWD /var/opros/", "SIZE cs.out", "PASV", "RETR cs.out", "QUIT"};

// Bytes of every value, lines of any length, code 26 here and there.
QByteArray binaryTable(qsizetype size)
{
    QRandomGenerator random(17);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &b : bytes)
        b = static_cast<char>(random.bounded(256));
    return "Quality Version Vcc\n---\n" + bytes;
}

} // namespace

class tst_DiagnosticsRun : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void fetchesBothTablesWithTheRunsTraffic();
    void progressCountsCheckedRowsOnly();
    void bothOptionsOffOnlyLogsInAndOut();
    void failingChannelTableLeavesDeviceTableUnread();
    void refusedLoginFailsOnlyThatRecorder();
    void cancelDuringRetrFailsOnlyThatRecorder();
    void cancelPressedWhileIdleAbortsTheNextTransfer();
    void checkMarkSetDuringTheRunIsHonoured();
    void badTimeoutTextEndsTheRunBeforeAnyTraffic();
    void noCheckedRowShowsTheBoxOnly();
    void endingMarkFailsTheRestButTheReportIsWritten();
    void hooksRunAtTheirThreePoints();
    void misbehavingRecorderIsAResult_data();
    void misbehavingRecorderIsAResult();

private:
    ScriptedDialogs *m_dialogs = nullptr;
    RecordingShell *m_shell = nullptr;
};

void tst_DiagnosticsRun::init()
{
    m_dialogs = new ScriptedDialogs;
    m_shell = new RecordingShell;
    setApplicationEnding(false);
}

void tst_DiagnosticsRun::cleanup()
{
    QVERIFY2(!m_dialogs->unscripted(), qPrintable(m_dialogs->log.join('\n')));
    delete m_dialogs;
    delete m_shell;
    setApplicationEnding(false);
}

// Catches a run that sends other commands than the recorders expect, or fetches into the wrong place.
void tst_DiagnosticsRun::fetchesBothTablesWithTheRunsTraffic()
{
    RecorderFarm farm;
    SimRecorder &rec = farm.add(QStringLiteral("127.0.0.101"), true);
    RecordingView view;
    view.settings() = settingsFor({"127.0.0.101"});
    view.openReport = true;
    RunDiagnostics(view);

    QCOMPARE(rec.ftp().commands(), kFetchBoth);
    QCOMPARE(farm.readWorkFile("opros.out"), rec.readFile("/var/opros/opros.out"));
    QCOMPARE(farm.readWorkFile("cs.out"), rec.readFile("/var/opros/cs.out"));
    QCOMPARE(view.lastReportName(), QStringLiteral("report.txt"));
    QCOMPARE(m_shell->documents, QStringList{"report.txt"});
    QCOMPARE(view.statusText(0), QStringLiteral("Готово"));
    QCOMPARE(view.statusText(1), QString());
    const QString report = reportText(farm);
    QVERIFY(report.contains(" Неисправно/нет связи: 0 (0%)\r\n"));
    QVERIFY(report.contains(" Всего: 8\r\n"));
    QVERIFY(report.contains("Error"));
}

// Catches a progress bar that counts unchecked rows.
void tst_DiagnosticsRun::progressCountsCheckedRowsOnly()
{
    RecorderFarm farm;
    farm.add(QStringLiteral("127.0.0.102"));
    farm.add(QStringLiteral("127.0.0.103"));
    SimRecorder &skipped = farm.add(QStringLiteral("127.0.0.104"));
    RecordingView view;
    view.settings() = settingsFor({"127.0.0.102", "127.0.0.104", "127.0.0.103"}, {true, false, true});
    RunDiagnostics(view);
    QCOMPARE(view.jobMaximum(), 2);
    QCOMPARE(view.positions, (QList<int>{1, 1, 2}));
    QVERIFY(skipped.ftp().commands().isEmpty());
}

// Catches a run that fetches tables that were switched off.
void tst_DiagnosticsRun::bothOptionsOffOnlyLogsInAndOut()
{
    RecorderFarm farm;
    SimRecorder &rec = farm.add(QStringLiteral("127.0.0.105"));
    RecordingView view;
    view.settings() = settingsFor({"127.0.0.105"});
    view.settings().doDev = false;
    view.settings().doLmc = false;
    RunDiagnostics(view);
    QCOMPARE(rec.ftp().commands(), (QStringList{"USER root", "PASS ", "QUIT"}));
    const QString report = reportText(farm);
    QVERIFY(report.endsWith("Обработка списка устройств отключена\r\n\r\n" + QString(69, '-')
                            + "\r\nОбработка данных каналов отключена\r\n"));
    QVERIFY(report.contains(" Неисправно/нет связи: 0 (0%)\r\n"));
}

// Catches a recorder counted as served when its second table did not arrive.
void tst_DiagnosticsRun::failingChannelTableLeavesDeviceTableUnread()
{
    RecorderFarm farm;
    SimRecorder &rec = farm.add(QStringLiteral("127.0.0.106"), true);
    QFile::remove(rec.localPath("/var/opros/cs.out"));
    RecordingView view;
    view.settings() = settingsFor({"127.0.0.106"});
    RunDiagnostics(view);
    QCOMPARE(view.failedRecorders(), QStringList{"127.0.0.106"});
    QCOMPARE(rec.ftp().commands().last(), QStringLiteral("QUIT"));
    const QString report = reportText(farm);
    QVERIFY(report.contains(" Неисправно/нет связи: 1 (100%)\r\n Список неисправных:\r\n  127.0.0.106\r\n"));
    QVERIFY(report.contains("Устройства сети ЦУЛ-17:\r\n Всего: 0\r\n\r\n"));
    QVERIFY(!report.contains("Error"));
}

// Catches one refusing recorder spoiling the next, or a missing QUIT after a failed login.
void tst_DiagnosticsRun::refusedLoginFailsOnlyThatRecorder()
{
    RecorderFarm farm;
    SimRecorder &refusing = farm.add(QStringLiteral("127.0.0.107"));
    SimRecorder &healthy = farm.add(QStringLiteral("127.0.0.108"), true);
    refusing.ftp().refuseLogin(true);
    RecordingView view;
    view.settings() = settingsFor({"127.0.0.107", "127.0.0.108"});
    RunDiagnostics(view);
    QCOMPARE(view.failedRecorders(), QStringList{"127.0.0.107"});
    QCOMPARE(healthy.ftp().commands(), kFetchBoth);
    const QString report = reportText(farm);
    QVERIFY(report.contains(" Неисправно/нет связи: 1 (50%)\r\n"));
    QVERIFY(report.contains("Список проблеммного оборудования:\r\n 127.0.0.108\r\n  "));
}

// Catches a cancel that ends the whole run, or one that leaks into the next recorder.
void tst_DiagnosticsRun::cancelDuringRetrFailsOnlyThatRecorder()
{
    RecorderFarm farm;
    SimRecorder &first = farm.add(QStringLiteral("127.0.0.109"));
    SimRecorder &second = farm.add(QStringLiteral("127.0.0.110"));
    first.ftp().setSendRate(2000);
    RecordingView view;
    view.settings() = settingsFor({"127.0.0.109", "127.0.0.110"});
    QString recorder;
    view.onStatus = [&](int panel, const QString &text) {
        if (panel == 0)
            recorder = text;
        else if (recorder == "127.0.0.109" && text == QStringLiteral("Чтение файла..."))
            view.cancelRequested = true;  // the operator presses "Отмена" during the RETR
    };
    RunDiagnostics(view);
    QCOMPARE(view.failedRecorders(), QStringList{"127.0.0.109"});
    QVERIFY(first.ftp().commands().contains("RETR opros.out"));
    QVERIFY(!first.ftp().commands().contains("RETR cs.out"));
    QCOMPARE(first.ftp().commands().last(), QStringLiteral("QUIT"));
    QCOMPARE(second.ftp().commands(), kFetchBoth);
    QVERIFY(!view.cancelRequested);
}

// Catches a cancel request that is dropped when no transfer is under way.
void tst_DiagnosticsRun::cancelPressedWhileIdleAbortsTheNextTransfer()
{
    RecorderFarm farm;
    farm.add(QStringLiteral("127.0.0.111"));
    farm.add(QStringLiteral("127.0.0.112"));
    RecordingView view;
    view.settings() = settingsFor({"127.0.0.111", "127.0.0.112"});
    view.cancelRequested = true;
    RunDiagnostics(view);
    QCOMPARE(view.failedRecorders(), QStringList{"127.0.0.111"});
    QVERIFY(!view.cancelRequested);
    // The next run's transfers are not touched any more.
    RunDiagnostics(view);
    QCOMPARE(view.failedRecorders(), QStringList{"127.0.0.111"});
}

// Catches a run that decides which rows to serve at its start instead of when it reaches them.
void tst_DiagnosticsRun::checkMarkSetDuringTheRunIsHonoured()
{
    RecorderFarm farm;
    farm.add(QStringLiteral("127.0.0.113"));
    SimRecorder &later = farm.add(QStringLiteral("127.0.0.114"));
    RecordingView view;
    view.settings() = settingsFor({"127.0.0.113", "127.0.0.114"}, {true, false});
    view.onStatus = [&](int panel, const QString &text) {
        if (panel == 0 && text == "127.0.0.113")
            view.settings().recorders[1].checked = true;
    };
    RunDiagnostics(view);
    QCOMPARE(later.ftp().commands(), kFetchBoth);
    QCOMPARE(view.jobMaximum(), 1);
    QCOMPARE(view.positions, (QList<int>{1, 2}));
    QVERIFY(reportText(farm).contains(" Всего: 2\r\n"));
}

// Catches a bad time-out text that is noticed only after the recorder was contacted.
void tst_DiagnosticsRun::badTimeoutTextEndsTheRunBeforeAnyTraffic()
{
    RecorderFarm farm;
    SimRecorder &rec = farm.add(QStringLiteral("127.0.0.115"));
    RecordingView view;
    view.settings() = settingsFor({"127.0.0.115"});
    view.settings().timeoutText = QStringLiteral("12a");
    try {
        RunDiagnostics(view);
        QFAIL("the run went on");
    } catch (const ConversionError &e) {
        QCOMPARE(e.message(), QStringLiteral("'12a' is not a valid integer value"));
    }
    QTest::qWait(100);
    QVERIFY(rec.ftp().commands().isEmpty());
    QVERIFY(!QFile::exists(farm.file("report.txt")));
}

// Catches a run that writes a report or runs hooks with nothing checked.
void tst_DiagnosticsRun::noCheckedRowShowsTheBoxOnly()
{
    RecorderFarm farm;
    RecordingView view;
    view.settings() = settingsFor({"127.0.0.116"}, {false});
    view.settings().runB = true;
    view.settings().runBS = QStringLiteral("echo x > before.txt");
    RunDiagnostics(view);
    QCOMPARE(m_dialogs->log, QStringList{"message|Error|Нет выделенных адресов домовых регистраторов"});
    QVERIFY(!QFile::exists(farm.file("report.txt")));
    QVERIFY(!QFile::exists(farm.file("before.txt")));
}

// Catches a closed window that hangs the run or loses its report.
void tst_DiagnosticsRun::endingMarkFailsTheRestButTheReportIsWritten()
{
    RecorderFarm farm;
    farm.add(QStringLiteral("127.0.0.117"));
    farm.add(QStringLiteral("127.0.0.118"));
    RecordingView view;
    view.settings() = settingsFor({"127.0.0.117", "127.0.0.118"});
    view.onStatus = [&](int panel, const QString &text) {
        if (panel == 0 && text == "127.0.0.118")
            setApplicationEnding(true);
    };
    QElapsedTimer clock;
    clock.start();
    RunDiagnostics(view);
    QVERIFY(clock.elapsed() < 4000);
    QCOMPARE(view.failedRecorders(), QStringList{"127.0.0.118"});
    QVERIFY(reportText(farm).contains(" Неисправно/нет связи: 1 (50%)\r\n"));
}

// Catches hooks run at the wrong point, skipped for failed recorders, or with the placeholder left in.
void tst_DiagnosticsRun::hooksRunAtTheirThreePoints()
{
    RecorderFarm farm;
    farm.add(QStringLiteral("127.0.0.119"));
    farm.add(QStringLiteral("127.0.0.120")).ftp().refuseLogin(true);
    RecordingView view;
    view.settings() = settingsFor({"127.0.0.119", "127.0.0.121", "127.0.0.120"}, {true, false, true});
    view.settings().runB = view.settings().runI = view.settings().runA = true;
    view.settings().runBS = QStringLiteral("echo \"before [$(IP)]\" >> hooks.txt");
    // The per-recorder hook sees the tables just read: count the rows of its copy.
    view.settings().runIS = QStringLiteral("echo \"each $(IP) $(ip) $(wc -l < opros.out)\" >> hooks.txt");
    view.settings().runAS = QStringLiteral("sleep 0.3; echo \"after $(grep -c 127.0.0.120 report.txt)\" >> hooks.txt");
    view.openReport = true;
    QStringList hooksAtOpening;
    m_shell->onOpenDocument = [&](const QString &) {
        hooksAtOpening = QString::fromLatin1(farm.readWorkFile("hooks.txt")).split('\n', Qt::SkipEmptyParts);
    };
    RunDiagnostics(view);
    const int rows = QString::fromLatin1(farm.readWorkFile("opros.out")).count('\n');
    QCOMPARE(hooksAtOpening,
             (QStringList{"before []", QStringLiteral("each 127.0.0.119 127.0.0.119 %1").arg(rows),
                          QStringLiteral("each 127.0.0.120 127.0.0.120 %1").arg(rows), "after 1"}));
}

void tst_DiagnosticsRun::misbehavingRecorderIsAResult_data()
{
    QTest::addColumn<std::function<void(SimRecorder &)>>("fault");
    QTest::addColumn<QString>("timeout");
    QTest::addColumn<bool>("closeWindow");
    QTest::addColumn<QStringList>("failed");
    QTest::addColumn<int>("deviceRows"); // the report's device total, -1: not looked at

    const QStringList first{"127.0.0.70"};
    QTest::newRow("accepts but never greets")
        << std::function<void(SimRecorder &)>([](SimRecorder &r) { r.ftp().stallOn("CONNECT"); }) << "1"
        << false << first << 8;
    QTest::newRow("falls silent mid-table")
        << std::function<void(SimRecorder &)>([](SimRecorder &r) {
               r.writeFile("/var/opros/opros.out", QByteArray(1 << 20, 'x'));
               r.ftp().stallTransferAfter(64 * 1024);
           })
        << "1" << false << first << 8;
    QTest::newRow("drops mid-table")
        << std::function<void(SimRecorder &)>([](SimRecorder &r) {
               r.writeFile("/var/opros/opros.out", QByteArray(1 << 20, 'x'));
               r.ftp().dropDuringTransfer(64 * 1024);
           })
        << "1" << false << first << 8;
    QTest::newRow("refuses SIZE")
        << std::function<void(SimRecorder &)>([](SimRecorder &r) { r.ftp().refuseCommand("SIZE", 550); }) << "1"
        << false << first << 8;
    QTest::newRow("never answers QUIT")
        << std::function<void(SimRecorder &)>([](SimRecorder &r) { r.ftp().stallOn("QUIT"); }) << "1" << false
        << QStringList() << 6 + 8;
    QTest::newRow("huge binary table")
        << std::function<void(SimRecorder &)>([](SimRecorder &r) {
               r.writeFile("/var/opros/opros.out", binaryTable(8 << 20));
           })
        << "1" << false << QStringList() << -1;
    QTest::newRow("never greets, no time limit, window closed")
        << std::function<void(SimRecorder &)>([](SimRecorder &r) { r.ftp().stallOn("CONNECT"); }) << "0" << true
        << QStringList{"127.0.0.70", "127.0.0.71"} << 0;
}

// Catches a silent, stalling or dropping recorder, or a huge binary table, that hangs or ends the run, or
// a half-fetched table that is read.
void tst_DiagnosticsRun::misbehavingRecorderIsAResult()
{
    QFETCH(std::function<void(SimRecorder &)>, fault);
    QFETCH(QString, timeout);
    QFETCH(bool, closeWindow);
    QFETCH(QStringList, failed);
    QFETCH(int, deviceRows);
    RecorderFarm farm;
    fault(farm.add(QStringLiteral("127.0.0.70")));
    SimRecorder &healthy = farm.add(QStringLiteral("127.0.0.71"), true);
    RecordingView view;
    view.settings() = settingsFor({"127.0.0.70", "127.0.0.71"});
    view.settings().timeoutText = timeout;
    view.settings().runA = true;
    view.settings().runAS = QStringLiteral("echo after > after.txt");
    if (closeWindow)
        QTimer::singleShot(300, [] { setApplicationEnding(true); });
    RunDiagnostics(view);

    QCOMPARE(view.failedRecorders(), failed);
    if (!failed.contains("127.0.0.71"))
        QCOMPARE(healthy.ftp().commands(), kFetchBoth);
    const QString report = reportText(farm);
    QVERIFY(report.contains(QStringLiteral(" Всего: 2\r\n Неисправно/нет связи: %1 (").arg(failed.size())));
    if (deviceRows >= 0)
        QVERIFY(report.contains(QStringLiteral("Устройства сети ЦУЛ-17:\r\n Всего: %1\r\n").arg(deviceRows)));
    QCOMPARE(farm.readWorkFile("after.txt"), QByteArray("after\n"));
}

QTEST_GUILESS_MAIN(tst_DiagnosticsRun)
#include "tst_diagnosticsrun.moc"
