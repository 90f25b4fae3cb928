#include "platform/Errors.h"
#include "platform/IniFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "support/TestFiles.h"

#include <functional>

using IniEdit = std::function<void(IniFile &)>;
Q_DECLARE_METATYPE(IniEdit)

class tst_IniFile : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void lookup_data();
    void lookup();
    void numbers_data();
    void numbers();
    void edits_data();
    void edits();
    void missingFileReadsEmptyAndCreatesNothing();
    void unwritable_data();
    void unwritable();
    void failedWriteKeepsOldContent();

private:
    QTemporaryDir *m_dir = nullptr;
    QString m_oldCurrent;
};

void tst_IniFile::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    // Relative names show that messages carry the name as it was passed.
    m_oldCurrent = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
}

void tst_IniFile::cleanup()
{
    QDir::setCurrent(m_oldCurrent);
    delete m_dir;
    m_dir = nullptr;
}

// Catches lookups that mind case, take a later duplicate, keep blanks, read
// past the profile functions' value limit, hand out a CR that a save would
// turn into a blank, or lose the first section after a byte-order mark.
void tst_IniFile::lookup_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ASCII case") << QByteArray("[Ftp]\r\nLogin=admin\r\n") << "FTP" << "LOGIN" << "admin";
    // "[Настройка]" / "Пароль=ё" in Windows-1251, looked up in other cases.
    QTest::newRow("Cyrillic case")
        << QByteArray("[\xcd\xe0\xf1\xf2\xf0\xee\xe9\xea\xe0]\r\n\xcf\xe0\xf0\xee\xeb\xfc=\xb8\r\n")
        << QStringLiteral("НАСТРОЙКА") << QStringLiteral("пАРОЛЬ") << QStringLiteral("ё");
    QTest::newRow("Cyrillic capital YO") << QByteArray("[A]\r\n\xa8\xcb\xca\xc0=1\r\n")
                                          << "A" << QStringLiteral("ёлка") << "1";
    QTest::newRow("first duplicate key") << QByteArray("[A]\nk=1\nK=2\n") << "A" << "k" << "1";
    QTest::newRow("first duplicate section") << QByteArray("[A]\nk=1\n[a]\nk=2\n") << "A" << "k" << "1";
    QTest::newRow("key only in a later duplicate section")
        << QByteArray("[A]\nk=1\n[a]\nj=2\n") << "A" << "j" << "<default>";
    QTest::newRow("blanks around names and value")
        << QByteArray("  [ A ]  \r\n \t key \t=  some value \t\r\n") << "a" << "KEY" << "some value";
    QTest::newRow("equals sign in value") << QByteArray("[A]\nk=a=b\n") << "A" << "k" << "a=b";
    QTest::newRow("empty value is a value") << QByteArray("[A]\nk=\n") << "A" << "k" << "";
    QTest::newRow("missing key") << QByteArray("[A]\nk=1\n") << "A" << "j" << "<default>";
    QTest::newRow("missing section") << QByteArray("[A]\nk=1\n") << "B" << "k" << "<default>";
    QTest::newRow("last line without end") << QByteArray("[A]\nk=v") << "A" << "k" << "v";
    QTest::newRow("CR LF ends") << QByteArray("[A]\r\nj=1\r\nk=v\r\n") << "A" << "k" << "v";
    QTest::newRow("comment is no key") << QByteArray("[A]\n;k=1\nk=2\n") << "A" << "k" << "2";
    QTest::newRow("key before any section") << QByteArray("k=1\n[A]\n") << "A" << "k" << "<default>";
    QTest::newRow("byte 26 does not end the file")
        << QByteArray("[A]\nx=\x1a\nk=v\n") << "A" << "k" << "v";
    QTest::newRow("Windows-1251 value")
        << QByteArray("[A]\nk=\xcf\xf0\xe8\xe2\xe5\xf2 \x98\n") << "A" << "k"
        << QString(QStringLiteral("Привет ") + QChar(0x98));
    QTest::newRow("CR inside a value reads as a blank") << QByteArray("[A]\r\nk=a\rb\r\nj=1\r\n") << "A" << "k"
                                                        << "a b";
    QTest::newRow("UTF-8 with byte-order mark")
        << (QByteArray("\xef\xbb\xbf[A]\r\nk=") + QStringLiteral("Привет").toUtf8() + "\r\n") << "a" << "k"
        << QStringLiteral("Привет");
    QTest::newRow("UTF-16 with byte-order mark")
        << QByteArray("\xff\xfe[\0A\0]\0\r\0\n\0k\0=\0\x1f\x04\r\0\n\0", 22) << "A" << "k"
        << QStringLiteral("П");
    const QByteArray longValue(3000, 'x');
    QTest::newRow("value cut to 2047") << (QByteArray("[A]\nk=") + longValue + "\n") << "A" << "k"
                                       << QString(2047, QLatin1Char('x'));
}

