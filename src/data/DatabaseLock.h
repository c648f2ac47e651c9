#pragma once

#include <QLockFile>
#include <QString>

namespace quilla {

// One running copy of the program per database file: a lock file beside it
// ("Data.mdb.lock") held for the program's run. A copy that crashed leaves a
// lock that the next start recognises as stale and takes over.
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
    State acquire();
    // Who holds the lock when acquire() said InUse: "进程 1234" or empty.
    QString holder() const;

  private:
    QLockFile m_lock;
};

} // namespace quilla
