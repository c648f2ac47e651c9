#include "Database.h"
#include "ChineseOrder.h"
#include "Statement.h"
#include "platform/FileSync.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <cmath>
#include <cstring>

namespace quilla {

namespace {

// "QULL": marks a file as a draw database of this program.
constexpr int ApplicationId = 0x5155'4C4C;

// Text columns hold '' rather than Null, and numbers 0: readers take them as
// they are. Yes/no columns are declared BOOLEAN (stored 0/1) and read as booleans. ON CONFLICT REPLACE turns
// a Null written by a caller into the default.
const char *const SchemaStatements[] = {
    "CREATE TABLE 奖次表 ("
    " ID INTEGER PRIMARY KEY AUTOINCREMENT,"
    " 抽奖内容 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '',"
    " 速度 INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,"
    " 定时 INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,"
    " 定长 INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,"
    " 屏蔽 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '',"
    " 底图 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '',"
    " 音乐1 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '',"
    " 音乐2 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '',"
    " 音乐3 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '',"
    " FRM TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '',"
    " BRD TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '',"
    " L0 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '',"
    " L1 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '',"
    " L2 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '')",
    "CREATE TABLE 奖项表 ("
    " ID INTEGER PRIMARY KEY AUTOINCREMENT,"
    " CID INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,"
    " 顺序 INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,"
    " 名称 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '',"
    " 数量 INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,"
    " 同时 INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,"
    " 显示 BOOLEAN NOT NULL ON CONFLICT REPLACE DEFAULT 0,"
    " 重复 BOOLEAN NOT NULL ON CONFLICT REPLACE DEFAULT 0,"
    " 奖品 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '')",
    "CREATE TABLE 号码表 ("
    " ID INTEGER PRIMARY KEY AUTOINCREMENT,"
    " CID INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,"
    " 号码 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '',"
    " 姓名 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '')",
    "CREATE TABLE 结果表 ("
    " ID INTEGER PRIMARY KEY AUTOINCREMENT,"
    " CID INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,"
    " WID INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,"
    " 号码 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '',"
    " 姓名 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '')",
    "CREATE TABLE 预设表 ("
    " PID INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,"
    " AID INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,"
    " Code TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '',"
    " Name TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '')",
    "CREATE INDEX 号码表_CID ON 号码表 (CID)",
    "CREATE INDEX 结果表_CID_WID ON 结果表 (CID, WID)",
    "CREATE INDEX 奖项表_CID ON 奖项表 (CID, 顺序)",
    "CREATE INDEX 预设表_PID_AID ON 预设表 (PID, AID)",
};

// Version 2: the round log. A row per stored round (事件 "抽奖") and per deletion
// of results (事件 "取消结果", "删除奖项", "重新抽奖"); rows go only with their draw.
// Times as ISO 8601 text, UTC and local with its offset; 结果ID lists result IDs
// separated by commas; 说明 names what a deletion took.
const char *const RoundLogStatements[] = {
    "CREATE TABLE 轮次表 ("
    " ID INTEGER PRIMARY KEY AUTOINCREMENT,"
    " CID INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,"
    " WID INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,"
    " 事件 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '',"
    " UTC时间 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '',"
    " 本地时间 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '',"
    " 在场人数 INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,"
    " 名额 INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,"
    " 预设名额 INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,"
    " 结果ID TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '',"
    " 说明 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '')",
    "CREATE INDEX 轮次表_CID ON 轮次表 (CID, ID)",
};


// SQLite takes UTF-8 names everywhere, also on Windows.
QByteArray nativePath(const QString &path)
{
    return path.toUtf8();
}

void bindValue(sqlite3_stmt *stmt, int index, const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        sqlite3_bind_null(stmt, index);
        break;
    case QMetaType::Bool:
        sqlite3_bind_int(stmt, index, value.toBool() ? 1 : 0);
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Long:
    case QMetaType::Short:
        sqlite3_bind_int64(stmt, index, value.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        sqlite3_bind_double(stmt, index, value.toDouble());
        break;
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        sqlite3_bind_blob(stmt, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        break;
    }
    default: {
        const QString text = value.toString();
        sqlite3_bind_text16(stmt, index, text.utf16(), int(text.size() * 2), SQLITE_TRANSIENT);
        break;
    }
    }
}

QVariant columnValue(sqlite3_stmt *stmt, int column, Columns::Kind kind)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
        if (kind == Columns::Kind::Boolean)
            return QVariant(sqlite3_column_int64(stmt, column) != 0);
        return QVariant(qint64(sqlite3_column_int64(stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt, column));
    case SQLITE_TEXT: {
        const auto *text = static_cast<const char16_t *>(sqlite3_column_text16(stmt, column));
        const QString value = QString::fromUtf16(text, sqlite3_column_bytes16(stmt, column) / 2);
        if (kind == Columns::Kind::Date) {
            const QDateTime date = QDateTime::fromString(value, Qt::ISODate);
            if (date.isValid())
                return QVariant(date);
        }
        return QVariant(value);
    }
    case SQLITE_BLOB: {
        const auto *data = static_cast<const char *>(sqlite3_column_blob(stmt, column));
        return QVariant(QByteArray(data, sqlite3_column_bytes(stmt, column)));
    }
    default:
        return {};
    }
}

// "SELECT * FROM table ..." names the one table whose rows the result can write back.
QString updatableTable(const QString &executable)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*SELECT\\s+\\*\\s+FROM\\s+([^\\s,;()]+)\\s*(?:$|WHERE\\b|ORDER\\b)"),
        QRegularExpression::CaseInsensitiveOption);
    const auto match = pattern.match(executable);
    return match.hasMatch() ? match.captured(1) : QString();
}

