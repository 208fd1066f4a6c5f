#pragma once

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

// Waits with the event loop running. QTest::qWait and QTest::qWaitFor sleep 10 ms between
// rounds of events, and the web engine needs dozens of rounds for each answer from the
// page, so under them a script's result takes about 300 ms instead of a few.

// Runs events until the predicate holds or the time is up; true when it holds. The
// predicate may itself wait (run a script on the page): it is never entered twice.
template <typename Predicate> bool WaitUntil(Predicate predicate, int timeoutMs) {
    if (predicate())
        return true;
    const QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    QTimer round;
    round.setSingleShot(true);
    round.setInterval(1);
    bool met = false;
    QObject::connect(&round, &QTimer::timeout, &loop, [&] {
        met = predicate();
        if (met || deadline.hasExpired())
            loop.quit();
        else
            round.start();
    });
    round.start();
    loop.exec();
    return met;
}

// Runs events for the given time: for a test that shows something does not happen.
inline void RunEventsFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}
