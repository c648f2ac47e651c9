#include "ProcessExit.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

namespace quilla {

int endProcess(int code)
{
#ifdef _WIN32
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), UINT(code));
#endif
    return code;
}

} // namespace quilla
