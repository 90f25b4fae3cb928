#include "diagnostics/Report.h"
#include "platform/Errors.h"
#include "platform/TextCodec.h"
#include "shell/RunView.h"
#include "support/ScriptedDialogs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

#include <sys/fsuid.h>
#include <unistd.h>

namespace {

const QString kSeparator(69, QLatin1Char('-'));
const QDateTime kTime(QDate(2025, 12, 9), QTime(18, 5, 7));

ReportClock fixedClock()
{
    ReportClock clock;
    clock.now = [] { return kTime; };
    clock.weekdayName = [](int day) { return day == 2 ? QStringLiteral("вторник") : QStringLiteral("?"); };
    clock.timeSeparator = QStringLiteral(":");
    return clock;
}

ReportSettings settings(bool devices = true, bool channels = true, const QString &vmin = QStringLiteral("24.0"))
{
    ReportSettings s;
    s.devicesOn = devices;
    s.channelsOn = channels;
    s.levelText = QStringLiteral("90");
    s.vminText = vmin;
    return s;
}

QStringList reportLines(const QByteArray &text)
{
    QStringList lines = fromWin1251(text).split(QStringLiteral("\r\n"));
    lines.removeLast(); // after the final CR LF
    return lines;
}

TDiagnosticsTotals recorders(int total, int failed)
{
    TDiagnosticsTotals t;
    t.RecordersTotal = total;
    t.RecordersFailed = failed;
    for (int i = 0; i < failed; ++i)
        t.FailedRecorders << QStringLiteral("10.0.0.%1").arg(i + 1);
    return t;
}

struct LayoutCase
{
    TDiagnosticsTotals totals;
    ReportSettings settings;
    QStringList block;   // consecutive lines that must appear
    bool blockAtEnd = false;
    QStringList absent;  // lines that must not appear
};

// The window, as far as the report needs it.
class FakeView : public DiagnosticsView
{
public:
    bool dated = false;
    QString lastName = QStringLiteral("old.txt");

    int rowCount() const override { return 0; }
    bool rowChecked(int) const override { return false; }
    QString rowText(int) const override { return {}; }
    QString ftpUser() const override { return {}; }
    QString ftpPassword() const override { return {}; }
    bool ftpPassive() const override { return false; }
    QString ftpTimeoutText() const override { return {}; }
    void setControlsEnabled(bool) override {}
    void setStatusText(int, const QString &) override {}
    void setJobProgress(int, int) override {}
    void setJobPosition(int) override {}
    void setCurrentFileSize(int32_t) override {}
    FtpClient &ftp() override { qFatal("the report uses no FTP client"); }

    bool devicesOn() const override { return true; }
    bool channelsOn() const override { return true; }
    QString qualityThresholdText() const override { return QStringLiteral("90"); }
    QString minVoltageText() const override { return QStringLiteral("24.0"); }
    bool datedReportName() const override { return dated; }
    bool viewReport() const override { return false; }
    bool hookEnabled(HookPoint) const override { return false; }
    QString hookCommand(HookPoint) const override { return {}; }
    QString lastReportName() const override { return lastName; }
    void setLastReportName(const QString &name) override { lastName = name; }
};

// File checks as an ordinary user for this thread: root writes read-only files anyway.
class AsOrdinaryUser
{
public:
    AsOrdinaryUser()
    {
        if (geteuid() != 0)
            return;
        setfsuid(65534);
        m_active = setfsuid(65534) == 65534;
    }
    ~AsOrdinaryUser()
    {
        if (m_active)
            setfsuid(0);
    }
    bool ok() const { return geteuid() != 0 || m_active; }

private:
    bool m_active = false;
};

} // namespace

Q_DECLARE_METATYPE(LayoutCase)

class tst_Report : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void exampleReportByteForByte();
    void layout_data();
    void layout();
    void datedName();
    void writesReportAndRemembersName();
    void failedWriteKeepsLastName_data();
    void failedWriteKeepsLastName();
    void showLastReport();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldDir;
    ReportClock m_clock = fixedClock();
};

void tst_Report::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_oldDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    setReportClock(&m_clock);
}

void tst_Report::cleanup()
{
    setReportClock(nullptr);
    QDir::setCurrent(m_oldDir);
    m_dir.reset();
}

