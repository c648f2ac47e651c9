#pragma once

#include <QList>
#include <QString>
#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;

namespace quilla {

// A prepared SQLite statement, finalized when it goes. Throws SQLite::Exception
// when the text does not prepare.
class Statement
{
  public:
    Statement(sqlite3 *db, const QString &text);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    sqlite3_stmt *get() const { return m_stmt; }
    // Resets the statement and binds values to its parameters in order.
    void bind(const QList<QVariant> &values);
    void reset();

  private:
    sqlite3_stmt *m_stmt = nullptr;
};

} // namespace quilla
