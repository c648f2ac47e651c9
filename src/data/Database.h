#pragma once

#include "Prompt.h"
#include "Query.h"
#include "Sql.h"
#include "Statement.h"

#include <QHash>
#include <QString>

#include <functional>
#include <memory>

namespace SQLite {
class Database;
} // namespace SQLite

namespace quilla {

// The draw database: one SQLite file holding the draws, their prizes,
// participants, results and preset winners. Every statement of the program
// runs through here, its values bound as parameters.
//
// When the file cannot be used, the operator is told once and every query
// behaves as an empty result from then on; the file itself is never touched.
class Database
{
  public:
    explicit Database(Prompt &prompt);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // 1: the five draw tables. 2: the round log 轮次表. 3: the preset results of each round.
    static constexpr int SchemaVersion = 4;
    // Where Data.mdb lives: the program folder, or the per-user data folder when the
    // program folder cannot be written to or the program is installed. A database
    // found in a read-only program folder is copied to the user's folder once, when
    // that has none yet.
    static QString choosePath(const QString &programFolder, const QString &userFolder);
    // An installed program (a bin folder with our desktop entry in ../share, or a
    // folder with the Windows installer's Uninstall.exe) never keeps draws beside
    // itself, even when run by someone who may write there.
    static bool isInstalledProgram(const QString &programFolder);

    // Opens the file, creating it with the draw tables when it is missing. What a
    // crash left unfinished is undone first, after the file and its journal are
    // copied aside. A file that is not a sound draw database of ours (foreign,
    // damaged, newer, locked by another program, or bringing triggers, views or
    // tables of its own) is refused before anything is written, and a file that a
    // play-back damaged is put back as it came: the operator sees
    // "无法建立数据库连接！" with the file and the reason. A read-only file is
    // opened after a warning that says why it is read-only.
    bool openDatabase(const QString &path);
    bool isOpen() const { return m_sqlite != nullptr; }
    bool isReadOnly() const { return m_readOnly; }
    // How long to wait for another program's lock on the file, in milliseconds.
    void setBusyTimeout(int milliseconds) { m_busyTimeout = milliseconds; }
    const QString &path() const { return m_path; }
    Prompt &prompt() { return m_prompt; }

    // Reads the whole result. A failure shows "数据库打开错误(statement)！" and
    // gives an empty result.
    Query openQuery(const Sql &sql);
    // Streams the rows without keeping them; false (after the same message) on failure.
    // A read can fail part-way: on false, the caller drops whatever it gathered
    // from the rows visited, since a part of a result must never pass for all of it.
    bool forEachRow(const Sql &sql, const std::function<void(const Row &)> &visit);

    bool tableExists(const QString &name);
    // Rows of "SELECT fields FROM table [WHERE condition]"; 0 on failure.
    qint64 countRows(const QString &table, const Sql &condition, const QString &fields = QStringLiteral("*"));
    // Runs a statement that returns no rows; false on failure, without a message.
    bool executeSql(const Sql &sql);
    // The wanted field of the first row whose keyField equals keyValue (quoted
    // when it is text); "" when no row matches.
    QVariant lookupValue(const QString &table, const QVariant &keyValue, const QString &keyField,
                         const QString &wantedField);

    // A consistent copy of the open file at target, written beside it and renamed
    // into place, while the program goes on using the file. The copy never replaces
    // the file in use (however its path is spelt) nor a file that another running
    // copy of the program holds. False with why.
    bool backupTo(const QString &target, QString &why);
    // The same from a file on disk through a connection of its own, a few pages
    // at a time so that a writer elsewhere waits at most a moment: for a worker thread.
    static bool copyDatabaseFile(const QString &source, const QString &target, QString &why);
    // Removes what a copy or backup killed part-way left in folder (a ".mdb.part"
    // and its journal), once it is old enough not to be one still being written.
    static void removeLeftoverCopies(const QString &folder);
    // Rows changed through this connection since it opened: tells whether there is anything new to copy.
    qint64 changeCount() const;
    // Changes by anyone: moves whenever this connection or another one commits a change to the file.
    std::pair<qint64, qint64> storedStamp();
    // Whether table has column (a read-only file of an older version may lack the newer ones).
    bool hasColumn(const QString &table, const QString &column);

    // Everything written inside one Transaction lands together or not at all.
    // Transactions nest; a transaction not committed is rolled back.
    class Transaction
    {
      public:
        explicit Transaction(Database &db);
        ~Transaction();
        Transaction(const Transaction &) = delete;
        Transaction &operator=(const Transaction &) = delete;
        bool commit();

      private:
        Database &m_db;
        QString m_name;
        bool m_open = false;
        bool m_began = false; // the outermost: BEGIN IMMEDIATE … COMMIT around the savepoint
    };

  private:
    friend class Query;
    friend class Inserter;
    bool create(const QString &path, QString &why);
    bool openExisting(const QString &path, QString &why);
    bool openChecked(const QString &path, QString &why);
    bool checkSchema(QString &why);
    void configure();
    bool upgrade(QString &why);
    void refuse(const QString &path, const QString &why);
    void showOpenError(const Sql &sql);

    // A prepared statement for text, kept for reuse, reset and with values bound.
    Statement &prepare(const QString &text, const QList<QVariant> &values);
    bool run(const QString &text, const QList<QVariant> &values);
    std::shared_ptr<Statement> statement(const QString &text);
    qint64 lastInsertId() const;

    Prompt &m_prompt;
    QString m_path;
    std::unique_ptr<SQLite::Database> m_sqlite;
    QHash<QString, std::shared_ptr<Statement>> m_statements;
    int m_savepoints = 0;
    int m_busyTimeout = 5000;
    bool m_readOnly = false;
    QString m_readOnlyReason;
};

} // namespace quilla
