#include "Database.h"
#include "ChineseOrder.h"
#include "DatabaseLock.h"
#include "Statement.h"
#include "system/FileSync.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
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
};
const char *const RoundLogIndex = "CREATE INDEX IF NOT EXISTS 轮次表_CID ON 轮次表 (CID, ID)";

// Version 3: which results of a round preset winners filled (the first 预设名额 of 结果ID).
const char *const PresetIdsColumn = "ALTER TABLE 轮次表 ADD COLUMN 预设结果ID TEXT NOT NULL ON CONFLICT REPLACE DEFAULT ''";

// Version 4: who is in the hall. 签到 is 0 未签到, 1 已签到, 2 不在场, with when
// (local time) and how it was set; 只抽签到 draws among the checked-in only. The
// index finds a number at the door among a million.
const char *const PresenceStatements[] = {
    "ALTER TABLE 号码表 ADD COLUMN 签到 INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0",
    "ALTER TABLE 号码表 ADD COLUMN 签到时间 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT ''",
    "ALTER TABLE 号码表 ADD COLUMN 签到方式 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT ''",
};
// An index of every number, kept from the start, made imports of a million rows 2.6 times
// slower and deletes five times (its pages are touched in the numbers' order, not the rows');
// check-ins make one only for a large draw (indexNumbersForCheckIn). Files that got it lose it.
const char *const DroppedNumberIndex = "DROP INDEX IF EXISTS 号码表_CID_号码";
// Only the rows someone marked: empty until the doors open, so an import pays nothing for it,
// and counting the checked-in (or finding the absent) never walks a whole draw.
const char *const MarkedIndex = "CREATE INDEX IF NOT EXISTS 号码表_签到 ON 号码表 (CID, 签到) WHERE 签到<>0";
const char *const CheckedInOnlyColumn =
    "ALTER TABLE 奖次表 ADD COLUMN 只抽签到 BOOLEAN NOT NULL ON CONFLICT REPLACE DEFAULT 0";

// What a file must hold to be taken for ours: these tables with at least these
// columns. Columns and tables that a schema step adds are not asked of an older file.
struct TableShape
{
    const char *name;
    std::initializer_list<const char *> columns;
};
const TableShape DrawTableShapes[] = {
    {"奖次表", {"ID", "抽奖内容", "速度", "定时", "定长", "屏蔽", "底图", "音乐1", "音乐2", "音乐3", "FRM", "BRD", "L0",
               "L1", "L2"}},
    {"奖项表", {"ID", "CID", "顺序", "名称", "数量", "同时", "显示", "重复", "奖品"}},
    {"号码表", {"ID", "CID", "号码", "姓名"}},
    {"结果表", {"ID", "CID", "WID", "号码", "姓名"}},
    {"预设表", {"PID", "AID", "Code", "Name"}},
};
const TableShape RoundLogShape = {
    "轮次表", {"ID", "CID", "WID", "事件", "UTC时间", "本地时间", "在场人数", "名额", "预设名额", "结果ID", "说明"}};
// SQLite's own tables that any file may hold.
const char *const SqliteTables[] = {"sqlite_sequence", "sqlite_stat1", "sqlite_stat2", "sqlite_stat3", "sqlite_stat4"};
// Our schema has a dozen rows; a file with many more is not ours, and SQLite would
// spend minutes reading them before any check could run.
constexpr int MaxSchemaRows = 300;


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
        // Read as stored (UTF-8): SQLite's own conversion to UTF-16 turns U+FFFF into U+FFFD.
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
        const QString value = QString::fromUtf8(text, sqlite3_column_bytes(stmt, column));
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
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, column));
}

