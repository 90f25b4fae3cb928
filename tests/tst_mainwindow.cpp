#include "platform/AppState.h"
#include "platform/FtpClient.h"
#include "shell/CheckListBox.h"
#include "shell/Unit1.h"
#include "shell/Unit3.h"
#include "support/Controls.h"
#include "support/ScriptedDialogs.h"
#include "update/Unit2.h"

#include <QCheckBox>
#include <QClipboard>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

namespace {

const QString kCancel = QStringLiteral("<cancel>");

// The twelve controls of the run lock, in the order they are switched.
const char *const kLocked[] = {"Button4", "Button5", "Button6", "Button8", "Button9", "Button10",
                               "CheckBox4", "CheckBox5", "PageControl1", "CheckBox9", "CheckBox10",
                               "CheckBox11"};

// "[x]text" is a checked entry, "[ ]text" an unchecked one.
QStringList entries(const TForm1 &form)
{
    const auto *list = form.findChild<QListWidget *>(QStringLiteral("ListBox1"));
    QStringList out;
    for (int row = 0; row < list->count(); ++row)
        out << (list->item(row)->checkState() == Qt::Checked ? QStringLiteral("[x]") : QStringLiteral("[ ]"))
                   + list->item(row)->text();
    return out;
}

} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void recorderList_data();
    void recorderList();
    void runLockSwitchesExactlyTheTwelve();
    void runErrorReleasesTheLock();
    void cancelWaitsForTheNextTransfer();
    void aboutBoxReopensWithLabels();
    void caption_data();
    void caption();
    void updateConfirmation_data();
    void updateConfirmation();
    void firstStartShowsTheDefaults();
    void settingsReachTheControls();
    void pastedLineBreaksKeepTheFirstLine_data();
    void pastedLineBreaksKeepTheFirstLine();
    void closeWhileIdle_data();
    void closeWhileIdle();
    void closeDuringRunWaitsForTheRun();

private:
    std::unique_ptr<TForm1> makeForm(const QString &settingsName = QStringLiteral("zentar-test.ini"));

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldCurrent;
};

void tst_MainWindow::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    m_oldCurrent = QDir::currentPath();
}

void tst_MainWindow::init()
{
    // Reports and fetched tables land in the current directory.
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QDir::setCurrent(m_dir->path());
}

void tst_MainWindow::cleanup()
{
    setApplicationEnding(false);
    QDir::setCurrent(m_oldCurrent);
    m_dir.reset();
}

std::unique_ptr<TForm1> tst_MainWindow::makeForm(const QString &settingsName)
{
    auto form = std::make_unique<TForm1>(
        QStringList{QStringLiteral("zentar"), m_dir->filePath(settingsName)});
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        qWarning("main window not exposed");
    return form;
}

