#include "ProcessUsage.h"

#include <QFile>

#ifdef Q_OS_WIN
// GetProcessMemoryInfo from kernel32 itself: no psapi.dll to link.
#define PSAPI_VERSION 2
#include <windows.h>
// After windows.h, whose types it uses.
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

namespace quilla {

#ifdef Q_OS_WIN

ProcessUsage ownUsage()
{
    ProcessUsage usage;
    PROCESS_MEMORY_COUNTERS memory = {};
    if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory))
        usage.peakBytes = qint64(memory.PeakWorkingSetSize);
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        const auto seconds = [](const FILETIME &t) {
            return double((quint64(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7; // 100 ns units
        };
        usage.cpuSeconds = seconds(kernel) + seconds(user);
    }
    return usage;
}

#else

ProcessUsage ownUsage()
{
    ProcessUsage usage;
    rusage self{};
    if (getrusage(RUSAGE_SELF, &self) == 0) {
        usage.cpuSeconds = double(self.ru_utime.tv_sec + self.ru_stime.tv_sec) +
                           double(self.ru_utime.tv_usec + self.ru_stime.tv_usec) / 1e6;
        usage.peakBytes = qint64(self.ru_maxrss) * 1024;
    }
    // Linux carries the peak of the process that started this one over an exec into
    // ru_maxrss; the high-water mark of this program's own memory is VmHWM.
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                usage.peakBytes = line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return usage;
}

#endif

} // namespace quilla
