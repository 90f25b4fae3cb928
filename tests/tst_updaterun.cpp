#include "platform/AppState.h"
#include "platform/Errors.h"
#include "platform/TextCodec.h"
#include "shell/HeadlessView.h"
#include "support/RecorderFarm.h"
#include "support/ScriptedDialogs.h"
#include "update/UpdateRun.h"

#include <QtTest>
#include <functional>

namespace {

const QString kRule = QString(55, '-');
const QStringList kHeader = {kRule, QStringLiteral("Начало работы"), kRule};
const char *const kA = "127.0.0.131";
const char *const kB = "127.0.0.132";
const char *const kC = "127.0.0.133";

// Writes a local file to upload and returns its entry.
TUploadEntry localEntry(const RecorderFarm &farm, const QString &name, const QByteArray &bytes, bool chmod = false)
{
    QDir().mkpath(farm.file("upd"));
    QFile f(farm.file("upd/" + name));
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    TUploadEntry e;
    e.LocalName = f.fileName();
    e.ServerPath = QStringLiteral("/mnt/dos/bin/");
    e.ServerName = name;
    e.DoChmod = chmod;
    return e;
}

struct Scenario
{
    const char *name;
    // Sets up recorders and the view; the view lists kA (checked) unless told otherwise.
    std::function<void(RecorderFarm &, HeadlessView &)> setUp;
    QStringList lines;     // the log after the header
    QStringList httpPaths; // what kA's web server received
    std::function<void(RecorderFarm &)> check;
};

const QList<Scenario> &scenarios()
{
    static const QList<Scenario> table = {
        {"empty upload list",
         [](RecorderFarm &, HeadlessView &v) {
             v.settings().stopStart = 1;
             v.commandEnabled = true;
             v.command = QStringLiteral("ls");
         },
         {"Обработка 127.0.0.131", " INFO: Команда выполнена", " INFO: Опрос перезагружен"},
         {"/cgi-bin/execute?ls", "/cgi-bin/execute?/mnt/dos/bin/opd%20restart"},
         nullptr},
        {"poll mode 2 with size check, chmod and command",
         [](RecorderFarm &farm, HeadlessView &v) {
             v.settings().uploads = {localEntry(farm, "opd", "new daemon", true)};
             v.settings().stopStart = 2;
             v.commandEnabled = true;
             v.command = QStringLiteral("ls -l");
         },
         {"Обработка 127.0.0.131", " INFO: Опрос остановлен", " INFO: Файл opd выгружен", " INFO: chmod выполнен",
          " INFO: Команда выполнена", " INFO: Опрос запущен"},
         {"/cgi-bin/execute?/mnt/dos/bin/opd%20stop", "/cgi-bin/execute?/bin/chmod%20a+x%20/mnt/dos/bin/opd",
          "/cgi-bin/execute?ls%20-l", "/cgi-bin/execute?/mnt/dos/bin/opd%20start"},
         [](RecorderFarm &farm) {
             QCOMPARE(farm.recorder(0).readFile("/mnt/dos/bin/opd"), QByteArray("new daemon"));
             const QStringList cmds = farm.recorder(0).ftp().commands();
             QCOMPARE(cmds.mid(0, 3), (QStringList{"USER root", "PASS ", "TYPE I"}));
             QCOMPARE(cmds.last(), QStringLiteral("QUIT"));
         }},
        {"restart with the switch -c",
         [](RecorderFarm &, HeadlessView &v) {
             v.settings().stopStart = 1;
             v.switchC = true;
         },
         {"Обработка 127.0.0.131", " INFO: Опрос перезагружен"},
         {"/cgi-bin/execute?/mnt/dos/bin/opd%20restart%20-c"},
         nullptr},
        {"failed connect",
         [](RecorderFarm &farm, HeadlessView &v) {
             farm.recorder(0).ftp().refuseLogin(true);
             v.settings().stopStart = 2;
             v.commandEnabled = true;
             v.settings().uploads = {localEntry(farm, "opd", "x")};
         },
         {"Обработка 127.0.0.131", " ERROR: Не могу подключиться к 127.0.0.131"},
         {},
         [](RecorderFarm &farm) { QCOMPARE(farm.recorder(0).ftp().commands().last(), QStringLiteral("QUIT")); }},
        {"same size kept, missing file uploaded",
         [](RecorderFarm &farm, HeadlessView &v) {
             farm.recorder(0).writeFile("/mnt/dos/bin/same", "old!");
             v.settings().uploads = {localEntry(farm, "same", "new!"), localEntry(farm, "fresh", "abc")};
         },
         {"Обработка 127.0.0.131", " INFO: Файл same загружать не надо", " INFO: Файл fresh выгружен"},
         {},
         [](RecorderFarm &farm) {
             QCOMPARE(farm.recorder(0).readFile("/mnt/dos/bin/same"), QByteArray("old!"));
             QCOMPARE(farm.recorder(0).readFile("/mnt/dos/bin/fresh"), QByteArray("abc"));
         }},
        {"delete of a file that is not there",
         [](RecorderFarm &farm, HeadlessView &v) {
             v.settings().checkDate = false;
             v.settings().bdel = true;
             v.settings().uploads = {localEntry(farm, "opd", "x")};
         },
         {"Обработка 127.0.0.131", " ERROR: Не могу удалить файл", " INFO: Файл opd выгружен"},
         {},
         nullptr},
        {"command with two blanks and + & % ? sent as typed",
         [](RecorderFarm &, HeadlessView &v) {
             v.commandEnabled = true;
             v.command = QStringLiteral("echo  a+b&c%d?e %2B");
         },
         {"Обработка 127.0.0.131", " INFO: Команда выполнена"},
         {"/cgi-bin/execute?echo%20%20a+b&c%d?e%20%2B"},
         nullptr},
        {"empty command that fails",
         [](RecorderFarm &farm, HeadlessView &v) {
             farm.recorder(0).http().setStatus(500);
             v.commandEnabled = true;
         },
         {"Обработка 127.0.0.131", " ERROR: Не могу выполнить команду: "},
         {"/cgi-bin/execute?"},
         nullptr},
        {"failed poll requests and chmod are logged, the run goes on",
         [](RecorderFarm &farm, HeadlessView &v) {
             farm.recorder(0).http().setStatus(404);
             v.settings().stopStart = 2;
             v.settings().uploads = {localEntry(farm, "opd", "x", true)};
         },
         {"Обработка 127.0.0.131", " ERROR: Не могу остановить программу опроса", " INFO: Файл opd выгружен",
          " ERROR: Не могу выполнить chmod", " ERROR: Не могу запустить программу опроса"},
         {"/cgi-bin/execute?/mnt/dos/bin/opd%20stop", "/cgi-bin/execute?/bin/chmod%20a+x%20/mnt/dos/bin/opd",
          "/cgi-bin/execute?/mnt/dos/bin/opd%20start"},
         nullptr},
        {"unchecked rows leave no line",
         [](RecorderFarm &, HeadlessView &v) {
             v.settings().recorders = {{kA, true}, {kB, false}, {kC, true}};
         },
         {"Обработка 127.0.0.131", "Обработка 127.0.0.133"},
         {},
         [](RecorderFarm &farm) { QVERIFY(farm.recorder(1).ftp().commands().isEmpty()); }},
        {"Отмена during a STOR fails that entry only",
         [](RecorderFarm &farm, HeadlessView &v) {
             v.settings().checkDate = false;
             v.settings().uploads = {localEntry(farm, "big", QByteArray(4 << 20, 'b'), true),
                                     localEntry(farm, "small", "s")};
             v.onStatus = [&v](int panel, const QString &text) {
                 if (panel == 1 && text == QStringLiteral("Запись файла big ..."))
                     v.cancelRequested = true;
             };
         },
         {"Обработка 127.0.0.131", " ERROR: Не могу выгрузить файл", " INFO: chmod выполнен",
          " INFO: Файл small выгружен"},
         {"/cgi-bin/execute?/bin/chmod%20a+x%20/mnt/dos/bin/big"},
         [](RecorderFarm &farm) { QCOMPARE(farm.recorder(0).readFile("/mnt/dos/bin/small"), QByteArray("s")); }},
    };
    return table;
}

const char *const kD = "127.0.0.80";
const char *const kE = "127.0.0.81";

// A recorder or a local file that misbehaves during the run: each is one log
// line and the run goes on, never a hang or an error that ends it.
struct Fault
{
    const char *name;
    // The view lists kD (checked) with a time-out of 1 s unless told otherwise.
    std::function<void(RecorderFarm &, HeadlessView &)> setUp;
    QStringList lines;     // the log after the header
    QStringList httpPaths; // what kD's web server received
    std::function<void(RecorderFarm &)> check;
};

const QList<Fault> &faults()
{
    static const QList<Fault> table = {
        {"web server never answers",
         [](RecorderFarm &farm, HeadlessView &v) {
             farm.recorder(0).http().setNeverAnswer(true);
             v.settings().stopStart = 1;
             v.commandEnabled = true;
             v.command = QStringLiteral("ls");
         },
         {"Обработка 127.0.0.80", " ERROR: Не могу выполнить команду: ls",
          " ERROR: Не могу перезапустить программу опроса"},
         {"/cgi-bin/execute?ls", "/cgi-bin/execute?/mnt/dos/bin/opd%20restart"},
         nullptr},
        {"recorder accepts but never greets",
         [](RecorderFarm &farm, HeadlessView &v) {
             farm.recorder(0).ftp().stallOn(QStringLiteral("CONNECT"));
             v.settings().stopStart = 2;
             v.commandEnabled = true;
         },
         {"Обработка 127.0.0.80", " ERROR: Не могу подключиться к 127.0.0.80"},
         {},
         nullptr},
        {"TYPE I and CWD refused, QUIT never answered",
         [](RecorderFarm &farm, HeadlessView &v) {
             farm.recorder(0).ftp().refuseCommand(QStringLiteral("TYPE"), 500);
             farm.recorder(0).ftp().refuseCommand(QStringLiteral("CWD"), 550);
             farm.recorder(0).ftp().stallOn(QStringLiteral("QUIT"));
             v.settings().uploads = {localEntry(farm, "opd", "x")};
         },
         {"Обработка 127.0.0.80", " INFO: Файл opd выгружен"},
         {},
         // The failed directory change goes unnoticed: the file lands in the login directory.
         [](RecorderFarm &farm) { QCOMPARE(farm.recorder(0).readFile("/opd"), QByteArray("x")); }},
        {"local file gone between measuring and STOR",
         [](RecorderFarm &farm, HeadlessView &v) {
             v.settings().checkDate = false;
             const TUploadEntry first = localEntry(farm, "first", "1", true);
             v.settings().uploads = {first, localEntry(farm, "second", "2")};
             v.onStatus = [path = first.LocalName](int panel, const QString &text) {
                 if (panel == 1 && text == QStringLiteral("Запись файла first ..."))
                     QFile::remove(path);
             };
         },
         {"Обработка 127.0.0.80", " ERROR: Не могу выгрузить файл", " INFO: chmod выполнен",
          " INFO: Файл second выгружен"},
         {"/cgi-bin/execute?/bin/chmod%20a+x%20/mnt/dos/bin/first"},
         [](RecorderFarm &farm) {
             QVERIFY(!farm.recorder(0).hasFile("/mnt/dos/bin/first"));
             QCOMPARE(farm.recorder(0).readFile("/mnt/dos/bin/second"), QByteArray("2"));
         }},
        {"connection lost during a STOR",
         [](RecorderFarm &farm, HeadlessView &v) {
             farm.recorder(0).ftp().dropDuringTransfer(64 * 1024);
             v.settings().stopStart = 1;
             v.settings().uploads = {localEntry(farm, "big", QByteArray(1 << 20, 'b'), true),
                                     localEntry(farm, "small", "s")};
         },
         {"Обработка 127.0.0.80", " ERROR: Не могу выгрузить файл", " INFO: chmod выполнен",
          " ERROR: Не могу выгрузить файл", " INFO: Опрос перезагружен"},
         {"/cgi-bin/execute?/bin/chmod%20a+x%20/mnt/dos/bin/big", "/cgi-bin/execute?/mnt/dos/bin/opd%20restart"},
         nullptr},
        {"Cyrillic server name in Windows-1251",
         [](RecorderFarm &farm, HeadlessView &v) {
             v.settings().uploads = {localEntry(farm, QStringLiteral("пуск.sh"), "#!/bin/sh", true)};
         },
         {"Обработка 127.0.0.80", " INFO: Файл пуск.sh выгружен", " INFO: chmod выполнен"},
         {"/cgi-bin/execute?/bin/chmod%20a+x%20/mnt/dos/bin/пуск.sh"},
         [](RecorderFarm &farm) {
             QCOMPARE(farm.recorder(0).readFile(QStringLiteral("/mnt/dos/bin/пуск.sh")), QByteArray("#!/bin/sh"));
             QVERIFY(farm.recorder(0).ftp().commands().contains(QStringLiteral("STOR пуск.sh")));
             QVERIFY(farm.recorder(0).http().rawRequests().first().startsWith(
                 "GET /cgi-bin/execute?/bin/chmod%20a+x%20/mnt/dos/bin/\xEF\xF3\xF1\xEA.sh HTTP/1.0\r\n"));
             QVERIFY(farm.readWorkFile("upload.log").contains(" INFO: \xD4\xE0\xE9\xEB \xEF\xF3\xF1\xEA.sh "));
         }},
        {"window closed during the first recorder",
         [](RecorderFarm &farm, HeadlessView &v) {
             v.settings().recorders = {{kD, true}, {kE, true}};
             v.settings().timeoutText = QStringLiteral("0");
             v.settings().stopStart = 1;
             v.settings().uploads = {localEntry(farm, "opd", "x", true)};
             v.onStatus = [](int panel, const QString &text) {
                 if (panel == 1 && text == QStringLiteral("Запись файла opd ..."))
                     setApplicationEnding(true);
             };
         },
         // The FTP waits give up at once; the web server is still waited for.
         {"Обработка 127.0.0.80", " ERROR: Не могу выгрузить файл", " INFO: chmod выполнен",
          " INFO: Опрос перезагружен", "Обработка 127.0.0.81", " ERROR: Не могу подключиться к 127.0.0.81"},
         {"/cgi-bin/execute?/bin/chmod%20a+x%20/mnt/dos/bin/opd", "/cgi-bin/execute?/mnt/dos/bin/opd%20restart"},
         [](RecorderFarm &farm) { QVERIFY(farm.recorder(1).ftp().commands().isEmpty()); }},
    };
    return table;
}

} // namespace

