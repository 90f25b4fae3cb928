#include "update/UpdateLog.h"

#include "platform/Errors.h"
#include "platform/TextCodec.h"
#include "shell/RunView.h"

#include <QFile>
#include <cerrno>

namespace {

// One call is one line of the log: a CR or LF inside the text (a typed
// command, say) is written as its %-code instead of breaking the line.
QByteArray logBytes(const QString &line)
{
    QByteArray bytes = toWin1251(line);
    bytes.replace('\r', "%0D");
    bytes.replace('\n', "%0A");
    bytes.append("\r\n", 2);
    return bytes;
}

[[noreturn]] void throwLogError()
{
    throw IoError(ioErrorMessage(errno ? errno : EIO));
}

} // namespace

void LogUpdate(UpdateView &view, const QString &line)
{
    const QByteArray bytes = logBytes(line);
    QFile file(QStringLiteral("upload.log"));
    errno = 0;
    // Opened and closed for every line, so each line is on disk when this returns.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        throwLogError();
    errno = 0;
    if (file.write(bytes) != bytes.size())
        throwLogError();
    file.close();
    if (file.error() != QFileDevice::NoError)
        throwLogError();
    view.showLogLine(line);
}
