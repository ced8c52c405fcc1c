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
