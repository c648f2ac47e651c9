#include "StartDatabase.h"

#include "data/Database.h"
#include "data/Prompt.h"
#include "system/FileSync.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

namespace quilla {

namespace {

const QString FileName = QStringLiteral("Data.mdb");

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// One folder per program folder: two read-only copies never share draws either.
QString folderOfThisCopy(const QString &programFolder, const QString &userFolder)
{
    QString where = QFileInfo(programFolder).canonicalFilePath();
    if (where.isEmpty())
        where = QDir::cleanPath(QFileInfo(programFolder).absoluteFilePath());
#ifdef Q_OS_WIN
    where = where.toLower();
#endif
    const QByteArray id = QCryptographicHash::hash(where.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
    return QDir(userFolder).filePath(QStringLiteral("便携版-") + QString::fromLatin1(id));
}

} // namespace

QString chooseStartDatabase(Prompt &prompt, const QString &programFolder, const QString &userFolder)
{
    if (Database::isInstalledProgram(programFolder) || canWriteIn(programFolder))
        return Database::choosePath(programFolder, userFolder);

    const QString beside = QDir(programFolder).filePath(FileName);
    const QString ownFolder = folderOfThisCopy(programFolder, userFolder);
    const QString own = QDir(ownFolder).filePath(FileName);
    const QString readOnlyNote = QStringLiteral("程序所在的文件夹是只读的，抽奖数据无法保存在其中：\n") +
                                 shown(programFolder) + QStringLiteral("\n\n");
    if (QFileInfo::exists(own)) {
        if (!QFileInfo::exists(beside))
            return own;
        const bool openBeside = prompt.question(
            readOnlyNote + QStringLiteral("本程序使用的数据库是：\n") + shown(own) +
                QStringLiteral(
                    "\n\n是否改为以只读方式打开程序文件夹中的数据库（只能查看，不能修改或抽奖）？\n") +
                shown(beside),
            Prompt::Icon::Question, Prompt::Default::No);
        return openBeside ? beside : own;
    }

    if (!QFileInfo::exists(beside)) {
        // Said once, when this copy's database is made.
        QString text = readOnlyNote + QStringLiteral("本程序的抽奖数据将保存在：\n") + shown(own);
        const QString shared = QDir(userFolder).filePath(FileName);
        if (QFileInfo::exists(shared))
            text +=
                QStringLiteral("\n\n此前的版本使用的数据库（与安装版共用）可以通过“打开数据库…”打开：\n") +
                shown(shared);
        prompt.message(text, Prompt::Icon::Information);
        QDir().mkpath(ownFolder);
        return own;
    }

    const bool copy = prompt.question(
        readOnlyNote + QStringLiteral("是否把其中的数据库复制到下面的位置继续使用？\n") + shown(own) +
            QStringLiteral("\n\n选“否”将以只读方式打开程序文件夹中的数据库：只能查看，不能修改或抽奖。"),
        Prompt::Icon::Question, Prompt::Default::Yes);
    if (!copy)
        return beside;
    const QString chosen = Database::choosePath(programFolder, ownFolder);
    if (chosen != own)
        prompt.message(QStringLiteral("数据库无法复制到：\n") + shown(own) +
                           QStringLiteral("\n\n将以只读方式打开程序文件夹中的数据库。"),
                       Prompt::Icon::Warning);
    return chosen;
}

} // namespace quilla
