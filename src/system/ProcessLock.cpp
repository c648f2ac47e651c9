#include "ProcessLock.h"

#include <QDir>
#include <QFile>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quilla {

ProcessLock::ProcessLock(const QString &path) : m_path(path) {}

ProcessLock::~ProcessLock()
{
    unlock();
}

QByteArray ProcessLock::note() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(4096);
}

#ifdef Q_OS_WIN

namespace {

// Windows locks byte ranges, and a locked range cannot be read by anyone else: the
// lock sits far beyond the note, which stays readable.
constexpr DWORD LockedOffset = 0x40000000;

const wchar_t *nativePath(const QString &path, QString &keep)
{
    keep = QDir::toNativeSeparators(path);
    return reinterpret_cast<const wchar_t *>(keep.utf16());
}

} // namespace

ProcessLock::Result ProcessLock::tryLock(const QByteArray &note)
{
    if (m_handle)
        return Result::Taken;
    QString native;
    // No sharing of deletion: the file cannot vanish under a holder, and a holder's
    // removal at its exit fails harmlessly while another copy has the file open.
    bool writable = true;
    HANDLE handle =
        CreateFileW(nativePath(m_path, native), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        // A lock file written by an older copy of the program is open without sharing:
        // its holder is alive.
        if (GetLastError() == ERROR_SHARING_VIOLATION)
            return Result::Busy;
        writable = false;
        handle = CreateFileW(nativePath(m_path, native), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return GetLastError() == ERROR_SHARING_VIOLATION ? Result::Busy : Result::Unusable;
    }
    OVERLAPPED where = {};
    where.Offset = LockedOffset;
    if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where)) {
        const DWORD error = GetLastError();
        CloseHandle(handle);
        return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? Result::Busy : Result::Unusable;
    }
    m_handle = handle;
    if (writable) {
        DWORD written = 0;
        SetFilePointer(handle, 0, nullptr, FILE_BEGIN);
        SetEndOfFile(handle);
        WriteFile(handle, note.constData(), DWORD(note.size()), &written, nullptr);
    }
    return Result::Taken;
}

bool ProcessLock::isLocked() const
{
    return m_handle != nullptr;
}

void ProcessLock::unlock()
{
    if (!m_handle)
        return;
    OVERLAPPED where = {};
    where.Offset = LockedOffset;
    UnlockFileEx(m_handle, 0, 1, 0, &where);
    CloseHandle(m_handle);
    m_handle = nullptr;
    QString native;
    DeleteFileW(nativePath(m_path, native));
}

#else

ProcessLock::Result ProcessLock::tryLock(const QByteArray &note)
{
    if (m_fd >= 0)
        return Result::Taken;
    const QByteArray name = QFile::encodeName(m_path);
    // A holder removes the file at its exit while still holding it; whoever opened the
    // old file meanwhile gets a lock on a file without a name, and tries again.
    for (int attempt = 0; attempt < 5; ++attempt) {
        bool writable = true;
        int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0) {
            // A read-only folder may still hold a lock file that can be locked for reading.
            writable = false;
            fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        }
        if (fd < 0)
            return Result::Unusable;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const bool busy = errno == EWOULDBLOCK;
            ::close(fd);
            return busy ? Result::Busy : Result::Unusable;
        }
        struct stat held, named;
        if (::fstat(fd, &held) != 0 || ::stat(name.constData(), &named) != 0 || held.st_dev != named.st_dev ||
            held.st_ino != named.st_ino) {
            ::close(fd);
            continue;
        }
        m_fd = fd;
        if (writable && ::ftruncate(fd, 0) == 0) {
            // Only a note: a short write leaves the lock as good.
            [[maybe_unused]] const ssize_t written = ::pwrite(fd, note.constData(), size_t(note.size()), 0);
        }
        return Result::Taken;
    }
    return Result::Busy;
}

bool ProcessLock::isLocked() const
{
    return m_fd >= 0;
}

void ProcessLock::unlock()
{
    if (m_fd < 0)
        return;
    // Removed while still held, so that nobody takes a file that is about to go.
    ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_fd);
    m_fd = -1;
}

#endif

} // namespace quilla
