#include "diagnostics/PollFiles.h"
#include "platform/Errors.h"
#include "platform/TextCodec.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Header of the fixtures: "Quality" at 9, "Version" at 17, "Vcc" at 26.
const QByteArray kHeader = "Adr Typ Quality Version  Vcc State";
const QByteArray kRule = "-----------------------------------";

// A device row with its fields at the fixture columns.
QByteArray dev(const QByteArray &type, const QByteArray &quality, const QByteArray &version,
               const QByteArray &vcc, const QByteArray &state = "ok")
{
    QByteArray row(34, ' ');
    auto put = [&row](int column, const QByteArray &text) { row.replace(column - 1, text.size(), text); };
    put(1, type);
    put(9, quality);
    put(17, version);
    put(26, vcc);
    return row + ' ' + state;
}

QByteArray lines(const QList<QByteArray> &rows, const QByteArray &end = "\n")
{
    QByteArray text;
    for (const QByteArray &row : rows)
        text += row + end;
    return text;
}

QByteArray deviceTable(const QList<QByteArray> &rows, const QByteArray &end = "\n")
{
    return lines(QList<QByteArray>{"Device poll", kHeader, kRule} + rows, end);
}

// List entries back in file bytes, to compare byte for byte.
QList<QByteArray> bytesOf(const QStringList &entries)
{
    QList<QByteArray> out;
    for (const QString &entry : entries)
        out << toWin1251(entry);
    return out;
}

QList<QByteArray> entries(const QByteArray &address, const QList<QByteArray> &rows)
{
    QList<QByteArray> out{address};
    for (const QByteArray &row : rows)
        out << ' ' + row;
    return out;
}

struct DeviceCase
{
    QByteArray table;
    QList<int> counts; // DeviceRows, DeviceErrors, LowQuality, LowVoltage, ExternalFailures, OldFirmware
    QList<QByteArray> problems;
    QList<QByteArray> firmware;
    QList<QByteArray> voltage;
};

struct ChannelCase
{
    QByteArray table;
    QList<int> counts; // ChannelRows, ChannelErrors, ChannelFailures, ChannelWrong
    QList<QByteArray> problems;
};

} // namespace

Q_DECLARE_METATYPE(DeviceCase)
Q_DECLARE_METATYPE(ChannelCase)

class tst_PollFiles : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void deviceRows_data();
    void deviceRows();
    void columnsCarriedAcrossTables();
    void thresholdsConvertedOnlyWhenNeeded_data();
    void thresholdsConvertedOnlyWhenNeeded();
    void channelRows_data();
    void channelRows();
    void missingFilesLeaveAddressEntriesOnly();
    void readErrorIsReported();

private:
    QString write(const QString &name, const QByteArray &bytes);
    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_PollFiles::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString tst_PollFiles::write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the fixture %s", qPrintable(path));
    return path;
}

