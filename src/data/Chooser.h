#pragma once

#include <QString>
#include <QStringList>

namespace quilla {

class Database;
class Sql;

// A drop-down item naming a database row: "12‖年会抽奖".
QString chooserItemText(qint64 key, const QString &text);
// The key of a chooser item: the numeric value of its leading digits (0 when there are none).
qint64 chooserKey(const QString &itemText);
// The items for a chooser over table, newest key first.
QStringList chooserItems(Database &db, const QString &table, const QString &keyField,
                         const QString &textField, const Sql &condition);

} // namespace quilla