void tst_IniFile::lookup()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    writeBytes(QStringLiteral("t.ini"), file);
    const IniFile ini(QStringLiteral("t.ini"));
    QCOMPARE(ini.readString(section, key, QStringLiteral("<default>")), expected);
}

// Catches integer and boolean reads that do not fall back to the default on
// text that is no whole number, or that take a nonzero value as false.
void tst_IniFile::numbers_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("integer");       // default 10
    QTest::addColumn<bool>("boolDefaultOn");
    QTest::addColumn<bool>("boolDefaultOff");

    QTest::newRow("decimal") << QByteArray("15") << 15 << true << true;
    QTest::newRow("0x hex") << QByteArray("0x1E") << 30 << true << true;
    QTest::newRow("dollar hex") << QByteArray("$10") << 16 << true << true;
    QTest::newRow("negative") << QByteArray("-5") << -5 << true << true;
    QTest::newRow("blanks around") << QByteArray("  12  ") << 12 << true << true;
    QTest::newRow("zero") << QByteArray("0") << 0 << false << false;
    QTest::newRow("two is true") << QByteArray("2") << 2 << true << true;
    QTest::newRow("word") << QByteArray("abc") << 10 << true << false;
    QTest::newRow("word false") << QByteArray("false") << 10 << true << false;
    QTest::newRow("trailing letter") << QByteArray("12a") << 10 << true << false;
    QTest::newRow("empty") << QByteArray("") << 10 << true << false;
    QTest::newRow("out of range") << QByteArray("2147483648") << 10 << true << false;
}

void tst_IniFile::numbers()
{
    QFETCH(QByteArray, value);
    QFETCH(int, integer);
    QFETCH(bool, boolDefaultOn);
    QFETCH(bool, boolDefaultOff);
    writeBytes(QStringLiteral("t.ini"), "[A]\r\nk=" + value + "\r\n");
    const IniFile ini(QStringLiteral("t.ini"));
    QCOMPARE(ini.readInteger(QStringLiteral("A"), QStringLiteral("k"), 10), integer);
    QCOMPARE(ini.readBool(QStringLiteral("A"), QStringLiteral("k"), true), boolDefaultOn);
    QCOMPARE(ini.readBool(QStringLiteral("A"), QStringLiteral("k"), false), boolDefaultOff);
    QCOMPARE(ini.readInteger(QStringLiteral("A"), QStringLiteral("missing"), 10), 10);
}