class tst_UpdateRun : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void scenarios_data();
    void scenarios();
    void faultsAreLinesOfTheLog_data();
    void faultsAreLinesOfTheLog();
    void lineBreaksNeverReachTheWire_data();
    void lineBreaksNeverReachTheWire();
    void badTimeoutTextEndsTheRunAfterItsFirstLine();
    void missingLocalFileStopsBeforeAnyRecorder();
    void httpRequestBytesAsReceived();
    void logAppendsAcrossRuns();
    void unwritableLogEndsTheRun();

private:
    ScriptedDialogs *m_dialogs = nullptr;
};

void tst_UpdateRun::init()
{
    m_dialogs = new ScriptedDialogs;
    setApplicationEnding(false);
}

void tst_UpdateRun::cleanup()
{
    delete m_dialogs;
    setApplicationEnding(false);
}

void tst_UpdateRun::scenarios_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < ::scenarios().size(); ++i)
        QTest::newRow(::scenarios()[i].name) << i;
}

// Catches a step logged out of order, a missing or extra request, or a wrong line text.
void tst_UpdateRun::scenarios()
{
    QFETCH(int, index);
    const Scenario &s = ::scenarios()[index];
    RecorderFarm farm;
    farm.add(kA);
    farm.add(kB);
    farm.add(kC);
    HeadlessView view;
    view.settings().recorders = {{kA, true}};
    view.settings().timeoutText = QStringLiteral("5");
    s.setUp(farm, view);
    RunSoftwareUpdate(view);

    QCOMPARE(m_dialogs->log, QStringList());
    QCOMPARE(view.logLines(), kHeader + s.lines);
    QCOMPARE(farm.recorder(0).http().requestPaths(), s.httpPaths);
    QCOMPARE(fromWin1251(farm.readWorkFile("upload.log")), (kHeader + s.lines).join("\r\n") + "\r\n");
    QCOMPARE(view.statusText(0), QStringLiteral("Готово"));
    if (s.check)
        s.check(farm);
}

