// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <vector>

// Measuring helpers shared by the benchmarks.

double median(std::vector<double> values);
// The wall time of `work` in milliseconds.
double milliseconds(const std::function<void()> &work);
// The peak resident memory of the process in MiB, where the system tells it.
double peakMemoryMiB();
// The page faults the process has taken so far, where the system tells them.
long pageFaults();
// Prints the median, least and most of `runs` (milliseconds).
void report(const char *what, const std::vector<double> &runs);
