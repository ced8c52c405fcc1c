#include "WaitUntil.h"

#include "CaseBound.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs, std::source_location where)
{
    const auto outer = CaseBound::enterWait(where);
    QElapsedTimer t;
    t.start();
    bool held = done();
    while (!held && t.elapsed() <= timeoutMs) {
        runEventLoop(20);
        held = done();
    }
    CaseBound::leaveWait(outer);
    return held;
}

bool waitForTicks(const QTimer &timer, int ticks, int timeoutMs, std::source_location where)
{
    int fired = 0;
    const QMetaObject::Connection counting = QObject::connect(&timer, &QTimer::timeout, [&fired] { ++fired; });
    const bool done = waitUntil([&] { return fired >= ticks; }, timeoutMs, where);
    QObject::disconnect(counting);
    return done;
}
