#include "WaitUntil.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        runEventLoop(20);
    }
    return true;
}

bool waitForTicks(const QTimer &timer, int ticks, int timeoutMs)
{
    int fired = 0;
    const QMetaObject::Connection counting = QObject::connect(&timer, &QTimer::timeout, [&fired] { ++fired; });
    const bool done = waitUntil([&] { return fired >= ticks; }, timeoutMs);
    QObject::disconnect(counting);
    return done;
}
