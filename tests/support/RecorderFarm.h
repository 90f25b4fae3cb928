#pragma once

#include "tools/SimRecorder.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <vector>

// Simulated recorders on loopback addresses for one test, each over a folder
// of its own, and a working directory the test runs in (reports, logs and
// fetched tables land there). Everything stops and goes when it is destroyed.
class RecorderFarm
{
public:
    RecorderFarm();
    ~RecorderFarm();

    // Starts a recorder on address (ports 21 and 80) with the user "root",
    // an empty password and the sample poll tables. Fails the test if it cannot listen.
    SimRecorder &add(const QString &address, bool faultyTables = false);
    SimRecorder &recorder(int index) { return *m_recorders.at(size_t(index)); }
    QString workDir() const { return m_work.path(); }
    QString file(const QString &name) const { return m_work.filePath(name); }
    QByteArray readWorkFile(const QString &name) const;

private:
    QTemporaryDir m_root;
    QTemporaryDir m_work;
    QString m_previousDir;
    std::vector<std::unique_ptr<SimRecorder>> m_recorders;
};
