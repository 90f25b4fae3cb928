#include "platform/Numbers.h"

#include "platform/Errors.h"

#include <cmath>
#include <QLocale>
#include <limits>

namespace {

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

} // namespace

bool tryStrToInt(const QString &text, int &value)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i < n && text[i] == QLatin1Char('$')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == QLatin1Char('0')
               && (text[i + 1] == QLatin1Char('x') || text[i + 1] == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        return false;
    const qint64 limit = negative ? qint64(std::numeric_limits<int>::max()) + 1
                                  : qint64(std::numeric_limits<int>::max());
    qint64 magnitude = 0;
    for (; i < n; ++i) {
        const int d = hexDigit(text[i]);
        if (d < 0 || d >= base)
            return false;
        magnitude = magnitude * base + d;
        if (magnitude > limit)
            return false;
    }
    value = static_cast<int>(negative ? -magnitude : magnitude);
    return true;
}

int strToInt(const QString &text)
{
    int value = 0;
    if (!tryStrToInt(text, value))
        throw ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

bool tryStrToFloat(const QString &text, double &value)
{
    const QString t = text.trimmed();
    qsizetype i = 0;
    const qsizetype n = t.size();
    auto isDigit = [&](qsizetype k) { return k < n && t[k] >= QLatin1Char('0') && t[k] <= QLatin1Char('9'); };
    if (i < n && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-')))
        ++i;
    bool digits = false;
    while (isDigit(i)) {
        ++i;
        digits = true;
    }
    if (i < n && t[i] == QLatin1Char('.')) {
        ++i;
        while (isDigit(i)) {
            ++i;
            digits = true;
        }
    }
    if (!digits)
        return false;
    if (i < n && (t[i] == QLatin1Char('e') || t[i] == QLatin1Char('E'))) {
        ++i;
        if (i < n && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-')))
            ++i;
        if (!isDigit(i))
            return false;
        while (isDigit(i))
            ++i;
    }
    if (i != n)
        return false;
    // The C locale, never the process locale: "." is the decimal point.
    bool ok = false;
    const double v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

double strToFloat(const QString &text)
{
    double value = 0;
    if (!tryStrToFloat(text, value))
        throw ConversionError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return value;
}
