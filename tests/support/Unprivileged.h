#pragma once

#include <functional>

#include <sys/wait.h>
#include <unistd.h>

// Runs check as an ordinary user: root writes to read-only files and folders, so
// under root (as on a build machine) check runs in a child process as "nobody".
// True when check returned true.
inline bool runAsOrdinaryUser(const std::function<bool()> &check)
{
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
}