// Catches edits that move, reformat or drop lines they do not own, write LF
// or UTF-8, or leave a stale duplicate behind.
void tst_IniFile::edits_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<IniEdit>("edit");
    QTest::addColumn<QByteArray>("after");

    const auto write = [](const QString &section, const QString &key, const QString &value) {
        return IniEdit([=](IniFile &ini) { ini.writeString(section, key, value); });
    };

    QTest::newRow("overwrite in place")
        << QByteArray("; head\n[FTP]\n  login = old \nPASS=x\n\n[OPTIONS]\nA=1\n")
        << write("ftp", "LOGIN", QStringLiteral("new"))
        << QByteArray("; head\r\n[FTP]\r\nlogin=new\r\nPASS=x\r\n\r\n[OPTIONS]\r\nA=1\r\n");
    QTest::newRow("new key after the section's last key")
        << QByteArray("[FTP]\nA=1\n; trailing comment\n\n[X]\nB=2\n")
        << write("FTP", "C", QStringLiteral("3"))
        << QByteArray("[FTP]\r\nA=1\r\nC=3\r\n; trailing comment\r\n\r\n[X]\r\nB=2\r\n");
    QTest::newRow("new key in a section without keys")
        << QByteArray("[E]\n[F]\n") << write("e", "k", QStringLiteral("v"))
        << QByteArray("[E]\r\nk=v\r\n[F]\r\n");
    QTest::newRow("new section at the end") << QByteArray("[A]\nk=1")
                                            << write("B", "x", QStringLiteral("1"))
                                            << QByteArray("[A]\r\nk=1\r\n\r\n[B]\r\nx=1\r\n");
    QTest::newRow("new section after a blank line") << QByteArray("[A]\nk=1\n\n")
                                                    << write("B", "x", QStringLiteral("1"))
                                                    << QByteArray("[A]\r\nk=1\r\n\r\n[B]\r\nx=1\r\n");
    QTest::newRow("new section in an empty file") << QByteArray()
                                                  << write("B", "x", QStringLiteral("1"))
                                                  << QByteArray("[B]\r\nx=1\r\n");
    QTest::newRow("first duplicate overwritten") << QByteArray("[A]\nk=1\nk=2\n")
                                                 << write("A", "K", QStringLiteral("9"))
                                                 << QByteArray("[A]\r\nk=9\r\nk=2\r\n");
    QTest::newRow("untouched lines keep every byte")
        << QByteArray("\x01 pre\n[A]\nodd=\x98\x1a\xff \t\n;\x01 note\n")
        << write("A", "k", QStringLiteral("1"))
        << QByteArray("\x01 pre\r\n[A]\r\nodd=\x98\x1a\xff \t\r\nk=1\r\n;\x01 note\r\n");
    QTest::newRow("Windows-1251 written")
        << QByteArray() << write(QStringLiteral("Настройка"), QStringLiteral("Имя"), QStringLiteral("Привет, ё №"))
        << QByteArray("[\xcd\xe0\xf1\xf2\xf0\xee\xe9\xea\xe0]\r\n\xc8\xec\xff=\xcf\xf0\xe8\xe2\xe5\xf2, \xb8 \xb9\r\n");
    QTest::newRow("UTF-8 file written back in Windows-1251")
        << (QByteArray("\xef\xbb\xbf[A]\nk=") + QStringLiteral("ё").toUtf8() + "\n")
        << write("A", "j", QStringLiteral("1")) << QByteArray("[A]\r\nk=\xb8\r\nj=1\r\n");
    QTest::newRow("line break in a value starts nothing")
        << QByteArray("[A]\nk=1\n") << write("A", "k", QStringLiteral("x\r\n[B]\ny=1"))
        << QByteArray("[A]\r\nk=x  [B] y=1\r\n");
    QTest::newRow("erase keeps comments and other sections")
        << QByteArray("; top\n[LIST]\n0=a\n; note\nSELECT0=1\n\n[FTP]\nLOGIN=x\n")
        << IniEdit([](IniFile &ini) { ini.eraseSection(QStringLiteral("list")); })
        << QByteArray("; top\r\n; note\r\n[FTP]\r\nLOGIN=x\r\n");
    QTest::newRow("erase every duplicate")
        << QByteArray("[L]\n0=a\n[X]\nq=1\n[l]\n0=b\n")
        << IniEdit([](IniFile &ini) {
               ini.eraseSection(QStringLiteral("L"));
               QCOMPARE(ini.readString(QStringLiteral("L"), QStringLiteral("0"), QStringLiteral("gone")),
                        QStringLiteral("gone"));
           })
        << QByteArray("[X]\r\nq=1\r\n");
    QTest::newRow("erase then write moves the section to the end")
        << QByteArray("[LIST]\n0=a\n1=b\n\n[FTP]\nL=1\n")
        << IniEdit([](IniFile &ini) {
               ini.eraseSection(QStringLiteral("LIST"));
               ini.writeString(QStringLiteral("LIST"), QStringLiteral("0"), QStringLiteral("c"));
           })
        << QByteArray("[FTP]\r\nL=1\r\n\r\n[LIST]\r\n0=c\r\n");
    QTest::newRow("integers and booleans")
        << QByteArray() << IniEdit([](IniFile &ini) {
               ini.writeInteger(QStringLiteral("A"), QStringLiteral("i"), -1);
               ini.writeBool(QStringLiteral("A"), QStringLiteral("t"), true);
               ini.writeBool(QStringLiteral("A"), QStringLiteral("f"), false);
           })
        << QByteArray("[A]\r\ni=-1\r\nt=1\r\nf=0\r\n");
}

