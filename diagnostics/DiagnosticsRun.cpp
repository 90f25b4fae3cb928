#include "diagnostics/DiagnosticsRun.h"

#include "diagnostics/Hooks.h"
#include "diagnostics/PollFiles.h"
#include "diagnostics/Report.h"
#include "platform/FtpClient.h"
#include "shell/RunFrame.h"

namespace {

const QString kPollDir = QStringLiteral("/var/opros/");
const QString kDeviceTable = QStringLiteral("opros.out");
const QString kChannelTable = QStringLiteral("cs.out");

// Fetches one poll table over the open session into the current directory.
// The directory is changed anew for each table.
bool fetchTable(RunView &view, const QString &name)
{
    FtpClient &ftp = view.ftp();
    ftp.setLocalFileName(name);
    ftp.setHostDirName(kPollDir);
    view.setStatusText(1, QStringLiteral("Попытка смены каталога..."));
    if (!ftp.changeDirectory())
        return false;
    ftp.setHostFileName(name);
    view.setStatusText(1, QStringLiteral("Получаю размер файла..."));
    if (!ftp.size())
        return false;
    view.setCurrentFileSize(clampFileSize(ftp.sizeResult()));
    view.setStatusText(1, QStringLiteral("Чтение файла..."));
    return ftp.get();
}

void runHookIfEnabled(DiagnosticsView &view, HookPoint point, const QString &address)
{
    if (view.hookEnabled(point))
        RunHook(view.hookCommand(point), address);
}

} // namespace

void RunDiagnostics(DiagnosticsView &view)
{
    if (beginRun(view) == 0)
        return;

    TDiagnosticsTotals totals;
    TDeviceColumns columns;
    runHookIfEnabled(view, HookPoint::BeforeRun, QString());

    FtpClient &ftp = view.ftp();
    forEachCheckedRow(view, [&](int row) {
        view.setStatusText(0, view.rowText(row));
        // Cleared only when every enabled fetch of this recorder succeeded.
        bool recorderFailed = true;
        configureFtp(view, view.rowText(row));
        ++totals.RecordersTotal;

        view.setStatusText(1, QStringLiteral("Попытка соединения..."));
        if (ftp.connectAndLogin()) {
            const bool devicesFetched = !view.devicesOn() || fetchTable(view, kDeviceTable);
            if (devicesFetched && (!view.channelsOn() || fetchTable(view, kChannelTable)))
                recorderFailed = false;
        }
        ftp.quit();

        if (recorderFailed) {
            ++totals.RecordersFailed;
            totals.FailedRecorders << view.rowText(row);
            view.recorderFailed(view.rowText(row));
        } else {
            if (view.devicesOn())
                ReadDeviceFile(kDeviceTable, view.rowText(row), columns, view.qualityThresholdText(),
                               view.minVoltageText(), totals);
            if (view.channelsOn())
                ReadChannelFile(kChannelTable, view.rowText(row), totals);
        }
        runHookIfEnabled(view, HookPoint::EachRecorder, view.rowText(row));
    });

    finishRun(view);
    WriteOperabilityReport(view, totals);
    runHookIfEnabled(view, HookPoint::AfterRun, QString());
    if (view.viewReport())
        ShowLastReport(view.lastReportName());
}