void tst_UpdateRun::faultsAreLinesOfTheLog_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < faults().size(); ++i)
        QTest::newRow(faults()[i].name) << i;
}

// Catches a hung recorder, web server or vanished file that hangs the run, ends it, or is logged wrongly.
void tst_UpdateRun::faultsAreLinesOfTheLog()
{
    QFETCH(int, index);
    const Fault &f = faults()[index];
    RecorderFarm farm;
    farm.add(kD);
    farm.add(kE);
    HeadlessView view;
    view.settings().recorders = {{kD, true}};
    view.settings().timeoutText = QStringLiteral("1");
    f.setUp(farm, view);
    RunSoftwareUpdate(view);

    QCOMPARE(m_dialogs->log, QStringList());
    QCOMPARE(view.logLines(), kHeader + f.lines);
    QCOMPARE(fromWin1251(farm.readWorkFile("upload.log")), (kHeader + f.lines).join("\r\n") + "\r\n");
    QCOMPARE(farm.recorder(0).http().requestPaths(), f.httpPaths);
    QCOMPARE(view.statusText(0), QStringLiteral("Готово"));
    if (f.check)
        f.check(farm);
}

void tst_UpdateRun::lineBreaksNeverReachTheWire_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("serverName");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("lines");
    const QString a = QStringLiteral("127.0.0.82");
    QTest::newRow("in the command") << a << QString() << QStringLiteral("ls\r\nrm -rf /")
                                    << QStringList{"Обработка 127.0.0.82",
                                                   " ERROR: Не могу выполнить команду: ls%0D%0Arm%20-rf%20/"};
    QTest::newRow("in a server name") << a << QStringLiteral("opd\r\nDELE opros.out") << QString()
                                      << QStringList{"Обработка 127.0.0.82", " ERROR: Не могу выгрузить файл",
                                                     " ERROR: Не могу выполнить chmod"};
    QTest::newRow("in the address") << QStringLiteral("127.0.0.82\r\nHost: x") << QString() << QStringLiteral("ls")
                                    << QStringList{"Обработка 127.0.0.82%0D%0AHost: x",
                                                   " ERROR: Не могу подключиться к 127.0.0.82%0D%0AHost: x"};
}

