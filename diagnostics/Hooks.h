#pragma once

#include <QString>

// "/C " + the command with every "$(IP)" (any letter case) replaced by the address.
QString hookCommandLine(const QString &command, const QString &address);

// Starts the command interpreter with the hook's command line and waits for it
// without a limit and without servicing the window. A program that cannot be
// started is passed over silently; the exit code is not read.
// On Windows the interpreter is the one named by ComSpec and gets the command
// line exactly; elsewhere "/bin/sh -c" runs the command that follows "/C ".
void RunHook(const QString &command, const QString &address);

// Replaces the interpreter (tests use a path that cannot start); an empty
// path restores the default.
void setHookInterpreter(const QString &path);

// Sends what a hook writes to its standard output to our standard error
// instead (not on Windows, where a hook has a console of its own): the batch
// front end keeps its standard output for the report's name.
void setHookOutputToStandardError(bool on);
