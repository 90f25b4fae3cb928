#pragma once

#include "update/UploadEntry.h"

#include <QList>
#include <QString>
#include <vector>

// Everything the settings file keeps, as the window shows it.
struct StoredRecorder
{
    QString address;
    bool checked = true;
};

struct StoredSettings
{
    QList<StoredRecorder> recorders;       // [LIST]
    std::vector<TUploadEntry> uploads;     // [UPLIST], at most 16 on load
    // [FTP]
    QString login = QStringLiteral("root");
    QString password;
    bool passive = true;
    QString timeoutText = QStringLiteral("10"); // load: the integer in decimal; save: converted then
    // [OPTIONS]
    QString level = QStringLiteral("90");
    QString vmin = QStringLiteral("24.0");
    bool doDev = true;
    bool doLmc = true;
    bool repDate = true;
    bool sendEmail = true;
    QString email = QStringLiteral("support@zentar-service.example"); // the support mailbox
    QString lastReport;
    int stopStart = 0;                     // -1: no item chosen
    bool checkDate = true;
    bool bdel = false;
    bool runB = false;
    bool runI = false;
    bool runA = false;
    QString runBS;
    QString runIS;
    QString runAS;
};

// The settings file's name: the first command-line argument (arguments[0] is
// the program), else "zentar.ini"; an empty argument counts as none.
// A name without a directory is looked up in the per-user configuration folder.
QString settingsFileName(const QStringList &arguments);
QString resolveSettingsPath(const QString &name);

// Reads the file (missing or unreadable: every key at its default).
StoredSettings loadSettings(const QString &fileName);
// Writes every key in the order of the file's table, keeping unknown keys and
// sections; the file is replaced in one step. Throws AppError "Unable to write
// to %s" when the file cannot be written (its old content then stays), and
// ConversionError when timeoutText is not a whole number (the lists and
// "LOGIN", "PASS", "PASSIVE" are written first; "TIMEOUT" and "OPTIONS" stay).
void saveSettings(const QString &fileName, const StoredSettings &settings);
// Writes "LASTREPORT" alone, leaving every other key as it is.
void saveLastReport(const QString &fileName, const QString &lastReport);