// Catches any drift in texts, blanks, order, code page, line ends, percentages or copied rows.
void tst_Report::exampleReportByteForByte()
{
    const QByteArray errorRow = " 001 RPX  95    12  24.5 Error \xCE\xF8\xE8\xE1\xEA\xE0";
    const QByteArray lowRow = " 004 DAT  50    12  24.5 ok";
    const QByteArray wrongRow = " 17 Wrong \x98";
    const QByteArray channelError1 = " 18 Error";
    const QByteArray channelError2 = " 3 Error";

    TDiagnosticsTotals t;
    t.RecordersTotal = 3;
    t.RecordersFailed = 1;
    t.FailedRecorders << QStringLiteral("10.0.0.12");
    t.DeviceRows = 8;
    t.DeviceErrors = 1;
    t.LowQuality = 1;
    t.ProblemDevices << QStringLiteral("10.0.0.11") << fromWin1251(errorRow) << QStringLiteral("10.0.0.13")
                     << fromWin1251(lowRow);
    t.OldFirmwareDevices << QStringLiteral("10.0.0.11") << QStringLiteral("10.0.0.13");
    t.LowVoltageDevices = t.OldFirmwareDevices;
    t.ChannelRows = 16;
    t.ChannelErrors = 2;
    t.ChannelWrong = 1;
    t.ProblemChannels << QStringLiteral("10.0.0.11") << fromWin1251(wrongRow) << fromWin1251(channelError1)
                      << QStringLiteral("10.0.0.13") << fromWin1251(channelError2);

    QList<QByteArray> lines;
    const auto text = [&lines](const char *utf8) { lines << toWin1251(QString::fromUtf8(utf8)); };
    text("********************************************************************************");
    text("* ОТЧЕТ по работоспособности системы ЗЕНТАР                                    *");
    text("********************************************************************************");
    text(" Время формирования: 09-12-2025 вторник 18:05:07");
    text("");
    text("---------------------------------------------------------------------");
    text("Домовые регистраторы:");
    text(" Всего: 3");
    text(" Неисправно/нет связи: 1 (33%)");
    text(" Список неисправных:");
    text("  10.0.0.12");
    text("");
    text("---------------------------------------------------------------------");
    text("Устройства сети ЦУЛ-17:");
    text(" Всего: 8");
    text(" Неисправно: 1 (12%)");
    text(" Низкое качество связи (0<X<90): 1 (12%)");
    text(" Низкое напряжение питания (0<X<24.0): 0 (0%)");
    text(" Неисправно внешнего оборудования: 0 (0%)");
    text(" Старые версии прошивок: 0 (0%)");
    text("");
    text("---------------------------------------------------------------------");
    text("Список проблеммного оборудования:");
    text(" 10.0.0.11");
    lines << ' ' + errorRow;
    text(" 10.0.0.13");
    lines << ' ' + lowRow;
    text("");
    text("---------------------------------------------------------------------");
    text("Старые версии прошивок:");
    text(" 10.0.0.11");
    text(" 10.0.0.13");
    text("");
    text("---------------------------------------------------------------------");
    text("Информационные каналы TEKVAL:");
    text(" Всего: 16");
    text(" Нет данных, по причине неиспр. оборудования ЦУЛ-17: 2 (12%)");
    text(" Нет данных, по причине неиспр. внешнего оборудования: 0 (0%)");
    text(" Некорректные данные (внешнее оборудование): 1 (6%)");
    text("");
    text("---------------------------------------------------------------------");
    text("Список проблеммных каналов:");
    text(" 10.0.0.11");
    lines << ' ' + wrongRow << ' ' + channelError1;
    text(" 10.0.0.13");
    lines << ' ' + channelError2;
    const QByteArray expected = lines.join("\r\n") + "\r\n";

    const QByteArray got = operabilityReportText(t, settings(), kTime, m_clock);
    QCOMPARE(got, expected);
    // The code page itself, not only a round trip: " Всего: 3" in Windows-1251.
    QVERIFY(got.contains("\r\n \xC2\xF1\xE5\xE3\xEE: 3\r\n"));
}

