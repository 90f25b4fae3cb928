#include "shell/RunFrame.h"

#include "platform/Dialogs.h"
#include "platform/FtpClient.h"
#include "platform/Numbers.h"

#include <limits>

int beginRun(RunView &view)
{
    int checked = 0;
    const int rows = view.rowCount();
    for (int row = 0; row < rows; ++row) {
        if (view.rowChecked(row))
            ++checked;
    }
    if (checked == 0) {
        dialogs().message(QStringLiteral("Error"),
                          QStringLiteral("Нет выделенных адресов домовых регистраторов"));
        return 0;
    }
    view.setJobProgress(checked, 0);
    return checked;
}

int configureFtp(RunView &view, const QString &host)
{
    FtpClient &ftp = view.ftp();
    ftp.setUserName(view.ftpUser());
    ftp.setPassword(view.ftpPassword());
    ftp.setPassive(view.ftpPassive());
    const int timeout = strToInt(view.ftpTimeoutText());
    ftp.setTimeout(timeout);
    ftp.setHostName(host);
    return timeout;
}

QString sessionConnectedText()
{
    return QStringLiteral("Подключен");
}

QString sessionClosedText()
{
    return QStringLiteral("Соединение FTP завершено...");
}

void finishRun(RunView &view)
{
    view.setStatusText(0, QStringLiteral("Готово"));
    view.setStatusText(1, QString());
}

int32_t clampFileSize(qint64 size)
{
    if (size > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (size < 0)
        return 0;
    return static_cast<int32_t>(size);
}
