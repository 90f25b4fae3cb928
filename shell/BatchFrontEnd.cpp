#include "shell/BatchFrontEnd.h"

#include "diagnostics/DiagnosticsRun.h"
#include "diagnostics/Hooks.h"
#include "diagnostics/Report.h"
#include "platform/Dialogs.h"
#include "shell/HeadlessView.h"
#include "shell/Settings.h"
#include "update/UpdateRun.h"

#include <QTextStream>

namespace {

const char kUsage[] =
    "Usage: zentar-batch diagnostics [--open] [SETTINGS]\n"
    "       zentar-batch update --yes [-c] [--command TEXT] [SETTINGS]\n"
    "\n"
    "Runs a job of the maintenance tool over the recorders checked in the\n"
    "settings file, exactly as the window would, without a window.\n"
    "\n"
    "  diagnostics     fetch the poll tables, write the operability report and\n"
    "                  print its file name on standard output\n"
    "  update          upload the files of the upload list (asks for --yes)\n"
    "\n"
    "Options:\n"
    "  --yes           confirm the update (the window asks for it)\n"
    "  --open          open the report in the desktop's viewer afterwards\n"
    "  --command TEXT  run TEXT on each recorder after the uploads\n"
    "  -c              start or restart the poll daemon with the switch -c\n"
    "  -h, --help      show this help\n"
    "\n"
    "SETTINGS is the settings file (default zentar.ini in the configuration\n"
    "folder); the report and upload.log are written to the current directory.\n"
    "Progress goes to standard error, one line per step.\n"
    "Exit status: 0 every checked recorder served without an error, 1 some\n"
    "recorder failed or logged an error, 2 the run could not start or ended\n"
    "by an error.\n";

// Boxes of a run without a window: told on standard error, never waited for.
class StreamDialogs : public Dialogs
{
public:
    explicit StreamDialogs(QTextStream &err) : m_err(err) {}
    bool shownMessage = false;

    void message(const QString &caption, const QString &text) override
    {
        shownMessage = true;
        m_err << caption << ": " << text << Qt::endl;
    }
    Answer confirm(const QString &, const QString &) override { return Answer::Yes; }
    bool inputBox(const QString &, const QString &, QString &) override { return false; }
    bool openFile(const OpenFileRequest &, QString &) override { return false; }
    void errorBox(const QString &text) override { m_err << errorBoxText(text) << Qt::endl; }
    int execModal(QDialog &) override { return 0; }

private:
    QTextStream &m_err;
};

struct BatchOptions
{
    QString job;
    QString settingsName;
    bool yes = false;
    bool open = false;
    bool switchC = false;
    bool commandGiven = false;
    QString command;
    bool help = false;
    QString error;
};

BatchOptions parse(const QStringList &arguments)
{
    BatchOptions o;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            o.help = true;
        } else if (a == QLatin1String("--yes")) {
            o.yes = true;
        } else if (a == QLatin1String("--open")) {
            o.open = true;
        } else if (a == QLatin1String("-c")) {
            o.switchC = true;
        } else if (a == QLatin1String("--command")) {
            if (++i >= arguments.size()) {
                o.error = QStringLiteral("--command needs a text");
                return o;
            }
            o.commandGiven = true;
            o.command = arguments[i];
        } else if (a.startsWith(QLatin1String("--command="))) {
            o.commandGiven = true;
            o.command = a.mid(10);
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            o.error = QStringLiteral("unknown option %1").arg(a);
            return o;
        } else if (o.job.isEmpty()) {
            o.job = a;
        } else if (o.settingsName.isEmpty()) {
            o.settingsName = a;
        } else {
            o.error = QStringLiteral("unexpected argument %1").arg(a);
            return o;
        }
    }
    if (!o.help && o.job != QLatin1String("diagnostics") && o.job != QLatin1String("update"))
        o.error = o.job.isEmpty() ? QStringLiteral("no job given") : QStringLiteral("unknown job %1").arg(o.job);
    else if (o.job == QLatin1String("update") && !o.yes && !o.help)
        o.error = QStringLiteral("the update writes to the recorders: confirm it with --yes");
    else if (o.job == QLatin1String("diagnostics") && (o.commandGiven || o.switchC))
        o.error = QStringLiteral("--command and -c belong to the update");
    return o;
}

} // namespace

int runBatch(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const BatchOptions options = parse(arguments);
    if (options.help) {
        out << kUsage;
        return 0;
    }
    if (!options.error.isEmpty()) {
        err << "zentar-batch: " << options.error << Qt::endl << "Try 'zentar-batch --help'." << Qt::endl;
        return 2;
    }

    const QString name = options.settingsName.isEmpty() ? QStringLiteral("zentar.ini") : options.settingsName;
    const QString path = resolveSettingsPath(name);
    HeadlessView view(loadSettings(path));
    view.openReport = options.open;
    view.switchC = options.switchC;
    view.commandEnabled = options.commandGiven;
    view.command = options.command;

    QString recorder;
    view.onStatus = [&](int panel, const QString &text) {
        if (panel == 0) {
            recorder = text;
        } else if (!text.isEmpty()) {
            err << recorder << ": " << text << Qt::endl;
        }
    };
    view.onLogLine = [&](const QString &line) { err << line << Qt::endl; };

    StreamDialogs boxes(err);
    Dialogs *previous = &dialogs();
    setDialogs(&boxes);
    // Standard output carries the report's name and nothing else.
    setHookOutputToStandardError(true);
    const QString reportBefore = view.lastReportName();
    int status = 0;
    try {
        if (options.job == QLatin1String("diagnostics")) {
            RunDiagnostics(view);
            if (boxes.shownMessage) {
                status = 2;
            } else {
                // Only the last report's name changes in the settings file.
                if (view.lastReportName() != reportBefore)
                    saveLastReport(path, view.lastReportName());
                out << view.lastReportName() << Qt::endl;
                status = view.failedRecorders().isEmpty() ? 0 : 1;
            }
        } else {
            RunSoftwareUpdate(view);
            status = boxes.shownMessage ? 2 : (view.errorLines() > 0 ? 1 : 0);
        }
    } catch (const std::exception &error) {
        // Shown as the window's default error box would show it, on standard error.
        showUnhandledError(error);
        status = 2;
    }
    setHookOutputToStandardError(false);
    setDialogs(previous);
    return status;
}
