#include "ReplacingFile.h"
#include "FileSync.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#ifndef Q_OS_WIN
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quilla {

namespace {

const QRegularExpression &temporaryPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^\\.~.+\\.[0-9a-f]{8}\\.tmp$"));
    return pattern;
}

#ifdef Q_OS_WIN
constexpr bool MoveClosed = true;
#else
constexpr bool MoveClosed = false;
#endif

enum class Created
{
    Yes,
    Exists, // the name is taken (or was taken from under us): try another
    Failed
};

#ifdef Q_OS_WIN

// Windows keeps a file that is open from being deleted: a temporary still being
// written stays, one whose writer died goes.
void removeIfUnlocked(const QString &path)
{
    QFile::remove(path);
}

Created createLocked(const QString &path, QFile &file)
{
    file.setFileName(path);
    if (file.open(QIODevice::ReadWrite | QIODevice::NewOnly))
        return Created::Yes;
    return QFileInfo::exists(path) ? Created::Exists : Created::Failed;
}

#else

// Nobody holds the lock of a temporary whose write died; one that another program
// is still writing is locked and stays.
void removeIfUnlocked(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        ::unlink(name.constData());
    ::close(fd);
}

Created createLocked(const QString &path, QFile &file)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno == EEXIST ? Created::Exists : Created::Failed;
    // Locked for as long as it is written; another write's clean-up may have
    // removed it between its creation and the lock, then it is made again.
    struct stat status;
    if (::flock(fd, LOCK_EX) != 0 || ::fstat(fd, &status) != 0 || status.st_nlink == 0) {
        ::close(fd);
        return Created::Exists;
    }
    if (!file.open(fd, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        ::unlink(name.constData());
        return Created::Failed;
    }
    return Created::Yes;
}

#endif

// Temporary files of writes that died.
void removeLeftovers(const QDir &folder)
{
    const QStringList names = folder.entryList({QStringLiteral(".~*.tmp")}, QDir::Files | QDir::Hidden);
    for (const QString &name : names)
        if (temporaryPattern().match(name).hasMatch())
            removeIfUnlocked(folder.filePath(name));
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
        switch (createLocked(folder.filePath(name), m_file)) {
        case Created::Yes:
            // A file opened by its descriptor has no name: it is kept here.
            m_temporary = folder.filePath(name);
            return true;
        case Created::Exists:
            continue;
        case Created::Failed:
            return false;
        }
    }
    return false;
}

bool ReplacingFile::commit()
{
    if (!m_file.isOpen())
        return false;
    if (!syncFile(m_file)) {
        discard();
        return false;
    }
    // Where a file can be moved while open, it stays locked until it has its name, so that
    // another write's clean-up cannot take it meanwhile.
    if (MoveClosed)
        m_file.close();
    if (!moveOver(m_temporary, m_target)) {
        m_file.close();
        QFile::remove(m_temporary);
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
    // Closed first: Windows deletes no open file.
    m_file.close();
    QFile::remove(m_temporary);
}

} // namespace quilla
