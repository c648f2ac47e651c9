#include "DatabaseLock.h"

#include "platform/FileSync.h"

#include <QDir>
#include <QFileInfo>

namespace quilla {

QString DatabaseLock::realPath(const QString &databasePath)
{
    QFileInfo file(databasePath);
    // A link to a file not made yet leads where the file will be.
    for (int depth = 0; depth < 8 && file.isSymLink() && !file.exists(); ++depth)
        file.setFile(file.symLinkTarget());
    const QString real = file.canonicalFilePath();
    if (!real.isEmpty())
        return real;
    const QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? file.absoluteFilePath() : QDir(folder).filePath(file.fileName());
}

bool DatabaseLock::sameDatabase(const QString &a, const QString &b)
{
    return realPath(a) == realPath(b) || sameFile(a, b);
}

DatabaseLock::DatabaseLock(const QString &databasePath) : m_lock(realPath(databasePath) + QStringLiteral(".lock"))
{
    // Held for the whole run: only a dead owner makes it stale, never its age.
    m_lock.setStaleLockTime(0);
}

DatabaseLock::State DatabaseLock::acquire()
{
    if (m_lock.isLocked() || m_lock.tryLock(0))
        return State::Held;
    return m_lock.error() == QLockFile::LockFailedError ? State::InUse : State::NoLock;
}

QString DatabaseLock::holder() const
{
    qint64 pid = 0;
    QString host, application;
    if (!m_lock.getLockInfo(&pid, &host, &application) || pid <= 0)
        return {};
    return QStringLiteral("进程 %1").arg(pid);
}

} // namespace quilla
