#pragma once

#include "shell/RunView.h"

// The frame both runs share: the run lock, the check for checked rows, the
// walk over the checked rows with the job progress, the FTP set-up per
// recorder, and the end-of-run status.

// SetControlsEnabled(false), the run, SetControlsEnabled(true) — also when the
// run ends by an error, which then goes on to the caller's error box.
template <typename Run>
void runUnderLock(RunView &view, Run &&run)
{
    view.setControlsEnabled(false);
    try {
        run();
    } catch (...) {
        view.setControlsEnabled(true);
        throw;
    }
    view.setControlsEnabled(true);
}

// Counts the checked rows and sets the job progress bar to them. With none
// checked it shows the "Error" box and returns 0: the run ends there.
int beginRun(RunView &view);

// Serves every row that is checked when the walk reaches it, in list order;
// the number of rows is taken once. After every row the job progress shows
// the number of rows served so far.
template <typename Serve>
void forEachCheckedRow(RunView &view, Serve &&serve)
{
    const int rows = view.rowCount();
    int served = 0;
    for (int row = 0; row < rows; ++row) {
        if (view.rowChecked(row)) {
            serve(row);
            ++served;
        }
        view.setJobPosition(served);
    }
}

// Sets up FtpClient1 for one recorder from the tab "Настройка". Returns the
// time-out in seconds; throws ConversionError when "Time out:" is no whole number.
int configureFtp(RunView &view, const QString &host);

// The step texts of FtpClient1's session events, shown by every run host.
QString sessionConnectedText();
QString sessionClosedText();

// "Готово" in panel 0, panel 1 emptied.
void finishRun(RunView &view);

// CurrentFileSize is 32-bit: a larger size shows as a full bar, never a negative one.
int32_t clampFileSize(qint64 size);
