#include "shell/HeadlessView.h"

#include "shell/RunFrame.h"

HeadlessView::HeadlessView(StoredSettings settings)
    : m_settings(std::move(settings))
{
    // The same contract as the window's progress handler: the pending cancel
    // request goes to the transfer as its abort flag and is cleared.
    QObject::connect(&m_ftp, &FtpClient::progress, [this](qint64 count, bool &abort) {
        abort = cancelRequested;
        cancelRequested = false;
        if (onTransferProgress)
            onTransferProgress(count);
    });
    // The session events show in the step panel, as in the window.
    QObject::connect(&m_ftp, &FtpClient::sessionConnected,
                     [this](int) { setStatusText(1, sessionConnectedText()); });
    QObject::connect(&m_ftp, &FtpClient::sessionClosed,
                     [this](int) { setStatusText(1, sessionClosedText()); });
}

int HeadlessView::rowCount() const
{
    return int(m_settings.recorders.size());
}

bool HeadlessView::rowChecked(int row) const
{
    return row >= 0 && row < m_settings.recorders.size() && m_settings.recorders[row].checked;
}

QString HeadlessView::rowText(int row) const
{
    if (row < 0 || row >= m_settings.recorders.size())
        return QString();
    return m_settings.recorders[row].address;
}

void HeadlessView::setStatusText(int panel, const QString &text)
{
    m_status[panel == 0 ? 0 : 1] = text;
    if (onStatus)
        onStatus(panel, text);
}

void HeadlessView::setJobProgress(int maximum, int position)
{
    m_jobMaximum = maximum;
    m_jobPosition = position;
}

bool HeadlessView::hookEnabled(HookPoint point) const
{
    switch (point) {
    case HookPoint::BeforeRun:
        return m_settings.runB;
    case HookPoint::EachRecorder:
        return m_settings.runI;
    case HookPoint::AfterRun:
        return m_settings.runA;
    }
    return false;
}

QString HeadlessView::hookCommand(HookPoint point) const
{
    switch (point) {
    case HookPoint::BeforeRun:
        return m_settings.runBS;
    case HookPoint::EachRecorder:
        return m_settings.runIS;
    case HookPoint::AfterRun:
        return m_settings.runAS;
    }
    return QString();
}

void HeadlessView::showLogLine(const QString &line)
{
    m_logLines << line;
    if (line.startsWith(QLatin1String(" ERROR: ")))
        ++m_errorLines;
    if (onLogLine)
        onLogLine(line);
}
