#include "platform/AppState.h"
#include "platform/TextCodec.h"
#include "shell/Settings.h"
#include "shell/Unit1.h"
#include "support/Controls.h"
#include "support/RecorderFarm.h"
#include "support/ScriptedDialogs.h"
#include "support/TestFiles.h"
#include "update/Unit2.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {

QStringList listLines(QWidget &form, const char *name)
{
    auto *list = child<QListWidget>(form, name);
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << (list->item(i)->checkState() == Qt::Checked ? "[x]" : "") + list->item(i)->text();
    return out;
}

} // namespace

// The window driven as an operator drives it, against simulated recorders.
class tst_WindowRuns : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void reportThatCannotBeCreatedKeepsTheLastName();
    void cancelButtonDuringARunFailsThatRecorderOnly();
    void settingsSurviveARestart();

private:
    std::unique_ptr<TForm1> makeForm(const QString &settings);
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<RecordingShell> m_shell;
};

void tst_WindowRuns::init()
{
    m_dialogs = std::make_unique<ScriptedDialogs>();
    m_shell = std::make_unique<RecordingShell>();
}

void tst_WindowRuns::cleanup()
{
    QVERIFY2(!m_dialogs->unscripted(), qPrintable(m_dialogs->log.join('\n')));
    m_dialogs.reset();
    m_shell.reset();
    setApplicationEnding(false);
}

std::unique_ptr<TForm1> tst_WindowRuns::makeForm(const QString &settings)
{
    auto form = std::make_unique<TForm1>(QStringList{"zentar", settings});
    form->show();
    return form;
}

// Catches a report failure that still renames the last report, runs the after-hook, or leaves the lock on.
void tst_WindowRuns::reportThatCannotBeCreatedKeepsTheLastName()
{
    RecorderFarm farm;
    farm.add("127.0.0.141");
    writeBytes(farm.file("z.ini"), "[LIST]\r\n0=127.0.0.141\r\n[OPTIONS]\r\nREPDATE=0\r\nLASTREPORT=old.txt\r\n"
                                   "RUNA=1\r\nRUNAS=echo ran > after.txt\r\n");
    QDir().mkdir(farm.file("report.txt")); // cannot be created as a file, even by root
    auto form = makeForm(farm.file("z.ini"));
    QTest::mouseClick(child<QPushButton>(*form, "Button6"), Qt::LeftButton);

    QCOMPARE(m_dialogs->log, QStringList{"error|File access denied."});
    QCOMPARE(form->lastReportName(), QStringLiteral("old.txt"));
    QVERIFY(!QFile::exists(farm.file("after.txt")));
    QVERIFY(m_shell->documents.isEmpty());
    QVERIFY(child<QPushButton>(*form, "Button6")->isEnabled());
    QVERIFY(child<QWidget>(*form, "PageControl1")->isEnabled());
    QTest::mouseClick(child<QPushButton>(*form, "Button1"), Qt::LeftButton);
    QCOMPARE(m_shell->documents, QStringList{"old.txt"});
}

// Catches a cancel button that does not answer during a run, or one that stops the whole run.
void tst_WindowRuns::cancelButtonDuringARunFailsThatRecorderOnly()
{
    RecorderFarm farm;
    farm.add("127.0.0.142").ftp().setSendRate(1500);
    farm.add("127.0.0.143");
    writeBytes(farm.file("z.ini"), "[LIST]\r\n0=127.0.0.142\r\n1=127.0.0.143\r\n[OPTIONS]\r\nREPDATE=0\r\n");
    auto form = makeForm(farm.file("z.ini"));
    child<QCheckBox>(*form, "CheckBox2")->setChecked(false);
    // Pressed by the operator while the slow table is coming in: the click is handled inside the run's wait.
    QTimer press;
    connect(&press, &QTimer::timeout, [&] {
        if (form->statusText(0) == "127.0.0.142" && form->statusText(1) == QStringLiteral("Чтение файла...")) {
            QTest::mouseClick(child<QPushButton>(*form, "Button7"), Qt::LeftButton);
            press.stop();
        }
    });
    press.start(20);
    QTest::mouseClick(child<QPushButton>(*form, "Button6"), Qt::LeftButton);
    QVERIFY(!press.isActive());
    const QString report = fromWin1251(farm.readWorkFile("report.txt"));
    QVERIFY2(report.contains(" Неисправно/нет связи: 1 (50%)\r\n Список неисправных:\r\n  127.0.0.142\r\n"),
             qPrintable(report));
    QVERIFY(!form->cancelRequested());
    QCOMPARE(form->statusText(0), QStringLiteral("Готово"));
}

