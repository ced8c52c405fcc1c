#pragma once

// Figures of this process for the benchmarks (header only; bench/common is
// not a program of its own).
#include <QByteArray>
#include <QFile>
#include <cstring>
#include <ctime>

// CPU seconds of this process: on a shared machine the wall time also holds
// the time others had the processor.
inline double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// A memory figure of this process from /proc/self/status ("VmHWM:",
// "VmRSS:"), in MiB; -1 when it cannot be read.
inline double statusMiB(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qsizetype(std::strlen(key))).trimmed().split(' ').first().toDouble() / 1024;
    return -1;
}