QByteArrayView Row::utf8View(int column) const
{
    if (column < 0)
        return {};
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return QByteArrayView(text, sqlite3_column_bytes(m_stmt, column));
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

// What a file brings must not act: no functions from its schema, no extensions,
// no writes to the schema, and SQLite checks each cell it reads. (Triggers and
// views are refused when the file is opened.)
void harden(sqlite3 *handle)
{
    sqlite3_db_config(handle, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(handle, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(handle, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_exec(handle, "PRAGMA cell_size_check=ON", nullptr, nullptr, nullptr);
}

quint32 bigEndian16(const QByteArray &bytes, qsizetype offset)
{
    return quint32(quint8(bytes.at(offset))) << 8 | quint32(quint8(bytes.at(offset + 1)));
}

quint32 bigEndian32(const QByteArray &bytes, qsizetype offset)
{
    return bigEndian16(bytes, offset) << 16 | bigEndian16(bytes, offset + 2);
}

// Rows of the schema table, counted from the file's pages without SQLite reading
// them: at most cap, and -1 when the pages do not hold together.
int schemaRowCount(const QString &path, int cap)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray header = file.read(100);
    if (header.size() < 100)
        return -1;
    qint64 pageSize = bigEndian16(header, 16);
    if (pageSize == 1)
        pageSize = 65536;
    if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)) != 0)
        return -1;
    const qint64 pages = file.size() / pageSize;
    QList<quint32> waiting{1};
    QSet<quint32> seen;
    int rows = 0;
    while (!waiting.isEmpty()) {
        const quint32 page = waiting.takeLast();
        if (page < 1 || page > pages || seen.contains(page))
            return -1;
        seen.insert(page);
        if (seen.size() > 4 * MaxSchemaRows)
            return cap; // a tree this deep holds more than we would ever read
        if (!file.seek((page - 1) * pageSize))
            return -1;
        const QByteArray data = file.read(pageSize);
        if (data.size() != pageSize)
            return -1;
        const qsizetype at = page == 1 ? 100 : 0;
        const quint8 kind = quint8(data.at(at));
        const int cells = int(bigEndian16(data, at + 3));
        if (kind == 13) { // a leaf of the table tree: one row per cell
            rows += cells;
            if (rows >= cap)
                return cap;
            continue;
        }
        if (kind != 5) // an inner page of the table tree, or the file is damaged
            return -1;
        waiting.append(bigEndian32(data, at + 8));
        for (int i = 0; i < cells; ++i) {
            const qsizetype pointer = at + 12 + 2 * i;
            if (pointer + 2 > pageSize)
                return -1;
            const qsizetype cell = bigEndian16(data, pointer);
            if (cell + 4 > pageSize)
                return -1;
            waiting.append(bigEndian32(data, cell));
        }
    }
    return rows;
}

// The journal SQLite plays back into a database when it opens it.
QStringList leftoversBeside(const QString &path)
{
    const QFileInfo journal(path + QStringLiteral("-journal"));
    if (journal.isFile() && journal.size() > 0)
        return {journal.absoluteFilePath()};
    return {};
}

// Copies the database and what lies beside it into a new folder next to it, named
// with the time; the folder's path, or empty when the copy could not be made whole.
QString copyAside(const QString &path, const QStringList &leftovers)
{
    const QFileInfo info(path);
    const QString folder = QDir(info.absolutePath())
                               .filePath(info.fileName() + QStringLiteral("-打开前副本-") +
                                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")));
    if (!QDir().mkpath(folder))
        return {};
    for (const QString &from : QStringList{info.absoluteFilePath()} + leftovers) {
        const QString to = QDir(folder).filePath(QFileInfo(from).fileName());
        QFile copy(to);
        if (!QFile::copy(from, to) || !copy.open(QIODevice::ReadWrite) || !syncFile(copy)) {
            QDir(folder).removeRecursively();
            return {};
        }
    }
    syncFolder(folder);
    return folder;
}

// Puts the files copied aside back where they were, each through a temporary name.
bool putBack(const QString &folder, const QString &path)
{
    const QFileInfo info(path);
    bool whole = true;
    for (const QFileInfo &saved : QDir(folder).entryInfoList(QDir::Files)) {
        const QString target = QDir(info.absolutePath()).filePath(saved.fileName());
        const QString temporary = target + QStringLiteral(".restore");
        QFile::remove(temporary);
        QFile copy(temporary);
        const bool copied = QFile::copy(saved.absoluteFilePath(), temporary) && copy.open(QIODevice::ReadWrite) &&
                            syncFile(copy);
        copy.close();
        if (!copied || !moveOver(temporary, target)) {
            QFile::remove(temporary);
            whole = false;
        }
    }
    syncFolder(info.absolutePath());
    return whole;
}

// Keeps the newest few copies made before a play-back; the rest go.
void pruneCopiesAside(const QString &path)
{
    const QFileInfo info(path);
    const QFileInfoList copies =
        QDir(info.absolutePath())
            .entryInfoList({info.fileName() + QStringLiteral("-打开前副本-*")}, QDir::Dirs | QDir::NoDotAndDotDot,
                           QDir::Name | QDir::Reversed);
    for (qsizetype i = 3; i < copies.size(); ++i)
        QDir(copies.at(i).absoluteFilePath()).removeRecursively();
}

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

bool Database::openDatabase(const QString &path)
{
    m_statements.clear();
    m_sqlite.reset();
    m_savepoints = 0;
    m_readOnly = false;
    m_readOnlyReason.clear();
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
                             u'\n' + m_readOnlyReason + u'\n' + QDir::toNativeSeparators(path),
                         Prompt::Icon::Warning);
    return true;
}

