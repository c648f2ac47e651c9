#include "RowRange.h"

#include "Database.h"

namespace quilla {

namespace {

constexpr qint64 ProbedIds = 1024;

} // namespace

Sql rowsOldestFirst(Database &db, const QString &table, const Sql &filter)
{
    const Sql from = Sql(" FROM ") + Sql(table);
    const Sql where = Sql(" WHERE (") + filter + Sql(")");
    const Sql byIndex = from + where + Sql(" ORDER BY ID");
    // The first and last ID come from the index. Whether the rows between are mostly the
    // list's own is told by how many of the IDs at either end are; a guess, which at its
    // worst walks the whole table once.
    qint64 first = 0, last = -1;
    const auto readNumber = [&](const Sql &sql, qint64 &into) {
        return db.forEachRow(sql, [&](const Row &row) { into = row.key(0); });
    };
    if (!readNumber(Sql("SELECT MIN(ID)") + from + where, first) ||
        !readNumber(Sql("SELECT MAX(ID)") + from + where, last) || last < first)
        return byIndex;
    // Unsigned: IDs of a file from elsewhere may lie anywhere in the 64 bits.
    if (quint64(last) - quint64(first) < quint64(2 * ProbedIds))
        return byIndex; // few rows: either way is quick
    qint64 atStart = 0, atEnd = 0;
    const Sql count = Sql("SELECT COUNT(*)") + from + where + Sql(" AND ID BETWEEN ");
    if (!readNumber(count + Sql::number(first) + Sql(" AND ") + Sql::number(first + ProbedIds - 1), atStart) ||
        !readNumber(count + Sql::number(last - ProbedIds + 1) + Sql(" AND ") + Sql::number(last), atEnd))
        return byIndex;
    if (atStart + atEnd < ProbedIds) // fewer than half of them
        return byIndex;
    return from + Sql(" NOT INDEXED WHERE ID BETWEEN ") + Sql::number(first) + Sql(" AND ") + Sql::number(last) +
           Sql(" AND (") + filter + Sql(") ORDER BY ID");
}

} // namespace quilla