// Catches list operations that add, drop, re-check or re-highlight the wrong entry, or take a blank
// address that would end the stored list at the next start.
void tst_MainWindow::recorderList_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<int>("highlight");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<int>("highlightAfter");
    QTest::addColumn<QStringList>("boxes");

    const QString ask = QStringLiteral("input|Введите IP-адрес|IP|");
    const QStringList three{"[x]10.0.0.1", "[x]10.0.0.2", "[ ]10.0.0.3"};

    QTest::newRow("duplicate add is a second unchecked entry")
        << QStringList{"[x]10.0.0.1"} << -1 << "Button4" << "10.0.0.1"
        << QStringList{"[x]10.0.0.1", "[ ]10.0.0.1"} << -1 << QStringList{ask};
    QTest::newRow("add cancelled") << three << -1 << "Button4" << kCancel << three << -1 << QStringList{ask};
    QTest::newRow("add with empty text") << three << -1 << "Button4" << "" << three << -1 << QStringList{ask};
    QTest::newRow("add with blanks only") << three << -1 << "Button4" << " \t " << three << -1 << QStringList{ask};
    QTest::newRow("delete highlighted, no question")
        << three << 1 << "Button5" << "" << QStringList{"[x]10.0.0.1", "[ ]10.0.0.3"} << -1 << QStringList{};
    QTest::newRow("delete without highlight") << three << -1 << "Button5" << "" << three << -1 << QStringList{};
    QTest::newRow("edit to new text: in place, unchecked, no highlight")
        << three << 1 << "dblclick" << "10.0.0.9" << QStringList{"[x]10.0.0.1", "[ ]10.0.0.9", "[ ]10.0.0.3"}
        << -1 << QStringList{ask + "10.0.0.2"};
    QTest::newRow("edit to same text keeps the mark")
        << three << 1 << "dblclick" << "10.0.0.2" << three << 1 << QStringList{ask + "10.0.0.2"};
    QTest::newRow("edit cancelled keeps the mark")
        << three << 1 << "dblclick" << kCancel << three << 1 << QStringList{ask + "10.0.0.2"};
    QTest::newRow("edit emptying the text counts as cancel")
        << three << 1 << "dblclick" << "" << three << 1 << QStringList{ask + "10.0.0.2"};
    QTest::newRow("edit to blanks only counts as cancel")
        << three << 1 << "dblclick" << "   " << three << 1 << QStringList{ask + "10.0.0.2"};
    QTest::newRow("edit keeps blanks around an address")
        << three << 1 << "dblclick" << " 10.0.0.2" << QStringList{"[x]10.0.0.1", "[ ] 10.0.0.2", "[ ]10.0.0.3"}
        << -1 << QStringList{ask + "10.0.0.2"};
    QTest::newRow("edit is case-sensitive")
        << QStringList{"[x]host"} << 0 << "dblclick" << "HOST" << QStringList{"[ ]HOST"} << -1
        << QStringList{ask + "host"};
    QTest::newRow("double click without highlight") << three << -1 << "dblclick" << "" << three << -1
                                                    << QStringList{};
    QTest::newRow("check all on empty list") << QStringList{} << -1 << "Button8" << "" << QStringList{} << -1
                                             << QStringList{};
    QTest::newRow("uncheck all on empty list") << QStringList{} << -1 << "Button9" << "" << QStringList{} << -1
                                               << QStringList{};
    QTest::newRow("check all") << three << -1 << "Button8" << ""
                               << QStringList{"[x]10.0.0.1", "[x]10.0.0.2", "[x]10.0.0.3"} << -1 << QStringList{};
    QTest::newRow("uncheck all") << three << 2 << "Button9" << ""
                                 << QStringList{"[ ]10.0.0.1", "[ ]10.0.0.2", "[ ]10.0.0.3"} << 2 << QStringList{};
    QTest::newRow("plus key checks all") << three << 0 << "+" << ""
                                         << QStringList{"[x]10.0.0.1", "[x]10.0.0.2", "[x]10.0.0.3"} << 0
                                         << QStringList{};
    QTest::newRow("minus key unchecks all") << three << -1 << "-" << ""
                                            << QStringList{"[ ]10.0.0.1", "[ ]10.0.0.2", "[ ]10.0.0.3"} << -1
                                            << QStringList{};
    QTest::newRow("space checks the highlighted entry")
        << three << 2 << "space" << "" << QStringList{"[x]10.0.0.1", "[x]10.0.0.2", "[x]10.0.0.3"} << 2
        << QStringList{};
    QTest::newRow("space unchecks the highlighted entry")
        << three << 0 << "space" << "" << QStringList{"[ ]10.0.0.1", "[x]10.0.0.2", "[ ]10.0.0.3"} << 0
        << QStringList{};
    QTest::newRow("space without highlight") << three << -1 << "space" << "" << three << -1 << QStringList{};
}