// Catches a setting, list or check mark that is lost between two starts.
void tst_WindowRuns::settingsSurviveARestart()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("site.ini");
    writeBytes(dir.filePath("opd"), "x");
    {
        auto form = makeForm(ini);
        form->appendRecorder("10.0.0.1", true);
        form->appendRecorder("10.0.0.2", false);
        form->appendRecorder("10.0.0.3", true);
        m_dialogs->modalAnswers.enqueue([&](QDialog &dialog) {
            child<QLineEdit>(dialog, "Edit1")->setText(dir.filePath("opd"));
            child<QLineEdit>(dialog, "Edit2")->setText("/tmp");
            child<QLineEdit>(dialog, "Edit3")->setText("opd-new");
            child<QCheckBox>(dialog, "CheckBox1")->setChecked(true);
            return int(QDialog::Accepted);
        });
        QTest::mouseClick(child<QPushButton>(*form, "Button2"), Qt::LeftButton);
        child<QLineEdit>(*form, "Edit1")->setText("operator");
        child<QLineEdit>(*form, "Edit2")->setText("secret");
        child<QCheckBox>(*form, "CheckBox1")->setChecked(false);
        child<QLineEdit>(*form, "Edit3")->setText("0x1E");
        child<QLineEdit>(*form, "Edit5")->setText("80");
        child<QLineEdit>(*form, "Edit9")->setText("22.5");
        child<QCheckBox>(*form, "CheckBox4")->setChecked(false);
        child<QCheckBox>(*form, "CheckBox6")->setChecked(false);
        child<QCheckBox>(*form, "CheckBox8")->setChecked(true);
        child<QCheckBox>(*form, "CheckBox10")->setChecked(true);
        child<QLineEdit>(*form, "Edit7")->setText("copy opros.out $(IP).out");
        child<QLineEdit>(*form, "Edit4")->setText("ops@example.org");
        form->setRadioIndex(2);
        form->setLastReportName("rep09-12-2025_18.05.07.txt");
        form->close();
    }
    auto again = makeForm(ini);
    QCOMPARE(listLines(*again, "ListBox1"), (QStringList{"[x]10.0.0.1", "10.0.0.2", "[x]10.0.0.3"}));
    QCOMPARE(listLines(*again, "ListBox2"), QStringList{dir.filePath("opd") + "  -->  /tmp/opd-new"});
    QCOMPARE(again->uploadCount(), 1);
    QVERIFY(again->uploadEntry(0).DoChmod);
    QCOMPARE(again->ftpUser(), QStringLiteral("operator"));
    QCOMPARE(again->ftpPassword(), QStringLiteral("secret"));
    QVERIFY(!again->ftpPassive());
    QCOMPARE(again->ftpTimeoutText(), QStringLiteral("30"));
    QCOMPARE(again->qualityThresholdText(), QStringLiteral("80"));
    QCOMPARE(again->minVoltageText(), QStringLiteral("22.5"));
    QVERIFY(!again->devicesOn());
    QVERIFY(again->channelsOn());
    QVERIFY(!again->datedReportName());
    QVERIFY(again->deleteFirst());
    QVERIFY(again->checkSize());
    QVERIFY(again->hookEnabled(HookPoint::EachRecorder));
    QCOMPARE(again->hookCommand(HookPoint::EachRecorder), QStringLiteral("copy opros.out $(IP).out"));
    QCOMPARE(child<QLineEdit>(*again, "Edit4")->text(), QStringLiteral("ops@example.org"));
    QCOMPARE(again->pollMode(), 2);
    QCOMPARE(again->lastReportName(), QStringLiteral("rep09-12-2025_18.05.07.txt"));
}

QTEST_MAIN(tst_WindowRuns)
#include "tst_windowruns.moc"