// Catches CR or LF smuggling a command into FTP or HTTP, or splitting one call into two log lines.
void tst_UpdateRun::lineBreaksNeverReachTheWire()
{
    QFETCH(QString, address);
    QFETCH(QString, serverName);
    QFETCH(QString, command);
    QFETCH(QStringList, lines);
    RecorderFarm farm;
    SimRecorder &rec = farm.add(QStringLiteral("127.0.0.82"));
    HeadlessView view;
    view.settings().recorders = {{address, true}};
    view.settings().timeoutText = QStringLiteral("1");
    if (!serverName.isEmpty()) {
        TUploadEntry entry = localEntry(farm, "opd", "x", true);
        entry.ServerName = serverName;
        view.settings().uploads = {entry};
    }
    view.commandEnabled = !command.isEmpty();
    view.command = command;
    RunSoftwareUpdate(view);

    QCOMPARE(view.logLines(), kHeader + lines);
    QCOMPARE(fromWin1251(farm.readWorkFile("upload.log")), (kHeader + lines).join("\r\n") + "\r\n");
    QTest::qWait(50);
    QCOMPARE(rec.http().connectionCount(), 0);
    for (const QString &sent : rec.ftp().commands())
        QVERIFY2(!sent.startsWith("DELE") && !sent.startsWith("STOR") && !sent.contains("Host"), qPrintable(sent));
}