// Catches misread fields, wrong marker rules or order, altered rows, rows read past the table.
void tst_PollFiles::deviceRows_data()
{
    QTest::addColumn<DeviceCase>("c");

    const QByteArray low = dev("001 DAT", "50", "12", "24.5");
    QTest::newRow("fields at learned columns")
        << DeviceCase{deviceTable({low, dev("002 RPX", "95", "7", "23.5"), dev("003 DAT", "95", "12", "24.5")}),
                      {3, 0, 1, 1, 0, 1},
                      {low},
                      {dev("002 RPX", "95", "7", "23.5")},
                      {dev("002 RPX", "95", "7", "23.5")}};

    const QByteArray q89 = dev("001 DAT", "89", "", "");
    QTest::newRow("quality against threshold")
        << DeviceCase{deviceTable({q89, dev("002", "90", "", ""), dev("003", "0", "", ""), dev("004", "-5", "", ""),
                                   dev("005", "x9", "", ""), dev("006", "", "", ""), dev("007", "+12", "", "")}),
                      {7, 0, 2, 0, 0, 0},
                      {q89, dev("007", "+12", "", "")},
                      {},
                      {}};

    const QByteArray v235 = dev("001", "", "", "23.5");
    QTest::newRow("voltage against minimum")
        << DeviceCase{deviceTable({dev("002", "", "", "0.0"), dev("003", "", "", "-1.0"), v235,
                                   dev("004", "", "", "24.0"), dev("005", "", "", "24,0"), dev("006", "", "", "n/a"),
                                   dev("007", "", "", "2e1")}),
                      {7, 0, 0, 2, 0, 0},
                      {},
                      {},
                      {v235, dev("007", "", "", "2e1")}};

    const QByteArray tsq0 = dev("001 TSQ", "", "0", "");
    const QByteArray molt5 = dev("002 MOLT", "", "5", "");
    const QByteArray both8 = dev("RPX MOLT", "", "8", "");
    QTest::newRow("firmware rules")
        << DeviceCase{deviceTable({tsq0, dev("003 TSQ", "", "3", ""), dev("004 RPX", "", "9", ""),
                                   dev("005 RPX", "", "4", ""), dev("006 MOLT", "", "7.1", ""), molt5, both8,
                                   dev("007 DAT", "", "6", "")}),
                      {8, 0, 0, 0, 0, 3},
                      {},
                      {tsq0, molt5, both8},
                      {}};

    const QByteArray failErr = dev("001 RPX", "10", "6", "12.0", "Failur Error");
    const QByteArray failLow = dev("002", "10", "", "", "Failur");
    const QByteArray err = dev("003", "10", "", "", "Error");
    QTest::newRow("markers in order, Error replaces quality")
        << DeviceCase{deviceTable({failErr, failLow, err}),
                      {3, 2, 1, 1, 2, 1},
                      {failErr, failErr, failLow, failLow, err},
                      {failErr},
                      {failErr}};

    const QByteArray e1 = dev("001", "", "", "", "Error");
    QTest::newRow("empty line counts, second separator ends")
        << DeviceCase{deviceTable({e1, "", "---", dev("002", "10", "", "", "Error"), "more"}),
                      {2, 1, 0, 0, 0, 0},
                      {e1},
                      {},
                      {}};

    const QByteArray crRow = dev("001", "10", "", "23.0", "Error");
    QTest::newRow("CR LF line ends")
        << DeviceCase{deviceTable({crRow, dev("002", "20", "", "")}, "\r\n"),
                      {2, 1, 1, 1, 0, 0},
                      {crRow, dev("002", "20", "", "")},
                      {},
                      {crRow}};

    QTest::newRow("no separator")
        << DeviceCase{lines({kHeader, dev("001", "10", "", "", "Error Failur")}), {0, 0, 0, 0, 0, 0}, {}, {}, {}};

    QTest::newRow("indented dashes are no separator")
        << DeviceCase{lines({kHeader, " ---", dev("001", "10", "", "", "Error")}), {0, 0, 0, 0, 0, 0}, {}, {}, {}};

    const QByteArray cyr = "  " + dev("001", "", "", "", "\xCE\xF8\xE8\xE1\xEA\xE0 Error \x98\xB9\xFF") + "  \t";
    QTest::newRow("row kept byte for byte, untrimmed")
        << DeviceCase{deviceTable({cyr}), {1, 1, 0, 0, 0, 0}, {cyr}, {}, {}};

    const QByteArray quality0 = "50  Error";
    QTest::newRow("header without Quality reads characters 1 to 3")
        << DeviceCase{lines({"Typ     Version  Vcc", "---", "50 DAT", "9999", "-7 DAT", quality0}),
                      {4, 1, 1, 0, 0, 0},
                      {"50 DAT", quality0},
                      {},
                      {}};
}

void tst_PollFiles::deviceRows()
{
    QFETCH(DeviceCase, c);
    const QString path = write(QStringLiteral("opros.out"), c.table);
    TDiagnosticsTotals totals;
    TDeviceColumns columns;
    ReadDeviceFile(path, QStringLiteral("10.0.0.11"), columns, QStringLiteral("90"), QStringLiteral("24.0"), totals);

    const QList<int> counts{totals.DeviceRows, totals.DeviceErrors, totals.LowQuality,
                            totals.LowVoltage, totals.ExternalFailures, totals.OldFirmware};
    QCOMPARE(counts, c.counts);
    QCOMPARE(bytesOf(totals.ProblemDevices), entries("10.0.0.11", c.problems));
    QCOMPARE(bytesOf(totals.OldFirmwareDevices), entries("10.0.0.11", c.firmware));
    QCOMPARE(bytesOf(totals.LowVoltageDevices), entries("10.0.0.11", c.voltage));
    QCOMPARE(totals.ChannelRows, 0);
    QVERIFY(totals.ProblemChannels.isEmpty());
}