const QString RowIdColumn = QStringLiteral("quilla_rowid");

} // namespace

Statement::Statement(sqlite3 *db, const QString &text)
{
    const int rc = sqlite3_prepare16_v2(db, text.utf16(), int(text.size() * 2), &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        throw SQLite::Exception(db, rc);
    }
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

void Statement::bind(const QList<QVariant> &values)
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
    if (sqlite3_bind_parameter_count(m_stmt) != values.size())
        throw std::runtime_error("wrong number of values for the statement");
    for (int i = 0; i < values.size(); ++i)
        bindValue(m_stmt, i + 1, values.at(i));
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
}

// ---------------------------------------------------------------- conversions

QString textOf(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return {};
    if (value.typeId() == QMetaType::Double)
        return QString::number(value.toDouble(), 'g', 15);
    return value.toString();
}

qint64 numberOf(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return 0;
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Bool:
        return value.toLongLong();
    default: {
        bool ok = false;
        const double d = value.toString().trimmed().toDouble(&ok);
        return ok ? qint64(std::nearbyint(d)) : 0;
    }
    }
}

bool flagOf(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return false;
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text.compare(u"true", Qt::CaseInsensitive) == 0)
            return true;
        return text.toDouble() != 0;
    }
    return value.toDouble() != 0;
}

void Columns::assign(sqlite3_stmt *stmt, int first)
{
    m_names.clear();
    m_kinds.clear();
    const int count = sqlite3_column_count(stmt);
    for (int i = first; i < count; ++i) {
        const auto *name = static_cast<const char16_t *>(sqlite3_column_name16(stmt, i));
        m_names.append(QString::fromUtf16(name));
        const QByteArray declared = QByteArray(sqlite3_column_decltype(stmt, i)).toUpper();
        m_kinds.append(declared == "BOOLEAN"                          ? Kind::Boolean
                       : declared == "DATETIME" || declared == "DATE" ? Kind::Date
                                                                      : Kind::Plain);
    }
}

int Columns::indexOf(QStringView name) const
{
    // Results have a handful of columns: a scan beats hashing a copy of the name.
    for (int i = 0; i < m_names.size(); ++i)
        if (m_names.at(i) == name)
            return i;
    return -1;
}

QVariant Row::value(int column) const
{
    if (column < 0)
        return {};
    return columnValue(m_stmt, column, m_columns.kind(column));
}

QString Row::text(int column) const
{
    if (column < 0 || sqlite3_column_type(m_stmt, column) == SQLITE_NULL)
        return {};
    if (sqlite3_column_type(m_stmt, column) != SQLITE_TEXT)
        return textOf(value(column));
    const auto *text = static_cast<const char16_t *>(sqlite3_column_text16(m_stmt, column));
    return QString::fromUtf16(text, sqlite3_column_bytes16(m_stmt, column) / 2);
}

