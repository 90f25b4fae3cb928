#pragma once

#include "diagnostics/PollFiles.h"

#include <QDateTime>
#include <QString>
#include <functional>

class DiagnosticsView;

// Settings the report reads when it is written.
struct ReportSettings
{
    bool dated = true;        // "Имя отчета с датой"
    bool devicesOn = true;    // "Обрабатывать данные устройств"
    bool channelsOn = true;   // "Обрабатывать данные каналов"
    QString levelText;        // threshold text, written as typed
    QString vminText;         // minimum voltage text, written as typed
};

// The local clock and the regional weekday name and time separator; tests inject their own.
struct ReportClock
{
    std::function<QDateTime()> now;
    std::function<QString(int dayOfWeek)> weekdayName; // 1 = Monday
    QString timeSeparator;
};
ReportClock systemReportClock();
void setReportClock(const ReportClock *clock); // nullptr: the system's

// "report.txt", or "rep" + "dd-mm-yyyy_hh.nn.ss" + ".txt".
QString reportFileName(bool dated, const QDateTime &time);
// The report's text, every line ending in CR LF, Windows-1251.
QByteArray operabilityReportText(const TDiagnosticsTotals &totals, const ReportSettings &settings,
                                 const QDateTime &time, const ReportClock &clock);

// Writes the report into the current directory and stores its name as the
// last report. Throws IoError when the file cannot be created or written;
// what was written stays, and the last report name is then left unchanged.
void WriteOperabilityReport(DiagnosticsView &view, const TDiagnosticsTotals &totals);

// Hands the named report (looked up in the current directory) to the
// desktop's default viewer and returns at once; an empty name does nothing.
void ShowLastReport(const QString &lastReportName);
