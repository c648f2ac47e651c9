#include "DatabaseLock.h"

#include "system/FileSync.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSysInfo>

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

DatabaseLock::DatabaseLock(const QString &databasePath)
    : m_lock(realPath(databasePath) + QStringLiteral(".lock"))
{
}

DatabaseLock::State DatabaseLock::acquire()
{
    const QByteArray note = QByteArray::number(QCoreApplication::applicationPid()) + '\n' +
                            QCoreApplication::applicationName().toUtf8() + '\n' +
                            QSysInfo::machineHostName().toUtf8() + '\n';
    switch (m_lock.tryLock(note)) {
    case ProcessLock::Result::Taken:
        return State::Held;
    case ProcessLock::Result::Busy:
        return State::InUse;
    case ProcessLock::Result::Unusable:
        break;
    }
    return State::NoLock;
}

QString DatabaseLock::holder() const
{
    bool ok = false;
    const qint64 pid = m_lock.note().split('\n').value(0).trimmed().toLongLong(&ok);
    return ok && pid > 0 ? QStringLiteral("进程 %1").arg(pid) : QString();
}

} // namespace quilla