void tst_MainWindow::recorderList()
{
    QFETCH(QStringList, before);
    QFETCH(int, highlight);
    QFETCH(QString, action);
    QFETCH(QString, answer);
    QFETCH(QStringList, after);
    QFETCH(int, highlightAfter);
    QFETCH(QStringList, boxes);

    ScriptedDialogs dialogs;
    auto form = makeForm();
    for (const QString &entry : before)
        form->appendRecorder(entry.mid(3), entry.startsWith(QLatin1String("[x]")));
    auto *list = child<CheckListBox>(*form, "ListBox1");
    list->setHighlightedRow(highlight);
    QCOMPARE(list->highlightedRow(), highlight);

    if (answer == kCancel)
        dialogs.inputAnswers.enqueue(std::nullopt);
    else
        dialogs.inputAnswers.enqueue(answer);

    if (action.startsWith(QLatin1String("Button"))) {
        QTest::mouseClick(child<QPushButton>(*form, action.toLatin1().constData()), Qt::LeftButton);
    } else if (action == QLatin1String("dblclick")) {
        // On the highlighted entry's text, or below the entries when none is highlighted.
        const QPoint at = highlight >= 0 ? list->visualItemRect(list->item(highlight)).center()
                                         : QPoint(list->viewport()->width() / 2, list->viewport()->height() - 5);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    } else if (action == QLatin1String("space")) {
        QTest::keyClick(list, Qt::Key_Space);
    } else if (action == QLatin1String("+")) {
        QTest::keyClick(list, Qt::Key_Plus);
    } else if (action == QLatin1String("-")) {
        QTest::keyClick(list, Qt::Key_Minus);
    }

    QCOMPARE(entries(*form), after);
    QCOMPARE(list->highlightedRow(), highlightAfter);
    QCOMPARE(dialogs.log, boxes);
}

// Catches a lock that misses a control, locks the live ones, or leaves something locked.
void tst_MainWindow::runLockSwitchesExactlyTheTwelve()
{
    ScriptedDialogs dialogs;
    auto form = makeForm();
    // The window's own controls, not the inner parts of Qt's widgets.
    const QList<QWidget *> all = form->findChildren<QWidget *>(QRegularExpression(
        QStringLiteral("^(Button|CheckBox|Edit|ListBox|PageControl|TabSheet|RadioGroup|GroupBox|Label|ProgressBar)\\d*$")));
    QVERIFY(all.size() > 40);

    form->SetControlsEnabled(false);
    QStringList locked;
    for (QWidget *w : all) {
        if (w->testAttribute(Qt::WA_ForceDisabled) && w->objectName() != QLatin1String("Button3"))
            locked << w->objectName();
    }
    QStringList expected;
    for (const char *name : kLocked)
        expected << QLatin1String(name);
    locked.sort();
    expected.sort();
    QCOMPARE(locked, expected);
    QVERIFY(child<QWidget>(*form, "ListBox1")->isEnabled());
    QVERIFY(child<QWidget>(*form, "Button7")->isEnabled());
    QVERIFY(!child<QWidget>(*form, "Edit3")->isEnabled());   // out of reach with the tabs
    QVERIFY(!child<QWidget>(*form, "Button11")->isEnabled());

    form->SetControlsEnabled(true);
    for (QWidget *w : all) {
        if (w->objectName() != QLatin1String("Button3"))
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
    }
}

// Catches a run that ends by an error and leaves the window locked.
void tst_MainWindow::runErrorReleasesTheLock()
{
    ScriptedDialogs dialogs;
    auto form = makeForm();
    form->appendRecorder(QStringLiteral("127.0.0.60"), true);
    child<QLineEdit>(*form, "Edit3")->setText(QStringLiteral("abc"));

    QTest::mouseClick(child<QPushButton>(*form, "Button6"), Qt::LeftButton);

    QCOMPARE(dialogs.log, QStringList{QStringLiteral("error|'abc' is not a valid integer value.")});
    for (const char *name : kLocked)
        QVERIFY2(child<QWidget>(*form, name)->isEnabled(), name);
    QVERIFY(!form->isRunning());
}

