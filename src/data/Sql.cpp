#include "Sql.h"

#include <QRegularExpression>

namespace quilla {

Sql::Sql(const QString &text)
{
    if (!text.isEmpty())
        m_parts.append({text, {}, false, false});
}

Sql Sql::number(qint64 value)
{
    Sql sql;
    sql.m_parts.append({{}, QVariant(value), true, false});
    return sql;
}

Sql Sql::text(const QString &value)
{
    Sql sql;
    sql.m_parts.append({{}, QVariant(value), true, true});
    return sql;
}

Sql &Sql::operator+=(const Sql &other)
{
    m_parts.append(other.m_parts);
    return *this;
}

QString Sql::executable() const
{
    QString text;
    for (const Part &part : m_parts)
        text += part.isValue ? QStringLiteral("?") : part.text;
    // Jet writes deletions as "DELETE * FROM"; SQLite knows only "DELETE FROM".
    static const QRegularExpression jetDelete(QStringLiteral("\\bDELETE\\s+\\*\\s+FROM\\b"),
                                              QRegularExpression::CaseInsensitiveOption);
    text.replace(jetDelete, QStringLiteral("DELETE FROM"));
    return text;
}

QList<QVariant> Sql::values() const
{
    QList<QVariant> values;
    for (const Part &part : m_parts)
        if (part.isValue)
            values.append(part.value);
    return values;
}

QString Sql::shown() const
{
    QString text;
    for (const Part &part : m_parts) {
        if (!part.isValue)
            text += part.text;
        else if (part.quoted)
            text += u'\'' + part.value.toString() + u'\'';
        else
            text += part.value.toString();
    }
    return text;
}

} // namespace quilla
