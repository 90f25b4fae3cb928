#pragma once

#include <QStringList>

class QTextStream;

// zentar-batch: the diagnostics and update runs of the window without a
// window, for scheduled work. Returns the exit status: 0 every checked
// recorder served without an error line, 1 some recorder failed or logged an
// error, 2 the run could not start or ended by an error.
int runBatch(const QStringList &arguments, QTextStream &out, QTextStream &err);
