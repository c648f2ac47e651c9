#pragma once

#include <QString>

class QComboBox;

namespace quilla {

class Database;
class Sql;

// Fills combo with one "key‖text" item per row of table, newest key first, and
// shows the first item. An empty table leaves the list empty and the text as it was.
void fillCombo(QComboBox *combo, Database &db, const QString &table, const QString &keyField,
                 const QString &textField, const Sql &condition);

} // namespace quilla
