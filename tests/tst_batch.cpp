#include "platform/TextCodec.h"
#include "shell/BatchFrontEnd.h"
#include "shell/Unit1.h"
#include "support/RecorderFarm.h"
#include "support/ScriptedDialogs.h"
#include "support/TestFiles.h"

#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

struct BatchResult
{
    int status = -1;
    QString out;
    QString err;
};

BatchResult batch(const QStringList &arguments)
{
    BatchResult r;
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    r.status = runBatch(QStringList{"zentar-batch"} + arguments, out, err);
    out.flush();
    err.flush();
    return r;
}

// The report without its time stamp line, which differs from run to run.
QByteArray withoutTimeStamp(QByteArray report)
{
    const qsizetype start = report.indexOf("\r\n \xC2\xF0\xE5\xEC\xFF"); // " Время"
    const qsizetype end = report.indexOf("\r\n", start + 2);
    if (start >= 0 && end > start)
        report.remove(start, end - start);
    return report;
}

// Points this process's standard output and error at two files for a while:
// what a hook writes lands where the batch's caller would read it.
class StreamCapture
{
public:
    StreamCapture(const QString &outFile, const QString &errFile)
    {
        std::fflush(stdout);
        std::fflush(stderr);
        m_out = ::dup(STDOUT_FILENO);
        m_err = ::dup(STDERR_FILENO);
        redirect(outFile, STDOUT_FILENO);
        redirect(errFile, STDERR_FILENO);
    }
    ~StreamCapture()
    {
        std::fflush(stdout);
        std::fflush(stderr);
        ::dup2(m_out, STDOUT_FILENO);
        ::dup2(m_err, STDERR_FILENO);
        ::close(m_out);
        ::close(m_err);
    }
    StreamCapture(const StreamCapture &) = delete;
    StreamCapture &operator=(const StreamCapture &) = delete;

private:
    static void redirect(const QString &file, int fd)
    {
        const int target = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(target, fd);
        ::close(target);
    }

    int m_out = -1;
    int m_err = -1;
};

const QByteArray kTwoRecorders = "[LIST]\r\n0=127.0.0.151\r\nSELECT0=1\r\n1=127.0.0.152\r\nSELECT1=1\r\n"
                                 "[OPTIONS]\r\nREPDATE=0\r\n";

} // namespace

class tst_Batch : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_dialogs = std::make_unique<ScriptedDialogs>(); }
    void cleanup() { m_dialogs.reset(); }
    void reportMatchesTheWindows();
    void exitStatus_data();
    void exitStatus();
    void updateLogsWhatTheWindowLogs();
    void streamsCarryWhatTheyPromise();

private:
    std::unique_ptr<ScriptedDialogs> m_dialogs;
};

// Catches a batch run that diverges from the window's run, or touches more of the settings than the last report.
void tst_Batch::reportMatchesTheWindows()
{
    RecorderFarm farm;
    farm.add("127.0.0.151", true);
    farm.add("127.0.0.152").ftp().refuseLogin(true);
    writeBytes(farm.file("z.ini"), kTwoRecorders);
    {
        RecordingShell shell;
        TForm1 form(QStringList{"zentar", farm.file("z.ini")});
        QTest::mouseClick(form.findChild<QPushButton *>("Button6"), Qt::LeftButton);
        form.close();
    }
    const QByteArray windowReport = farm.readWorkFile("report.txt");
    QVERIFY(windowReport.contains("127.0.0.152"));
    QFile::remove(farm.file("report.txt"));
    const QByteArray settingsBefore = readBytes(farm.file("z.ini"));

    const BatchResult r = batch({"diagnostics", farm.file("z.ini")});
    QCOMPARE(r.status, 1);
    QCOMPARE(r.out, QStringLiteral("report.txt\n"));
    QVERIFY(r.err.contains(QStringLiteral("127.0.0.151: Чтение файла...")));
    QCOMPARE(withoutTimeStamp(farm.readWorkFile("report.txt")), withoutTimeStamp(windowReport));
    QCOMPARE(readBytes(farm.file("z.ini")), settingsBefore);

    // A dated report's name is the one key the batch writes back.
    QByteArray dated = settingsBefore;
    dated.replace("REPDATE=0", "REPDATE=1");
    writeBytes(farm.file("z.ini"), dated);
    const BatchResult d = batch({"diagnostics", farm.file("z.ini")});
    const QString name = d.out.trimmed();
    QVERIFY2(name.startsWith("rep") && QFile::exists(farm.file(name)), qPrintable(name));
    QByteArray expected = dated;
    expected.replace("LASTREPORT=report.txt\r\n", "LASTREPORT=" + name.toLatin1() + "\r\n");
    QCOMPARE(readBytes(farm.file("z.ini")), expected);
}

