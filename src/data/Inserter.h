#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>

namespace quilla {

class Database;
class Statement;

// Appends many rows to one table, inside a transaction the caller holds: rows are
// gathered and stored BatchRows at a time through one INSERT prepared once, their
// texts bound as UTF-8 where they lie. An import of a million rows costs about what
// sqlite3's own .import does.
class Inserter
{
  public:
    static constexpr int BatchRows = 64;

    Inserter(Database &db, const QString &table, const QStringList &columns);
    ~Inserter();
    Inserter(const Inserter &) = delete;
    Inserter &operator=(const Inserter &) = delete;

    bool isValid() const { return m_batch != nullptr; }
    // The next row's values, in the order of the columns.
    void number(qint64 value);
    void text(QStringView value);
    // Ends the row; false when storing failed (nothing more is stored then).
    bool endRow();
    // Stores the rows not stored yet; false on failure.
    bool finish();

  private:
    // Binds rows rows of values from first on, and runs the statement.
    bool store(Statement &statement, qsizetype first, int rows);
    void clear();

    Database &m_db;
    QString m_table;
    QStringList m_columns;
    std::unique_ptr<Statement> m_batch;
    std::unique_ptr<Statement> m_single;
    struct Value
    {
        qint64 number;
        qsizetype at; // of the text in m_texts; -1 for a number
        qsizetype length;
    };
    QList<Value> m_values;
    QByteArray m_texts;
    int m_rows = 0;
    bool m_ok = true;
};

} // namespace quilla
