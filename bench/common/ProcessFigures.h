#pragma once

// Figures of this process for the benchmarks (header only; bench/common is
// not a program of its own).
#include <QByteArray>
#include <algorithm>
#include <QDir>
#include <QFile>
#include <cstring>
#include <ctime>
#include <unistd.h>

// CPU seconds of this process: on a shared machine the wall time also holds
// the time others had the processor.
inline double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// A memory figure of a process from its /proc status ("VmHWM:", "VmRSS:"),
// in MiB; of this process without `pid`; -1 when it cannot be read.
inline double statusMiB(const char *key, const QString &pid = QStringLiteral("self"))
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qsizetype(std::strlen(key))).trimmed().split(' ').first().toDouble() / 1024;
    return -1;
}

// The sum of a memory figure ("VmHWM:", "VmRSS:") over the processes of the
// process group `group` (an office we launched), in MiB.
inline double groupStatusMiB(int group, const char *key)
{
    double sum = 0;
    const QDir proc(QStringLiteral("/proc"));
    for (const QString &entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const int pid = entry.toInt(&number);
        if (!number || ::getpgid(pid) != group)
            continue;
        sum += std::max(0.0, statusMiB(key, entry));
    }
    return sum;
}
