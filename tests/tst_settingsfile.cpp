#include "platform/Errors.h"
#include "platform/IniFile.h"
#include "platform/TextCodec.h"
#include "shell/Settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "support/TestFiles.h"

Q_DECLARE_METATYPE(StoredSettings)

namespace {

// Settings files are Windows-1251 with CR LF; the tests spell them in UTF-8
// with LF for reading ease.
QByteArray cp(const QString &text)
{
    QString crlf = text;
    crlf.replace(QLatin1String("\n"), QLatin1String("\r\n"));
    return toWin1251(crlf);
}

// What a first start without a file shows, spelled out value by value.
StoredSettings firstStart()
{
    StoredSettings s;
    s.recorders.clear();
    s.uploads.clear();
    s.login = QStringLiteral("root");
    s.password = QString();
    s.passive = true;
    s.timeoutText = QStringLiteral("10");
    s.level = QStringLiteral("90");
    s.vmin = QStringLiteral("24.0");
    s.doDev = true;
    s.doLmc = true;
    s.repDate = true;
    s.sendEmail = true;
    s.email = QStringLiteral("support@zentar-service.example");
    s.lastReport = QString();
    s.stopStart = 0;
    s.checkDate = true;
    s.bdel = false;
    s.runB = false;
    s.runI = false;
    s.runA = false;
    s.runBS = QString();
    s.runIS = QString();
    s.runAS = QString();
    return s;
}

TUploadEntry upload(const QString &local, const QString &path, const QString &name, bool chmod)
{
    TUploadEntry e;
    e.LocalName = local;
    e.ServerPath = path;
    e.ServerName = name;
    e.DoChmod = chmod;
    return e;
}

void compareSettings(const StoredSettings &got, const StoredSettings &want)
{
    QCOMPARE(got.recorders.size(), want.recorders.size());
    for (int i = 0; i < want.recorders.size(); ++i) {
        QCOMPARE(got.recorders[i].address, want.recorders[i].address);
        QCOMPARE(got.recorders[i].checked, want.recorders[i].checked);
    }
    QCOMPARE(got.uploads.size(), want.uploads.size());
    for (std::size_t i = 0; i < want.uploads.size(); ++i) {
        QCOMPARE(got.uploads[i].LocalName, want.uploads[i].LocalName);
        QCOMPARE(got.uploads[i].ServerPath, want.uploads[i].ServerPath);
        QCOMPARE(got.uploads[i].ServerName, want.uploads[i].ServerName);
        QCOMPARE(got.uploads[i].DoChmod, want.uploads[i].DoChmod);
    }
    QCOMPARE(got.login, want.login);
    QCOMPARE(got.password, want.password);
    QCOMPARE(got.passive, want.passive);
    QCOMPARE(got.timeoutText, want.timeoutText);
    QCOMPARE(got.level, want.level);
    QCOMPARE(got.vmin, want.vmin);
    QCOMPARE(got.doDev, want.doDev);
    QCOMPARE(got.doLmc, want.doLmc);
    QCOMPARE(got.repDate, want.repDate);
    QCOMPARE(got.sendEmail, want.sendEmail);
    QCOMPARE(got.email, want.email);
    QCOMPARE(got.lastReport, want.lastReport);
    QCOMPARE(got.stopStart, want.stopStart);
    QCOMPARE(got.checkDate, want.checkDate);
    QCOMPARE(got.bdel, want.bdel);
    QCOMPARE(got.runB, want.runB);
    QCOMPARE(got.runI, want.runI);
    QCOMPARE(got.runA, want.runA);
    QCOMPARE(got.runBS, want.runBS);
    QCOMPARE(got.runIS, want.runIS);
    QCOMPARE(got.runAS, want.runAS);
}

// A round of settings with every value away from its default.
StoredSettings sample()
{
    StoredSettings s = firstStart();
    s.recorders = {{QStringLiteral("10.0.0.11"), true}, {QStringLiteral("10.0.0.12"), false}};
    s.uploads = {upload(QStringLiteral("C:\\Обновление\\opd"), QStringLiteral("/mnt/dos/bin/"),
                        QStringLiteral("opd"), true),
                 upload(QStringLiteral("C:\\cfg\\opd.conf"), QStringLiteral("/etc/"),
                        QStringLiteral("opd.conf"), false)};
    s.password = QStringLiteral("пароль");
    s.timeoutText = QStringLiteral(" 15");
    s.level = QStringLiteral("85");
    s.vmin = QStringLiteral("23.5");
    s.doLmc = false;
    s.sendEmail = false;
    s.lastReport = QStringLiteral("report_01.txt");
    s.stopStart = -1;
    s.bdel = true;
    s.runB = true;
    s.runBS = QStringLiteral("before.bat $(IP)");
    return s;
}

const char kSampleFile[] = R"([LIST]
0=10.0.0.11
SELECT0=1
1=10.0.0.12
SELECT1=0

[UPLIST]
FN0=C:\Обновление\opd
PN0=/mnt/dos/bin/
TN0=opd
CM0=1
FN1=C:\cfg\opd.conf
PN1=/etc/
TN1=opd.conf
CM1=0

[FTP]
LOGIN=root
PASS=пароль
PASSIVE=1
TIMEOUT=15

[OPTIONS]
LEVEL=85
VMIN=23.5
DODEV=1
DOLMC=0
REPDATE=1
SENDEMAIL=0
EMAIL=support@zentar-service.example
LASTREPORT=report_01.txt
STOPSTART=-1
CHECKDATE=1
BDEL=1
RUNB=1
RUNI=0
RUNA=0
RUNBS=before.bat $(IP)
RUNIS=
RUNAS=
)";

} // namespace