// Catches columns reset per table, or learned from the first titled header line, not the last.
void tst_PollFiles::columnsCarriedAcrossTables()
{
    TDiagnosticsTotals totals;
    TDeviceColumns columns;

    // The last header line with "Quality" decides; the separator line may carry titles.
    const QString first = write(QStringLiteral("a.out"),
                                lines({"Quality", kHeader, kRule, dev("001", "50", "", "")}));
    ReadDeviceFile(first, QStringLiteral("A"), columns, QStringLiteral("90"), QStringLiteral("24.0"), totals);
    QCOMPARE(columns.QualityColumn, 9);
    QCOMPARE(columns.VersionColumn, 17);
    QCOMPARE(columns.VccColumn, 26);

    // No titles: the columns of the earlier table stay in force.
    const QByteArray tsq = dev("002 TSQ", "50", "1", "20.0");
    const QString second = write(QStringLiteral("b.out"), lines({"plain header", "---", tsq}));
    ReadDeviceFile(second, QStringLiteral("B"), columns, QStringLiteral("90"), QStringLiteral("24.0"), totals);
    QCOMPARE(totals.LowQuality, 2);
    QCOMPARE(totals.OldFirmware, 1);
    QCOMPARE(totals.LowVoltage, 1);

    // Only "Vcc" moves; it is found in the separator line itself.
    const QString third = write(QStringLiteral("c.out"), lines({"---Vcc", "xyz20.0 DAT"}));
    ReadDeviceFile(third, QStringLiteral("C"), columns, QStringLiteral("90"), QStringLiteral("24.0"), totals);
    QCOMPARE(columns.QualityColumn, 9);
    QCOMPARE(columns.VersionColumn, 17);
    QCOMPARE(columns.VccColumn, 4);
    QCOMPARE(totals.LowVoltage, 2);
    QCOMPARE(totals.LowQuality, 2); // "DAT" at 9..11 is no number
    QCOMPARE(totals.DeviceRows, 3);
    QCOMPARE(bytesOf(totals.ProblemDevices),
             (QList<QByteArray>{"A", ' ' + dev("001", "50", "", ""), "B", ' ' + tsq, "C"}));
}

// Catches thresholds converted eagerly (failing needlessly) or never (hiding a bad setting).
void tst_PollFiles::thresholdsConvertedOnlyWhenNeeded_data()
{
    QTest::addColumn<QString>("level");
    QTest::addColumn<QString>("vmin");
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("rowsCounted");

    const QByteArray noQuality = deviceTable({dev("001", "0", "", ""), dev("002", "-3", "", ""),
                                              dev("003", "x", "", ""), dev("004", "50", "", "", "Error")});
    QTest::newRow("bad level, no quality above 0") << "abc" << "24.0" << noQuality << QString() << 4;
    QTest::newRow("bad level, a quality above 0")
        << "abc" << "24.0" << deviceTable({dev("001", "0", "", ""), dev("002", "95", "", ""), dev("003", "5", "", "")})
        << "'abc' is not a valid integer value" << 2;
    const QByteArray noVoltage = deviceTable({dev("001", "", "", ""), dev("002", "", "", "n/a")});
    QTest::newRow("bad minimum, no voltage parses") << "90" << "24,0" << noVoltage << QString() << 2;
    QTest::newRow("bad minimum, a voltage of 0.0 parses")
        << "90" << "24,0" << deviceTable({dev("001", "", "", ""), dev("002", "", "", "0.0")})
        << "'24,0' is not a valid floating point value" << 2;
}

void tst_PollFiles::thresholdsConvertedOnlyWhenNeeded()
{
    QFETCH(QString, level);
    QFETCH(QString, vmin);
    QFETCH(QByteArray, table);
    QFETCH(QString, error);
    QFETCH(int, rowsCounted);
    const QString path = write(QStringLiteral("opros.out"), table);
    TDiagnosticsTotals totals;
    TDeviceColumns columns;
    QString got;
    try {
        ReadDeviceFile(path, QStringLiteral("10.0.0.11"), columns, level, vmin, totals);
    } catch (const ConversionError &e) {
        got = e.message();
    }
    QCOMPARE(got, error);
    QCOMPARE(totals.DeviceRows, rowsCounted);
}

