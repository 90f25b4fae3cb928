#pragma once

#include "platform/FtpClient.h"
#include "platform/HttpClient.h"
#include "shell/RunView.h"
#include "shell/Settings.h"

#include <functional>

// A run host without a window: the settings come from a settings record, the
// status and log lines go to callbacks. Scheduled runs use it; so do tests
// that drive a run without the window.
class HeadlessView : public DiagnosticsView, public UpdateView
{
public:
    explicit HeadlessView(StoredSettings settings = StoredSettings());

    StoredSettings &settings() { return m_settings; }
    const StoredSettings &settings() const { return m_settings; }

    // What the window does not store.
    bool openReport = false;       // "Просмотр в NOTEPAD"
    bool switchC = false;          // "с ключом -с"
    bool commandEnabled = false;   // "После копирования выполнить:"
    QString command;               // its command line
    bool cancelRequested = false;  // taken by the next transfer progress report

    std::function<void(int panel, const QString &text)> onStatus;
    std::function<void(const QString &line)> onLogLine;
    std::function<void(qint64 count)> onTransferProgress;

    int jobMaximum() const { return m_jobMaximum; }
    int jobPosition() const { return m_jobPosition; }
    QString statusText(int panel) const { return m_status[panel == 0 ? 0 : 1]; }
    QStringList failedRecorders() const { return m_failed; }
    QStringList logLines() const { return m_logLines; }
    int errorLines() const { return m_errorLines; }

    // RunView
    int rowCount() const override;
    bool rowChecked(int row) const override;
    QString rowText(int row) const override;
    QString ftpUser() const override { return m_settings.login; }
    QString ftpPassword() const override { return m_settings.password; }
    bool ftpPassive() const override { return m_settings.passive; }
    QString ftpTimeoutText() const override { return m_settings.timeoutText; }
    void setControlsEnabled(bool) override {}
    void setStatusText(int panel, const QString &text) override;
    void setJobProgress(int maximum, int position) override;
    void setJobPosition(int position) override { m_jobPosition = position; }
    void setCurrentFileSize(int32_t size) override { m_currentFileSize = size; }
    FtpClient &ftp() override { return m_ftp; }

    // DiagnosticsView
    bool devicesOn() const override { return m_settings.doDev; }
    bool channelsOn() const override { return m_settings.doLmc; }
    QString qualityThresholdText() const override { return m_settings.level; }
    QString minVoltageText() const override { return m_settings.vmin; }
    bool datedReportName() const override { return m_settings.repDate; }
    bool viewReport() const override { return openReport; }
    bool hookEnabled(HookPoint point) const override;
    QString hookCommand(HookPoint point) const override;
    QString lastReportName() const override { return m_settings.lastReport; }
    void setLastReportName(const QString &name) override { m_settings.lastReport = name; }
    void recorderFailed(const QString &address) override { m_failed << address; }

    // UpdateView
    bool checkSize() const override { return m_settings.checkDate; }
    bool deleteFirst() const override { return m_settings.bdel; }
    int pollMode() const override { return m_settings.stopStart; }
    bool pollSwitchC() const override { return switchC; }
    bool commandOn() const override { return commandEnabled; }
    QString commandText() const override { return command; }
    int uploadCount() const override { return int(m_settings.uploads.size()); }
    TUploadEntry &uploadEntry(int index) override { return m_settings.uploads.at(size_t(index)); }
    void showLogLine(const QString &line) override;
    HttpClient &http() override { return m_http; }

private:
    StoredSettings m_settings;
    FtpClient m_ftp;
    HttpClient m_http;
    QString m_status[2];
    int m_jobMaximum = 100;
    int m_jobPosition = 0;
    int32_t m_currentFileSize = 0;
    QStringList m_failed;
    QStringList m_logLines;
    int m_errorLines = 0;
};
