#include "update/UploadEntry.h"

QString uploadDisplayLine(const TUploadEntry &entry)
{
    return entry.LocalName + QStringLiteral("  -->  ") + entry.ServerPath + entry.ServerName;
}
