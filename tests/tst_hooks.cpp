#include "diagnostics/Hooks.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray contents(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class tst_Hooks : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void commandLine_data();
    void commandLine();
    void runsInOrderWithAddressAndEnvironment();
    void waitsForTheProgramToEnd();
    void interpreterThatCannotStartIsPassedOver();
    void longCommandLinePassedWhole();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldDir;
};

void tst_Hooks::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_oldDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void tst_Hooks::cleanup()
{
    setHookInterpreter(QString());
    QDir::setCurrent(m_oldDir);
    m_dir.reset();
}

// Catches a placeholder matched with case, replaced once, or a prefix missing.
void tst_Hooks::commandLine_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ping") << "ping $(IP)" << "10.0.0.5" << "/C ping 10.0.0.5";
    QTest::newRow("lower-case placeholder") << "copy opros.out $(ip).out" << "10.0.0.5"
                                            << "/C copy opros.out 10.0.0.5.out";
    QTest::newRow("before-hook placeholder vanishes") << "prepare.cmd $(IP)" << "" << "/C prepare.cmd ";
    QTest::newRow("two placeholders") << "copy $(IP).out $(Ip).bak" << "10.0.0.5"
                                      << "/C copy 10.0.0.5.out 10.0.0.5.bak";
    QTest::newRow("empty command") << "" << "10.0.0.5" << "/C ";
    QTest::newRow("unclosed placeholder kept") << "echo $(IP" << "10.0.0.5" << "/C echo $(IP";
}

void tst_Hooks::commandLine()
{
    QFETCH(QString, command);
    QFETCH(QString, address);
    QFETCH(QString, expected);
    QCOMPARE(hookCommandLine(command, address), expected);
}

// Catches a hook run out of order, elsewhere, without our environment or address.
void tst_Hooks::runsInOrderWithAddressAndEnvironment()
{
    qputenv("ZENTAR_HOOK_PROBE", "inherited");
    RunHook(QStringLiteral("echo first $(IP) >> hooks.txt; echo second $(ip) >> hooks.txt"),
            QStringLiteral("10.0.0.5"));
    RunHook(QStringLiteral("echo \"[$(IP)]\" $ZENTAR_HOOK_PROBE >> hooks.txt"), QString());
    qunsetenv("ZENTAR_HOOK_PROBE");
    QCOMPARE(contents(QStringLiteral("hooks.txt")),
             QByteArray("first 10.0.0.5\nsecond 10.0.0.5\n[] inherited\n"));
}

// Catches a hook that is started but not waited for.
void tst_Hooks::waitsForTheProgramToEnd()
{
    RunHook(QStringLiteral("sleep 0.5; echo done > late.txt"), QString());
    QCOMPARE(contents(QStringLiteral("late.txt")), QByteArray("done\n"));
}

// Catches a start failure that throws or hangs, and a seam that does not restore.
void tst_Hooks::interpreterThatCannotStartIsPassedOver()
{
    setHookInterpreter(m_dir->filePath(QStringLiteral("no-such-interpreter")));
    RunHook(QStringLiteral("echo ran > ran.txt"), QString());
    QVERIFY(!QFile::exists(QStringLiteral("ran.txt")));

    setHookInterpreter(QString());
    RunHook(QStringLiteral("echo ran > ran.txt"), QString());
    QCOMPARE(contents(QStringLiteral("ran.txt")), QByteArray("ran\n"));
}

// Catches a command line cut at 255 characters.
void tst_Hooks::longCommandLinePassedWhole()
{
    const QString payload(400, QLatin1Char('a'));
    const QString command = QStringLiteral("printf %s ") + payload + QStringLiteral("$(IP) > long.txt");
    QVERIFY(hookCommandLine(command, QStringLiteral("10.0.0.5")).size() > 255);
    RunHook(command, QStringLiteral("10.0.0.5"));
    QCOMPARE(contents(QStringLiteral("long.txt")), payload.toLatin1() + "10.0.0.5");
}

QTEST_GUILESS_MAIN(tst_Hooks)
#include "tst_hooks.moc"