// Catches a cancel request that is lost when pressed idle, or that aborts more than one transfer.
void tst_MainWindow::cancelWaitsForTheNextTransfer()
{
    ScriptedDialogs dialogs;
    auto form = makeForm();
    auto *bar = child<QProgressBar>(*form, "ProgressBar2");
    FtpClient &ftp = form->ftp();

    QTest::mouseClick(child<QPushButton>(*form, "Button7"), Qt::LeftButton);
    QVERIFY(form->cancelRequested());

    form->setCurrentFileSize(1000);
    bool abort = false;
    emit ftp.progress(250, abort);
    QVERIFY(abort);
    QVERIFY(!form->cancelRequested());
    QCOMPARE(bar->maximum(), 1000);
    QCOMPARE(bar->value(), 250);

    abort = false;
    emit ftp.progress(600, abort);
    QVERIFY(!abort);
    QCOMPARE(bar->value(), 600);

    // A transfer longer than announced shows a full bar, not a stale one.
    emit ftp.progress(qint64(5) << 32, abort);
    QCOMPARE(bar->value(), 1000);

    emit ftp.sessionConnected(0);
    QCOMPARE(form->statusText(1), QStringLiteral("Подключен"));
    emit ftp.sessionClosed(0);
    QCOMPARE(form->statusText(1), QStringLiteral("Соединение FTP завершено..."));
    QCOMPARE(form->statusText(0), QStringLiteral("Готов"));
}

// Catches release notes that stay in front of the picture and labels after the box closed.
void tst_MainWindow::aboutBoxReopensWithLabels()
{
    ScriptedDialogs dialogs;
    RecordingShell shell;
    auto form = makeForm();
    bool notesShown = false;
    bool labelsBack = false;

    dialogs.modalAnswers.enqueue([&](QDialog &box) {
        box.show();
        auto *version = box.findChild<QLabel *>(QStringLiteral("Version"));
        QTest::mouseClick(version, Qt::LeftButton);
        notesShown = box.findChild<QPlainTextEdit *>(QStringLiteral("Memo1"))->isVisible();
        QTest::mouseClick(box.findChild<QLabel *>(QStringLiteral("Copyright")), Qt::LeftButton);
        QTest::mouseClick(box.findChild<QPushButton *>(QStringLiteral("OKButton")), Qt::LeftButton);
        return box.result();
    });
    dialogs.modalAnswers.enqueue([&](QDialog &box) {
        box.show();
        labelsBack = !box.findChild<QPlainTextEdit *>(QStringLiteral("Memo1"))->isVisible()
            && box.findChild<QLabel *>(QStringLiteral("ProductName"))->isVisible();
        box.reject();
        return box.result();
    });

    QTest::mouseClick(child<QPushButton>(*form, "Button11"), Qt::LeftButton);
    QVERIFY(notesShown);
    QVERIFY(!form->aboutBox().isVisible());
    QTest::mouseClick(child<QPushButton>(*form, "Button11"), Qt::LeftButton);
    QVERIFY(labelsBack);
    QCOMPARE(dialogs.log, (QStringList{"modal|AboutBox", "modal|AboutBox"}));
    QCOMPARE(shell.urls, QStringList{TAboutBox::makerSite()});
}

// Catches a caption that loses or rewrites the settings path of the command line.
void tst_MainWindow::caption_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("title");
    QTest::newRow("no argument") << QStringList{"zentar"} << QStringLiteral("Диагностика ЗЕНТАР");
    QTest::newRow("path as written") << QStringList{"zentar", "../cfg/My Site.ini", "ignored"}
                                     << QStringLiteral("Диагностика ЗЕНТАР : ../cfg/My Site.ini");
    QTest::newRow("empty argument names no file") << QStringList{"zentar", ""}
                                                  << QStringLiteral("Диагностика ЗЕНТАР");
}

void tst_MainWindow::caption()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, title);
    ScriptedDialogs dialogs;
    TForm1 form(arguments);
    QCOMPARE(form.windowTitle(), title);
    const bool named = arguments.size() > 1 && !arguments.at(1).isEmpty();
    QCOMPARE(form.settingsFile(), named ? arguments.at(1) : QStringLiteral("zentar.ini"));
    QVERIFY(dialogs.log.isEmpty());
}

// Catches an update that starts, or empties the log, without a Yes.
void tst_MainWindow::updateConfirmation_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("linesAfter");
    QTest::newRow("No") << int(Dialogs::Answer::No) << 1;
    QTest::newRow("Cancel") << int(Dialogs::Answer::Cancel) << 1;
    QTest::newRow("Yes") << int(Dialogs::Answer::Yes) << 0;
}