class tst_SettingsFile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void load_data();
    void load();
    void freshFileBytes();
    void repeatedSavesChangeNothing();
    void unknownKeysSurvive();
    void unwritableFileKeepsOldContent_data();
    void unwritableFileKeepsOldContent();
    void timeoutNotANumber();
    void lastReportAlone();
    void fileName_data();
    void fileName();
    void fileInAnotherDirectory();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }

    QTemporaryDir m_config;
    QTemporaryDir *m_dir = nullptr;
};

void tst_SettingsFile::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
}

void tst_SettingsFile::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
}

void tst_SettingsFile::cleanup()
{
    delete m_dir;
    m_dir = nullptr;
}

// Catches wrong defaults, a list load that skips gaps or ignores the 16-entry
// limit, numbers that do not fall back or clamp, and a save that does not give
// back what was loaded.
void tst_SettingsFile::load_data()
{
    QTest::addColumn<QByteArray>("file");         // null: no file at all
    QTest::addColumn<StoredSettings>("expected");
    QTest::addColumn<QStringList>("afterSave");   // "SECTION/KEY=value", or "SECTION/KEY" gone

    QTest::newRow("first start without a file") << QByteArray() << firstStart() << QStringList();

    StoredSettings gap = firstStart();
    gap.recorders = {{QStringLiteral("10.0.0.1"), true}, {QStringLiteral("10.0.0.2"), false}};
    QTest::newRow("LIST with a gap")
        << cp(QStringLiteral("[LIST]\n0=10.0.0.1\nSELECT0=1\n1=10.0.0.2\nSELECT1=0\n3=10.0.0.4\nSELECT3=1\n"))
        << gap
        << QStringList{QStringLiteral("LIST/0=10.0.0.1"), QStringLiteral("LIST/SELECT1=0"),
                       QStringLiteral("LIST/3"), QStringLiteral("LIST/SELECT3")};

    StoredSettings one = firstStart();
    one.recorders = {{QStringLiteral("10.0.0.1"), true}};
    QTest::newRow("entry without SELECT") << cp(QStringLiteral("[LIST]\n0=10.0.0.1\n")) << one
                                          << QStringList{QStringLiteral("LIST/SELECT0=1")};
    QTest::newRow("SELECT is the word false")
        << cp(QStringLiteral("[LIST]\n0=10.0.0.1\nSELECT0=false\n")) << one
        << QStringList{QStringLiteral("LIST/SELECT0=1")};
    QTest::newRow("SELECT is 2") << cp(QStringLiteral("[LIST]\n0=10.0.0.1\nSELECT0=2\n")) << one
                                 << QStringList{QStringLiteral("LIST/SELECT0=1")};

    StoredSettings hex = firstStart();
    hex.timeoutText = QStringLiteral("30");
    QTest::newRow("TIMEOUT in hex") << cp(QStringLiteral("[FTP]\nTIMEOUT=0x1E\n")) << hex
                                    << QStringList{QStringLiteral("FTP/TIMEOUT=30")};
    QTest::newRow("TIMEOUT not a number") << cp(QStringLiteral("[FTP]\nTIMEOUT=abc\n")) << firstStart()
                                          << QStringList{QStringLiteral("FTP/TIMEOUT=10")};

    StoredSettings last = firstStart();
    last.stopStart = 2;
    QTest::newRow("STOPSTART beyond the last item") << cp(QStringLiteral("[OPTIONS]\nSTOPSTART=7\n"))
                                                    << last
                                                    << QStringList{QStringLiteral("OPTIONS/STOPSTART=2")};
    StoredSettings none = firstStart();
    none.stopStart = -1;
    QTest::newRow("STOPSTART below none") << cp(QStringLiteral("[OPTIONS]\nSTOPSTART=-5\n")) << none
                                          << QStringList{QStringLiteral("OPTIONS/STOPSTART=-1")};

    QString twenty = QStringLiteral("[UPLIST]\n");
    StoredSettings sixteen = firstStart();
    for (int i = 0; i < 20; ++i) {
        twenty += QStringLiteral("FN%1=C:\\f%1\nPN%1=/mnt/dos/bin/\nTN%1=f%1\nCM%1=%2\n").arg(i).arg(i % 2);
        if (i < 16) {
            sixteen.uploads.push_back(upload(QStringLiteral("C:\\f%1").arg(i), QStringLiteral("/mnt/dos/bin/"),
                                             QStringLiteral("f%1").arg(i), i % 2 == 1));
        }
    }
    QTest::newRow("20 upload entries") << cp(twenty) << sixteen
                                       << QStringList{QStringLiteral("UPLIST/TN15=f15"),
                                                      QStringLiteral("UPLIST/FN16")};

    StoredSettings partial = firstStart();
    partial.uploads = {upload(QStringLiteral("C:\\a"), QString(), QString(), false)};
    QTest::newRow("upload entry with its name only") << cp(QStringLiteral("[UPLIST]\nFN0=C:\\a\nFN1=\nFN2=C:\\c\n"))
                                                     << partial
                                                     << QStringList{QStringLiteral("UPLIST/PN0="),
                                                                    QStringLiteral("UPLIST/FN2")};

    // Another program's spelling: other case, blanks, other order.
    StoredSettings every = sample();
    every.timeoutText = QStringLiteral("15");
    QTest::newRow("every key set")
        << cp(QStringLiteral("[options]\nrunbs = before.bat $(IP)\nLevel=85\nVMIN=23.5\nDOLMC=0\n"
                             "SENDEMAIL=0\nLASTREPORT=report_01.txt\nSTOPSTART=-1\nBDEL=1\nRUNB=1\n"
                             "[ftp]\nTIMEOUT= 15\nPASS=пароль\n"
                             "[UPLIST]\nfn1=C:\\cfg\\opd.conf\npn1=/etc/\ntn1=opd.conf\n"
                             "FN0=C:\\Обновление\\opd\nPN0=/mnt/dos/bin/\nTN0=opd\nCM0=1\n"
                             "[List]\n1=10.0.0.12\nselect1=0\n0=10.0.0.11\n"))
        << every << QStringList{QStringLiteral("FTP/TIMEOUT=15")};
}

