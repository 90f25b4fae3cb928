#include "diagnostics/Hooks.h"

#include <QProcess>

#ifdef Q_OS_WIN
#include <string>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

const QString kCommandPrefix = QStringLiteral("/C ");

QString g_interpreter;
bool g_outputToStandardError = false;

QString interpreter()
{
    if (!g_interpreter.isEmpty())
        return g_interpreter;
#ifdef Q_OS_WIN
    // The interpreter's place differs from machine to machine; ComSpec names it.
    const QString comSpec = qEnvironmentVariable("ComSpec");
    return comSpec.isEmpty() ? QStringLiteral("cmd.exe") : comSpec;
#else
    return QStringLiteral("/bin/sh");
#endif
}

} // namespace

QString hookCommandLine(const QString &command, const QString &address)
{
    QString line = kCommandPrefix + command;
    line.replace(QStringLiteral("$(IP)"), address, Qt::CaseInsensitive);
    return line;
}

void setHookInterpreter(const QString &path)
{
    g_interpreter = path;
}

void setHookOutputToStandardError(bool on)
{
    g_outputToStandardError = on;
}

void RunHook(const QString &command, const QString &address)
{
    const QString line = hookCommandLine(command, address);

    QProcess process;
    // The hook works in our current directory with our environment (both
    // QProcess defaults) and talks to the operator through our console, so
    // nothing of its output piles up in a pipe.
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.setProgram(interpreter());
#ifdef Q_OS_WIN
    // The interpreter gets exactly "/C ..." as its command line, in its own
    // console window that does not take the focus from ours. The modifier
    // runs inside start(), while the buffer lives.
    std::wstring commandLine = line.toStdWString();
    process.setCreateProcessArgumentsModifier([&commandLine](QProcess::CreateProcessArguments *args) {
        args->arguments = commandLine.data();
        args->flags = (args->flags & ~DWORD(CREATE_NO_WINDOW)) | CREATE_DEFAULT_ERROR_MODE;
        args->inheritHandles = false;
        args->startupInfo->dwFlags = STARTF_USESHOWWINDOW;
        args->startupInfo->wShowWindow = SW_SHOWNOACTIVATE;
        args->startupInfo->hStdInput = nullptr;
        args->startupInfo->hStdOutput = nullptr;
        args->startupInfo->hStdError = nullptr;
    });
#else
    process.setArguments({QStringLiteral("-c"), line.mid(kCommandPrefix.size())});
    if (g_outputToStandardError)
        process.setChildProcessModifier([] { ::dup2(STDERR_FILENO, STDOUT_FILENO); });
#endif
    process.start();

    // Deliberately no event loop and no limit: the hook may be working on the
    // tables just fetched or on the report just written, so the run must not
    // go on (nor any handler of the window run in between) until it has ended.
    // A program that could not start returns false here at once; its exit
    // code is of no interest either way.
    process.waitForFinished(-1);
}
