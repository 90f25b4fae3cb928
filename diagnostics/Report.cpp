#include "diagnostics/Report.h"

#include "platform/Errors.h"
#include "platform/Shell.h"
#include "platform/TextCodec.h"
#include "shell/RunView.h"

#include <QFile>
#include <QList>
#include <QLocale>
#include <cerrno>
#include <cmath>

namespace {

const ReportClock *g_clock = nullptr;

const ReportClock &currentClock()
{
    if (g_clock)
        return *g_clock;
    static const ReportClock system = systemReportClock();
    return system;
}

QString twoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

QString fourDigits(int value)
{
    return QStringLiteral("%1").arg(value, 4, 10, QLatin1Char('0'));
}

// The run of characters between the hour and the minutes of a time format,
// quoted literals and blanks left out; ":" when there is none.
QString timeSeparatorOf(const QString &format)
{
    qsizetype i = 0;
    const qsizetype n = format.size();
    while (i < n && format[i] != QLatin1Char('h') && format[i] != QLatin1Char('H'))
        ++i;
    while (i < n && (format[i] == QLatin1Char('h') || format[i] == QLatin1Char('H')))
        ++i;
    QString separator;
    bool quoted = false;
    for (; i < n && (quoted || format[i] != QLatin1Char('m')); ++i) {
        if (format[i] == QLatin1Char('\'')) {
            quoted = !quoted;
            continue;
        }
        if (!quoted)
            separator += format[i];
    }
    separator = separator.trimmed();
    return separator.isEmpty() ? QStringLiteral(":") : separator;
}

QString timeStamp(const QDateTime &time, const ReportClock &clock)
{
    const QDate date = time.date();
    const QTime clockTime = time.time();
    const QString &sep = clock.timeSeparator;
    return twoDigits(date.day()) + QLatin1Char('-') + twoDigits(date.month()) + QLatin1Char('-')
        + fourDigits(date.year()) + QLatin1Char(' ') + clock.weekdayName(date.dayOfWeek())
        + QLatin1Char(' ') + twoDigits(clockTime.hour()) + sep + twoDigits(clockTime.minute()) + sep
        + twoDigits(clockTime.second());
}

// c * 100 / t in floating point, a half going to the even neighbour: that is
// what nearbyint does under the default rounding mode, which nothing here changes.
QString percentage(int32_t count, int32_t total)
{
    const double exact = double(count) * 100.0 / double(total);
    return QString::number(static_cast<qint64>(std::nearbyint(exact)));
}

// The report's lines, each already in Windows-1251, without line ends.
class ReportLines
{
public:
    void add(const QString &line) { m_lines.append(toWin1251(line)); }
    void add(const QString &label, int32_t count, int32_t total)
    {
        add(label + QString::number(count) + QStringLiteral(" (") + percentage(count, total)
            + QStringLiteral("%)"));
    }
    void addItems(const QStringList &items, const QString &prefix)
    {
        for (const QString &item : items)
            add(prefix + item);
    }
    void separator() { add(QString(69, QLatin1Char('-'))); }
    void empty() { m_lines.append(QByteArray()); }
    const QList<QByteArray> &lines() const { return m_lines; }

private:
    QList<QByteArray> m_lines;
};

QList<QByteArray> reportLines(const TDiagnosticsTotals &t, const ReportSettings &settings,
                              const QDateTime &time, const ReportClock &clock)
{
    ReportLines r;
    const QString frame(80, QLatin1Char('*'));
    r.add(frame);
    r.add(QStringLiteral("* ОТЧЕТ по работоспособности системы ЗЕНТАР") + QString(36, QLatin1Char(' '))
          + QLatin1Char('*'));
    r.add(frame);
    r.add(QStringLiteral(" Время формирования: ") + timeStamp(time, clock));
    r.empty();
    r.separator();

    r.add(QStringLiteral("Домовые регистраторы:"));
    r.add(QStringLiteral(" Всего: ") + QString::number(t.RecordersTotal));
    if (t.RecordersTotal > 0)
        r.add(QStringLiteral(" Неисправно/нет связи: "), t.RecordersFailed, t.RecordersTotal);
    if (t.RecordersFailed > 0) {
        r.add(QStringLiteral(" Список неисправных:"));
        r.addItems(t.FailedRecorders, QStringLiteral("  "));
    }
    r.empty();
    r.separator();

    if (!settings.devicesOn) {
        r.add(QStringLiteral("Обработка списка устройств отключена"));
    } else {
        r.add(QStringLiteral("Устройства сети ЦУЛ-17:"));
        r.add(QStringLiteral(" Всего: ") + QString::number(t.DeviceRows));
        if (t.DeviceRows > 0) {
            r.add(QStringLiteral(" Неисправно: "), t.DeviceErrors, t.DeviceRows);
            r.add(QStringLiteral(" Низкое качество связи (0<X<") + settings.levelText + QStringLiteral("): "),
                  t.LowQuality, t.DeviceRows);
            r.add(QStringLiteral(" Низкое напряжение питания (0<X<") + settings.vminText
                      + QStringLiteral("): "),
                  t.LowVoltage, t.DeviceRows);
            r.add(QStringLiteral(" Неисправно внешнего оборудования: "), t.ExternalFailures, t.DeviceRows);
            r.add(QStringLiteral(" Старые версии прошивок: "), t.OldFirmware, t.DeviceRows);
        }
        r.empty();
        r.separator();
        r.add(QStringLiteral("Список проблеммного оборудования:"));
        r.addItems(t.ProblemDevices, QStringLiteral(" "));
        // Written whenever a device table was read, even with nothing outdated:
        // the list then holds the addresses alone.
        if (!t.OldFirmwareDevices.isEmpty()) {
            r.empty();
            r.separator();
            r.add(QStringLiteral("Старые версии прошивок:"));
            r.addItems(t.OldFirmwareDevices, QStringLiteral(" "));
        }
        if (t.LowVoltage > 0) {
            r.empty();
            r.separator();
            r.add(QStringLiteral("Низкое напряжение питания:"));
            r.addItems(t.LowVoltageDevices, QStringLiteral(" "));
        }
    }

    r.empty();
    r.separator();

    if (!settings.channelsOn) {
        r.add(QStringLiteral("Обработка данных каналов отключена"));
    } else {
        r.add(QStringLiteral("Информационные каналы TEKVAL:"));
        r.add(QStringLiteral(" Всего: ") + QString::number(t.ChannelRows));
        if (t.ChannelRows > 0) {
            r.add(QStringLiteral(" Нет данных, по причине неиспр. оборудования ЦУЛ-17: "), t.ChannelErrors,
                  t.ChannelRows);
            r.add(QStringLiteral(" Нет данных, по причине неиспр. внешнего оборудования: "), t.ChannelFailures,
                  t.ChannelRows);
            r.add(QStringLiteral(" Некорректные данные (внешнее оборудование): "), t.ChannelWrong,
                  t.ChannelRows);
        }
        r.empty();
        r.separator();
        r.add(QStringLiteral("Список проблеммных каналов:"));
        r.addItems(t.ProblemChannels, QStringLiteral(" "));
    }
    return r.lines();
}

int errnoOf(const QFile &file)
{
    if (errno != 0)
        return errno;
    return file.error() == QFileDevice::PermissionsError ? EACCES : EIO;
}

} // namespace

