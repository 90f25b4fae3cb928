#include "support/RecorderFarm.h"

#include <QFile>
#include <QtTest>

RecorderFarm::RecorderFarm()
    : m_previousDir(QDir::currentPath())
{
    QDir::setCurrent(m_work.path());
}

RecorderFarm::~RecorderFarm()
{
    for (auto &recorder : m_recorders)
        recorder->stop();
    QDir::setCurrent(m_previousDir);
}

SimRecorder &RecorderFarm::add(const QString &address, bool faultyTables)
{
    auto recorder = std::make_unique<SimRecorder>();
    recorder->ftp().setCredentials(QStringLiteral("root"), QString());
    const QString root = m_root.filePath(address);
    if (!recorder->start(QHostAddress(address), root))
        qFatal("cannot start a simulated recorder on %s", qPrintable(address));
    recorder->writeSampleTables(faultyTables);
    m_recorders.push_back(std::move(recorder));
    return *m_recorders.back();
}

QByteArray RecorderFarm::readWorkFile(const QString &name) const
{
    QFile f(file(name));
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}
