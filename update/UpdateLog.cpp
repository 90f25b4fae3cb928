#include "update/UpdateLog.h"

#include "platform/Errors.h"
#include "platform/TextCodec.h"
#include "shell/RunView.h"

#include <QFile>
#include <cerrno>

namespace {

// One call is one line of the log, in the file and on screen alike: a CR or
// LF inside the text (a typed command, say) is written as its %-code instead
// of breaking the line.
QString oneLine(const QString &line)
{
    QString text = line;
    text.replace(QLatin1Char('\r'), QLatin1String("%0D"));
    text.replace(QLatin1Char('\n'), QLatin1String("%0A"));
    return text;
}

[[noreturn]] void throwLogError()
{
    throw IoError(ioErrorMessage(errno ? errno : EIO));
}

} // namespace

void LogUpdate(UpdateView &view, const QString &line)
{
    const QString shown = oneLine(line);
    const QByteArray bytes = toWin1251(shown) + "\r\n";
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
    view.showLogLine(shown);
}