void tst_SettingsFile::load()
{
    QFETCH(QByteArray, file);
    QFETCH(StoredSettings, expected);
    QFETCH(QStringList, afterSave);
    const QString name = path(QStringLiteral("zentar.ini"));
    if (!file.isNull())
        writeBytes(name, file);

    const StoredSettings loaded = loadSettings(name);
    if (file.isNull())
        QVERIFY(!QFile::exists(name));
    compareSettings(loaded, expected);
    if (QTest::currentTestFailed())
        return;

    saveSettings(name, loaded);
    compareSettings(loadSettings(name), loaded);
    if (QTest::currentTestFailed())
        return;
    const IniFile saved(name);
    for (const QString &check : afterSave) {
        const QString sectionKey = check.section(QLatin1Char('='), 0, 0);
        const QString section = sectionKey.section(QLatin1Char('/'), 0, 0);
        const QString key = sectionKey.section(QLatin1Char('/'), 1);
        const QString want = check.contains(QLatin1Char('='))
            ? check.section(QLatin1Char('='), 1)
            : QStringLiteral("<gone>");
        QCOMPARE(saved.readString(section, key, QStringLiteral("<gone>")), want);
    }
}

// Catches a save that writes keys or sections out of order, in UTF-8, with LF,
// or booleans and numbers in another form.
void tst_SettingsFile::freshFileBytes()
{
    const QString name = path(QStringLiteral("zentar.ini"));
    saveSettings(name, sample());
    QCOMPARE(readBytes(name), cp(QString::fromUtf8(kSampleFile)));
}

