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

} // namespace

class tst_UpdateRun : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void scenarios_data();
    void scenarios();
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
}

void tst_UpdateRun::cleanup()
{
    delete m_dialogs;
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
