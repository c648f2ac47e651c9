#pragma once

#include <QByteArray>
#include <QString>

namespace quilla {

// A lock the operating system holds for as long as this process keeps the file open
// (flock on Linux, LockFileEx on Windows). A crash, a kill or a power cut ends it
// with the process, so a lock file left behind never refuses the next start, however
// process ids are reused. The file also carries a note of who holds it, for messages.
class ProcessLock
{
  public:
    enum class Result
    {
        Taken,
        Busy,     // a living process holds it
        Unusable, // the file can be neither made nor opened (a read-only folder)
    };

    explicit ProcessLock(const QString &path);
    ~ProcessLock();
    ProcessLock(const ProcessLock &) = delete;
    ProcessLock &operator=(const ProcessLock &) = delete;

    // Takes the lock without waiting and, where the file can be written, leaves note in it.
    Result tryLock(const QByteArray &note);
    bool isLocked() const;
    // Lets go and removes the file; also done by the destructor.
    void unlock();
    // What the holder wrote into the file; empty when it cannot be read.
    QByteArray note() const;

  private:
    QString m_path;
#ifdef Q_OS_WIN
    void *m_handle = nullptr;
#else
    int m_fd = -1;
#endif
};

} // namespace quilla