// Catches untrimmed channel rows, blank lines counted, "---" taken as an end, markers merged.
void tst_PollFiles::channelRows_data()
{
    QTest::addColumn<ChannelCase>("c");

    QTest::newRow("rows trimmed, blank lines skipped")
        << ChannelCase{"  Chan  State\n\n  ---------\n   12 Wrong data  \n\t \n\n 13 ok\n",
                       {2, 0, 0, 1},
                       {"12 Wrong data"}};
    QTest::newRow("second separator is a row")
        << ChannelCase{"Chan State\n---\n1 Error\n-----\n2 Failur\n", {3, 1, 1, 0}, {"1 Error", "2 Failur"}};
    QTest::newRow("every marker of a row counts")
        << ChannelCase{"h\n---\n5 Failur Error Wrong\n", {1, 1, 1, 1},
                       {"5 Failur Error Wrong", "5 Failur Error Wrong", "5 Failur Error Wrong"}};
    QTest::newRow("CR LF line ends")
        << ChannelCase{"h\r\n---\r\n1 Error\r\n\r\n2 ok\r\n", {2, 1, 0, 0}, {"1 Error"}};
    QTest::newRow("no separator") << ChannelCase{"h\n1 Error\n2 Wrong\n", {0, 0, 0, 0}, {}};
    QTest::newRow("Cyrillic row byte for byte")
        << ChannelCase{"h\n---\n \xCA\xE0\xED\xE0\xEB 7 Wrong \x98\xA0\n", {1, 0, 0, 1},
                       {"\xCA\xE0\xED\xE0\xEB 7 Wrong \x98\xA0"}};
    QTest::newRow("marker case matters") << ChannelCase{"h\n---\n1 error WRONG failure\n", {1, 0, 0, 0}, {}};
}

void tst_PollFiles::channelRows()
{
    QFETCH(ChannelCase, c);
    const QString path = write(QStringLiteral("cs.out"), c.table);
    TDiagnosticsTotals totals;
    ReadChannelFile(path, QStringLiteral("10.0.0.13"), totals);
    const QList<int> counts{totals.ChannelRows, totals.ChannelErrors, totals.ChannelFailures, totals.ChannelWrong};
    QCOMPARE(counts, c.counts);
    QCOMPARE(bytesOf(totals.ProblemChannels), entries("10.0.0.13", c.problems));
    QCOMPARE(totals.DeviceRows, 0);
    QVERIFY(totals.ProblemDevices.isEmpty());
}

// Catches a missing table that throws or counts, and a clean recorder left without address entries.
void tst_PollFiles::missingFilesLeaveAddressEntriesOnly()
{
    TDiagnosticsTotals totals;
    TDeviceColumns columns;
    const QString clean = write(QStringLiteral("opros.out"), deviceTable({dev("001", "95", "12", "24.5")}));
    const QString cleanChannels = write(QStringLiteral("cs.out"), "h\n---\n1 ok\n");
    ReadDeviceFile(clean, QStringLiteral("10.0.0.1"), columns, QStringLiteral("90"), QStringLiteral("24.0"), totals);
    ReadChannelFile(cleanChannels, QStringLiteral("10.0.0.1"), totals);
    const QString missing = m_dir->filePath(QStringLiteral("absent.out"));
    ReadDeviceFile(missing, QStringLiteral("10.0.0.2"), columns, QStringLiteral("bad"), QStringLiteral("bad"), totals);
    ReadChannelFile(missing, QStringLiteral("10.0.0.2"), totals);

    const QStringList addresses{QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.2")};
    QCOMPARE(totals.ProblemDevices, addresses);
    QCOMPARE(totals.OldFirmwareDevices, addresses);
    QCOMPARE(totals.LowVoltageDevices, addresses);
    QCOMPARE(totals.ProblemChannels, addresses);
    QCOMPARE(totals.DeviceRows, 1);
    QCOMPARE(totals.ChannelRows, 1);
}

// Catches a read failure taken for the end of the table.
void tst_PollFiles::readErrorIsReported()
{
    // Reading /proc/self/mem at offset 0 fails: nothing is mapped there.
    const QString unreadable = QStringLiteral("/proc/self/mem");
    QFile probe(unreadable);
    char byte;
    if (!probe.open(QIODevice::ReadOnly) || probe.read(&byte, 1) >= 0)
        QSKIP("no file here fails on reading");
    probe.close();

    TDiagnosticsTotals totals;
    TDeviceColumns columns;
    QVERIFY_THROWS_EXCEPTION(IoError, ReadDeviceFile(unreadable, QStringLiteral("10.0.0.1"), columns,
                                                     QStringLiteral("90"), QStringLiteral("24.0"), totals));
    QVERIFY_THROWS_EXCEPTION(IoError, ReadChannelFile(unreadable, QStringLiteral("10.0.0.1"), totals));
    QCOMPARE(totals.ProblemDevices, QStringList{QStringLiteral("10.0.0.1")});
    QCOMPARE(totals.ProblemChannels, QStringList{QStringLiteral("10.0.0.1")});
}

QTEST_GUILESS_MAIN(tst_PollFiles)
#include "tst_pollfiles.moc"