QByteArrayView Row::utf8View(int column) const
{
    if (column < 0)
        return {};
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return QByteArrayView(text, sqlite3_column_bytes(m_stmt, column));
}

QByteArrayView Row::bytesView(int column) const
{
    if (column < 0)
        return {};
    const auto *bytes = static_cast<const char *>(sqlite3_column_blob(m_stmt, column));
    return QByteArrayView(bytes, sqlite3_column_bytes(m_stmt, column));
}

qint64 Row::key(int column) const
{
    if (column >= 0 && sqlite3_column_type(m_stmt, column) == SQLITE_INTEGER)
        return sqlite3_column_int64(m_stmt, column);
    return number(column);
}

// ---------------------------------------------------------------- opening

Database::Database(Prompt &prompt) : m_prompt(prompt) {}

Database::~Database()
{
    m_statements.clear();
}

namespace {

const QString DatabaseFileName = QStringLiteral("Data.mdb");
const char *const DrawTables[] = {"奖次表", "奖项表", "号码表", "结果表", "预设表"};

bool folderWritable(const QString &folder)
{
    return canWriteIn(folder);
}

// Copies from to to through a temporary file, so that to never exists half written.
bool copyWhole(const QString &from, const QString &to)
{
    const QString temporary = to + QStringLiteral(".copy");
    QFile::remove(temporary);
    if (!QFile::copy(from, temporary))
        return false;
    QFile copied(temporary);
    const bool synced = copied.open(QIODevice::ReadWrite) && syncFile(copied);
    copied.close();
    if (!synced || !moveOver(temporary, to)) {
        QFile::remove(temporary);
        return false;
    }
    syncFolder(QFileInfo(to).absolutePath());
    return true;
}

quint32 bigEndian32(const QByteArray &bytes, int offset)
{
    return quint32(quint8(bytes.at(offset))) << 24 | quint32(quint8(bytes.at(offset + 1))) << 16 |
           quint32(quint8(bytes.at(offset + 2))) << 8 | quint32(quint8(bytes.at(offset + 3)));
}

// Why SQLite would not use the file, in the operator's words, with SQLite's own text after it.
QString reasonOf(sqlite3 *handle, int rc)
{
    const QString detail = QString::fromUtf8(handle ? sqlite3_errmsg(handle) : sqlite3_errstr(rc));
    switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("数据库文件被其他程序锁定，请关闭正在使用它的程序后再试（%1）").arg(detail);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("数据库文件已损坏（%1）").arg(detail);
    case SQLITE_READONLY:
        return QStringLiteral("数据库文件是只读的，上次异常退出时未完成的修改无法撤销（%1）").arg(detail);
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("无法打开数据库文件（%1）").arg(detail);
    default:
        return QStringLiteral("不是可用的数据库文件（%1）").arg(detail);
    }
}

} // namespace

