#include "tools/SimRecorder.h"

#include "tools/SampleTables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

SimRecorder::SimRecorder(QObject *parent)
    : QObject(parent)
{
}

bool SimRecorder::start(const QHostAddress &address, const QString &rootDir, quint16 ftpPort, quint16 httpPort)
{
    m_root = QDir(rootDir).absolutePath();
    QDir().mkpath(m_root);
    m_ftp.setRoot(m_root);
    if (!m_ftp.listen(address, ftpPort))
        return false;
    if (!m_http.listen(address, httpPort)) {
        m_ftp.close();
        return false;
    }
    return true;
}

void SimRecorder::stop()
{
    m_ftp.close();
    m_http.close();
}

QString SimRecorder::localPath(const QString &serverPath) const
{
    return QDir::cleanPath(m_root + QLatin1Char('/') + serverPath);
}

bool SimRecorder::writeFile(const QString &serverPath, const QByteArray &bytes)
{
    const QString path = localPath(serverPath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

QByteArray SimRecorder::readFile(const QString &serverPath) const
{
    QFile file(localPath(serverPath));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool SimRecorder::hasFile(const QString &serverPath) const
{
    return QFileInfo(localPath(serverPath)).isFile();
}

void SimRecorder::writeSampleTables(bool faulty)
{
    writeFile(QStringLiteral("/var/opros/opros.out"), sampleDeviceTable(faulty));
    writeFile(QStringLiteral("/var/opros/cs.out"), sampleChannelTable(faulty));
    QDir().mkpath(localPath(QStringLiteral("/mnt/dos/bin")));
}
