#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

struct sqlite3_stmt;

namespace quilla {

class Database;
class Statement;

// How stored values read as the program's types: Null reads as empty text, 0 or false.
QString textOf(const QVariant &value);
qint64 numberOf(const QVariant &value); // rounded half to even, like the conversion to long
bool flagOf(const QVariant &value);

// Column names of a result, looked up by name.
class Columns
{
  public:
    // How a column's values read: yes/no columns as booleans, date columns as dates.
    enum class Kind
    {
        Plain,
        Boolean,
        Date
    };

    void assign(sqlite3_stmt *stmt, int first);
    int indexOf(QStringView name) const; // -1 when there is no such column
    const QStringList &names() const { return m_names; }
    Kind kind(int column) const { return m_kinds.value(column, Kind::Plain); }

  private:
    QStringList m_names;
    QList<Kind> m_kinds;
};

// The current row of a streamed query (see Database::forEachRow).
class Row
{
  public:
    Row(sqlite3_stmt *stmt, const Columns &columns) : m_stmt(stmt), m_columns(columns) {}
    int column(QStringView name) const { return m_columns.indexOf(name); }
    QVariant value(int column) const;
    QVariant value(QStringView name) const { return value(column(name)); }
    QString text(int column) const;
    QString text(QStringView name) const { return text(column(name)); }
    // The value as the UTF-8 text SQLite keeps, without a copy; valid until the next
    // row. For looking through many rows where a QString each would cost too much.
    QByteArrayView utf8View(int column) const;
    qint64 number(int column) const { return numberOf(value(column)); }
    // A key column (an integer as stored) without the conversions number() allows for.
    qint64 key(int column) const;
    qint64 number(QStringView name) const { return number(column(name)); }
    bool flag(QStringView name) const { return flagOf(value(name)); }

  private:
    sqlite3_stmt *m_stmt;
    const Columns &m_columns;
};

// An opened result: its rows are read at once, so rowCount() is exact, and it
// is positioned on the first row. A result of "SELECT * FROM table ..." can
// append rows (addNew, setValue, save), change the current row (setValue, save)
// and delete it (remove). A query that failed to open is simply empty.
class Query
{
  public:
    Query() = default;

    // False when the statement failed (the result is then empty).
    bool isValid() const { return m_db != nullptr; }
    qsizetype rowCount() const { return m_rowCount; }
    bool atEnd() const { return m_mode == Mode::Stored && m_row >= m_rowCount; }
    void first();
    void next();
    const QStringList &columns() const { return m_columns.names(); }

    QVariant value(QStringView column) const { return valueAt(m_columns.indexOf(column)); }
    QVariant valueAt(int column) const; // Null when there is no such column
    QString text(QStringView column) const { return textOf(value(column)); }
    qint64 number(QStringView column) const { return numberOf(value(column)); }
    bool flag(QStringView column) const { return flagOf(value(column)); }

    // Starts a new row; save() appends it and reads its autonumber ID back into
    // the row, which stays current until the next move. Appended rows are not
    // added to the rows read at opening.
    void addNew();
    void setValue(QStringView column, const QVariant &value);
    bool save();
    // Deletes the current row from its table; the row stays in place here until a move.
    bool remove();

  private:
    friend class Database;
    const QVariant *currentRow() const;
    QStringList changedColumns() const;
    bool insert(const QList<QVariant> &values);

    Database *m_db = nullptr;
    QString m_table; // set when rows can be written back
    Columns m_columns;
    QList<QVariant> m_cells; // row-major, rowCount × columns
    QList<qint64> m_rowIds;
    qsizetype m_rowCount = 0;
    qsizetype m_row = 0;

    // Stored: on a row read at opening (or at the end); Adding: between addNew and
    // save; Added: on the row just appended.
    enum class Mode
    {
        Stored,
        Adding,
        Added
    };
    Mode m_mode = Mode::Stored;
    QList<QVariant> m_edit; // the row being added or changed
    QList<bool> m_changed;
    // The insert of the last appended row, reused while the same columns are set.
    std::shared_ptr<Statement> m_insert;
    QList<bool> m_insertColumns;
};

} // namespace quilla
