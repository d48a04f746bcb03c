// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Waiting in the event loop for what a test expects to happen.

#include <QEventLoop>
#include <QTimer>
#include <functional>

namespace qv7m::test {

// Runs this thread's events until `done` holds, checking every 20 ms; false
// after `seconds`. The thread sleeps in the event loop meanwhile.
inline bool waitFor(const std::function<bool()>& done, int seconds = 10) {
    if (done()) return true;
    QEventLoop loop;
    QTimer check;
    QTimer limit;
    bool reached = false;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (!done()) return;
        reached = true;
        loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    check.start(20);
    limit.setSingleShot(true);
    limit.start(seconds * 1000);
    loop.exec();
    return reached || done();
}

}  // namespace qv7m::test
