#include "platform/TextCodec.h"

#include "platform/Errors.h"

#include <QFileDevice>
#include <QHash>
#include <cerrno>

namespace {

// Code points of the bytes 0x80 to 0xBF; 0xC0 to 0xFF are U+0410 to U+044F.
constexpr char16_t kHigh[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

char16_t byteToUnicode(unsigned char b)
{
    if (b < 0x80)
        return b;
    if (b >= 0xC0)
        return char16_t(0x0410 + (b - 0xC0));
    return kHigh[b - 0x80];
}

const QHash<char16_t, char> &reverseTable()
{
    static const QHash<char16_t, char> table = [] {
        QHash<char16_t, char> t;
        for (int b = 0x80; b < 0x100; ++b)
            t.insert(byteToUnicode(static_cast<unsigned char>(b)), static_cast<char>(b));
        return t;
    }();
    return table;
}

bool isControlOrBlank(char16_t c)
{
    return c <= 32;
}

} // namespace

QString fromWin1251(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = QChar(byteToUnicode(static_cast<unsigned char>(bytes[i])));
    return text;
}

QByteArray toWin1251(const QString &text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    const auto &table = reverseTable();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80)
            bytes[i] = static_cast<char>(c);
        else
            bytes[i] = table.value(c, '?');
    }
    return bytes;
}

QString trimControls(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isControlOrBlank(text[begin].unicode()))
        ++begin;
    while (end > begin && isControlOrBlank(text[end - 1].unicode()))
        --end;
    return text.mid(begin, end - begin);
}

QByteArray trimControls(const QByteArray &bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && static_cast<unsigned char>(bytes[begin]) <= 32)
        ++begin;
    while (end > begin && static_cast<unsigned char>(bytes[end - 1]) <= 32)
        --end;
    return bytes.mid(begin, end - begin);
}

LineReader::LineReader(QIODevice &device)
    : m_device(device)
{
}

bool LineReader::fill()
{
    if (m_atEnd)
        return false;
    m_buffer.remove(0, m_pos);
    m_pos = 0;
    const qsizetype old = m_buffer.size();
    constexpr qsizetype kChunk = 256 * 1024;
    m_buffer.resize(old + kChunk);
    const qint64 got = m_device.read(m_buffer.data() + old, kChunk);
    if (got < 0) {
        m_buffer.resize(old);
        const auto *file = qobject_cast<QFileDevice *>(&m_device);
        throw IoError(file ? ioErrorMessage(EIO) : m_device.errorString());
    }
    m_buffer.resize(old + got);
    if (got == 0) {
        m_atEnd = true;
        return false;
    }
    // Code 26 ends the text: what follows it is never seen.
    const qsizetype eof = m_buffer.indexOf('\x1a', old);
    if (eof >= 0) {
        m_buffer.truncate(eof);
        m_atEnd = true;
    }
    return true;
}

bool LineReader::readLine(QByteArray &line)
{
    qsizetype searchFrom = m_pos;
    for (;;) {
        const qsizetype lf = m_buffer.indexOf('\n', searchFrom);
        if (lf >= 0) {
            qsizetype end = lf;
            if (end > m_pos && m_buffer[end - 1] == '\r')
                --end;
            line = m_buffer.mid(m_pos, end - m_pos);
            m_pos = lf + 1;
            return true;
        }
        const qsizetype scanned = m_buffer.size() - m_pos;
        if (!fill()) {
            if (m_pos >= m_buffer.size())
                return false;
            line = m_buffer.mid(m_pos);
            m_pos = m_buffer.size();
            return true;
        }
        searchFrom = m_pos + scanned;
    }
}

LineWriter::LineWriter(QIODevice &device)
    : m_device(device)
{
}

void LineWriter::writeLine(const QString &line)
{
    writeRawLine(toWin1251(line));
}

void LineWriter::writeRawLine(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size() + 2);
    out.append(bytes);
    out.append("\r\n", 2);
    errno = 0;
    if (m_device.write(out) != out.size()) {
        const int err = errno ? errno : EIO;
        throw IoError(ioErrorMessage(err));
    }
}

QString ioErrorMessage(int posixErrno)
{
    switch (posixErrno) {
    case ENOENT:
        return QStringLiteral("File not found");
    case ENOTDIR:
        return QStringLiteral("Path not found");
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return QStringLiteral("File access denied");
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return QStringLiteral("Disk full");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("Too many open files");
    case ENAMETOOLONG:
    case EINVAL:
        return QStringLiteral("Invalid filename");
    default:
        return QStringLiteral("I/O error %1").arg(posixErrno);
    }
}
