#include "platform/IniFile.h"

#include "platform/Errors.h"
#include "platform/Numbers.h"
#include "platform/TextCodec.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace {

// The Windows profile functions hand back at most 2047 characters of a value.
constexpr qsizetype kMaxValueLength = 2047;

QString foldName(const QString &name)
{
    return trimControls(name).toCaseFolded();
}

// A line break inside a value would end the line and could start a new key
// or section on the next load.
QString flattenValue(const QString &value)
{
    QString flat = value;
    flat.replace(QLatin1Char('\r'), QLatin1Char(' '));
    flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return flat;
}

// An editor may have saved the file as UTF-8 or UTF-16 with a byte-order
// mark; read as Windows-1251, its first section would be lost. Such a file is
// read in its own encoding, and a save writes it back in Windows-1251.
QString decodeFile(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(QByteArrayView(bytes).sliced(3));
    if (bytes.startsWith("\xFF\xFE"))
        return QStringDecoder(QStringDecoder::Utf16LE)(QByteArrayView(bytes).sliced(2));
    return fromWin1251(bytes);
}

} // namespace

IniFile::IniFile(const QString &fileName)
    : m_fileName(fileName)
{
    if (!QFileInfo::exists(fileName))
        return;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        // Saving over a file we could not read would drop everything in it.
        m_unreadable = true;
        return;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        m_unreadable = true;
        return;
    }
    parse(bytes);
}

void IniFile::parse(const QByteArray &bytes)
{
    const QString text = decodeFile(bytes);
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype lf = text.indexOf(QLatin1Char('\n'), pos);
        const qsizetype next = lf < 0 ? text.size() : lf + 1;
        qsizetype end = lf < 0 ? text.size() : lf;
        if (lf >= 0 && end > pos && text[end - 1] == u'\r')
            --end;
        addLine(text.sliced(pos, end - pos));
        pos = next;
    }
}

void IniFile::addLine(const QString &text)
{
    const QString trimmed = trimControls(text);
    if (trimmed.startsWith(QLatin1Char('['))) {
        const qsizetype close = trimmed.indexOf(QLatin1Char(']'));
        if (close > 0) {
            Section section;
            section.header = text;
            section.name = foldName(trimmed.mid(1, close - 1));
            if (!m_sectionIndex.contains(section.name))
                m_sectionIndex.insert(section.name, m_sections.size());
            m_sections.push_back(std::move(section));
            return;
        }
    }
    if (m_sections.empty()) {
        m_preamble.append(text);
        return;
    }
    Section &section = m_sections.back();
    Line line;
    line.text = text;
    line.isBlank = trimmed.isEmpty();
    const qsizetype eq = trimmed.indexOf(QLatin1Char('='));
    if (!line.isBlank && !trimmed.startsWith(QLatin1Char(';')) && eq >= 0) {
        line.isKey = true;
        line.key = foldName(trimmed.left(eq));
        section.lastKey = section.lines.size();
        if (!section.keys.contains(line.key))
            section.keys.insert(line.key, section.lines.size());
    }
    section.lines.append(line);
}

void IniFile::reindexSections()
{
    m_sectionIndex.clear();
    for (std::size_t i = 0; i < m_sections.size(); ++i) {
        if (!m_sectionIndex.contains(m_sections[i].name))
            m_sectionIndex.insert(m_sections[i].name, i);
    }
}

const IniFile::Line *IniFile::findKey(const QString &section, const QString &key) const
{
    const auto s = m_sectionIndex.constFind(foldName(section));
    if (s == m_sectionIndex.constEnd())
        return nullptr;
    const Section &found = m_sections[*s];
    const auto k = found.keys.constFind(foldName(key));
    if (k == found.keys.constEnd())
        return nullptr;
    return &found.lines[*k];
}

QString IniFile::readString(const QString &section, const QString &key, const QString &defaultValue) const
{
    const Line *line = findKey(section, key);
    if (!line)
        return defaultValue;
    const QString trimmed = trimControls(line->text);
    // A CR inside a line reads as the blank a save would write for it, so a
    // value reads the same before and after the next save.
    return flattenValue(trimControls(trimmed.mid(trimmed.indexOf(QLatin1Char('=')) + 1)))
        .left(kMaxValueLength);
}