namespace {

// Brings a file up to this version: each missing piece is added by the step that
// adds it, whatever version the file claims, so a file that says it is new but
// lacks a piece is mended too. The caller holds the transaction.
void addMissingPieces(SQLite::Database &db)
{
    const auto exists = [&](const char *sql, const char *name) {
        SQLite::Statement find(db, sql);
        find.bind(1, name);
        return find.executeStep();
    };
    if (!exists("SELECT 1 FROM sqlite_master WHERE type='table' AND name=?", "轮次表"))
        for (const char *statement : RoundLogStatements)
            db.exec(statement);
    db.exec(RoundLogIndex);
    if (!exists("SELECT 1 FROM pragma_table_info('轮次表') WHERE name=?", "预设结果ID")) {
        db.exec(PresetIdsColumn);
        // Presets always fill the first places of a round: mark those of the rounds logged so far.
        SQLite::Statement rounds(db, "SELECT ID,结果ID,预设名额 FROM 轮次表 WHERE 预设名额>0");
        SQLite::Statement mark(db, "UPDATE 轮次表 SET 预设结果ID=? WHERE ID=?");
        while (rounds.executeStep()) {
            const QStringList ids = QString::fromUtf8(rounds.getColumn(1).getText()).split(u',', Qt::SkipEmptyParts);
            mark.bind(1, ids.mid(0, rounds.getColumn(2).getInt()).join(u',').toStdString());
            mark.bind(2, rounds.getColumn(0).getInt64());
            mark.exec();
            mark.reset();
        }
    }
    if (!exists("SELECT 1 FROM pragma_table_info('号码表') WHERE name=?", "签到"))
        for (const char *statement : PresenceStatements)
            db.exec(statement);
    db.exec(DroppedNumberIndex);
    db.exec(MarkedIndex);
    if (!exists("SELECT 1 FROM pragma_table_info('奖次表') WHERE name=?", "只抽签到"))
        db.exec(CheckedInOnlyColumn);
    db.exec("PRAGMA user_version=" + std::to_string(Database::SchemaVersion));
}

bool needsPieces(SQLite::Database &db)
{
    return db.execAndGet("PRAGMA user_version").getInt() < Database::SchemaVersion ||
           !db.execAndGet("SELECT count(*) FROM pragma_table_info('轮次表') WHERE name='预设结果ID'").getInt() ||
           !db.execAndGet("SELECT count(*) FROM pragma_table_info('号码表') WHERE name='签到方式'").getInt() ||
           !db.execAndGet("SELECT count(*) FROM pragma_table_info('奖次表') WHERE name='只抽签到'").getInt() ||
           !db.execAndGet("SELECT count(*) FROM sqlite_master WHERE name='号码表_签到'").getInt() ||
           db.execAndGet("SELECT count(*) FROM sqlite_master WHERE name='号码表_CID_号码'").getInt();
}

} // namespace

