#include "Database.h"

#include <sqlite3.h>

namespace quilla {

void Query::first()
{
    m_changed.clear();
    m_mode = Mode::Stored;
    m_row = 0;
}

void Query::next()
{
    m_changed.clear();
    if (m_mode != Mode::Stored) {
        // Leaving an added row ends the walk: appended rows are not among the stored ones.
        m_mode = Mode::Stored;
        m_row = m_rowCount;
        return;
    }
    if (m_row < m_rowCount)
        ++m_row;
}

const QVariant *Query::currentRow() const
{
    if (m_mode != Mode::Stored)
        return m_edit.constData();
    if (m_row >= m_rowCount)
        return nullptr;
    return m_cells.constData() + m_row * m_columns.names().size();
}

QVariant Query::valueAt(int index) const
{
    const QVariant *row = currentRow();
    if (index < 0 || index >= m_columns.names().size() || !row)
        return {};
    if (m_mode == Mode::Stored && !m_changed.isEmpty() && m_changed.at(index))
        return m_edit.at(index);
    return row[index];
}

void Query::addNew()
{
    m_mode = Mode::Adding;
    const qsizetype width = m_columns.names().size();
    m_edit.resize(width);
    m_edit.fill(QVariant());
    m_changed.resize(width);
    m_changed.fill(false);
}

void Query::setValue(QStringView column, const QVariant &value)
{
    const int index = m_columns.indexOf(column);
    if (index < 0)
        return;
    if (m_changed.isEmpty()) {
        if (m_mode == Mode::Stored && m_row >= m_rowCount)
            return;
        const QVariant *row = currentRow();
        m_edit = QList<QVariant>(row, row + m_columns.names().size());
        m_changed = QList<bool>(m_columns.names().size(), false);
    }
    m_edit[index] = value;
    m_changed[index] = true;
}

QStringList Query::changedColumns() const
{
    QStringList names;
    for (int i = 0; i < m_changed.size(); ++i)
        if (m_changed.at(i))
            names.append(m_columns.names().at(i));
    return names;
}

bool Query::save()
{
    if (!m_db || m_table.isEmpty() || !m_changed.contains(true))
        return false;
    QList<QVariant> values;
    values.reserve(m_changed.size() + 1);
    for (int i = 0; i < m_changed.size(); ++i)
        if (m_changed.at(i))
            values.append(m_edit.at(i));
    if (m_mode == Mode::Adding) {
        if (!insert(values))
            return false;
        const int idColumn = m_columns.indexOf(u"ID");
        if (idColumn >= 0)
            m_edit[idColumn] = m_db->lastInsertId();
        m_mode = Mode::Added;
        m_changed.fill(false);
        return true;
    }
    if (m_mode == Mode::Added || m_row >= m_rowCount)
        return false;
    values.append(m_rowIds.at(m_row));
    if (!m_db->run(QStringLiteral("UPDATE ") + m_table + QStringLiteral(" SET ") +
                       changedColumns().join(QStringLiteral("=?,")) + QStringLiteral("=? WHERE rowid=?"),
                   values))
        return false;
    std::copy(m_edit.cbegin(), m_edit.cend(), m_cells.begin() + m_row * m_columns.names().size());
    m_changed.clear();
    return true;
}

bool Query::insert(const QList<QVariant> &values)
{
    try {
        // Rows appended in a series set the same columns: prepare once.
        if (!m_insert || m_insertColumns != m_changed) {
            const QStringList names = changedColumns();
            m_insert = m_db->statement(QStringLiteral("INSERT INTO ") + m_table + QStringLiteral(" (") +
                                       names.join(u',') + QStringLiteral(") VALUES (?") +
                                       QStringLiteral(",?").repeated(names.size() - 1) + u')');
            m_insertColumns = m_changed;
        }
        m_insert->bind(values);
        const int rc = sqlite3_step(m_insert->get());
        m_insert->reset();
        return rc == SQLITE_DONE;
    } catch (const std::exception &) {
        return false;
    }
}

bool Query::remove()
{
    if (!m_db || m_table.isEmpty() || m_mode != Mode::Stored || m_row >= m_rowCount)
        return false;
    m_changed.clear();
    return m_db->run(QStringLiteral("DELETE FROM ") + m_table + QStringLiteral(" WHERE rowid=?"),
                     {m_rowIds.at(m_row)});
}

} // namespace quilla