// Catches conditional lines written or left out wrongly, and halves not rounded to even.
void tst_Report::layout_data()
{
    QTest::addColumn<LayoutCase>("c");

    const QString sep = kSeparator;
    QTest::newRow("1 of 8 failed")
        << LayoutCase{recorders(8, 1), settings(),
                      {" Всего: 8", " Неисправно/нет связи: 1 (12%)", " Список неисправных:", "  10.0.0.1", "", sep},
                      false, {}};
    QTest::newRow("3 of 8 failed")
        << LayoutCase{recorders(8, 3), settings(),
                      {" Неисправно/нет связи: 3 (38%)", " Список неисправных:", "  10.0.0.1", "  10.0.0.2",
                       "  10.0.0.3", "", sep},
                      false, {}};
    QTest::newRow("2 of 3 failed")
        << LayoutCase{recorders(3, 2), settings(), {" Неисправно/нет связи: 2 (67%)"}, false, {}};
    QTest::newRow("no recorder failed")
        << LayoutCase{recorders(2, 0), settings(),
                      {"Домовые регистраторы:", " Всего: 2", " Неисправно/нет связи: 0 (0%)", "", sep,
                       "Устройства сети ЦУЛ-17:"},
                      false, {" Список неисправных:"}};

    QTest::newRow("every recorder failed, devices on")
        << LayoutCase{recorders(2, 2), settings(),
                      {"  10.0.0.2", "", sep, "Устройства сети ЦУЛ-17:", " Всего: 0", "", sep,
                       "Список проблеммного оборудования:", "", sep, "Информационные каналы TEKVAL:", " Всего: 0",
                       "", sep, "Список проблеммных каналов:"},
                      true, {"Старые версии прошивок:", "Низкое напряжение питания:", " Неисправно: 0 (0%)"}};

    TDiagnosticsTotals fetched = recorders(2, 0);
    fetched.DeviceRows = 4;
    fetched.ProblemDevices << "10.0.0.1" << "10.0.0.2";
    fetched.OldFirmwareDevices = fetched.ProblemDevices;
    fetched.LowVoltageDevices = fetched.ProblemDevices;
    QTest::newRow("no outdated firmware")
        << LayoutCase{fetched, settings(),
                      {" Старые версии прошивок: 0 (0%)", "", sep, "Список проблеммного оборудования:", " 10.0.0.1",
                       " 10.0.0.2", "", sep, "Старые версии прошивок:", " 10.0.0.1", " 10.0.0.2", "", sep,
                       "Информационные каналы TEKVAL:"},
                      false, {"Низкое напряжение питания:"}};

    TDiagnosticsTotals lowVoltage = fetched;
    lowVoltage.LowVoltage = 1;
    lowVoltage.LowVoltageDevices = QStringList{"10.0.0.1", " 005 DAT 22.0", "10.0.0.2"};
    QTest::newRow("low voltage present")
        << LayoutCase{lowVoltage, settings(),
                      {" Низкое напряжение питания (0<X<24.0): 1 (25%)", " Неисправно внешнего оборудования: 0 (0%)",
                       " Старые версии прошивок: 0 (0%)", "", sep, "Список проблеммного оборудования:", " 10.0.0.1",
                       " 10.0.0.2", "", sep, "Старые версии прошивок:", " 10.0.0.1", " 10.0.0.2", "", sep,
                       "Низкое напряжение питания:", " 10.0.0.1", "  005 DAT 22.0", " 10.0.0.2", "", sep,
                       "Информационные каналы TEKVAL:"},
                      false, {}};

    QTest::newRow("both blocks off")
        << LayoutCase{recorders(1, 0), settings(false, false),
                      {" Неисправно/нет связи: 0 (0%)", "", sep, "Обработка списка устройств отключена", "", sep,
                       "Обработка данных каналов отключена"},
                      true, {"Устройства сети ЦУЛ-17:", "Информационные каналы TEKVAL:"}};

    TDiagnosticsTotals halves = recorders(1, 0);
    halves.DeviceRows = 200;
    halves.DeviceErrors = 1;     // 0.5
    halves.LowQuality = 5;       // 2.5
    halves.LowVoltage = 3;       // 1.5
    halves.ExternalFailures = 7; // 3.5
    halves.OldFirmware = 199;    // 99.5
    halves.ChannelRows = 8;
    halves.ChannelErrors = 1;    // 12.5
    halves.ChannelFailures = 3;  // 37.5
    halves.ChannelWrong = 8;
    QTest::newRow("halves to even, minimum as typed")
        << LayoutCase{halves, settings(true, true, QStringLiteral("24.0")),
                      {" Всего: 200", " Неисправно: 1 (0%)", " Низкое качество связи (0<X<90): 5 (2%)",
                       " Низкое напряжение питания (0<X<24.0): 3 (2%)", " Неисправно внешнего оборудования: 7 (4%)",
                       " Старые версии прошивок: 199 (100%)"},
                      false, {}};
    QTest::newRow("channel halves")
        << LayoutCase{halves, settings(false, true),
                      {"Информационные каналы TEKVAL:", " Всего: 8",
                       " Нет данных, по причине неиспр. оборудования ЦУЛ-17: 1 (12%)",
                       " Нет данных, по причине неиспр. внешнего оборудования: 3 (38%)",
                       " Некорректные данные (внешнее оборудование): 8 (100%)", "", sep,
                       "Список проблеммных каналов:"},
                      true, {}};
}