int IniFile::readInteger(const QString &section, const QString &key, int defaultValue) const
{
    const QString text = readString(section, key, QString());
    int value = 0;
    if (text.isEmpty() || !tryStrToInt(text, value))
        return defaultValue;
    return value;
}

bool IniFile::readBool(const QString &section, const QString &key, bool defaultValue) const
{
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool IniFile::sectionExists(const QString &section) const
{
    return m_sectionIndex.contains(foldName(section));
}

void IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    const QString keyName = trimControls(key);
    const QString flat = flattenValue(value);
    const QString keyFold = foldName(key);
    const auto s = m_sectionIndex.constFind(foldName(section));
    if (s != m_sectionIndex.constEnd()) {
        Section &found = m_sections[*s];
        const auto k = found.keys.constFind(keyFold);
        if (k != found.keys.constEnd()) {
            // Keep the name as the file spells it.
            Line &line = found.lines[*k];
            const QString trimmed = trimControls(line.text);
            line.text = trimControls(trimmed.left(trimmed.indexOf(QLatin1Char('='))))
                + QLatin1Char('=') + flat;
            return;
        }
        Line line;
        line.text = keyName + QLatin1Char('=') + flat;
        line.isKey = true;
        line.key = keyFold;
        // Only blank and comment lines follow the last key, so no key moves.
        const qsizetype at = found.lastKey + 1;
        found.lines.insert(at, line);
        found.keys.insert(keyFold, at);
        found.lastKey = at;
        return;
    }

    // A blank line keeps a new section apart from what comes before it.
    const QString *last = nullptr;
    if (!m_sections.empty()) {
        const Section &tail = m_sections.back();
        last = tail.lines.isEmpty() ? &tail.header : &tail.lines.last().text;
    } else if (!m_preamble.isEmpty()) {
        last = &m_preamble.last();
    }
    if (last && !trimControls(*last).isEmpty()) {
        if (m_sections.empty()) {
            m_preamble.append(QString());
        } else {
            Line blank;
            blank.isBlank = true;
            m_sections.back().lines.append(blank);
        }
    }
    Section added;
    added.header = QLatin1Char('[') + trimControls(section) + QLatin1Char(']');
    added.name = foldName(section);
    Line line;
    line.text = keyName + QLatin1Char('=') + flat;
    line.isKey = true;
    line.key = keyFold;
    added.lines.append(line);
    added.keys.insert(keyFold, 0);
    added.lastKey = 0;
    m_sectionIndex.insert(added.name, m_sections.size());
    m_sections.push_back(std::move(added));
}

void IniFile::writeInteger(const QString &section, const QString &key, int value)
{
    writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString &section, const QString &key, bool value)
{
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniFile::eraseSection(const QString &section)
{
    const QString fold = foldName(section);
    if (!m_sectionIndex.contains(fold))
        return;
    // Every section of the name goes, so a later duplicate cannot surface
    // with stale keys once the first is gone.
    std::vector<Section> kept;
    kept.reserve(m_sections.size());
    for (Section &s : m_sections) {
        if (s.name != fold) {
            kept.push_back(std::move(s));
            continue;
        }
        for (const Line &line : s.lines) {
            if (line.isKey || line.isBlank)
                continue;
            // A comment stays where it was: it now ends whatever came before.
            if (kept.empty()) {
                m_preamble.append(line.text);
            } else {
                kept.back().lines.append(line);
            }
        }
    }
    m_sections = std::move(kept);
    reindexSections();
}

QByteArray IniFile::toBytes() const
{
    QByteArray bytes;
    const auto put = [&bytes](const QString &text) {
        bytes.append(toWin1251(text));
        bytes.append("\r\n", 2);
    };
    for (const QString &text : m_preamble)
        put(text);
    for (const Section &s : m_sections) {
        put(s.header);
        for (const Line &line : s.lines)
            put(line.text);
    }
    return bytes;
}

void IniFile::save() const
{
    const QByteArray bytes = toBytes();
    // A temporary file beside the target, renamed over it on commit: a failed
    // write never leaves a half-written settings file. Unbuffered, because
    // commit() does not notice a write that failed while flushing its buffer
    // and would put the cut-short file in place.
    QSaveFile file(m_fileName);
    const bool written = !m_unreadable && file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)
        && file.write(bytes) == bytes.size() && file.flush() && file.commit();
    if (!written)
        throw AppError(QStringLiteral("Unable to write to %1").arg(m_fileName));
}
