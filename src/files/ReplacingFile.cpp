#include "ReplacingFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quilla {

namespace {

const QRegularExpression &temporaryPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^\\.~.+\\.[0-9a-f]{8}\\.tmp$"));
    return pattern;
}

// Temporary files of writes that died: nobody holds their lock any more. One that
// another program is still writing is locked and stays.
void removeLeftovers(const QDir &folder)
{
    const QStringList names = folder.entryList({QStringLiteral(".~*.tmp")}, QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        if (!temporaryPattern().match(name).hasMatch())
            continue;
        const QByteArray path = QFile::encodeName(folder.filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.constData());
        ::close(fd);
    }
}

// False only when the disk says the write failed: a folder that cannot be opened
// for reading, or a file system that cannot sync folders, is no failure.
bool syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return true;
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
    ::close(fd);
    return synced;
}

} // namespace

ReplacingFile::ReplacingFile(const QString &target) : m_target(QFileInfo(target).absoluteFilePath()) {}

ReplacingFile::~ReplacingFile()
{
    discard();
}

bool ReplacingFile::open()
{
    const QFileInfo target(m_target);
    const QDir folder = target.dir();
    if (target.isDir() || !folder.exists())
        return false;
    removeLeftovers(folder);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = QStringLiteral(".~%1.%2.tmp")
                                 .arg(target.fileName())
                                 .arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'));
        const QByteArray path = QFile::encodeName(folder.filePath(name));
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        // Locked for as long as it is written; another write's clean-up may have
        // removed it between its creation and the lock, then it is made again.
        struct stat status;
        if (::flock(fd, LOCK_EX) != 0 || ::fstat(fd, &status) != 0 || status.st_nlink == 0) {
            ::close(fd);
            continue;
        }
        // A file opened by its descriptor has no name: it is kept here.
        m_temporary = folder.filePath(name);
        if (!m_file.open(fd, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            ::unlink(path.constData());
            return false;
        }
        return true;
    }
    return false;
}

bool ReplacingFile::commit()
{
    if (!m_file.isOpen())
        return false;
    const QByteArray temporary = QFile::encodeName(m_temporary);
    bool done = m_file.flush() && ::fsync(m_file.handle()) == 0;
    struct stat old;
    if (done && ::stat(QFile::encodeName(m_target).constData(), &old) == 0)
        ::fchmod(m_file.handle(), old.st_mode & 07777);
    done = done && std::rename(temporary.constData(), QFile::encodeName(m_target).constData()) == 0;
    if (!done) {
        discard();
        return false;
    }
    m_file.close();
    // The rename is only lasting once the folder is written.
    return syncFolder(QFileInfo(m_target).absolutePath());
}

void ReplacingFile::discard()
{
    if (!m_file.isOpen())
        return;
    ::unlink(QFile::encodeName(m_temporary).constData());
    m_file.close();
}

} // namespace quilla
