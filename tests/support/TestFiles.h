#pragma once

#include <QByteArray>
#include <QString>
#include <csignal>
#include <sys/resource.h>

// Lowers the size a file of this process may grow to, so that a write fails
// even for root, whom permissions do not stop.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = m_old;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

// Writes the bytes, failing the running test when it cannot.
void writeBytes(const QString &path, const QByteArray &bytes);
// The file's bytes, empty when it cannot be read.
QByteArray readBytes(const QString &path);
