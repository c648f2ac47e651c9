#pragma once

namespace quilla {

// Ends the program with the given code once main has closed everything it opened.
// On Windows the process ends at once, without the runtime libraries' own clean-up:
// MinGW's C++ runtime can wait there forever for a lock of its thread library after
// another thread used one of Qt's per-thread objects, and a process that never ends
// keeps its window's memory and its files. Elsewhere it returns the code for main.
int endProcess(int code);

} // namespace quilla
