#pragma once

#include <QString>

class UpdateView;

// Appends the line and CR LF to "upload.log" in the current directory (opened
// and closed per line, created when missing), then shows it in the view.
// Throws IoError when the file cannot be written; the line is then not shown.
void LogUpdate(UpdateView &view, const QString &line);