// Catches blank lines piling up or sections doubling from one save to the
// next, as erased lists are appended again.
void tst_SettingsFile::repeatedSavesChangeNothing()
{
    const QString name = path(QStringLiteral("zentar.ini"));
    saveSettings(name, sample());
    saveSettings(name, loadSettings(name));
    const QByteArray second = readBytes(name);
    saveSettings(name, loadSettings(name));
    QCOMPARE(readBytes(name), second);
    QCOMPARE(second.count("\r\n\r\n"), 3);
}

// Catches a save that rewrites the whole file from the record and loses what
// other programs or people put in it.
void tst_SettingsFile::unknownKeysSurvive()
{
    const QString name = path(QStringLiteral("zentar.ini"));
    writeBytes(name, cp(QStringLiteral("; Настройки диагностики\n[LIST]\n0=10.0.0.1\nSELECT0=1\n\n"
                                       "[Local]\nTheme=dark\n\n"
                                       "[FTP]\nLOGIN=root\nPORT=2121\n; keep passive on\nPASSIVE=1\n\n"
                                       "[OPTIONS]\nLEVEL=75\nEXTRA=yes\n")));
    StoredSettings s = firstStart();
    s.login = QStringLiteral("admin");
    saveSettings(name, s);
    QCOMPARE(readBytes(name),
             cp(QStringLiteral("; Настройки диагностики\n"
                               "[Local]\nTheme=dark\n\n"
                               "[FTP]\nLOGIN=admin\nPORT=2121\n; keep passive on\nPASSIVE=1\nPASS=\nTIMEOUT=10\n\n"
                               "[OPTIONS]\nLEVEL=90\nEXTRA=yes\nVMIN=24.0\nDODEV=1\nDOLMC=1\nREPDATE=1\n"
                               "SENDEMAIL=1\nEMAIL=support@zentar-service.example\nLASTREPORT=\nSTOPSTART=0\n"
                               "CHECKDATE=1\nBDEL=0\nRUNB=0\nRUNI=0\nRUNA=0\nRUNBS=\nRUNIS=\nRUNAS=\n")));
}

// Catches a save that reports nothing, names another file, or has already
// destroyed the old settings when the write fails.
void tst_SettingsFile::unwritableFileKeepsOldContent_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("old"); // null: a directory stands in place of the file
    QTest::newRow("write fails half-way") << QStringLiteral("zentar.ini")
                                          << cp(QStringLiteral("[FTP]\nLOGIN=old\n"));
    QTest::newRow("directory in place of the file") << QStringLiteral("zentar.ini") << QByteArray();
    QTest::newRow("directory does not exist") << QStringLiteral("gone/zentar.ini") << QByteArray("");
}

void tst_SettingsFile::unwritableFileKeepsOldContent()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, old);
    const QString file = path(name);
    if (old.isNull())
        QVERIFY(QDir().mkpath(file));
    else if (!old.isEmpty())
        writeBytes(file, old);
    try {
        const FileSizeLimit limit(64);
        saveSettings(file, sample());
        QFAIL("saved");
    } catch (const AppError &e) {
        QCOMPARE(e.message(), QStringLiteral("Unable to write to ") + file);
    }
    if (old.isNull())
        QVERIFY(QFileInfo(file).isDir());
    else if (old.isEmpty())
        QVERIFY(!QFileInfo::exists(file));
    else
        QCOMPARE(readBytes(file), old);
}

// Catches a time-out text that is no number being saved as a default, losing
// what came before it, or overwriting the options that come after it.
void tst_SettingsFile::timeoutNotANumber()
{
    const QString name = path(QStringLiteral("zentar.ini"));
    writeBytes(name, cp(QStringLiteral("[LIST]\n0=10.0.0.1\n[FTP]\nLOGIN=old\nPASS=old\nPASSIVE=1\nTIMEOUT=20\n"
                                       "[OPTIONS]\nLEVEL=75\nRUNBS=old.bat\n")));
    StoredSettings s = sample();
    s.timeoutText = QStringLiteral("12a");
    s.login = QStringLiteral("operator");
    s.passive = false;
    try {
        saveSettings(name, s);
        QFAIL("saved");
    } catch (const ConversionError &e) {
        QCOMPARE(e.message(), QStringLiteral("'12a' is not a valid integer value"));
    }
    QCOMPARE(readBytes(name),
             cp(QStringLiteral("[FTP]\nLOGIN=operator\nPASS=пароль\nPASSIVE=0\nTIMEOUT=20\n"
                               "[OPTIONS]\nLEVEL=75\nRUNBS=old.bat\n\n"
                               "[LIST]\n0=10.0.0.11\nSELECT0=1\n1=10.0.0.12\nSELECT1=0\n\n"
                               "[UPLIST]\nFN0=C:\\Обновление\\opd\nPN0=/mnt/dos/bin/\nTN0=opd\nCM0=1\n"
                               "FN1=C:\\cfg\\opd.conf\nPN1=/etc/\nTN1=opd.conf\nCM1=0\n")));
}

