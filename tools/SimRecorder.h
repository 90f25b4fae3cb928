#pragma once

#include "tools/SimFtpServer.h"
#include "tools/SimHttpServer.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

// A simulated house recorder: an FTP server over a folder that stands for the
// recorder's file system, and a web server that records "/cgi-bin/execute"
// requests (it never runs them). Both on one address.
class SimRecorder : public QObject
{
    Q_OBJECT
public:
    explicit SimRecorder(QObject *parent = nullptr);

    bool start(const QHostAddress &address, const QString &rootDir, quint16 ftpPort = 21, quint16 httpPort = 80);
    void stop();

    SimFtpServer &ftp() { return m_ftp; }
    SimHttpServer &http() { return m_http; }
    QString rootDir() const { return m_root; }

    // The local path of a file of the recorder ("/var/opros/opros.out").
    QString localPath(const QString &serverPath) const;
    bool writeFile(const QString &serverPath, const QByteArray &bytes);
    QByteArray readFile(const QString &serverPath) const;
    bool hasFile(const QString &serverPath) const;
    // Puts the sample poll tables into /var/opros/.
    void writeSampleTables(bool faulty);

private:
    SimFtpServer m_ftp;
    SimHttpServer m_http;
    QString m_root;
};