// Catches a bad "Time out:" text noticed late (after FTP traffic) or early (before the recorder's first line).
void tst_UpdateRun::badTimeoutTextEndsTheRunAfterItsFirstLine()
{
    RecorderFarm farm;
    SimRecorder &rec = farm.add(QStringLiteral("127.0.0.83"));
    HeadlessView view;
    view.settings().recorders = {{QStringLiteral("127.0.0.83"), true}};
    view.settings().timeoutText = QStringLiteral("1O");
    view.settings().stopStart = 2;
    try {
        RunSoftwareUpdate(view);
        QFAIL("the run went on");
    } catch (const ConversionError &e) {
        QCOMPARE(e.message(), QStringLiteral("'1O' is not a valid integer value"));
    }
    QCOMPARE(view.logLines(), kHeader + QStringList{"Обработка 127.0.0.83"});
    QTest::qWait(50);
    QVERIFY(rec.ftp().commands().isEmpty());
    QCOMPARE(rec.http().connectionCount(), 0);
}

// Catches a run that contacts recorders although a later entry's file is missing.
void tst_UpdateRun::missingLocalFileStopsBeforeAnyRecorder()
{
    RecorderFarm farm;
    SimRecorder &rec = farm.add(kA);
    HeadlessView view;
    view.settings().recorders = {{kA, true}};
    TUploadEntry missing = localEntry(farm, "gone", "x");
    QFile::remove(missing.LocalName);
    view.settings().uploads = {localEntry(farm, "there", "y"), missing};
    RunSoftwareUpdate(view);
    QCOMPARE(m_dialogs->log, QStringList{"message|Error|Файл для передачи не найден"});
    QVERIFY(view.logLines().isEmpty());
    QVERIFY(!QFile::exists(farm.file("upload.log")));
    QTest::qWait(50);
    QVERIFY(rec.ftp().commands().isEmpty());
}

