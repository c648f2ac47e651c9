#pragma once

#include <QtGlobal>

namespace quilla {

// What this process has used so far: the most memory it held at once, and its
// processor time. Measures for the tests and benchmarks that bound the readers.
struct ProcessUsage
{
    qint64 peakBytes = 0;  // peak resident set (Linux) or working set (Windows)
    double cpuSeconds = 0; // user and system time
};

ProcessUsage ownUsage();

} // namespace quilla
