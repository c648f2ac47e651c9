#include "Chooser.h"

#include "Database.h"

namespace quilla {

QString chooserItemText(qint64 key, const QString &text)
{
    return QString::number(key) + QChar(0x2016) + text;
}

qint64 chooserKey(const QString &itemText)
{
    qsizetype i = 0;
    while (i < itemText.size() && itemText.at(i) == u' ')
        ++i;
    qint64 key = 0;
    for (; i < itemText.size(); ++i) {
        const char16_t c = itemText.at(i).unicode();
        if (c < u'0' || c > u'9')
            break;
        if (key > (std::numeric_limits<qint64>::max() - 9) / 10)
            break;
        key = key * 10 + (c - u'0');
    }
    return key;
}

QStringList chooserItems(Database &db, const QString &table, const QString &keyField,
                         const QString &textField, const Sql &condition)
{
    Sql sql = Sql("SELECT * FROM ") + table;
    if (!condition.isEmpty())
        sql += Sql(" WHERE ") + condition;
    sql += Sql(" ORDER BY ") + keyField + Sql(" DESC");

    QStringList items;
    db.forEachRow(sql, [&](const Row &row) {
        items.append(chooserItemText(row.number(keyField), row.text(textField)));
    });
    return items;
}

} // namespace quilla
