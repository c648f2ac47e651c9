#include "FileSync.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quilla {

#ifdef Q_OS_WIN

bool syncFile(QFile &file)
{
    return file.flush() && FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(file.handle())));
}

// Windows has no sync of a folder; moveOver writes through instead.
bool syncFolder(const QString &)
{
    return true;
}

bool moveOver(const QString &from, const QString &to)
{
    return MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(from).utf16()),
                       reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(to).utf16()),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

// Qt does not read a folder's access list unless asked, and then ignores whether the
// program runs elevated: making a file there is the one sure answer (Program Files).
bool canWriteIn(const QString &folder)
{
    if (!QFileInfo(folder).isDir())
        return false;
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".~probe.XXXXXX")));
    return probe.open();
}

bool heldOpenElsewhere(const QString &path)
{
    // Replacing a file takes the right to delete it: asking for that right, while
    // sharing everything, fails with a sharing or lock violation exactly when a program
    // opened it without sharing deletion. Access denied means permissions, not use.
    const HANDLE handle =
        CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()), DELETE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return false;
    }
    switch (GetLastError()) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return true;
    default:
        return false;
    }
}

namespace {

bool fileIdentity(const QString &path, BY_HANDLE_FILE_INFORMATION &info)
{
    // Opening for no access reads the identity even of a file another program holds.
    const HANDLE handle =
        CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()), 0,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool read = GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    return read;
}

} // namespace

bool sameFile(const QString &a, const QString &b)
{
    BY_HANDLE_FILE_INFORMATION first, second;
    return fileIdentity(a, first) && fileIdentity(b, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

#else

bool syncFile(QFile &file)
{
    return file.flush() && ::fsync(file.handle()) == 0;
}

bool syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return true;
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
    ::close(fd);
    return synced;
}

bool moveOver(const QString &from, const QString &to)
{
    const QByteArray target = QFile::encodeName(to);
    struct stat old;
    if (::stat(target.constData(), &old) == 0)
        ::chmod(QFile::encodeName(from).constData(), old.st_mode & 07777);
    return std::rename(QFile::encodeName(from).constData(), target.constData()) == 0;
}

bool canWriteIn(const QString &folder)
{
    return QFileInfo(folder).isWritable();
}

bool heldOpenElsewhere(const QString &)
{
    return false;
}

bool sameFile(const QString &a, const QString &b)
{
    struct stat first, second;
    return ::stat(QFile::encodeName(a).constData(), &first) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

#endif

} // namespace quilla
