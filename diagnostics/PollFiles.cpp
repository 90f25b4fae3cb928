#include "diagnostics/PollFiles.h"

#include "platform/Numbers.h"
#include "platform/TextCodec.h"

#include <QFile>
#include <charconv>
#include <string_view>

// The tables are Windows-1251, one byte per character, so the readers work on
// the raw bytes of each line: byte positions are character positions, and
// only the rows that go into a list are decoded.

namespace {

using Bytes = std::string_view;

Bytes view(const QByteArray &line)
{
    return Bytes(line.constData(), static_cast<size_t>(line.size()));
}

bool contains(Bytes row, Bytes marker)
{
    return row.find(marker) != Bytes::npos;
}

bool startsWithSeparator(Bytes line)
{
    return line.size() >= 3 && line[0] == '-' && line[1] == '-' && line[2] == '-';
}

bool isBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

Bytes trimmed(Bytes text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isBlankOrControl(text[begin]))
        ++begin;
    while (end > begin && isBlankOrControl(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// The characters at 1-based positions column .. column+width-1, cut at the
// row's end, trimmed. A column below 1 counts as 1.
Bytes field(Bytes row, int32_t column, size_t width)
{
    const size_t start = column < 1 ? 0 : static_cast<size_t>(column) - 1;
    if (start >= row.size())
        return Bytes();
    return trimmed(row.substr(start, width));
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// An optional sign and decimal digits, nothing else, within 32 bits.
bool parseWhole(Bytes text, int32_t &value)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size())
        return false;
    const int64_t limit = negative ? int64_t(INT32_MAX) + 1 : int64_t(INT32_MAX);
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        if (!isDigit(text[i]))
            return false;
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > limit)
            return false;
    }
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

// An optional sign, digits with an optional "." fraction, an optional
// exponent; "." is the decimal point whatever the locale.
bool parseReal(Bytes text, double &value)
{
    size_t i = 0;
    const size_t n = text.size();
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const size_t numberStart = i;
    bool digits = false;
    while (i < n && isDigit(text[i])) {
        ++i;
        digits = true;
    }
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && isDigit(text[i])) {
            ++i;
            digits = true;
        }
    }
    if (!digits)
        return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (i >= n || !isDigit(text[i]))
            return false;
        while (i < n && isDigit(text[i]))
            ++i;
    }
    if (i != n)
        return false;
    // from_chars never looks at the locale; it takes no "+", hence the sign apart.
    double magnitude = 0;
    const auto result = std::from_chars(text.data() + numberStart, text.data() + n, magnitude,
                                        std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != text.data() + n)
        return false;
    value = negative ? -magnitude : magnitude;
    return true;
}

// The operator's threshold texts, converted when a row first needs them: a
// text that no row needs is never looked at, so it cannot fail the run.
class Thresholds
{
public:
    Thresholds(const QString &qualityText, const QString &minVoltageText)
        : m_qualityText(qualityText), m_minVoltageText(minVoltageText) {}

    int32_t quality()
    {
        if (!m_haveQuality) {
            m_quality = strToInt(m_qualityText);
            m_haveQuality = true;
        }
        return m_quality;
    }

    double minVoltage()
    {
        if (!m_haveMinVoltage) {
            m_minVoltage = strToFloat(m_minVoltageText);
            m_haveMinVoltage = true;
        }
        return m_minVoltage;
    }

private:
    const QString &m_qualityText;
    const QString &m_minVoltageText;
    bool m_haveQuality = false;
    bool m_haveMinVoltage = false;
    int32_t m_quality = 0;
    double m_minVoltage = 0;
};

// A row decoded at most once, however many lists it goes into.
class ProblemEntry
{
public:
    explicit ProblemEntry(Bytes row) : m_row(row) {}

    const QString &text()
    {
        if (m_text.isNull()) {
            m_text.reserve(static_cast<qsizetype>(m_row.size()) + 1);
            m_text += QLatin1Char(' ');
            m_text += fromWin1251(QByteArrayView(m_row.data(), static_cast<qsizetype>(m_row.size())));
        }
        return m_text;
    }

private:
    Bytes m_row;
    QString m_text;
};

constexpr size_t kQualityWidth = 3;
constexpr size_t kVersionWidth = 5;
constexpr size_t kVccWidth = 4;

