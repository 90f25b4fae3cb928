#include "shell/Unit1.h"
#include "support/ScriptedDialogs.h"
#include "update/Unit2.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

// What the operator does in the editor before it closes: fields to type, how it ends.
struct EditorInput
{
    std::optional<QString> local;
    std::optional<QString> path;
    std::optional<QString> name;
    bool chmod = false;
    bool ok = true;
};

class tst_UploadList : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void serverPath_data();
    void serverPath();
    void proposedName_data();
    void proposedName();
    void leavingLocalNameOverwritesServerName_data();
    void leavingLocalNameOverwritesServerName();
    void browse_data();
    void browse();
    void addStopsAtFifteen();
    void cancelKeepsTypedValues();
    void removeButtonFollowsSelection();
    void removingOnlyEntry();

private:
    std::unique_ptr<TForm1> makeForm();
    // Queues one opening of the editor that types the input and presses "Ok" or "Отмена".
    void queueEditor(const EditorInput &input);
    void addEntries(int count);
    void clickLine(int row);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<TForm1> m_form;
    QListWidget *m_list = nullptr;
    QPushButton *m_remove = nullptr;
};

void tst_UploadList::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void tst_UploadList::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_dialogs = std::make_unique<ScriptedDialogs>();
    m_form = std::make_unique<TForm1>(
        QStringList{QStringLiteral("zentar"), m_dir->filePath(QStringLiteral("zentar.ini"))});
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    m_list = m_form->findChild<QListWidget *>(QStringLiteral("ListBox2"));
    m_remove = m_form->findChild<QPushButton *>(QStringLiteral("Button3"));
    QVERIFY(m_list && m_remove);
}

void tst_UploadList::cleanup()
{
    QVERIFY2(!m_dialogs->unscripted(), qPrintable(m_dialogs->log.join(QLatin1Char('\n'))));
    m_form.reset();
    m_dialogs.reset();
    m_dir.reset();
}

void tst_UploadList::queueEditor(const EditorInput &input)
{
    m_dialogs->modalAnswers.enqueue([input](QDialog &editor) {
        auto field = [&](const char *name) { return editor.findChild<QLineEdit *>(QLatin1String(name)); };
        if (input.local)
            field("Edit1")->setText(*input.local);
        if (input.path)
            field("Edit2")->setText(*input.path);
        if (input.name)
            field("Edit3")->setText(*input.name);
        editor.findChild<QCheckBox *>(QStringLiteral("CheckBox1"))->setChecked(input.chmod);
        editor.show();
        const char *button = input.ok ? "Button2" : "Button3";
        QTest::mouseClick(editor.findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
        return editor.result();
    });
}

void tst_UploadList::addEntries(int count)
{
    for (int i = 0; i < count; ++i) {
        queueEditor({QStringLiteral("C:\\upd\\file%1").arg(i), QStringLiteral("/mnt/dos/bin/"),
                     QStringLiteral("file%1").arg(i), false, true});
        QTest::mouseClick(m_form->findChild<QPushButton *>(QStringLiteral("Button2")), Qt::LeftButton);
    }
}

void tst_UploadList::clickLine(int row)
{
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, m_list->visualItemRect(m_list->item(row)).center());
}

// Catches a server path handed out without its closing "/", or one doubled.
void tst_UploadList::serverPath_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("absolute without slash") << "/tmp" << "/tmp/";
    QTest::newRow("relative") << "bin" << "bin/";
    QTest::newRow("already closed") << "/mnt/dos/bin/" << "/mnt/dos/bin/";
    QTest::newRow("empty field is the root") << "" << "/";
}

void tst_UploadList::serverPath()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    queueEditor({QStringLiteral("C:\\upd\\opd"), typed, QStringLiteral("opd"), true, true});
    QTest::mouseClick(m_form->findChild<QPushButton *>(QStringLiteral("Button2")), Qt::LeftButton);

    QCOMPARE(m_form->uploadCount(), 1);
    const TUploadEntry &entry = m_form->uploadEntry(0);
    QCOMPARE(entry.LocalName, QStringLiteral("C:\\upd\\opd"));
    QCOMPARE(entry.ServerPath, stored);
    QCOMPARE(entry.ServerName, QStringLiteral("opd"));
    QVERIFY(entry.DoChmod);
    QCOMPARE(m_list->item(0)->text(), QStringLiteral("C:\\upd\\opd  -->  ") + stored + QStringLiteral("opd"));
    // The field itself keeps what was typed.
    QCOMPARE(m_form->form2().findChild<QLineEdit *>(QStringLiteral("Edit2"))->text(), typed);
}

