#pragma once

#include "update/UploadEntry.h"

#include <QString>

class FtpClient;
class HttpClient;

// What a run needs of its host: the main window, or a front end without a
// window. Every getter reads the control (or setting) at the moment of the
// call, so a change made during a run counts from the next read on.
class RunView
{
public:
    virtual ~RunView() = default;

    // The recorder list.
    virtual int rowCount() const = 0;
    virtual bool rowChecked(int row) const = 0;
    virtual QString rowText(int row) const = 0;

    // The tab "Настройка".
    virtual QString ftpUser() const = 0;
    virtual QString ftpPassword() const = 0;
    virtual bool ftpPassive() const = 0;
    virtual QString ftpTimeoutText() const = 0;

    // The run lock.
    virtual void setControlsEnabled(bool enabled) = 0;

    // Progress display: StatusBar1 panels 0 and 1, ProgressBar1 (recorders),
    // CurrentFileSize (maximum of ProgressBar2 at the next progress report).
    virtual void setStatusText(int panel, const QString &text) = 0;
    virtual void setJobProgress(int maximum, int position) = 0;
    virtual void setJobPosition(int position) = 0;
    virtual void setCurrentFileSize(int32_t size) = 0;

    // FtpClient1, whose progress and session events the host handles.
    virtual FtpClient &ftp() = 0;
};

enum class HookPoint { BeforeRun, EachRecorder, AfterRun };

class DiagnosticsView : public virtual RunView
{
public:
    virtual bool devicesOn() const = 0;             // CheckBox4
    virtual bool channelsOn() const = 0;            // CheckBox5
    virtual QString qualityThresholdText() const = 0; // Edit5
    virtual QString minVoltageText() const = 0;     // Edit9
    virtual bool datedReportName() const = 0;       // CheckBox6
    virtual bool viewReport() const = 0;            // CheckBox2
    virtual bool hookEnabled(HookPoint point) const = 0;      // CheckBox9/10/11
    virtual QString hookCommand(HookPoint point) const = 0;   // Edit6/7/8
    virtual QString lastReportName() const = 0;
    virtual void setLastReportName(const QString &name) = 0;
    // Told of each recorder the run counts as failed; the window needs nothing of it.
    virtual void recorderFailed(const QString &address) { Q_UNUSED(address); }
};

class UpdateView : public virtual RunView
{
public:
    virtual bool checkSize() const = 0;      // CheckBox7
    virtual bool deleteFirst() const = 0;    // CheckBox8
    virtual int pollMode() const = 0;        // RadioGroup1 item, -1 for none
    virtual bool pollSwitchC() const = 0;    // CheckBox12
    virtual bool commandOn() const = 0;      // CheckBox13
    virtual QString commandText() const = 0; // Edit10

    virtual int uploadCount() const = 0;
    virtual TUploadEntry &uploadEntry(int index) = 0;

    // Shows a line of the update log on screen (ListBox3), after LogUpdate wrote it.
    virtual void showLogLine(const QString &line) = 0;

    // HttpCli1.
    virtual HttpClient &http() = 0;
};