QString Database::defaultPath()
{
    return choosePath(QCoreApplication::applicationDirPath(),
                      QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

bool Database::isInstalledProgram(const QString &programFolder)
{
    const QDir folder(programFolder);
    // The Windows installer leaves its uninstaller beside the program; the zip has none.
    if (QFileInfo::exists(folder.filePath(QStringLiteral("Uninstall.exe"))))
        return true;
    return folder.dirName() == QStringLiteral("bin") &&
           QFileInfo::exists(folder.filePath(QStringLiteral("../share/applications/org.quilla.Quilla.desktop")));
}

QString Database::choosePath(const QString &programFolder, const QString &userFolder)
{
    const QString programFile = QDir(programFolder).filePath(DatabaseFileName);
    if (folderWritable(programFolder) && !isInstalledProgram(programFolder))
        return programFile;
    QDir().mkpath(userFolder);
    const QString userFile = QDir(userFolder).filePath(DatabaseFileName);
    if (QFileInfo::exists(userFile) || !QFileInfo::exists(programFile))
        return userFile;
    // The draws kept in a read-only program folder move to the user's folder once,
    // with the journal of an interrupted change, so that SQLite finishes undoing it there.
    const QString journal = programFile + QStringLiteral("-journal");
    if (QFileInfo::exists(journal) && !copyWhole(journal, userFile + QStringLiteral("-journal")))
        return programFile;
    if (!copyWhole(programFile, userFile)) {
        QFile::remove(userFile + QStringLiteral("-journal"));
        return programFile; // opened read-only, with a warning: better than an empty list of draws
    }
    return userFile;
}

bool Database::OpenDatabase(const QString &path)
{
    m_statements.clear();
    m_sqlite.reset();
    m_savepoints = 0;
    m_readOnly = false;
    m_path = path;

    QString why;
    const QFileInfo info(path);
    // An empty file is what an interrupted first start of an earlier version left behind.
    bool ok = true;
    if (!info.exists() || (info.isFile() && info.size() == 0))
        ok = create(path, why);
    ok = ok && openExisting(path, why);
    if (!ok) {
        m_statements.clear();
        m_sqlite.reset();
        refuse(path, why);
        return false;
    }
    if (m_readOnly)
        m_prompt.message(QStringLiteral("数据库文件是只读的，对抽奖设置的修改和抽奖结果都将无法保存！") +
                             u'\n' + QDir::toNativeSeparators(path),
                         Prompt::Icon::Warning);
    return true;
}

bool Database::create(const QString &path, QString &why)
{
    // Built aside and renamed into place: the file is either absent or complete.
    const QString building = path + QStringLiteral(".new");
    QFile::remove(building);
    QFile::remove(building + QStringLiteral("-journal"));
    try {
        SQLite::Database fresh(nativePath(building).toStdString(),
                               SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE, m_busyTimeout);
        fresh.exec("PRAGMA journal_mode=DELETE");
        fresh.exec("PRAGMA synchronous=EXTRA");
        SQLite::Transaction transaction(fresh);
        for (const char *statement : SchemaStatements)
            fresh.exec(statement);
        for (const char *statement : RoundLogStatements)
            fresh.exec(statement);
        fresh.exec("PRAGMA application_id=" + std::to_string(ApplicationId));
        fresh.exec("PRAGMA user_version=" + std::to_string(SchemaVersion));
        transaction.commit();
    } catch (const std::exception &e) {
        QFile::remove(building);
        why = QStringLiteral("无法建立数据库文件（%1）").arg(QString::fromUtf8(e.what()));
        return false;
    }
    // A journal left beside the old empty file would be played back into the new one.
    QFile::remove(path + QStringLiteral("-journal"));
    if (!moveOver(building, path)) {
        why = QStringLiteral("无法建立数据库文件（%1）").arg(qt_error_string());
        QFile::remove(building);
        return false;
    }
    syncFolder(QFileInfo(path).absolutePath());
    return true;
}

bool Database::openExisting(const QString &path, QString &why)
{
    // The header says whose file this is without SQLite touching it: no journal is
    // played back and no -wal or -shm file appears beside another program's database.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        why = QStringLiteral("无法读取文件（%1）").arg(file.errorString());
        return false;
    }
    const QByteArray header = file.read(100);
    file.close();
    if (header.size() < 100 || !header.startsWith(QByteArrayView("SQLite format 3", 16))) {
        why = QStringLiteral("不是可用的数据库文件");
        return false;
    }
    if (bigEndian32(header, 68) != quint32(ApplicationId)) {
        why = QStringLiteral("不是本程序的抽奖数据库");
        return false;
    }
    if (qint32(bigEndian32(header, 60)) > SchemaVersion) {
        why = QStringLiteral("由更新版本的程序建立（版本 %1），本程序只认识版本 %2")
                  .arg(qint32(bigEndian32(header, 60)))
                  .arg(SchemaVersion);
        return false;
    }

    // Ours: a read-write connection plays back what a crash left unfinished, then the
    // whole file is checked before anything is written to it.
    sqlite3 *handle = nullptr;
    try {
        m_sqlite = std::make_unique<SQLite::Database>(nativePath(path).toStdString(), SQLite::OPEN_READWRITE,
                                                      m_busyTimeout);
        handle = m_sqlite->getHandle();
        QStringList problems;
        {
            SQLite::Statement check(*m_sqlite, "PRAGMA quick_check(5)");
            while (check.executeStep())
                problems.append(QString::fromUtf8(check.getColumn(0).getText()));
        }
        if (problems != QStringList{QStringLiteral("ok")}) {
            why = QStringLiteral("数据库文件已损坏（%1）").arg(problems.join(QStringLiteral("；")));
            return false;
        }
        QStringList missing;
        for (const char *table : DrawTables) {
            SQLite::Statement find(*m_sqlite, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=?");
            find.bind(1, table);
            if (!find.executeStep())
                missing.append(QString::fromUtf8(table));
        }
        if (!missing.isEmpty()) {
            why = QStringLiteral("数据库缺少数据表 %1").arg(missing.join(QStringLiteral("、")));
            return false;
        }
        m_readOnly =
            sqlite3_db_readonly(handle, "main") == 1 || !folderWritable(QFileInfo(path).absolutePath());
        configure();
        return upgrade(why);
    } catch (const SQLite::Exception &e) {
        why = reasonOf(handle, e.getExtendedErrorCode());
        return false;
    } catch (const std::exception &e) {
        why = QStringLiteral("不是可用的数据库文件（%1）").arg(QString::fromUtf8(e.what()));
        return false;
    }
}

void Database::configure()
{
    // A round is on disk once its transaction has committed, power cut or not: EXTRA
    // also syncs the folder after the journal is deleted, so the journal cannot come
    // back and undo the round.
    m_sqlite->exec("PRAGMA journal_mode=DELETE");
    m_sqlite->exec("PRAGMA synchronous=EXTRA");
    m_sqlite->exec("PRAGMA foreign_keys=OFF");
    // "COLLATE zh" orders names as a Chinese reader expects (pinyin), and the digits in
    // numbers by their value (2 before 10).
    sqlite3_create_collation_v2(
        m_sqlite->getHandle(), "zh", SQLITE_UTF8, nullptr,
        [](void *, int lengthA, const void *a, int lengthB, const void *b) {
            return CompareChinese(QByteArrayView(static_cast<const char *>(a), lengthA),
                                  QByteArrayView(static_cast<const char *>(b), lengthB));
        },
        nullptr);
    // zh_key(text): bytes that order as "COLLATE zh" does, so that a list of a million is
    // sorted by comparing bytes rather than texts.
    sqlite3_create_function_v2(
        m_sqlite->getHandle(), "zh_key", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
        [](sqlite3_context *context, int, sqlite3_value **values) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(values[0]));
            const QByteArray key =
                ChineseSortKey(QByteArrayView(text ? text : "", text ? sqlite3_value_bytes(values[0]) : 0));
            sqlite3_result_blob(context, key.constData(), int(key.size()), SQLITE_TRANSIENT);
        },
        nullptr, nullptr, nullptr);
}