void tst_MainWindow::updateConfirmation()
{
    QFETCH(int, answer);
    QFETCH(int, linesAfter);
    ScriptedDialogs dialogs;
    auto form = makeForm();
    form->showLogLine(QStringLiteral("Начало работы"));
    dialogs.confirmAnswers.enqueue(Dialogs::Answer(answer));

    QTest::mouseClick(child<QPushButton>(*form, "Button10"), Qt::LeftButton);

    QVERIFY(!dialogs.log.isEmpty());
    QCOMPARE(dialogs.log.first(),
             QStringLiteral("confirm|ВНИМАНИЕ !|ВНИМАНИЕ !\r"
                            "Вы собираетесь произвести запись выбранных файлов в компьютеры домовых "
                            "регистраторов !\rВы уверены, что хотите выполнить указанное действие ?"));
    QCOMPARE(child<QListWidget>(*form, "ListBox3")->count(), linesAfter);
    QVERIFY(child<QWidget>(*form, "Button10")->isEnabled());
    QVERIFY(!dialogs.unscripted());
}

// Catches a first start that shows the window definition's states where the
// settings defaults belong, a stored option wired to the wrong control, or a
// window that opens in a state other than idle on the second tab.
void tst_MainWindow::firstStartShowsTheDefaults()
{
    ScriptedDialogs dialogs;
    auto form = makeForm(QStringLiteral("none.ini"));

    QStringList shown;
    for (const char *name : {"Edit1", "Edit2", "Edit3", "Edit4", "Edit5", "Edit6", "Edit7", "Edit8", "Edit9", "Edit10"})
        shown << QLatin1String(name) + QLatin1Char('=') + child<QLineEdit>(*form, name)->text();
    for (int i = 1; i <= 13; ++i) {
        const QByteArray name = "CheckBox" + QByteArray::number(i);
        shown << QString::fromLatin1(name) + (child<QCheckBox>(*form, name.constData())->isChecked() ? "=x" : "= ");
    }
    QCOMPARE(shown, (QStringList{"Edit1=root", "Edit2=", "Edit3=10", "Edit4=support@zentar-service.example",
                                 "Edit5=90", "Edit6=", "Edit7=", "Edit8=", "Edit9=24.0", "Edit10=",
                                 // Passive mode, send to address, dated name, size check: on.
                                 "CheckBox1=x", "CheckBox2=x", "CheckBox3=x", "CheckBox4=x", "CheckBox5=x",
                                 "CheckBox6=x", "CheckBox7=x", "CheckBox8= ", "CheckBox9= ", "CheckBox10= ",
                                 "CheckBox11= ", "CheckBox12= ", "CheckBox13= "}));
    QCOMPARE(form->radioIndex(), 0);
    QCOMPARE(form->lastReportName(), QString());
    QCOMPARE(child<QListWidget>(*form, "ListBox1")->count(), 0);
    QCOMPARE(child<QListWidget>(*form, "ListBox2")->count(), 0);
    QCOMPARE(form->uploadCount(), 0);

    QCOMPARE(child<QTabWidget>(*form, "PageControl1")->currentWidget()->objectName(), QStringLiteral("TabSheet2"));
    for (const char *name : {"ProgressBar1", "ProgressBar2"}) {
        const auto *bar = child<QProgressBar>(*form, name);
        QCOMPARE(QList<int>({bar->minimum(), bar->maximum(), bar->value()}), QList<int>({0, 100, 0}));
    }
    QCOMPARE(form->statusText(0), QStringLiteral("Готов"));
    QCOMPARE(form->statusText(1), QString());
    QVERIFY(!child<QWidget>(*form, "Button3")->isEnabled());
    for (const char *name : kLocked)
        QVERIFY2(child<QWidget>(*form, name)->isEnabled(), name);
    QVERIFY(!form->cancelRequested());

    TForm2 &editor = form->form2();
    QCOMPARE(editor.windowTitle(), QStringLiteral("Редактировать"));
    QStringList fields;
    for (const char *name : {"Edit1", "Edit2", "Edit3"})
        fields << editor.findChild<QLineEdit *>(QLatin1String(name))->text();
    QCOMPARE(fields, (QStringList{"", "/mnt/dos/bin/", ""}));
    QVERIFY(!editor.findChild<QCheckBox *>(QStringLiteral("CheckBox1"))->isChecked());
    QVERIFY(!editor.isVisible());
    QVERIFY(!form->aboutBox().isVisible());

    QVERIFY(dialogs.log.isEmpty());
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("none.ini"))));
}