void tst_IniFile::edits()
{
    QFETCH(QByteArray, before);
    QFETCH(IniEdit, edit);
    QFETCH(QByteArray, after);
    const QString name = QStringLiteral("t.ini");
    if (!before.isNull())
        writeBytes(name, before);
    IniFile ini(name);
    edit(ini);
    if (QTest::currentTestFailed())
        return;
    ini.save();
    QCOMPARE(readBytes(name), after);
}

// Catches a load that creates the file or fails on a missing one.
void tst_IniFile::missingFileReadsEmptyAndCreatesNothing()
{
    const IniFile ini(QStringLiteral("none.ini"));
    QCOMPARE(ini.readString(QStringLiteral("FTP"), QStringLiteral("LOGIN"), QStringLiteral("root")),
             QStringLiteral("root"));
    QVERIFY(!ini.sectionExists(QStringLiteral("FTP")));
    QVERIFY(!QFile::exists(QStringLiteral("none.ini")));
}

// Catches a save that fails silently, reports another name than it was
// given, or leaves something behind where it could not write.
void tst_IniFile::unwritable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("makeDirectory");
    QTest::newRow("directory does not exist") << "no/such/dir/t.ini" << false;
    QTest::newRow("directory in place of the file") << "t.ini" << true;
}

void tst_IniFile::unwritable()
{
    QFETCH(QString, name);
    QFETCH(bool, makeDirectory);
    if (makeDirectory)
        QVERIFY(QDir().mkpath(name));
    IniFile ini(name);
    ini.writeString(QStringLiteral("FTP"), QStringLiteral("LOGIN"), QStringLiteral("root"));
    try {
        ini.save();
        QFAIL("saved");
    } catch (const AppError &e) {
        QCOMPARE(e.message(), QStringLiteral("Unable to write to ") + name);
    }
    QCOMPARE(QFileInfo(name).isDir(), makeDirectory);
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(),
             makeDirectory ? 1 : 0);
}

// Catches a save that truncates the file before the new content is safely
// written: a write that fails half-way must leave the old file untouched.
void tst_IniFile::failedWriteKeepsOldContent()
{
    const QString name = QStringLiteral("t.ini");
    const QByteArray old("[FTP]\r\nLOGIN=old\r\n");
    writeBytes(name, old);
    IniFile ini(name);
    ini.writeString(QStringLiteral("FTP"), QStringLiteral("LOGIN"), QString(4096, QLatin1Char('x')));
    try {
        const FileSizeLimit limit(64);
        ini.save();
        QFAIL("saved");
    } catch (const AppError &e) {
        QCOMPARE(e.message(), QStringLiteral("Unable to write to t.ini"));
    }
    QCOMPARE(readBytes(name), old);
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{name});
}

QTEST_GUILESS_MAIN(tst_IniFile)
#include "tst_inifile.moc"
