#include "Inserter.h"

#include "Database.h"

#include <SQLiteCpp/Database.h>
#include <sqlite3.h>

#include <QStringEncoder>

namespace quilla {

namespace {

QString insertText(const QString &table, const QStringList &columns, int rows)
{
    const QString row = u'(' + QStringLiteral("?,").repeated(columns.size() - 1) + QStringLiteral("?)");
    QString text = QStringLiteral("INSERT INTO ") + table + QStringLiteral(" (") + columns.join(u',') +
                   QStringLiteral(") VALUES ") + row;
    for (int i = 1; i < rows; ++i)
        text += u',' + row;
    return text;
}

} // namespace

Inserter::Inserter(Database &db, const QString &table, const QStringList &columns)
    : m_db(db), m_table(table), m_columns(columns)
{
    if (!db.m_sqlite || columns.isEmpty())
        return;
    try {
        m_single = std::make_unique<Statement>(db.m_sqlite->getHandle(), insertText(table, columns, 1));
        m_batch =
            std::make_unique<Statement>(db.m_sqlite->getHandle(), insertText(table, columns, BatchRows));
    } catch (const std::exception &) {
        m_batch.reset();
        m_single.reset();
    }
    m_values.reserve(BatchRows * columns.size());
}

Inserter::~Inserter() = default;

void Inserter::number(qint64 value)
{
    m_values.append({value, -1, 0});
}

void Inserter::text(QStringView value)
{
    QStringEncoder utf8(QStringEncoder::Utf8);
    const qsizetype at = m_texts.size();
    m_texts.resize(at + utf8.requiredSpace(value.size()));
    char *end = utf8.appendToBuffer(m_texts.data() + at, value);
    m_texts.resize(end - m_texts.constData());
    m_values.append({0, at, m_texts.size() - at});
}

bool Inserter::endRow()
{
    if (!m_ok || !m_batch)
        return false;
    if (++m_rows == BatchRows) {
        m_ok = store(*m_batch, 0, BatchRows);
        clear();
    }
    return m_ok;
}

bool Inserter::finish()
{
    if (!m_ok || !m_batch)
        return false;
    // What is left goes one row at a time: a statement for each size would cost more.
    for (int row = 0; row < m_rows && m_ok; ++row)
        m_ok = store(*m_single, row * m_columns.size(), 1);
    clear();
    return m_ok;
}

bool Inserter::store(Statement &statement, qsizetype first, int rows)
{
    sqlite3_stmt *stmt = statement.get();
    sqlite3_reset(stmt);
    const qsizetype count = qsizetype(rows) * m_columns.size();
    bool ok = m_values.size() >= first + count;
    for (qsizetype i = 0; ok && i < count; ++i) {
        const Value &value = m_values.at(first + i);
        const int index = int(i) + 1;
        ok = (value.at < 0 ? sqlite3_bind_int64(stmt, index, value.number)
                           : sqlite3_bind_text(stmt, index, m_texts.constData() + value.at, int(value.length),
                                               SQLITE_STATIC)) == SQLITE_OK;
    }
    ok = ok && sqlite3_step(stmt) == SQLITE_DONE;
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    return ok;
}

void Inserter::clear()
{
    // Emptied, not freed: the next batch takes the same room.
    m_values.resize(0);
    m_texts.resize(0);
    m_rows = 0;
}

} // namespace quilla
