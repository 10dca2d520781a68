// SPDX-License-Identifier: GPL-3.0-or-later
#include "benchsupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double milliseconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

double peakMemoryMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return -1;
}

long pageFaults()
{
#ifdef Q_OS_UNIX
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) == 0)
        return usage.ru_minflt + usage.ru_majflt;
#endif
    return -1;
}

void report(const char *what, const std::vector<double> &runs)
{
    std::printf("%-40s median %8.1f ms   (min %.1f, max %.1f, %zu runs)\n", what, median(runs),
                *std::min_element(runs.begin(), runs.end()), *std::max_element(runs.begin(), runs.end()), runs.size());
}
