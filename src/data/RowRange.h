#pragma once

#include "Sql.h"

#include <QString>

namespace quilla {

class Database;

// " FROM table … WHERE filter ORDER BY ID": the rows of table that filter picks, oldest
// first. Through an index each row costs a look-up in the table besides; when the rows
// lie close together (a list imported at once), the table is walked from their first to
// their last ID instead, which reads the same rows in less time.
Sql rowsOldestFirst(Database &db, const QString &table, const Sql &filter);

} // namespace quilla