void tst_Report::layout()
{
    QFETCH(LayoutCase, c);
    const QByteArray text = operabilityReportText(c.totals, c.settings, kTime, m_clock);
    QVERIFY(text.endsWith("\r\n"));
    QVERIFY(!text.contains("\r\n\r\n\r\n"));
    const QStringList lines = reportLines(text);

    qsizetype at = -1;
    for (qsizetype i = 0; i + c.block.size() <= lines.size(); ++i) {
        if (lines.mid(i, c.block.size()) == c.block) {
            at = i;
            break;
        }
    }
    if (at < 0)
        qWarning().noquote() << lines.join(QLatin1Char('\n'));
    QVERIFY2(at >= 0, "block not found");
    if (c.blockAtEnd)
        QCOMPARE(at + c.block.size(), lines.size());
    for (const QString &line : c.absent)
        QVERIFY2(!lines.contains(line), qPrintable(line));
}

// Catches a name pattern with a wrong field order or separators.
void tst_Report::datedName()
{
    QCOMPARE(reportFileName(true, kTime), QStringLiteral("rep09-12-2025_18.05.07.txt"));
    QCOMPARE(reportFileName(true, QDateTime(QDate(2026, 1, 31), QTime(0, 0, 0))),
             QStringLiteral("rep31-01-2026_00.00.00.txt"));
    QCOMPARE(reportFileName(false, kTime), QStringLiteral("report.txt"));
}

// Catches a report written elsewhere, not truncated, or a name not remembered.
void tst_Report::writesReportAndRemembersName()
{
    TDiagnosticsTotals totals = recorders(3, 1);
    FakeView view;
    {
        QFile old(QStringLiteral("report.txt"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(20000, 'x'));
    }
    WriteOperabilityReport(view, totals);
    QCOMPARE(view.lastName, QStringLiteral("report.txt"));
    QFile fixed(QStringLiteral("report.txt"));
    QVERIFY(fixed.open(QIODevice::ReadOnly));
    QCOMPARE(fixed.readAll(), operabilityReportText(totals, settings(), kTime, m_clock));

    view.dated = true;
    WriteOperabilityReport(view, totals);
    QCOMPARE(view.lastName, QStringLiteral("rep09-12-2025_18.05.07.txt"));
    QFile dated(m_dir->filePath(view.lastName));
    QVERIFY(dated.open(QIODevice::ReadOnly));
    QCOMPARE(dated.readAll(), operabilityReportText(totals, settings(), kTime, m_clock));
}

// Catches a failed write reported as success or remembered as the last report.
void tst_Report::failedWriteKeepsLastName_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("message");
    QTest::newRow("read-only report file") << true << "File access denied";
    QTest::newRow("disk full while writing") << false << "Disk full";
}

void tst_Report::failedWriteKeepsLastName()
{
    QFETCH(bool, readOnly);
    QFETCH(QString, message);
    FakeView view;
    if (readOnly) {
        QFile file(QStringLiteral("report.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("previous\r\n");
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        // Let the ordinary user reach the file, so that only its mode refuses.
        QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                         | QFile::ReadOther | QFile::ExeOther));
    } else {
        if (!QFile::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full here");
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), QStringLiteral("report.txt")));
    }

    QString got;
    {
        std::optional<AsOrdinaryUser> user;
        if (readOnly) {
            user.emplace();
            if (!user->ok())
                QSKIP("cannot act as an ordinary user");
        }
        try {
            WriteOperabilityReport(view, recorders(1, 0));
        } catch (const IoError &e) {
            got = e.message();
        }
    }
    QCOMPARE(got, message);
    QCOMPARE(view.lastName, QStringLiteral("old.txt"));
    if (readOnly) {
        QFile file(QStringLiteral("report.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("previous\r\n"));
    }
}

// Catches an empty name handed to the shell, or a report never handed over.
void tst_Report::showLastReport()
{
    RecordingShell shell;
    ShowLastReport(QString());
    QVERIFY(shell.documents.isEmpty());
    ShowLastReport(QStringLiteral("rep09-12-2025_18.05.07.txt"));
    QCOMPARE(shell.documents, QStringList{QStringLiteral("rep09-12-2025_18.05.07.txt")});
}

QTEST_GUILESS_MAIN(tst_Report)
#include "tst_report.moc"
