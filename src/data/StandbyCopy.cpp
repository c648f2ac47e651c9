#include "StandbyCopy.h"

#include "Database.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

namespace quilla {

StandbyCopy::StandbyCopy(QObject *parent) : QObject(parent), m_thread(new QThread(this)), m_worker(new QObject)
{
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start(QThread::LowPriority);
}

StandbyCopy::~StandbyCopy()
{
    m_thread->quit();
    m_thread->wait();
}

void StandbyCopy::setFolder(const QString &folder)
{
    m_folder = folder;
    m_failures = 0;
}

void StandbyCopy::setSource(const QString &databasePath)
{
    m_source = databasePath;
}

QString StandbyCopy::target() const
{
    return m_folder.isEmpty() ? QString() : QDir(m_folder).filePath(QFileInfo(m_source).fileName());
}

void StandbyCopy::request()
{
    if (m_folder.isEmpty() || m_source.isEmpty())
        return;
    if (m_pending.exchange(true))
        return; // a copy is waiting already and will see this change
    ++m_busy;
    // Paths are read now, on this thread; the worker gets its own copies.
    QMetaObject::invokeMethod(m_worker, [this, source = m_source, target = target()] {
        m_pending = false;
        QString why;
        bool copied = false;
        Database::removeLeftoverCopies(QFileInfo(target).absolutePath());
        if (!QFileInfo(QFileInfo(target).absolutePath()).isDir())
            why = QStringLiteral("找不到文件夹 ") + QDir::toNativeSeparators(QFileInfo(target).absolutePath());
        else if (QFileInfo(target).absoluteFilePath() == QFileInfo(source).absoluteFilePath())
            why = QStringLiteral("备份文件夹就是数据库所在的文件夹");
        else
            copied = Database::copyDatabaseFile(source, target, why);
        QMetaObject::invokeMethod(this, [this, copied, why] { finished(copied, why); });
    });
}

void StandbyCopy::finished(bool landed, const QString &why)
{
    --m_busy;
    if (landed) {
        if (std::exchange(m_failures, 0) > 0)
            Q_EMIT recovered(target());
        Q_EMIT copied();
        return;
    }
    if (++m_failures == 1)
        Q_EMIT failed(why);
    else
        Q_EMIT keepsFailing(why);
}

} // namespace quilla
