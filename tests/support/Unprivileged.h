#pragma once

#include <QTest>

#include <functional>

#ifndef Q_OS_WIN
#include <sys/wait.h>
#include <unistd.h>
#endif

// Windows does not keep files out of a folder for its read-only attribute, and a
// folder's access list is no test's to change: tests of read-only folders skip there.
#ifdef Q_OS_WIN
#define SKIP_WITHOUT_READ_ONLY_FOLDERS() QSKIP("Windows keeps no files out of a read-only folder")
#else
#define SKIP_WITHOUT_READ_ONLY_FOLDERS() (void)0
#endif

// Runs check as an ordinary user: root writes to read-only files and folders, so
// under root (as on a build machine) check runs in a child process as "nobody".
// True when check returned true. Windows has no such root: check runs here.
inline bool runAsOrdinaryUser(const std::function<bool()> &check)
{
#ifdef Q_OS_WIN
    return check();
#else
    if (geteuid() != 0)
        return check();
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
#endif
}