// Catches stored lists and options that do not reach the window, and a "none chosen" that cannot be kept.
void tst_MainWindow::settingsReachTheControls()
{
    QFile file(m_dir->filePath(QStringLiteral("zentar-test.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[LIST]\r\n0=10.1.1.1\r\nSELECT0=1\r\n1=10.1.1.2\r\nSELECT1=0\r\n"
               "[UPLIST]\r\nFN0=/srv/upd/opd\r\nPN0=/mnt/dos/bin/\r\nTN0=opd\r\nCM0=1\r\n"
               "[OPTIONS]\r\nSTOPSTART=-5\r\n");
    file.close();

    ScriptedDialogs dialogs;
    auto form = makeForm();
    QCOMPARE(entries(*form), (QStringList{"[x]10.1.1.1", "[ ]10.1.1.2"}));
    auto *uploads = child<QListWidget>(*form, "ListBox2");
    QCOMPARE(uploads->count(), 1);
    QCOMPARE(uploads->item(0)->text(), QStringLiteral("/srv/upd/opd  -->  /mnt/dos/bin/opd"));
    QCOMPARE(form->uploadCount(), 1);
    QVERIFY(form->uploadEntry(0).DoChmod);
    QVERIFY(!child<QWidget>(*form, "Button3")->isEnabled());
    QCOMPARE(form->radioIndex(), -1);
    for (QRadioButton *radio : form->findChildren<QRadioButton *>())
        QVERIFY(!radio->isChecked());
    QCOMPARE(form->pollMode(), -1);

    form->close();
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("STOPSTART=-1"));
    QVERIFY(dialogs.log.isEmpty());
}

// Catches a line break pasted into a one-line field reaching an address, a login or a server name.
void tst_MainWindow::pastedLineBreaksKeepTheFirstLine_data()
{
    QTest::addColumn<QString>("field");  // a control of the window, "Form2/<name>", or "input box"
    QTest::addColumn<QString>("before"); // "|" marks the cursor
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("after");

    QTest::newRow("address with its line end") << "input box" << "|" << "10.0.0.5\r\n" << "10.0.0.5";
    QTest::newRow("login with its line end") << "Edit1" << "|" << "root\r\n" << "root";
    QTest::newRow("several lines") << "Form2/Edit1" << "|" << "C:\\upd\\opd\r\nC:\\upd\\opd.conf\r\n"
                                   << "C:\\upd\\opd";
    QTest::newRow("bare CR") << "Form2/Edit3" << "|" << "opd\rrm -rf /" << "opd";
    QTest::newRow("inside the text") << "Edit6" << "run |.bat" << "x\ny" << "run x.bat";
    QTest::newRow("line break first") << "Edit2" << "ab|" << "\r\nzz" << "ab";
}

void tst_MainWindow::pastedLineBreaksKeepTheFirstLine()
{
    QFETCH(QString, field);
    QFETCH(QString, before);
    QFETCH(QString, pasted);
    QFETCH(QString, after);

    auto paste = [&](QLineEdit *edit) {
        edit->setText(QString(before).remove(QLatin1Char('|')));
        edit->setCursorPosition(int(before.indexOf(QLatin1Char('|'))));
        QGuiApplication::clipboard()->setText(pasted);
        edit->paste();
    };

    // The input box row works the platform's own box.
    std::optional<ScriptedDialogs> scripted;
    if (field != QLatin1String("input box"))
        scripted.emplace();
    auto form = makeForm();
    if (!scripted) {
        // Worked as the operator works it; anything left open is closed so
        // the test cannot hang.
        int tries = 0;
        QTimer operate;
        connect(&operate, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
            if (box) {
                paste(box->findChild<QLineEdit *>());
                box->accept();
            } else if (++tries > 200 && QApplication::activeModalWidget()) {
                QApplication::activeModalWidget()->close();
            }
        });
        operate.start(10);
        QTest::mouseClick(child<QPushButton>(*form, "Button4"), Qt::LeftButton);
        QCOMPARE(entries(*form), QStringList{"[ ]" + after});
        return;
    }
    QWidget *owner = form.get();
    if (field.startsWith(QLatin1String("Form2/"))) {
        owner = &form->form2();
        field = field.mid(6);
    }
    auto *edit = owner->findChild<QLineEdit *>(field);
    QVERIFY(edit);
    paste(edit);
    QCOMPARE(edit->text(), after);
}

