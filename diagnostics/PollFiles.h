#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// The results of one diagnostics run, filled by the two table readers and
// written out by the report. Lists keep append order and duplicates.
// An address entry has no prefix; a problem entry is one blank and the row.
struct TDiagnosticsTotals
{
    int32_t RecordersTotal = 0;
    int32_t RecordersFailed = 0;
    QStringList FailedRecorders;

    int32_t DeviceRows = 0;
    int32_t DeviceErrors = 0;
    int32_t LowQuality = 0;
    int32_t LowVoltage = 0;
    int32_t ExternalFailures = 0;
    int32_t OldFirmware = 0;

    int32_t ChannelRows = 0;
    int32_t ChannelErrors = 0;
    int32_t ChannelFailures = 0;
    int32_t ChannelWrong = 0;

    QStringList ProblemDevices;
    QStringList OldFirmwareDevices;
    QStringList LowVoltageDevices;
    QStringList ProblemChannels;
};

// 1-based start columns of the device table's fields, learned from header
// titles and carried from one recorder's table to the next within a run.
struct TDeviceColumns
{
    int32_t QualityColumn = 0;
    int32_t VersionColumn = 0;
    int32_t VccColumn = 0;
};

// Reads the device poll table (local copy of "opros.out"). Throws
// ConversionError when a threshold text that a row needs does not convert,
// IoError when reading fails. A file that cannot be opened adds no rows.
void ReadDeviceFile(const QString &fileName, const QString &address, TDeviceColumns &columns,
                    const QString &qualityThresholdText, const QString &minVoltageText,
                    TDiagnosticsTotals &totals);

// Reads the channel state table (local copy of "cs.out"). Throws IoError when
// reading fails. A file that cannot be opened adds no rows.
void ReadChannelFile(const QString &fileName, const QString &address, TDiagnosticsTotals &totals);
