#pragma once

#include <QString>

// "/C " + the command with every "$(IP)" (any letter case) replaced by the address.
QString hookCommandLine(const QString &command, const QString &address);

// Starts the command interpreter with the hook's command line and waits for it
// without a limit and without servicing the window. A program that cannot be
// started is passed over silently; the exit code is not read.
void RunHook(const QString &command, const QString &address);
