#pragma once

#include <QList>
#include <QString>
#include <QVariant>

namespace quilla {

// A statement as the program writes it: trusted SQL words and names, with the
// values kept apart so that they travel as bound parameters. shown() gives the
// statement the way an operator reads it in a message, values in their places.
class Sql
{
  public:
    Sql() = default;
    Sql(const QString &text);
    template <qsizetype N> Sql(const char (&text)[N]) : Sql(QString::fromUtf8(text, N - 1)) {}

    // A number, shown as its decimal text.
    static Sql number(qint64 value);
    // A text value; shown between single quotes as the statement catalogue writes it.
    static Sql text(const QString &value);

    Sql &operator+=(const Sql &other);
    friend Sql operator+(Sql left, const Sql &right) { return left += right; }
    template <qsizetype N> friend Sql operator+(const char (&left)[N], const Sql &right)
    {
        return Sql(left) += right;
    }

    bool isEmpty() const { return m_parts.isEmpty(); }
    // The text handed to SQLite: values replaced by '?', Jet forms translated.
    QString executable() const;
    QList<QVariant> values() const;
    QString shown() const;

  private:
    struct Part
    {
        QString text;
        QVariant value;
        bool isValue = false;
        bool quoted = false;
    };
    QList<Part> m_parts;
};

} // namespace quilla
