#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

// Turns a signal-driven operation into a blocking call that keeps the window
// alive: the caller connects completion signals to finish(), starts the
// operation and calls exec(). The inactivity timer restarts on progress().
//
// An operation of several steps keeps one wait: after a step's exec() returned
// Done, resume() lets the next step wait with the same inactivity timer, so
// the time-out counts from the start of the whole operation.
//
// Never call exec() from inside a socket slot: readyRead is not emitted again
// while a slot connected to it re-enters the event loop.
class BlockingWait
{
public:
    enum class Result { Done, Failed, TimedOut, Ending };

    // timeoutSeconds <= 0: no limit. failOnEnding: the application-ending mark
    // ends the wait at once (FTP waits); HTTP waits are still waited for.
    explicit BlockingWait(int timeoutSeconds, bool failOnEnding = true);
    BlockingWait(const BlockingWait &) = delete;
    BlockingWait &operator=(const BlockingWait &) = delete;

    void finish(bool ok);
    void progress();
    bool finished() const { return m_finished; }
    // Clears a Done or Failed outcome so that exec() waits again; the
    // inactivity timer goes on running from where it was.
    void resume();

    Result exec();

private:
    QEventLoop m_loop;
    QTimer m_timer;
    QTimer m_endingPoll;
    int m_timeoutMs;
    bool m_failOnEnding;
    bool m_started = false;
    bool m_finished = false;
    bool m_ok = false;
    bool m_timedOut = false;
};
