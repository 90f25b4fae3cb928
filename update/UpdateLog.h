#pragma once

#include <QString>

class UpdateView;

// Appends the line and CR LF to "upload.log" in the current directory (opened
// and closed per line, created when missing), then shows it in the view; a CR
// or LF in the text appears as "%0D" or "%0A" in both, so a call stays one line.
// Throws IoError when the file cannot be written; the line is then not shown.
void LogUpdate(UpdateView &view, const QString &line);