// Catches a wrong file-name part when the focus leaves the local name.
void tst_UploadList::proposedName_data()
{
    QTest::addColumn<QString>("local");
    QTest::addColumn<QString>("proposed");
    QTest::newRow("directory path") << "C:\\upd\\opd" << "opd";
    QTest::newRow("drive without directory") << "D:opd" << "opd";
    QTest::newRow("bare name") << "opd" << "opd";
    QTest::newRow("trailing backslash") << "C:\\upd\\" << "";
    QTest::newRow("forward slash is no separator") << "upd/opd" << "upd/opd";
}

void tst_UploadList::proposedName()
{
    QFETCH(QString, local);
    QFETCH(QString, proposed);
    TForm2 &editor = m_form->form2();
    auto *edit1 = editor.findChild<QLineEdit *>(QStringLiteral("Edit1"));
    auto *edit3 = editor.findChild<QLineEdit *>(QStringLiteral("Edit3"));
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    edit3->setText(QStringLiteral("typed before"));
    edit1->setFocus();
    QTRY_VERIFY(edit1->hasFocus());
    QTest::keyClicks(edit1, local);
    QTest::keyClick(edit1, Qt::Key_Tab);
    QVERIFY(!edit1->hasFocus());
    QCOMPARE(edit3->text(), proposed);
    editor.reject();
}

// Catches a click on "Ok" or "..." that does not count as leaving the local name, keeping a stale server name.
void tst_UploadList::leavingLocalNameOverwritesServerName_data()
{
    QTest::addColumn<QString>("clicked");
    QTest::newRow("Ok") << "Button2";
    QTest::newRow("browse, then cancelled") << "Button1";
}

void tst_UploadList::leavingLocalNameOverwritesServerName()
{
    QFETCH(QString, clicked);
    if (clicked == QLatin1String("Button1"))
        m_dialogs->openAnswers.enqueue(std::nullopt);
    m_dialogs->modalAnswers.enqueue([clicked](QDialog &editor) {
        editor.findChild<QLineEdit *>(QStringLiteral("Edit1"))->setText(QStringLiteral("C:\\upd\\opd"));
        editor.findChild<QLineEdit *>(QStringLiteral("Edit3"))->setText(QStringLiteral("custom"));
        editor.show();
        if (!QTest::qWaitForWindowActive(&editor))
            return int(QDialog::Rejected);
        auto *edit1 = editor.findChild<QLineEdit *>(QStringLiteral("Edit1"));
        edit1->setFocus();
        if (!QTest::qWaitFor([&] { return edit1->hasFocus(); }))
            return int(QDialog::Rejected);
        // The local name is entered and left unchanged; the click leaves it.
        QTest::mouseClick(editor.findChild<QPushButton *>(clicked), Qt::LeftButton);
        if (editor.isVisible())
            QTest::mouseClick(editor.findChild<QPushButton *>(QStringLiteral("Button2")), Qt::LeftButton);
        return editor.result();
    });
    QTest::mouseClick(m_form->findChild<QPushButton *>(QStringLiteral("Button2")), Qt::LeftButton);

    QCOMPARE(m_form->uploadCount(), 1);
    QCOMPARE(m_form->uploadEntry(0).ServerName, QStringLiteral("opd"));
}

// Catches a browse that drops the chosen path, keeps a stale server name, or changes fields on cancel.
void tst_UploadList::browse_data()
{
    QTest::addColumn<std::optional<QString>>("chosen");
    QTest::addColumn<QString>("local");
    QTest::addColumn<QString>("server");
    QTest::newRow("windows path") << std::optional<QString>(QStringLiteral("C:\\upd\\new.bin"))
                                  << QStringLiteral("C:\\upd\\new.bin") << QStringLiteral("new.bin");
    QTest::newRow("path with slashes") << std::optional<QString>(QStringLiteral("/srv/upd v2/opd"))
                                       << QStringLiteral("/srv/upd v2/opd") << QStringLiteral("opd");
    QTest::newRow("cancelled") << std::optional<QString>() << QStringLiteral("old") << QStringLiteral("kept");
}

