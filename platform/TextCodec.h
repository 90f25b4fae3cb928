#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class QIODevice;

// Windows-1251 is the code page of every file and every name on the wire.
// The mapping is a bijection over all 256 byte values (the one unassigned
// byte, 0x98, maps to U+0098), so bytes read and written back never change.
// A character outside the code page is written as '?'.
QString fromWin1251(QByteArrayView bytes);
QByteArray toWin1251(const QString &text);

// Removes the characters with codes 0 to 32 from both ends.
QString trimControls(const QString &text);
QByteArray trimControls(const QByteArray &bytes);

// Reads text lines: a line ends at LF or CR LF (the end is not part of it),
// the byte 26 ends the file, and a line may be of any length.
class LineReader
{
public:
    explicit LineReader(QIODevice &device);
    // False at the end of the text. Throws IoError when reading fails.
    bool readLine(QByteArray &line);

private:
    bool fill();

    QIODevice &m_device;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_atEnd = false;
};

// Writes text lines in Windows-1251, each ending in CR LF.
// Throws IoError (with the operator's message) when a write fails.
class LineWriter
{
public:
    explicit LineWriter(QIODevice &device);
    void writeLine(const QString &line);
    void writeRawLine(const QByteArray &bytes);

private:
    QIODevice &m_device;
};

// The message of a failed file operation, in the words the operator knows
// ("File access denied", "File not found", "Disk full"...).
QString ioErrorMessage(int posixErrno);