// Catches an exit status that hides a failure from the scheduler.
void tst_Batch::exitStatus_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("stderrHas");
    QTest::newRow("all served") << QByteArray("[LIST]\r\n0=127.0.0.151\r\n[OPTIONS]\r\nREPDATE=0\r\n")
                                << QStringList{"diagnostics"} << 0 << QString();
    QTest::newRow("one failed") << kTwoRecorders << QStringList{"diagnostics"} << 1 << QString();
    QTest::newRow("nothing checked") << QByteArray("[LIST]\r\n0=127.0.0.151\r\nSELECT0=0\r\n")
                                     << QStringList{"diagnostics"} << 2
                                     << QStringLiteral("Нет выделенных адресов домовых регистраторов");
    QTest::newRow("time-out text in the file falls back to 10")
        << QByteArray("[LIST]\r\n0=127.0.0.151\r\n[FTP]\r\nTIMEOUT=abc\r\n") << QStringList{"update", "--yes"} << 0
        << QString();
    QTest::newRow("bad threshold") << QByteArray("[LIST]\r\n0=127.0.0.151\r\n[OPTIONS]\r\nLEVEL=9O\r\n")
                                   << QStringList{"diagnostics"} << 2
                                   << QStringLiteral("'9O' is not a valid integer value.");
    QTest::newRow("update needs --yes") << kTwoRecorders << QStringList{"update"} << 2 << QStringLiteral("--yes");
    QTest::newRow("update served") << QByteArray("[LIST]\r\n0=127.0.0.151\r\n") << QStringList{"update", "--yes"}
                                   << 0 << QString();
    QTest::newRow("update with a failed login") << kTwoRecorders << QStringList{"update", "--yes"} << 1
                                                << QStringLiteral(" ERROR: Не могу подключиться к 127.0.0.152");
    QTest::newRow("unknown job") << kTwoRecorders << QStringList{"statistics"} << 2 << QStringLiteral("--help");
    QTest::newRow("help") << QByteArray() << QStringList{"--help"} << 0 << QString();
}

void tst_Batch::exitStatus()
{
    QFETCH(QByteArray, settings);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, stderrHas);
    RecorderFarm farm;
    farm.add("127.0.0.151");
    farm.add("127.0.0.152").ftp().refuseLogin(true);
    writeBytes(farm.file("z.ini"), settings);
    const BatchResult r = batch(arguments + QStringList{farm.file("z.ini")});
    QCOMPARE(r.status, status);
    if (!stderrHas.isEmpty())
        QVERIFY2(r.err.contains(stderrHas), qPrintable(r.err));
}

// Catches an unattended update that logs other lines than the window's run.
void tst_Batch::updateLogsWhatTheWindowLogs()
{
    RecorderFarm farm;
    farm.add("127.0.0.151");
    farm.add("127.0.0.152").ftp().refuseLogin(true);
    writeBytes(farm.file("opd"), "daemon");
    writeBytes(farm.file("z.ini"), "[LIST]\r\n0=127.0.0.151\r\n1=127.0.0.152\r\n[UPLIST]\r\nFN0="
                                       + farm.file("opd").toUtf8()
                                       + "\r\nPN0=/mnt/dos/bin/\r\nTN0=opd\r\nCM0=1\r\n[OPTIONS]\r\nSTOPSTART=1\r\n"
                                         "CHECKDATE=0\r\n");
    QStringList windowLines;
    {
        TForm1 form(QStringList{"zentar", farm.file("z.ini")});
        m_dialogs->confirmAnswers.enqueue(Dialogs::Answer::Yes);
        QTest::mouseClick(form.findChild<QPushButton *>("Button10"), Qt::LeftButton);
        auto *log = form.findChild<QListWidget *>("ListBox3");
        for (int i = 0; i < log->count(); ++i)
            windowLines << log->item(i)->text();
        form.close();
    }
    QCOMPARE(windowLines.size(), 9);
    const BatchResult r = batch({"update", "--yes", farm.file("z.ini")});
    QCOMPARE(r.status, 1);
    const QString logged = fromWin1251(farm.readWorkFile("upload.log"));
    QCOMPARE(logged, (windowLines + windowLines).join("\r\n") + "\r\n");
}

// Catches hook output mixed into the report's name, or a line break in a log line splitting a progress line.
void tst_Batch::streamsCarryWhatTheyPromise()
{
    RecorderFarm farm;
    farm.add("127.0.0.90", true);
    writeBytes(farm.file("z.ini"), "[LIST]\r\n0=127.0.0.90\r\n[OPTIONS]\r\nREPDATE=0\r\nRUNI=1\r\n"
                                   "RUNIS=echo hook $(IP)\r\n");
    BatchResult r;
    {
        StreamCapture capture(farm.file("fd1"), farm.file("fd2"));
        r = batch({"diagnostics", farm.file("z.ini")});
    }
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QStringLiteral("report.txt\n"));
    QCOMPARE(readBytes(farm.file("fd1")), QByteArray());
    QVERIFY(readBytes(farm.file("fd2")).contains("hook 127.0.0.90\n"));
    QVERIFY2(r.err.contains(QStringLiteral("127.0.0.90: Подключен\n")), qPrintable(r.err));

    const BatchResult u = batch({"update", "--yes", "--command", "ls\nrm", farm.file("z.ini")});
    QCOMPARE(u.status, 1);
    QVERIFY2(u.err.contains(QStringLiteral("\n ERROR: Не могу выполнить команду: ls%0Arm\n")), qPrintable(u.err));
}

QTEST_MAIN(tst_Batch)
#include "tst_batch.moc"