ReportClock systemReportClock()
{
    ReportClock clock;
    clock.now = [] { return QDateTime::currentDateTime(); };
    // The nominative name, as Windows' regional settings give it: "вторник"
    // in lower case for Russian, "tiistai" rather than the inflected
    // "tiistaina" for Finnish.
    clock.weekdayName = [](int dayOfWeek) {
        return QLocale::system().standaloneDayName(dayOfWeek, QLocale::LongFormat);
    };
    clock.timeSeparator = timeSeparatorOf(QLocale::system().timeFormat(QLocale::LongFormat));
    return clock;
}

void setReportClock(const ReportClock *clock)
{
    g_clock = clock;
}

QString reportFileName(bool dated, const QDateTime &time)
{
    if (!dated)
        return QStringLiteral("report.txt");
    const QDate date = time.date();
    const QTime clockTime = time.time();
    return QStringLiteral("rep") + twoDigits(date.day()) + QLatin1Char('-') + twoDigits(date.month())
        + QLatin1Char('-') + fourDigits(date.year()) + QLatin1Char('_') + twoDigits(clockTime.hour())
        + QLatin1Char('.') + twoDigits(clockTime.minute()) + QLatin1Char('.')
        + twoDigits(clockTime.second()) + QStringLiteral(".txt");
}

QByteArray operabilityReportText(const TDiagnosticsTotals &totals, const ReportSettings &settings,
                                 const QDateTime &time, const ReportClock &clock)
{
    QByteArray text;
    for (const QByteArray &line : reportLines(totals, settings, time, clock)) {
        text.append(line);
        text.append("\r\n", 2);
    }
    return text;
}

void WriteOperabilityReport(DiagnosticsView &view, const TDiagnosticsTotals &totals)
{
    const ReportClock &clock = currentClock();
    const QDateTime time = clock.now();

    ReportSettings settings;
    settings.dated = view.datedReportName();
    settings.devicesOn = view.devicesOn();
    settings.channelsOn = view.channelsOn();
    settings.levelText = view.qualityThresholdText();
    settings.vminText = view.minVoltageText();

    const QString name = reportFileName(settings.dated, time);
    const QList<QByteArray> lines = reportLines(totals, settings, time, clock);

    // Unbuffered: each line reaches the file as it is written, so what was
    // written before a failure stays there.
    QFile file(name);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw IoError(ioErrorMessage(errnoOf(file)));
    LineWriter writer(file);
    for (const QByteArray &line : lines)
        writer.writeRawLine(line);
    errno = 0;
    file.close();
    if (file.error() != QFileDevice::NoError)
        throw IoError(ioErrorMessage(errnoOf(file)));

    // Only a report written and closed completely becomes the last report.
    view.setLastReportName(name);
}

void ShowLastReport(const QString &lastReportName)
{
    if (lastReportName.isEmpty())
        return;
    shell().openDocument(lastReportName);
}