// Catches a close that skips writing the settings, or reports its error before the window is gone.
void tst_MainWindow::closeWhileIdle_data()
{
    QTest::addColumn<QString>("timeout");
    QTest::addColumn<bool>("directory"); // a directory stands where the settings file goes
    QTest::addColumn<QStringList>("boxes"); // "<ini>" stands for the settings path
    QTest::newRow("settings written") << "10" << false << QStringList{};
    QTest::newRow("bad time-out shown") << "12a" << false
                                        << QStringList{"error|'12a' is not a valid integer value."};
    QTest::newRow("settings path is a directory") << "10" << true
                                                  << QStringList{"error|Unable to write to <ini>."};
}

void tst_MainWindow::closeWhileIdle()
{
    QFETCH(QString, timeout);
    QFETCH(bool, directory);
    QFETCH(QStringList, boxes);

    // Notes a box shown while the window can still be seen.
    struct WindowDialogs : ScriptedDialogs
    {
        QWidget *window = nullptr;
        void errorBox(const QString &text) override
        {
            if (window && window->isVisible())
                log << QStringLiteral("window still visible");
            ScriptedDialogs::errorBox(text);
        }
    } dialogs;
    const QString ini = m_dir->filePath(QStringLiteral("zentar-test.ini"));
    if (directory)
        QVERIFY(QDir().mkpath(ini));
    auto form = makeForm();
    dialogs.window = form.get();
    QVERIFY(dialogs.log.isEmpty());
    form->appendRecorder(QStringLiteral("10.9.9.9"), true);
    child<QLineEdit>(*form, "Edit3")->setText(timeout);

    QVERIFY(form->close());
    QVERIFY(!form->isVisible());
    boxes.replaceInStrings(QStringLiteral("<ini>"), ini);
    QCOMPARE(dialogs.log, boxes);
    if (directory) {
        QVERIFY(QFileInfo(ini).isDir());
        return;
    }
    QFile file(ini);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("10.9.9.9"));
}

// Catches a close during a run that tears the window down under the run, or never ends the program.
void tst_MainWindow::closeDuringRunWaitsForTheRun()
{
    ScriptedDialogs dialogs;
    RecordingShell shell;
    auto form = makeForm();
    form->appendRecorder(QStringLiteral("127.0.0.60"), true); // nothing listens there
    child<QLineEdit>(*form, "Edit3")->setText(QStringLiteral("2"));
    child<QCheckBox>(*form, "CheckBox2")->setChecked(true);

    // The report is opened at the very end of the run, still inside it.
    std::optional<bool> closedAccepted;
    bool visibleInside = false;
    shell.onOpenDocument = [&](const QString &) {
        closedAccepted = form->close();
        visibleInside = form->isVisible();
    };

    QTest::mouseClick(child<QPushButton>(*form, "Button6"), Qt::LeftButton);

    QVERIFY(closedAccepted.has_value());
    QVERIFY(!*closedAccepted);
    QVERIFY(visibleInside);
    QVERIFY(applicationEnding());
    QVERIFY(!form->isVisible());
    QVERIFY(!form->isRunning());
    QVERIFY(QFile::exists(form->settingsFile()));
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
