#include "platform/BlockingWait.h"

#include "platform/AppState.h"


BlockingWait::BlockingWait(int timeoutSeconds, bool failOnEnding)
    : m_timeoutMs(timeoutSeconds > 0 ? timeoutSeconds * 1000 : 0)
    , m_failOnEnding(failOnEnding)
{
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, &m_loop, [this] {
        m_timedOut = true;
        m_loop.quit();
    });
    // The ending mark is a plain flag; look at it often enough that a closed
    // window ends an FTP wait without a noticeable delay.
    m_endingPoll.setInterval(50);
    QObject::connect(&m_endingPoll, &QTimer::timeout, &m_loop, [this] {
        if (m_failOnEnding && applicationEnding())
            m_loop.quit();
    });
}

void BlockingWait::finish(bool ok)
{
    if (m_finished)
        return;
    m_finished = true;
    m_ok = ok;
    m_loop.quit();
}

void BlockingWait::progress()
{
    if (m_timeoutMs > 0 && !m_timedOut)
        m_timer.start(m_timeoutMs);
}

void BlockingWait::resume()
{
    m_finished = false;
    m_ok = false;
}

BlockingWait::Result BlockingWait::exec()
{
    if (m_failOnEnding && applicationEnding())
        return Result::Ending;
    if (m_finished)
        return m_ok ? Result::Done : Result::Failed;
    if (m_timedOut)
        return Result::TimedOut;
    // The timer is armed once, by the first exec(), and keeps running across
    // resumed steps; progress() restarts it.
    if (m_timeoutMs > 0 && !m_started)
        m_timer.start(m_timeoutMs);
    m_started = true;
    m_endingPoll.start();
    // One exec(): it returns on finish, time-out or the ending mark. Any other
    // return (after QCoreApplication::exit() every exec() returns at once) ends
    // the wait as ending instead of spinning.
    m_loop.exec();
    m_endingPoll.stop();
    if (m_finished) {
        if (!m_ok)
            m_timer.stop();
        return m_ok ? Result::Done : Result::Failed;
    }
    m_timer.stop();
    if (m_timedOut)
        return Result::TimedOut;
    return Result::Ending;
}