// Catches a report-name save that disturbs the other settings.
void tst_SettingsFile::lastReportAlone()
{
    const QString name = path(QStringLiteral("zentar.ini"));
    const QByteArray before = cp(QStringLiteral("[LIST]\n0=10.0.0.1\n3=x\n[OPTIONS]\nLEVEL=75\nLASTREPORT=old.txt\n"));
    writeBytes(name, before);
    saveLastReport(name, QStringLiteral("Отчет 01-02-2024.txt"));
    QCOMPARE(readBytes(name),
             cp(QStringLiteral("[LIST]\n0=10.0.0.1\n3=x\n[OPTIONS]\nLEVEL=75\nLASTREPORT=Отчет 01-02-2024.txt\n")));
}

// Catches a settings name taken from the wrong argument, or a bare name that
// lands in the current directory instead of the user's configuration folder.
void tst_SettingsFile::fileName_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("resolved"); // "<config>/" stands for the configuration folder

    QTest::newRow("no argument") << QStringList{QStringLiteral("zentar")} << "zentar.ini"
                                 << "<config>/zentar/zentar.ini";
    QTest::newRow("bare name, further arguments ignored")
        << QStringList{QStringLiteral("zentar"), QStringLiteral("office.ini"), QStringLiteral("x.ini")}
        << "office.ini" << "<config>/zentar/office.ini";
    QTest::newRow("empty argument") << QStringList{QStringLiteral("zentar"), QString()} << "zentar.ini"
                                    << "<config>/zentar/zentar.ini";
    QTest::newRow("relative path") << QStringList{QStringLiteral("zentar"), QStringLiteral("conf/office.ini")}
                                   << "conf/office.ini" << "conf/office.ini";
    QTest::newRow("current directory") << QStringList{QStringLiteral("zentar"), QStringLiteral("./office.ini")}
                                       << "./office.ini" << "./office.ini";
    QTest::newRow("absolute path") << QStringList{QStringLiteral("zentar"), QStringLiteral("/srv/Мои настройки.ini")}
                                   << QStringLiteral("/srv/Мои настройки.ini")
                                   << QStringLiteral("/srv/Мои настройки.ini");
}

void tst_SettingsFile::fileName()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, name);
    QFETCH(QString, resolved);
    QCOMPARE(settingsFileName(arguments), name);
    resolved.replace(QLatin1String("<config>"), m_config.path());
    QCOMPARE(resolveSettingsPath(name), resolved);
    if (resolved.startsWith(m_config.path()))
        QVERIFY(QFileInfo(QFileInfo(resolved).path()).isDir());
}

// Catches a named settings file read from, or written to, somewhere else.
void tst_SettingsFile::fileInAnotherDirectory()
{
    QVERIFY(QDir().mkpath(path(QStringLiteral("other"))));
    const QString given = path(QStringLiteral("other/office.ini"));
    writeBytes(given, cp(QStringLiteral("[LIST]\n0=10.0.0.7\n")));
    const QString name = resolveSettingsPath(settingsFileName({QStringLiteral("zentar"), given}));
    StoredSettings s = loadSettings(name);
    QCOMPARE(s.recorders.size(), qsizetype(1));
    QCOMPARE(s.recorders[0].address, QStringLiteral("10.0.0.7"));
    s.recorders.append({QStringLiteral("10.0.0.8"), false});
    saveSettings(name, s);
    QCOMPARE(loadSettings(given).recorders.size(), qsizetype(2));
    QVERIFY(!QFile::exists(m_config.filePath(QStringLiteral("zentar/office.ini"))));
    QVERIFY(!QFile::exists(QStringLiteral("office.ini")));
}

QTEST_GUILESS_MAIN(tst_SettingsFile)
#include "tst_settingsfile.moc"