void learnColumns(Bytes line, TDeviceColumns &columns)
{
    const auto learn = [line](Bytes title, int32_t &column) {
        const size_t at = line.find(title);
        if (at != Bytes::npos)
            column = static_cast<int32_t>(at) + 1;
    };
    learn("Quality", columns.QualityColumn);
    learn("Version", columns.VersionColumn);
    learn("Vcc", columns.VccColumn);
}

void classifyDeviceRow(Bytes row, const TDeviceColumns &columns, Thresholds &thresholds,
                       TDiagnosticsTotals &totals)
{
    ProblemEntry entry(row);
    ++totals.DeviceRows;

    if (contains(row, "Failur")) {
        ++totals.ExternalFailures;
        totals.ProblemDevices.append(entry.text());
    }

    if (contains(row, "Error")) {
        ++totals.DeviceErrors;
        totals.ProblemDevices.append(entry.text());
    } else {
        int32_t quality = 0;
        if (parseWhole(field(row, columns.QualityColumn, kQualityWidth), quality) && quality > 0
            && quality < thresholds.quality()) {
            ++totals.LowQuality;
            totals.ProblemDevices.append(entry.text());
        }
    }

    // The two firmware rules read the same field and their ranges do not
    // overlap, so a row counts at most once.
    const bool rpxOrMolt = contains(row, "RPX") || contains(row, "MOLT");
    const bool tsq = contains(row, "TSQ");
    if (rpxOrMolt || tsq) {
        int32_t version = 0;
        if (parseWhole(field(row, columns.VersionColumn, kVersionWidth), version)) {
            const bool outdated = (rpxOrMolt && version >= 5 && version <= 8)
                || (tsq && version >= 0 && version <= 2);
            if (outdated) {
                ++totals.OldFirmware;
                totals.OldFirmwareDevices.append(entry.text());
            }
        }
    }

    double voltage = 0;
    if (!parseReal(field(row, columns.VccColumn, kVccWidth), voltage))
        return;
    const double minimum = thresholds.minVoltage();
    if (voltage > 0 && voltage < minimum) {
        ++totals.LowVoltage;
        totals.LowVoltageDevices.append(entry.text());
    }
}

void classifyChannelRow(Bytes row, TDiagnosticsTotals &totals)
{
    ProblemEntry entry(row);
    ++totals.ChannelRows;
    if (contains(row, "Wrong")) {
        ++totals.ChannelWrong;
        totals.ProblemChannels.append(entry.text());
    }
    if (contains(row, "Error")) {
        ++totals.ChannelErrors;
        totals.ProblemChannels.append(entry.text());
    }
    if (contains(row, "Failur")) {
        ++totals.ChannelFailures;
        totals.ProblemChannels.append(entry.text());
    }
}

} // namespace

// A conversion or read error leaves through the exception; the QFile on the
// stack closes the table on the way out.
void ReadDeviceFile(const QString &fileName, const QString &address, TDeviceColumns &columns,
                    const QString &qualityThresholdText, const QString &minVoltageText,
                    TDiagnosticsTotals &totals)
{
    totals.ProblemDevices.append(address);
    totals.OldFirmwareDevices.append(address);
    totals.LowVoltageDevices.append(address);

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return;

    Thresholds thresholds(qualityThresholdText, minVoltageText);
    LineReader reader(file);
    QByteArray line;
    bool separatorRead = false;
    while (reader.readLine(line)) {
        const Bytes row = view(line);
        if (!separatorRead) {
            // The separator line may carry titles too.
            learnColumns(row, columns);
            separatorRead = startsWithSeparator(row);
            continue;
        }
        // The second separator closes the table; what follows is not ours.
        if (startsWithSeparator(row))
            break;
        classifyDeviceRow(row, columns, thresholds, totals);
    }
    file.close();
}

void ReadChannelFile(const QString &fileName, const QString &address, TDiagnosticsTotals &totals)
{
    totals.ProblemChannels.append(address);

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return;

    LineReader reader(file);
    QByteArray line;
    bool separatorRead = false;
    while (reader.readLine(line)) {
        const Bytes row = trimmed(view(line));
        if (row.empty())
            continue;
        if (!separatorRead) {
            separatorRead = startsWithSeparator(row);
            continue;
        }
        // Unlike the device table, a later "---" line is a row like any other.
        classifyChannelRow(row, totals);
    }
    file.close();
}
