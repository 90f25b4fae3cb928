#pragma once

#include <QString>
#include <array>
#include <cstdint>

// One file of the upload list.
struct TUploadEntry
{
    QString LocalName;    // local path as typed or chosen
    QString ServerPath;   // directory on the recorder, ends with "/" when composed in the editor
    QString ServerName;   // file name on the recorder
    bool DoChmod = false; // "chmod a+x" after the upload
    int32_t LocalSize = 0; // measured at the start of every update run
    int32_t LocalAge = 0;  // packed DOS date and time; tells that the file exists
};

constexpr int kUploadSlots = 16;     // the settings load fills at most this many
constexpr int kUploadAddLimit = 15;  // the editor adds no more than this many
using TUploadList = std::array<TUploadEntry, kUploadSlots>;

// "LocalName  -->  ServerPathServerName", the line of ListBox2.
QString uploadDisplayLine(const TUploadEntry &entry);