// Brings a file of an earlier version up to this one, a step at a time, each in
// one transaction: what was there stays as it was. A read-only file is used as it
// is; what needs the new tables fails there as every other write does.
bool Database::upgrade(QString &why)
{
    int version = m_sqlite->execAndGet("PRAGMA user_version").getInt();
    if (version >= SchemaVersion || m_readOnly)
        return true;
    try {
        SQLite::Transaction transaction(*m_sqlite);
        if (version < 2) {
            for (const char *statement : RoundLogStatements)
                m_sqlite->exec(statement);
            version = 2;
        }
        m_sqlite->exec("PRAGMA user_version=" + std::to_string(version));
        transaction.commit();
        return true;
    } catch (const std::exception &e) {
        why = QStringLiteral("无法升级数据库文件（%1）").arg(QString::fromUtf8(e.what()));
        return false;
    }
}

namespace {

// Pages copied between two looks at the source: about half a megabyte.
constexpr int PagesPerStep = 128;

bool backupInto(sqlite3 *source, const QString &target, int pagesPerStep, QString &why)
{
    const QString part = target + QStringLiteral(".part");
    QFile::remove(part);
    QFile::remove(part + QStringLiteral("-journal"));
    sqlite3 *copy = nullptr;
    int rc = sqlite3_open_v2(nativePath(part).constData(), &copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    if (rc == SQLITE_OK) {
        if (sqlite3_backup *backup = sqlite3_backup_init(copy, "main", source, "main")) {
            do {
                rc = sqlite3_backup_step(backup, pagesPerStep);
                // A writer wants the file: let it have it, then go on (a change restarts the copy).
                if (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
                    sqlite3_sleep(rc == SQLITE_OK ? 0 : 2);
            } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
            sqlite3_backup_finish(backup);
        } else {
            rc = sqlite3_errcode(copy);
        }
    }
    if (rc != SQLITE_DONE)
        why = QString::fromUtf8(copy ? sqlite3_errmsg(copy) : sqlite3_errstr(rc));
    sqlite3_close(copy);
    if (rc != SQLITE_DONE) {
        QFile::remove(part);
        return false;
    }
    // Whole on disk before it takes the name: the old copy stays until the new one is complete.
    QFile written(part);
    const bool synced = written.open(QIODevice::ReadWrite) && syncFile(written);
    written.close();
    if (!synced || !moveOver(part, target)) {
        why = qt_error_string();
        QFile::remove(part);
        return false;
    }
    syncFolder(QFileInfo(target).absolutePath());
    return true;
}

} // namespace

bool Database::BackupTo(const QString &target, QString &why)
{
    if (!m_sqlite) {
        why = QStringLiteral("没有打开的数据库");
        return false;
    }
    if (QFileInfo(target).absoluteFilePath() == QFileInfo(m_path).absoluteFilePath()) {
        why = QStringLiteral("不能备份到正在使用的数据库文件");
        return false;
    }
    return backupInto(m_sqlite->getHandle(), target, -1, why);
}

bool Database::CopyDatabaseFile(const QString &source, const QString &target, QString &why)
{
    sqlite3 *handle = nullptr;
    int rc = sqlite3_open_v2(nativePath(source).constData(), &handle, SQLITE_OPEN_READONLY, nullptr);
    bool copied = false;
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(handle, 2000);
        copied = backupInto(handle, target, PagesPerStep, why);
    } else {
        why = QString::fromUtf8(handle ? sqlite3_errmsg(handle) : sqlite3_errstr(rc));
    }
    sqlite3_close(handle);
    return copied;
}

qint64 Database::changeCount() const
{
    return m_sqlite ? sqlite3_total_changes64(m_sqlite->getHandle()) : 0;
}

void Database::refuse(const QString &path, const QString &why)
{
    m_prompt.message(QStringLiteral("无法建立数据库连接！") + u'\n' + QDir::toNativeSeparators(path) +
                         QStringLiteral("：") + why,
                     Prompt::Icon::Critical);
}

void Database::showOpenError(const Sql &sql)
{
    m_prompt.message(QStringLiteral("数据库打开错误(") + sql.shown() + QStringLiteral(")！"));
}

// ---------------------------------------------------------------- statements

std::shared_ptr<Statement> Database::statement(const QString &text)
{
    auto it = m_statements.find(text);
    if (it == m_statements.end()) {
        // Keep the cache small; grids build many one-off statements.
        if (m_statements.size() >= 64)
            m_statements.clear();
        it = m_statements.insert(text, std::make_shared<Statement>(m_sqlite->getHandle(), text));
    }
    return *it;
}

Statement &Database::prepare(const QString &text, const QList<QVariant> &values)
{
    Statement &prepared = *statement(text);
    prepared.bind(values);
    return prepared;
}

bool Database::run(const QString &text, const QList<QVariant> &values)
{
    if (!m_sqlite)
        return false;
    try {
        Statement &statement = prepare(text, values);
        const int rc = sqlite3_step(statement.get());
        statement.reset();
        return rc == SQLITE_DONE || rc == SQLITE_ROW;
    } catch (const std::exception &) {
        return false;
    }
}

qint64 Database::lastInsertId() const
{
    return m_sqlite ? m_sqlite->getLastInsertRowid() : 0;
}

bool Database::forEachRow(const Sql &sql, const std::function<void(const Row &)> &visit)
{
    if (!m_sqlite)
        return false;
    try {
        // Not from the cache: the visitor may run other statements meanwhile.
        Statement statement(m_sqlite->getHandle(), sql.executable());
        statement.bind(sql.values());
        sqlite3_stmt *stmt = statement.get();
        Columns columns;
        columns.assign(stmt, 0);
        const Row row(stmt, columns);
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            visit(row);
        if (rc != SQLITE_DONE)
            throw std::runtime_error(sqlite3_errmsg(m_sqlite->getHandle()));
        return true;
    } catch (const std::exception &) {
        showOpenError(sql);
        return false;
    }
}

Query Database::OpenQuery(const Sql &sql)
{
    Query query;
    if (!m_sqlite)
        return query;
    QString executable = sql.executable();
    const QString table = updatableTable(executable);
    int first = 0;
    if (!table.isEmpty()) {
        // Keep each row's rowid so that it can be changed or deleted later.
        static const QRegularExpression star(QStringLiteral("\\*"));
        executable.replace(executable.indexOf(star), 1, QStringLiteral("rowid AS ") + RowIdColumn + u",*");
        first = 1;
    }
    try {
        Statement statement(m_sqlite->getHandle(), executable);
        statement.bind(sql.values());
        sqlite3_stmt *stmt = statement.get();
        query.m_columns.assign(stmt, first);
        const int width = int(query.m_columns.names().size());
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            if (first)
                query.m_rowIds.append(sqlite3_column_int64(stmt, 0));
            for (int c = 0; c < width; ++c)
                query.m_cells.append(columnValue(stmt, c + first, query.m_columns.kind(c)));
            ++query.m_rowCount;
        }
        if (rc != SQLITE_DONE)
            throw std::runtime_error(sqlite3_errmsg(m_sqlite->getHandle()));
    } catch (const std::exception &) {
        showOpenError(sql);
        return Query();
    }
    query.m_db = this;
    query.m_table = table;
    return query;
}