void tst_UploadList::browse()
{
    QFETCH(std::optional<QString>, chosen);
    QFETCH(QString, local);
    QFETCH(QString, server);
    TForm2 &editor = m_form->form2();
    editor.findChild<QLineEdit *>(QStringLiteral("Edit1"))->setText(QStringLiteral("old"));
    editor.findChild<QLineEdit *>(QStringLiteral("Edit3"))->setText(QStringLiteral("kept"));
    m_dialogs->openAnswers.enqueue(chosen);

    editor.Button1Click();

    QCOMPARE(m_dialogs->log, QStringList{QStringLiteral("open|old|")});
    QCOMPARE(editor.findChild<QLineEdit *>(QStringLiteral("Edit1"))->text(), local);
    QCOMPARE(editor.findChild<QLineEdit *>(QStringLiteral("Edit3"))->text(), server);
}

// Catches an editor-built list that grows past fifteen entries.
void tst_UploadList::addStopsAtFifteen()
{
    addEntries(16);
    QCOMPARE(m_form->uploadCount(), 15);
    QCOMPARE(m_list->count(), 15);
    QCOMPARE(m_list->item(14)->text(), QStringLiteral("C:\\upd\\file14  -->  /mnt/dos/bin/file14"));
    QCOMPARE(m_dialogs->log.count(QStringLiteral("modal|Form2")), 16);
}

// Catches a cancel that changes the list or resets the editor's fields.
void tst_UploadList::cancelKeepsTypedValues()
{
    addEntries(1);
    clickLine(0);
    QVERIFY(m_remove->isEnabled());

    queueEditor({QStringLiteral("C:\\x\\typed"), QStringLiteral("/opt/"), QStringLiteral("typed"), true, false});
    QTest::mouseClick(m_form->findChild<QPushButton *>(QStringLiteral("Button2")), Qt::LeftButton);
    QCOMPARE(m_form->uploadCount(), 1);
    QCOMPARE(m_list->count(), 1);
    QVERIFY(m_remove->isEnabled());

    QStringList seen;
    bool chmodSeen = false;
    m_dialogs->modalAnswers.enqueue([&](QDialog &editor) {
        for (const char *name : {"Edit1", "Edit2", "Edit3"})
            seen << editor.findChild<QLineEdit *>(QLatin1String(name))->text();
        chmodSeen = editor.findChild<QCheckBox *>(QStringLiteral("CheckBox1"))->isChecked();
        return int(QDialog::Rejected);
    });
    QTest::mouseClick(m_form->findChild<QPushButton *>(QStringLiteral("Button2")), Qt::LeftButton);
    QCOMPARE(seen, (QStringList{"C:\\x\\typed", "/opt/", "typed"}));
    QVERIFY(chmodSeen);
}

// Catches a remove button that ignores keyboard moves or enables on any line but the last.
void tst_UploadList::removeButtonFollowsSelection()
{
    addEntries(3);
    QVERIFY(!m_remove->isEnabled());
    clickLine(2);
    QVERIFY(m_remove->isEnabled());
    clickLine(0);
    QVERIFY(!m_remove->isEnabled());
    QTest::keyClick(m_list, Qt::Key_End);
    QVERIFY(m_remove->isEnabled());
    QTest::keyClick(m_list, Qt::Key_Up);
    QVERIFY(!m_remove->isEnabled());
    QTest::keyClick(m_list, Qt::Key_Down);
    QVERIFY(m_remove->isEnabled());

    // Removal takes the last line and keeps the button while lines remain.
    QTest::mouseClick(m_remove, Qt::LeftButton);
    QCOMPARE(m_form->uploadCount(), 2);
    QCOMPARE(m_list->count(), 2);
    QCOMPARE(m_list->item(1)->text(), QStringLiteral("C:\\upd\\file1  -->  /mnt/dos/bin/file1"));
    QVERIFY(m_remove->isEnabled());
    QTest::mouseClick(m_remove, Qt::LeftButton);
    QCOMPARE(m_list->count(), 1);
    QCOMPARE(m_list->item(0)->text(), QStringLiteral("C:\\upd\\file0  -->  /mnt/dos/bin/file0"));
}

// Catches a remove button left enabled over an empty list.
void tst_UploadList::removingOnlyEntry()
{
    addEntries(1);
    clickLine(0);
    QVERIFY(m_remove->isEnabled());
    QTest::mouseClick(m_remove, Qt::LeftButton);
    QCOMPARE(m_form->uploadCount(), 0);
    QCOMPARE(m_list->count(), 0);
    QVERIFY(!m_remove->isEnabled());
    // A click in the empty list does not bring it back.
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(!m_remove->isEnabled());
}

QTEST_MAIN(tst_UploadList)
#include "tst_uploadlist.moc"
