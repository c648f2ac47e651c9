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

#endif

} // namespace quilla