double Database::SumColumn(const QString &table, const QString &column, const Sql &condition)
{
    double sum = 0;
    const bool read =
        forEachRow(Sql("SELECT SUM(") + column + Sql(") AS Coun FROM ") + table + Sql(" WHERE ") + condition,
                   [&](const Row &row) { sum = row.value(QStringLiteral("Coun")).toDouble(); });
    return read ? sum : 0;
}

bool Database::TableExists(const QString &name)
{
    if (!m_sqlite)
        return false;
    bool found = false;
    const bool read = forEachRow(
        Sql("SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"),
        [&](const Row &row) { found = found || row.text(0) == name; });
    return read && found;
}

qint64 Database::CountRows(const QString &table, const Sql &condition, const QString &fields)
{
    Sql inner = Sql("SELECT ") + fields + Sql(" FROM ") + table;
    if (!condition.isEmpty())
        inner += Sql(" WHERE ") + condition;
    if (!m_sqlite)
        return 0;
    try {
        Statement &statement =
            prepare(QStringLiteral("SELECT COUNT(*) FROM (") + inner.executable() + u')', inner.values());
        qint64 count = 0;
        const int rc = sqlite3_step(statement.get());
        if (rc == SQLITE_ROW)
            count = sqlite3_column_int64(statement.get(), 0);
        statement.reset();
        return count;
    } catch (const std::exception &) {
        showOpenError(inner);
        return 0;
    }
}

