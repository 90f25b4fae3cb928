#include "update/UpdateRun.h"

#include "platform/Dialogs.h"
#include "platform/Errors.h"
#include "platform/FtpClient.h"
#include "platform/HttpClient.h"
#include "platform/TextCodec.h"
#include "shell/RunFrame.h"
#include "update/UpdateLog.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <cerrno>

namespace {

const QString kExecute = QStringLiteral("/cgi-bin/execute?");
const QString kRule = QString(55, QLatin1Char('-'));

// A recorder command request and its two possible log lines.
struct CommandRequest
{
    QString path;
    QString waitingText;  // empty: status panel 1 is left as it is
    QString doneLine;
    QString failedLine;
};

// Packed DOS date and time (local time): only tells that the file exists.
int32_t dosDateTime(const QDateTime &time)
{
    const QDate d = time.date();
    const QTime t = time.time();
    if (d.year() < 1980)
        return (1 << 21) | (1 << 16);
    const quint32 packed = (quint32(d.year() - 1980) << 25) | (quint32(d.month()) << 21)
        | (quint32(d.day()) << 16) | (quint32(t.hour()) << 11) | (quint32(t.minute()) << 5)
        | quint32(t.second() / 2);
    return static_cast<int32_t>(packed);
}

// Measures every upload entry. False (after the "Error" box) when a file is
// missing; throws IoError when one exists but cannot be opened.
bool measureUploads(UpdateView &view)
{
    for (int i = 0; i < view.uploadCount(); ++i) {
        TUploadEntry &entry = view.uploadEntry(i);
        const QFileInfo info(entry.LocalName);
        if (entry.LocalName.isEmpty() || !info.exists() || info.isDir()) {
            dialogs().message(QStringLiteral("Error"), QStringLiteral("Файл для передачи не найден"));
            return false;
        }
        entry.LocalAge = dosDateTime(info.lastModified());
        // Opened for reading only: a file that may be read but not written can still be sent.
        QFile file(entry.LocalName);
        errno = 0;
        if (!file.open(QIODevice::ReadOnly))
            throw IoError(ioErrorMessage(errno ? errno : EIO));
        entry.LocalSize = clampFileSize(file.size());
    }
    return true;
}

class UpdateRun
{
public:
    explicit UpdateRun(UpdateView &view)
        : m_view(view), m_ftp(view.ftp()), m_http(view.http())
    {
    }

    void run();

private:
    void serveRecorder(int row);
    void uploadEntry(int row, const TUploadEntry &entry);
    void request(int row, const CommandRequest &req);
    void changeDirectory(const TUploadEntry &entry);
    QString pollPath(const QString &action) const;
    void log(const QString &line) { LogUpdate(m_view, line); }