// Catches a request line or header that differs from what the recorders' web servers parse.
void tst_UpdateRun::httpRequestBytesAsReceived()
{
    RecorderFarm farm;
    SimRecorder &rec = farm.add(kA);
    HeadlessView view;
    view.settings().recorders = {{kA, true}};
    view.commandEnabled = true;
    view.command = QStringLiteral("echo  Пуск+%2B");
    RunSoftwareUpdate(view);
    QCOMPARE(rec.http().rawRequests().size(), 1);
    QCOMPARE(rec.http().rawRequests().first(),
             QByteArray("GET /cgi-bin/execute?echo%20%20\xCF\xF3\xF1\xEA+%2B HTTP/1.0\r\n"
                        "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
                        "User-Agent: Mozilla/3.0 (compatible)\r\n"
                        "Host: 127.0.0.131\r\n\r\n"));
}

// Catches a log that is emptied by a new run, or a screen log that keeps the old run.
void tst_UpdateRun::logAppendsAcrossRuns()
{
    RecorderFarm farm;
    farm.add(kA);
    farm.add(kB)
        .ftp()
        .refuseLogin(true);
    HeadlessView first;
    first.settings().recorders = {{kA, true}};
    RunSoftwareUpdate(first);
    HeadlessView second;
    second.settings().recorders = {{kB, true}};
    RunSoftwareUpdate(second);
    const QStringList secondLines = kHeader + QStringList{"Обработка 127.0.0.132", " ERROR: Не могу подключиться к 127.0.0.132"};
    QCOMPARE(second.logLines(), secondLines);
    const QByteArray expected = toWin1251((kHeader + QStringList{"Обработка 127.0.0.131"} + secondLines).join("\r\n") + "\r\n");
    QCOMPARE(farm.readWorkFile("upload.log"), expected);
}

// Catches a log failure that is swallowed, or a line shown that never reached the file.
void tst_UpdateRun::unwritableLogEndsTheRun()
{
    RecorderFarm farm;
    SimRecorder &rec = farm.add(kA);
    QDir().mkdir(farm.file("upload.log")); // a directory of that name cannot be appended to
    HeadlessView view;
    view.settings().recorders = {{kA, true}};
    try {
        RunSoftwareUpdate(view);
        QFAIL("the run went on");
    } catch (const IoError &e) {
        QVERIFY(!e.message().isEmpty());
    }
    QVERIFY(view.logLines().isEmpty());
    QTest::qWait(50);
    QVERIFY(rec.ftp().commands().isEmpty());
}

QTEST_GUILESS_MAIN(tst_UpdateRun)
#include "tst_updaterun.moc"