bool Database::ExecuteSql(const Sql &sql)
{
    return run(sql.executable(), sql.values());
}

QVariant Database::LookupValue(const QString &table, const QVariant &keyValue, const QString &keyField,
                               const QString &wantedField)
{
    const bool isText = keyValue.typeId() == QMetaType::QString;
    const Sql literal = isText ? Sql::text(keyValue.toString()) : Sql::number(numberOf(keyValue));
    QVariant found = QString();
    bool first = true;
    const bool read = forEachRow(
        Sql("SELECT * FROM ") + table + Sql(" WHERE ") + keyField + Sql("=") + literal, [&](const Row &row) {
            if (first)
                found = row.value(wantedField);
            first = false;
        });
    return read ? found : QVariant(QString());
}

// ---------------------------------------------------------------- transactions

Database::Transaction::Transaction(Database &db) : m_db(db)
{
    if (!m_db.m_sqlite)
        return;
    m_name = QStringLiteral("quilla_%1").arg(m_db.m_savepoints + 1);
    m_open = m_db.run(QStringLiteral("SAVEPOINT ") + m_name, {});
    if (m_open)
        ++m_db.m_savepoints;
}

Database::Transaction::~Transaction()
{
    if (!m_open)
        return;
    m_db.run(QStringLiteral("ROLLBACK TO ") + m_name, {});
    m_db.run(QStringLiteral("RELEASE ") + m_name, {});
    --m_db.m_savepoints;
}

bool Database::Transaction::commit()
{
    if (!m_open)
        return false;
    const bool ok = m_db.run(QStringLiteral("RELEASE ") + m_name, {});
    if (ok) {
        m_open = false;
        --m_db.m_savepoints;
    }
    return ok;
}

} // namespace quilla
