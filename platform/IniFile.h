#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

// An INI file held in memory. Reading follows the Windows profile functions
// that existing settings files were written for: section and key names match
// without regard to case, the first of duplicates wins, blanks around names
// and values do not count, and a value is cut to 2047 characters. Writing
// touches only the lines it must; save() replaces the file in one step.
class IniFile
{
public:
    // Reads the file (Windows-1251, or UTF-8 or UTF-16 after a byte-order
    // mark; lines ending in LF or CR LF). A missing file reads as empty;
    // nothing is created.
    explicit IniFile(const QString &fileName);

    const QString &fileName() const { return m_fileName; }

    QString readString(const QString &section, const QString &key, const QString &defaultValue) const;
    // Missing, empty or not a whole number: the default.
    int readInteger(const QString &section, const QString &key, int defaultValue) const;
    // Read as an integer with the default 1 or 0; anything but 0 is true.
    bool readBool(const QString &section, const QString &key, bool defaultValue) const;
    bool sectionExists(const QString &section) const;

    // Overwrites the first occurrence of the key, else appends it after the
    // last key of its section, else appends a new section at the end.
    void writeString(const QString &section, const QString &key, const QString &value);
    void writeInteger(const QString &section, const QString &key, int value);
    void writeBool(const QString &section, const QString &key, bool value);
    // Removes the header, keys and blank lines of every section of that name;
    // comment lines stay where they were.
    void eraseSection(const QString &section);

    // Windows-1251 bytes, CR LF line ends.
    QByteArray toBytes() const;
    // Replaces the file atomically. Throws AppError "Unable to write to %s"
    // (the name as passed); the old file then stays as it was.
    void save() const;

private:
    struct Line
    {
        QString text;
        QString key; // folded name; empty unless isKey
        bool isKey = false;
        bool isBlank = false;
    };
    struct Section
    {
        QString header;
        QString name; // folded
        QList<Line> lines;
        QHash<QString, qsizetype> keys; // first line of each key
        qsizetype lastKey = -1;
    };

    void parse(const QByteArray &bytes);
    void addLine(const QString &text);
    void reindexSections();
    const Line *findKey(const QString &section, const QString &key) const;

    QString m_fileName;
    QStringList m_preamble; // lines before the first section
    std::vector<Section> m_sections;
    QHash<QString, std::size_t> m_sectionIndex; // first section of each name
    bool m_unreadable = false;
};
