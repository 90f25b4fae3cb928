#pragma once

// Simulated recorders for the run benchmarks. They live on a thread of their
// own: the client under test waits in nested event loops, and if the servers
// shared its thread every wait would also pay for the server's work.

#include "tools/SimRecorder.h"

#include <QDir>
#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <memory>
#include <vector>

class RecorderThread
{
public:
    RecorderThread()
    {
        m_thread.start();
        m_context.moveToThread(&m_thread);
    }

    ~RecorderThread()
    {
        onServerThread([this] {
            for (auto &recorder : m_recorders)
                recorder->stop();
            m_recorders.clear();
        });
        m_thread.quit();
        m_thread.wait();
    }

    RecorderThread(const RecorderThread &) = delete;
    RecorderThread &operator=(const RecorderThread &) = delete;

    // One recorder per address (ports 21 and 80, user "root", no password),
    // each over its own folder rootDir/<address>. False if one cannot listen.
    bool start(const QStringList &addresses, const QString &rootDir)
    {
        bool ok = true;
        onServerThread([&] {
            for (const QString &address : addresses) {
                auto recorder = std::make_unique<SimRecorder>();
                if (!recorder->start(QHostAddress(address), rootDir + QLatin1Char('/') + address)) {
                    ok = false;
                    return;
                }
                m_roots << recorder->rootDir();
                m_recorders.push_back(std::move(recorder));
            }
        });
        return ok;
    }

    // The local folder that stands for recorder i's file system.
    QString root(int i) const { return m_roots.at(i); }

    // Runs work on the server thread and waits for it.
    template <typename Work>
    void onServerThread(Work &&work)
    {
        QMetaObject::invokeMethod(&m_context, std::forward<Work>(work), Qt::BlockingQueuedConnection);
    }

private:
    QThread m_thread;
    QObject m_context;
    std::vector<std::unique_ptr<SimRecorder>> m_recorders;
    QStringList m_roots;
};
