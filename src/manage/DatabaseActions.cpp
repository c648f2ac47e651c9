#include "DatabaseActions.h"

#include "data/Database.h"
#include "data/DatabaseLock.h"
#include "data/Progress.h"
#include "data/Settings.h"
#include "report/DrawReport.h"

#include <QApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

namespace quilla {

namespace {

const QString StandbySection = QStringLiteral("AutoBackup");
const QString StandbyKey = QStringLiteral("Folder");
const QString DatabaseFilter = QStringLiteral("抽奖数据库 (*.mdb);;所有文件 (*)");
// While the management window changes data, the standby copy follows at most this often.
constexpr int ChangeCopyInterval = 10'000;

} // namespace

DatabaseActions::DatabaseActions(Database &db, QMainWindow &window)
    : QObject(&window), m_db(db), m_window(window), m_changes(new QTimer(this))
{
    chooseOpenFile = [this](const QString &title, const QString &filter) {
        return QFileDialog::getOpenFileName(&m_window, title, QFileInfo(m_db.path()).absolutePath(), filter);
    };
    chooseSaveFile = [this](const QString &title, const QString &suggested, const QString &filter) {
        return QFileDialog::getSaveFileName(&m_window, title, suggested, filter);
    };
    chooseFolder = [this](const QString &title) { return QFileDialog::getExistingDirectory(&m_window, title); };
    openFile = [](const QString &path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };

    m_fileLabel = new QLabel(&m_window);
    m_fileLabel->setObjectName(QStringLiteral("databaseFile"));
    m_standbyLabel = new QLabel(&m_window);
    m_standbyLabel->setObjectName(QStringLiteral("standbyStatus"));
    m_window.statusBar()->addWidget(m_fileLabel);
    m_window.statusBar()->addPermanentWidget(m_standbyLabel);

    m_standby.setSource(m_db.path());
    m_standby.setFolder(readSetting(SettingsApplication, StandbySection, StandbyKey, QString()));
    connect(&m_standby, &StandbyCopy::failed, this, [this](const QString &why) {
        m_standbyProblem = why;
        showStatus();
    });
    connect(&m_standby, &StandbyCopy::keepsFailing, this, [this](const QString &why) {
        m_standbyProblem = why;
        showStatus();
        Q_EMIT standbyFalling(QStringLiteral("自动备份失败：") + why);
    });
    connect(&m_standby, &StandbyCopy::recovered, this, [this] {
        m_standbyProblem.clear();
        showStatus();
    });
    m_changes->setInterval(ChangeCopyInterval);
    connect(m_changes, &QTimer::timeout, this, &DatabaseActions::watchChanges);
    m_changes->start();
    showStatus();
    Database::removeLeftoverCopies(QFileInfo(m_db.path()).absolutePath());
    // The copy starts from what is there now.
    m_standby.request();
}

DatabaseActions::~DatabaseActions() = default;

void DatabaseActions::addTo(QMenu *file, QAction *before)
{
    const auto add = [&](const QString &caption, const char *name, void (DatabaseActions::*slot)()) {
        auto *action = new QAction(caption, file);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, slot);
        file->insertAction(before, action);
    };
    add(QStringLiteral("打开数据库…"), "openDatabase", &DatabaseActions::openOtherDatabase);
    add(QStringLiteral("备份数据库…"), "backUpDatabase", &DatabaseActions::backUp);
    add(QStringLiteral("自动备份…"), "standbyCopy", &DatabaseActions::setUpStandby);
    file->insertSeparator(before);
    add(QStringLiteral("抽奖报告…"), "drawReport", &DatabaseActions::writeReport);
    file->insertSeparator(before);
}

void DatabaseActions::setLock(std::unique_ptr<DatabaseLock> lock)
{
    m_lock = std::move(lock);
}

void DatabaseActions::showStatus()
{
    m_fileLabel->setText(QStringLiteral("数据库：") + QDir::toNativeSeparators(m_db.path()) +
                         (m_db.isReadOnly() ? QStringLiteral("（只读）") : QString()));
    if (m_standby.folder().isEmpty())
        m_standbyLabel->setText(QString());
    else if (m_standbyProblem.isEmpty())
        m_standbyLabel->setText(QStringLiteral("自动备份：") + QDir::toNativeSeparators(m_standby.folder()));
    else
        m_standbyLabel->setText(QStringLiteral("自动备份失败：") + m_standbyProblem);
    // Red until a copy lands: the party's only other record is falling behind.
    m_standbyLabel->setStyleSheet(m_standbyProblem.isEmpty() || m_standby.folder().isEmpty()
                                      ? QString()
                                      : QStringLiteral("color: #c00000; font-weight: bold;"));
    m_standbyLabel->setAccessibleName(m_standbyLabel->text());
}