bool Database::create(const QString &path, QString &why)
{
    // Built aside and renamed into place: the file is either absent or complete.
    const QString building = path + QStringLiteral(".new");
    QFile::remove(building);
    QFile::remove(building + QStringLiteral("-journal"));
    try {
        SQLite::Database fresh(nativePath(building).toStdString(),
                               SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE, m_busyTimeout);
        harden(fresh.getHandle());
        fresh.exec("PRAGMA journal_mode=DELETE");
        fresh.exec("PRAGMA synchronous=EXTRA");
        SQLite::Transaction transaction(fresh);
        for (const char *statement : SchemaStatements)
            fresh.exec(statement);
        fresh.exec("PRAGMA application_id=" + std::to_string(ApplicationId));
        addMissingPieces(fresh);
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

    // This program never leaves a write-ahead log: one beside the file comes from another
    // program, and SQLite would read it as part of the file.
    const QFileInfo log(path + QStringLiteral("-wal"));
    if (log.isFile() && log.size() > 0) {
        why = QStringLiteral("文件旁有其他程序留下的 %1，请用那个程序正常关闭文件后再打开").arg(log.fileName());
        return false;
    }
    // SQLite plays a journal beside the file back into it. That journal may belong to
    // another file (copied in with it): the file and its journal are copied aside
    // first, and put back if the file is refused, so that it ends as it came.
    const QStringList leftovers = leftoversBeside(path);
    QString aside;
    if (!leftovers.isEmpty()) {
        aside = copyAside(path, leftovers);
        if (aside.isEmpty()) {
            why = QStringLiteral("文件旁有未完成的修改（%1），但无法先保存一份副本，为安全起见没有打开")
                      .arg(QFileInfo(leftovers.first()).fileName());
            return false;
        }
    }
    if (openChecked(path, why)) {
        if (!aside.isEmpty())
            pruneCopiesAside(path);
        return true;
    }
    if (!aside.isEmpty()) {
        m_statements.clear();
        m_sqlite.reset();
        why += putBack(aside, path) ? QStringLiteral("。\n文件已恢复为打开前的样子，副本保存在：")
                                    : QStringLiteral("。\n文件未能恢复，打开前的副本保存在：");
        why += QDir::toNativeSeparators(aside);
    }
    return false;
}

bool Database::openChecked(const QString &path, QString &why)
{
    sqlite3 *handle = nullptr;
    try {
        m_sqlite = std::make_unique<SQLite::Database>(nativePath(path).toStdString(), SQLite::OPEN_READWRITE,
                                                      m_busyTimeout);
        handle = m_sqlite->getHandle();
        harden(handle);
        // Reading the header plays back what a crash left unfinished, without reading
        // the schema, which a hostile file can make take minutes.
        m_sqlite->execAndGet("PRAGMA user_version");
        const int schemaRows = schemaRowCount(path, MaxSchemaRows + 1);
        if (schemaRows < 0) {
            why = QStringLiteral("数据库文件已损坏（数据表的定义无法读取）");
            return false;
        }
        if (schemaRows > MaxSchemaRows) {
            why = QStringLiteral("文件中的定义多于 %1 项，不是本程序的抽奖数据库").arg(MaxSchemaRows);
            return false;
        }
        if (!checkSchema(why))
            return false;
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
        const bool fileReadOnly = sqlite3_db_readonly(handle, "main") == 1;
        m_readOnly = fileReadOnly || !folderWritable(QFileInfo(path).absolutePath());
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

// Exactly our tables, each with at least our columns, and nothing that could act:
// no trigger, no view, no virtual table. Checked before anything is written.
bool Database::checkSchema(QString &why)
{
    const auto isOneOf = [](const QString &name, const auto &names) {
        return std::any_of(std::begin(names), std::end(names),
                           [&](const auto &known) { return name == QString::fromUtf8(known); });
    };
    QStringList draws;
    for (const TableShape &shape : DrawTableShapes)
        draws.append(QString::fromUtf8(shape.name));
    const QString roundLog = QString::fromUtf8(RoundLogShape.name);
    const QString notOurs = QStringLiteral("，不是本程序的抽奖数据库");
    QStringList present;
    SQLite::Statement entries(*m_sqlite, "SELECT type,name,tbl_name,coalesce(sql,'') FROM sqlite_master");
    while (entries.executeStep()) {
        const QString type = QString::fromUtf8(entries.getColumn(0).getText());
        const QString name = QString::fromUtf8(entries.getColumn(1).getText());
        const QString sql = QString::fromUtf8(entries.getColumn(3).getText()).simplified();
        if (type == u"trigger") {
            why = QStringLiteral("文件中含有触发器") + notOurs;
            return false;
        }
        if (type == u"view") {
            why = QStringLiteral("文件中含有视图") + notOurs;
            return false;
        }
        if (type == u"index")
            continue; // on a table checked here; an index cannot run anything we do not allow
        if (type != u"table") {
            why = QStringLiteral("文件中含有不认识的定义“%1”").arg(name) + notOurs;
            return false;
        }
        if (isOneOf(name, SqliteTables))
            continue;
        if (!draws.contains(name) && name != roundLog) {
            why = QStringLiteral("文件中含有多余的数据表“%1”").arg(name) + notOurs;
            return false;
        }
        if (!sql.startsWith(QStringLiteral("CREATE TABLE"), Qt::CaseInsensitive) ||
            sql.contains(QStringLiteral("WITHOUT ROWID"), Qt::CaseInsensitive)) {
            why = QStringLiteral("数据表“%1”不是普通的数据表").arg(name) + notOurs;
            return false;
        }
        present.append(name);
    }
    QStringList missing;
    for (const QString &table : std::as_const(draws))
        if (!present.contains(table))
            missing.append(table);
    if (!missing.isEmpty()) {
        why = QStringLiteral("数据库缺少数据表 %1").arg(missing.join(QStringLiteral("、")));
        return false;
    }
    const auto checkColumns = [&](const TableShape &shape) {
        QHash<QString, bool> columns; // name → is the table's key
        SQLite::Statement info(*m_sqlite, "SELECT name,pk FROM pragma_table_info(?)");
        info.bind(1, shape.name);
        while (info.executeStep())
            columns.insert(QString::fromUtf8(info.getColumn(0).getText()), info.getColumn(1).getInt() == 1);
        for (const char *column : shape.columns) {
            const QString wanted = QString::fromUtf8(column);
            if (!columns.contains(wanted)) {
                why = QStringLiteral("数据表“%1”缺少列“%2”").arg(QString::fromUtf8(shape.name), wanted) + notOurs;
                return false;
            }
            // Results and log rows are named by their ID: it must be the row's own key.
            if (wanted == u"ID" && !columns.value(wanted)) {
                why = QStringLiteral("数据表“%1”的 ID 不是主键").arg(QString::fromUtf8(shape.name)) + notOurs;
                return false;
            }
        }
        return true;
    };
    for (const TableShape &shape : DrawTableShapes)
        if (!checkColumns(shape))
            return false;
    return !present.contains(roundLog) || checkColumns(RoundLogShape);
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
            return compareChinese(QByteArrayView(static_cast<const char *>(a), lengthA),
                                  QByteArrayView(static_cast<const char *>(b), lengthB));
        },
        nullptr);
}

// Brings a file of an earlier version up to this one in one transaction: what was
// there stays as it was. A read-only file is used as it is, and the operator is
// told why what needs the new pieces will fail.
bool Database::upgrade(QString &why)
{
    const QFileInfo info(m_path);
    if (m_readOnly) {
        m_readOnlyReason = sqlite3_db_readonly(m_sqlite->getHandle(), "main") == 1
                               ? QStringLiteral("原因：文件本身是只读的。")
                               : QStringLiteral("原因：文件所在的文件夹不能写入。");
        if (needsPieces(*m_sqlite))
            m_readOnlyReason += QStringLiteral("文件由旧版本建立，只读时无法升级，抽奖记录也无法写入。");
        return true;
    }
    if (!needsPieces(*m_sqlite))
        return true;
    try {
        SQLite::Transaction transaction(*m_sqlite);
        addMissingPieces(*m_sqlite);
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

// The operator's words for why a copy could not be written.
QString copyFailure(sqlite3 *copy, int rc)
{
    switch (rc & 0xFF) {
    case SQLITE_FULL:
        return QStringLiteral("磁盘已满");
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_READONLY:
        return QStringLiteral("无法在文件夹中写入文件");
    case SQLITE_IOERR:
        return QStringLiteral("写入出错（%1）").arg(QString::fromUtf8(copy ? sqlite3_errmsg(copy) : sqlite3_errstr(rc)));
    default:
        return QString::fromUtf8(copy ? sqlite3_errmsg(copy) : sqlite3_errstr(rc));
    }
}

// A copy never takes the place of a file in use: not the file it is copied from,
// however the path is spelt, and not a file another copy of the program has open.
bool targetInUse(const QString &target, const QString &sourcePath, QString &why)
{
    if (DatabaseLock::sameDatabase(target, sourcePath)) {
        why = QStringLiteral("备份位置就是正在使用的数据库文件");
        return true;
    }
    return false;
}

bool backupInto(sqlite3 *source, const QString &sourcePath, const QString &target, int pagesPerStep,
                QString &why)
{
    if (targetInUse(target, sourcePath, why))
        return false;
    const QString part = target + QStringLiteral(".part");
    QFile::remove(part);
    QFile::remove(part + QStringLiteral("-journal"));
    sqlite3 *copy = nullptr;
    int rc = sqlite3_open_v2(nativePath(part).constData(), &copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    if (rc == SQLITE_OK) {
        harden(copy);
        if (sqlite3_backup *backup = sqlite3_backup_init(copy, "main", source, "main")) {
            do {
                rc = sqlite3_backup_step(backup, pagesPerStep);
                // A writer wants the file: let it have it, then go on (a change restarts the copy).
                if (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
                    sqlite3_sleep(rc == SQLITE_OK ? 0 : 2);
            } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
            sqlite3_backup_finish(backup);
            if (rc != SQLITE_DONE && sqlite3_errcode(copy) != SQLITE_OK)
                rc = sqlite3_errcode(copy);
        } else {
            rc = sqlite3_errcode(copy);
        }
    }
    if (rc != SQLITE_DONE)
        why = copyFailure(copy, rc);
    sqlite3_close(copy);
    if (rc != SQLITE_DONE) {
        QFile::remove(part);
        QFile::remove(part + QStringLiteral("-journal"));
        return false;
    }
    // Whole on disk before it takes the name: the old copy stays until the new one is complete.
    QFile written(part);
    const bool synced = written.open(QIODevice::ReadWrite) && syncFile(written);
    written.close();
    if (!synced) {
        why = copyFailure(nullptr, SQLITE_IOERR);
        QFile::remove(part);
        return false;
    }
    // Right before the rename, the target is looked at again, and held as the program
    // holds its own file, so that no copy starts on it meanwhile.
    DatabaseLock lock(target);
    const DatabaseLock::State state = lock.acquire();
    if (state == DatabaseLock::State::InUse || targetInUse(target, sourcePath, why)) {
        if (state == DatabaseLock::State::InUse) {
            const QString holder = lock.holder();
            why = QStringLiteral("备份位置的数据库正被另一个Quilla抽奖使用") +
                  (holder.isEmpty() ? QString() : u'（' + holder + u'）') + QStringLiteral("，没有覆盖它");
        }
        QFile::remove(part);
        return false;
    }
    if (!moveOver(part, target)) {
        why = qt_error_string();
        QFile::remove(part);
        return false;
    }
    syncFolder(QFileInfo(target).absolutePath());
    return true;
}

} // namespace

bool Database::backupTo(const QString &target, QString &why)
{
    if (!m_sqlite) {
        why = QStringLiteral("没有打开的数据库");
        return false;
    }
    return backupInto(m_sqlite->getHandle(), m_path, target, -1, why);
}

bool Database::copyDatabaseFile(const QString &source, const QString &target, QString &why)
{
    sqlite3 *handle = nullptr;
    int rc = sqlite3_open_v2(nativePath(source).constData(), &handle, SQLITE_OPEN_READONLY, nullptr);
    bool copied = false;
    if (rc == SQLITE_OK) {
        harden(handle);
        sqlite3_busy_timeout(handle, 2000);
        copied = backupInto(handle, source, target, PagesPerStep, why);
    } else {
        why = QString::fromUtf8(handle ? sqlite3_errmsg(handle) : sqlite3_errstr(rc));
    }
    sqlite3_close(handle);
    return copied;
}

void Database::removeLeftoverCopies(const QString &folder)
{
    // A copy killed part-way leaves its .part (and the journal of that); one still being
    // written is younger than this.
    // Matched by hand, not by name filters: those compile a regular expression, whose
    // per-thread stack on Windows (Qt's thread_local in a MinGW DLL) left the process
    // hanging in its exit after a copy ran on the copying thread.
    const QDateTime old = QDateTime::currentDateTimeUtc().addSecs(-60);
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden);
    for (const QFileInfo &file : files) {
        const QString name = file.fileName();
        const bool part = name.endsWith(QLatin1String(".mdb.part"), Qt::CaseInsensitive) ||
                          name.endsWith(QLatin1String(".mdb.part-journal"), Qt::CaseInsensitive);
        if (part && file.lastModified().toUTC() < old)
            QFile::remove(file.absoluteFilePath());
    }
}

qint64 Database::changeCount() const
{
    return m_sqlite ? sqlite3_total_changes64(m_sqlite->getHandle()) : 0;
}

std::pair<qint64, qint64> Database::storedStamp()
{
    if (!m_sqlite)
        return {0, 0};
    try {
        return {changeCount(), m_sqlite->execAndGet("PRAGMA data_version").getInt64()};
    } catch (const std::exception &) {
        return {changeCount(), -1};
    }
}

bool Database::hasColumn(const QString &table, const QString &column)
{
    if (!m_sqlite)
        return false;
    try {
        SQLite::Statement find(*m_sqlite, "SELECT 1 FROM pragma_table_info(?) WHERE name=?");
        find.bind(1, table.toStdString());
        find.bind(2, column.toStdString());
        return find.executeStep();
    } catch (const std::exception &) {
        return false;
    }
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
        // Keep the cache small; the lists build many one-off statements.
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

Query Database::openQuery(const Sql &sql)
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

bool Database::tableExists(const QString &name)
{
    if (!m_sqlite)
        return false;
    bool found = false;
    const bool read = forEachRow(
        Sql("SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"),
        [&](const Row &row) { found = found || row.text(0) == name; });
    return read && found;
}

qint64 Database::countRows(const QString &table, const Sql &condition, const QString &fields)
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

bool Database::executeSql(const Sql &sql)
{
    return run(sql.executable(), sql.values());
}

QVariant Database::lookupValue(const QString &table, const QVariant &keyValue, const QString &keyField,
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
    // The outermost transaction on a writable file takes the write lock before it reads. One
    // that read first and asked for it later would be refused at once, without waiting, while
    // another connection (the phone server's) is writing: SQLite's way out of a deadlock.
    if (m_db.m_savepoints == 0 && !m_db.m_readOnly && sqlite3_get_autocommit(m_db.m_sqlite->getHandle())) {
        m_began = m_db.run(QStringLiteral("BEGIN IMMEDIATE"), {});
        if (!m_began)
            return;
    }
    m_name = QStringLiteral("quilla_%1").arg(m_db.m_savepoints + 1);
    m_open = m_db.run(QStringLiteral("SAVEPOINT ") + m_name, {});
    if (m_open)
        ++m_db.m_savepoints;
    else if (std::exchange(m_began, false))
        m_db.run(QStringLiteral("ROLLBACK"), {});
}

Database::Transaction::~Transaction()
{
    if (m_open) {
        m_db.run(QStringLiteral("ROLLBACK TO ") + m_name, {});
        m_db.run(QStringLiteral("RELEASE ") + m_name, {});
        --m_db.m_savepoints;
    }
    if (m_began)
        m_db.run(QStringLiteral("ROLLBACK"), {});
}

bool Database::Transaction::commit()
{
    if (!m_open)
        return false;
    if (!m_db.run(QStringLiteral("RELEASE ") + m_name, {}))
        return false;
    m_open = false;
    --m_db.m_savepoints;
    if (!std::exchange(m_began, false))
        return true;
    if (m_db.run(QStringLiteral("COMMIT"), {}))
        return true;
    m_db.run(QStringLiteral("ROLLBACK"), {});
    return false;
}

} // namespace quilla