    UpdateView &m_view;
    FtpClient &m_ftp;
    HttpClient &m_http;
    QString m_encodedCommand;
};

void UpdateRun::run()
{
    if (m_view.commandOn())
        m_encodedCommand = QString(m_view.commandText()).replace(QLatin1Char(' '), QStringLiteral("%20"));
    if (beginRun(m_view) == 0)
        return;
    if (!measureUploads(m_view))
        return;

    log(kRule);
    log(QStringLiteral("Начало работы"));
    log(kRule);

    forEachCheckedRow(m_view, [this](int row) { serveRecorder(row); });
    finishRun(m_view);
}

void UpdateRun::serveRecorder(int row)
{
    m_view.setStatusText(0, m_view.rowText(row));
    log(QStringLiteral("Обработка ") + m_view.rowText(row));
    const int timeout = configureFtp(m_view, m_view.rowText(row));
    // The web server gets the same patience as the FTP server, so a hung one cannot hold the run.
    m_http.setTimeout(timeout);

    m_view.setStatusText(1, QStringLiteral("Попытка соединения..."));
    if (!m_ftp.connectAndLogin()) {
        log(QStringLiteral(" ERROR: Не могу подключиться к ") + m_view.rowText(row));
    } else {
        m_ftp.typeBinary();
        if (m_view.pollMode() == 2) {
            request(row, {pollPath(QStringLiteral("stop")), QStringLiteral("Попытка остановки опроса..."),
                          QStringLiteral(" INFO: Опрос остановлен"),
                          QStringLiteral(" ERROR: Не могу остановить программу опроса")});
        }
        for (int i = 0; i < m_view.uploadCount(); ++i)
            uploadEntry(row, m_view.uploadEntry(i));
        if (m_view.commandOn()) {
            // A fixed pause for the recorder to settle; the window is deliberately not serviced.
            QThread::msleep(1000);
            request(row, {kExecute + m_encodedCommand, QString(), QStringLiteral(" INFO: Команда выполнена"),
                          QStringLiteral(" ERROR: Не могу выполнить команду: ") + m_encodedCommand});
        }
        const int mode = m_view.pollMode();
        if (mode == 2) {
            request(row, {pollPath(QStringLiteral("start")), QStringLiteral("Ожидание ответа на запрос..."),
                          QStringLiteral(" INFO: Опрос запущен"),
                          QStringLiteral(" ERROR: Не могу запустить программу опроса")});
        } else if (mode == 1) {
            request(row, {pollPath(QStringLiteral("restart")), QStringLiteral("Ожидание ответа на запрос..."),
                          QStringLiteral(" INFO: Опрос перезагружен"),
                          QStringLiteral(" ERROR: Не могу перезапустить программу опроса")});
        }
    }
    m_view.setStatusText(1, QStringLiteral("Отключение..."));
    m_ftp.quit();
}

void UpdateRun::changeDirectory(const TUploadEntry &entry)
{
    // Its failure goes unnoticed: the next command works in the current directory.
    m_view.setStatusText(1, QStringLiteral("Меняю текущий каталог..."));
    m_ftp.setHostDirName(entry.ServerPath);
    m_ftp.changeDirectory();
}

void UpdateRun::uploadEntry(int row, const TUploadEntry &entry)
{
    if (m_view.checkSize()) {
        changeDirectory(entry);
        m_view.setStatusText(1, QStringLiteral("Определяю размер файла..."));
        m_ftp.setHostFileName(entry.ServerName);
        if (m_ftp.size() && m_ftp.sizeResult() == entry.LocalSize) {
            log(QStringLiteral(" INFO: Файл ") + entry.ServerName + QStringLiteral(" загружать не надо"));
            return;
        }
    }
    if (m_view.deleteFirst()) {
        changeDirectory(entry);
        m_view.setStatusText(1, QStringLiteral("Удаляю файл..."));
        m_ftp.setHostFileName(entry.ServerName);
        if (!m_ftp.deleteFile())
            log(QStringLiteral(" ERROR: Не могу удалить файл"));
    }
    changeDirectory(entry);
    m_ftp.setLocalFileName(entry.LocalName);
    m_view.setStatusText(1, QStringLiteral("Запись файла ") + entry.ServerName + QStringLiteral(" ..."));
    m_view.setCurrentFileSize(entry.LocalSize);
    m_ftp.setHostFileName(entry.ServerName);
    if (m_ftp.put())
        log(QStringLiteral(" INFO: Файл ") + entry.ServerName + QStringLiteral(" выгружен"));
    else
        log(QStringLiteral(" ERROR: Не могу выгрузить файл"));

    if (entry.DoChmod) {
        request(row, {kExecute + QStringLiteral("/bin/chmod%20a+x%20") + entry.ServerPath + entry.ServerName,
                      QStringLiteral("Ожидание ответа на запрос chmod..."), QStringLiteral(" INFO: chmod выполнен"),
                      QStringLiteral(" ERROR: Не могу выполнить chmod")});
    }
}

QString UpdateRun::pollPath(const QString &action) const
{
    QString path = kExecute + QStringLiteral("/mnt/dos/bin/opd%20") + action;
    if (action != QLatin1String("stop") && m_view.pollSwitchC())
        path += QStringLiteral("%20-c");
    return path;
}

void UpdateRun::request(int row, const CommandRequest &req)
{
    if (!req.waitingText.isEmpty())
        m_view.setStatusText(1, req.waitingText);
    const bool done = m_http.get(m_view.rowText(row), req.path);
    log(done ? req.doneLine : req.failedLine);
}

} // namespace

void RunSoftwareUpdate(UpdateView &view)
{
    UpdateRun(view).run();
}