void DatabaseActions::watchChanges()
{
    const qint64 changes = m_db.changeCount();
    if (changes == m_copiedChanges)
        return;
    m_copiedChanges = changes;
    m_standby.request();
}

void DatabaseActions::roundStored()
{
    m_copiedChanges = m_db.changeCount();
    m_standby.request();
}

bool DatabaseActions::openDatabase(const QString &path)
{
    const QString previous = m_db.path();
    // The file in use, reached by another name (a symlink, a second link), is the same file.
    if (DatabaseLock::sameDatabase(path, previous))
        return true;
    auto lock = std::make_unique<DatabaseLock>(path);
    if (lock->acquire() == DatabaseLock::State::InUse) {
        const QString holder = lock->holder();
        m_db.prompt().message(QStringLiteral("这个数据库正在被另一个Quilla抽奖使用") +
                                  (holder.isEmpty() ? QString() : u'（' + holder + u'）') + QStringLiteral("：\n") +
                                  QDir::toNativeSeparators(path),
                              Prompt::Icon::Warning);
        return false;
    }
    if (!m_db.openDatabase(path)) {
        // The operator has been told why; the file in use before stays in use.
        lock.reset();
        m_db.openDatabase(previous);
        return false;
    }
    m_lock = std::move(lock);
    m_standby.setSource(path);
    m_copiedChanges = m_db.changeCount();
    showStatus();
    Q_EMIT databaseSwitched();
    return true;
}

void DatabaseActions::openOtherDatabase()
{
    const QString path = chooseOpenFile(QStringLiteral("打开数据库"), DatabaseFilter);
    if (!path.isEmpty())
        openDatabase(path);
}

void DatabaseActions::backUp()
{
    const QString suggested =
        QDir(QFileInfo(m_db.path()).absolutePath())
            .filePath(QStringLiteral("Data-备份-") +
                      QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmm")) + QStringLiteral(".mdb"));
    const QString path = chooseSaveFile(QStringLiteral("备份数据库"), suggested, DatabaseFilter);
    if (path.isEmpty())
        return;
    QString why;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Database::removeLeftoverCopies(QFileInfo(path).absolutePath());
    const bool copied = m_db.backupTo(path, why);
    QApplication::restoreOverrideCursor();
    if (copied)
        m_db.prompt().message(QStringLiteral("数据库已备份到：\n") + QDir::toNativeSeparators(path));
    else
        m_db.prompt().message(QStringLiteral("数据库备份失败：") + why, Prompt::Icon::Warning);
}

void DatabaseActions::setUpStandby()
{
    const QString current = m_standby.folder();
    if (!current.isEmpty() &&
        m_db.prompt().question(QStringLiteral("现在自动备份到“") + QDir::toNativeSeparators(current) +
                                   QStringLiteral("”。要停止自动备份吗？"),
                               Prompt::Icon::Question)) {
        if (!writeSetting(SettingsApplication, StandbySection, StandbyKey, QString()))
            m_db.prompt().message(QStringLiteral("自动备份的设置未能保存！"), Prompt::Icon::Warning);
        m_standby.setFolder(QString());
        m_standbyProblem.clear();
        showStatus();
        return;
    }
    const QString folder = chooseFolder(QStringLiteral("选择自动备份的文件夹（例如U盘）"));
    if (folder.isEmpty())
        return;
    if (!writeSetting(SettingsApplication, StandbySection, StandbyKey, folder))
        m_db.prompt().message(QStringLiteral("自动备份的设置未能保存，本次运行仍然自动备份。"), Prompt::Icon::Warning);
    m_standby.setFolder(folder);
    m_standbyProblem.clear();
    showStatus();
    m_standby.request();
}

void DatabaseActions::writeReport()
{
    const qint64 drawId = chooseReportDraw ? chooseReportDraw() : 0;
    if (drawId < 1)
        return;
    const QString suggested = QDir(QFileInfo(m_db.path()).absolutePath()).filePath(QStringLiteral("抽奖报告.pdf"));
    const QString path = chooseSaveFile(QStringLiteral("抽奖报告"), suggested,
                                        QStringLiteral("PDF 文件 (*.pdf);;网页 (*.html)"));
    if (path.isEmpty())
        return;
    QString why;
    NoProgress none;
    // The file is made on a worker thread; the progress window keeps the program painting meanwhile.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool written = writeDrawReport(m_db, drawId, path, why, reportProgress ? *reportProgress : none);
    QApplication::restoreOverrideCursor();
    if (!written) {
        m_db.prompt().message(QStringLiteral("抽奖报告未能写入：") + why, Prompt::Icon::Warning);
        return;
    }
    if (m_db.prompt().question(QStringLiteral("抽奖报告已保存到：\n") + QDir::toNativeSeparators(path) +
                                   QStringLiteral("\n现在打开吗？"),
                               Prompt::Icon::Question, Prompt::Default::Yes))
        openFile(path);
}

} // namespace quilla
