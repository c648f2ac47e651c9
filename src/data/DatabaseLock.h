#pragma once

#include "system/ProcessLock.h"

#include <QString>

namespace quilla {

// One running copy of the program per database file: a lock file beside it
// ("Data.mdb.lock") that the operating system keeps locked for the program's run and
// releases when the process ends however it ends, so that only a living copy refuses
// a start. The file tells who holds it, in the form earlier versions wrote and read
// (process id, program, host), which they still respect. The lock sits
// beside the file's real path, so that a symlink or a folder reached another way
// never gives a second lock on the same file.
class DatabaseLock
{
  public:
    enum class State
    {
        Held,   // this copy holds the lock
        InUse,  // another running copy holds it
        NoLock, // the folder does not allow a lock file (a read-only folder): nothing to guard
    };

    explicit DatabaseLock(const QString &databasePath);
    // The path with every symlink resolved, also for a file not made yet.
    static QString realPath(const QString &databasePath);
    // Whether two paths name one file: the same real path, or the same device and
    // file number (a second hard link).
    static bool sameDatabase(const QString &a, const QString &b);
    State acquire();
    // Who holds the lock when acquire() said InUse: "进程 1234" or empty.
    QString holder() const;

  private:
    ProcessLock m_lock;
};

} // namespace quilla
