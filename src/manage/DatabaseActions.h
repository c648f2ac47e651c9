#pragma once

#include "data/StandbyCopy.h"

#include <QObject>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMainWindow;
class QMenu;
class QTimer;

namespace quilla {

class Database;
class DatabaseLock;
class Progress;

// The file menu's care of the draw database: opening another file, a backup
// copy, the standby copy kept during the party, and the report of a draw. The
// status line names the file in use and tells when the standby copy fails.
class DatabaseActions : public QObject
{
    Q_OBJECT

  public:
    DatabaseActions(Database &db, QMainWindow &window);
    ~DatabaseActions() override;

    void addTo(QMenu *file, QAction *before);
    // The lock of the file opened at start; replaced when another file is opened.
    void setLock(std::unique_ptr<DatabaseLock> lock);
    StandbyCopy &standby() { return m_standby; }

    // How files and folders are chosen, and a written report opened (tests replace them).
    std::function<QString(const QString &title, const QString &filter)> chooseOpenFile;
    std::function<QString(const QString &title, const QString &suggested, const QString &filter)> chooseSaveFile;
    std::function<QString(const QString &title)> chooseFolder;
    std::function<void(const QString &path)> openFile;
    // The draw a report is for (0: none chosen).
    std::function<qint64()> chooseReportDraw;
    // Where the report tells how far it is (null: nowhere).
    Progress *reportProgress = nullptr;

  public Q_SLOTS:
    // After the same checks as at start (lock, integrity, schema); the file in use stays otherwise.
    bool openDatabase(const QString &path);
    void openOtherDatabase();
    void backUp();
    void setUpStandby();
    void writeReport();
    // A stored round: the standby copy follows at once.
    void roundStored();

  Q_SIGNALS:
    // Another file is in use: every list reads it again.
    void databaseSwitched();
    // The standby copy failed twice or more in a row: shown on the draw screen too.
    void standbyFalling(const QString &note);

  private:
    void showStatus();
    void watchChanges();

    Database &m_db;
    QMainWindow &m_window;
    std::unique_ptr<DatabaseLock> m_lock;
    StandbyCopy m_standby;
    QTimer *m_changes = nullptr;
    qint64 m_copiedChanges = 0;
    QLabel *m_fileLabel = nullptr;
    QLabel *m_standbyLabel = nullptr;
    QString m_standbyProblem;
};

} // namespace quilla
