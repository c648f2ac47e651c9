#pragma once

#include "data/Sql.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace quilla {

class Database;

// A column of a record list: its title and the SQL it shows.
struct RecordColumn
{
    enum class Kind
    {
        Text,   // shown as stored; sorted by the Chinese collation, digits by value
        Number, // sorted by value
        Flag,   // a yes/no field, shown as "√" or nothing
        Mark    // "√" on the rows the owner marks (see setMarks); nothing stored
    };
    QString title;
    QString expression; // a field of the table, or a trusted SQL expression over its row
    Kind kind = Kind::Text;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    bool editable = false;
};

// The records of one table that match a filter, each row holding its record's
// key. Every row exists from the start (the keys of the list are read in one pass),
// but a row's texts are read a page at a time when it is shown, and only the pages
// seen last are kept: a list of a million opens, selects and ends as one of a
// thousand does. Sorting is done by the database.
class RecordModel : public QAbstractTableModel
{
    Q_OBJECT

  public:
    static constexpr int KeyRole = Qt::UserRole + 1;
    static constexpr int PageRows = 256;
    static constexpr size_t KeptPages = 64;

    RecordModel(Database &db, const QString &table, const QList<RecordColumn> &columns,
                const QString &defaultOrder, QObject *parent = nullptr);

    // Writes an edited row (its texts as they now stand) to the record; false when it did not land.
    // The saver may change the texts to what it stored (trimmed, say): the row shows them.
    using Saver = std::function<bool(qint64 key, QStringList &texts)>;
    void setSaver(Saver saver) { m_saver = std::move(saver); }

    // Which rows the Mark column ticks; marksChanged() shows a change.
    using MarkSource = std::function<bool(qint64 key, const QStringList &texts)>;
    void setMarks(MarkSource isMarked) { m_isMarked = std::move(isMarked); }
    void marksChanged();
    const QStringList &textsAt(int row) const;
    // Reads the rows' texts again as they are shown, keeping the rows and their
    // order: for fields changed elsewhere (a check-in), without reading the list again.
    void refreshTexts();
    // Shows another expression in a column (the file may lack a field a newer one has).
    void setColumnExpression(int column, const QString &expression);

    // Lists the records matching filter (the sort in force stays); an empty filter lists none.
    void setFilter(const Sql &filter);
    void reload();
    const Sql &filter() const { return m_filter; }

    // Records matching the filter.
    qint64 totalCount() const { return qint64(m_order.size()); }
    qint64 keyAt(int row) const;
    int rowOfKey(qint64 key) const; // -1 when that record is not listed
    QString textAt(int row, int column) const;
    const RecordColumn &column(int column) const { return m_columns.at(column); }
    // Reads the texts of every row in one pass and keeps them (an export needs them all).
    void fetchAll();
    // Whether fetchAll has rows left to read.
    bool needsReading() const;
    // Deletes the records from the table in one transaction and drops their rows; every
    // record of the list goes by one statement. False, after telling the operator, when
    // the table was left as it was.
    // alongside runs in the deletion's transaction (a log of it, say); false from it deletes nothing.
    bool removeRecords(const QList<qint64> &keys, const std::function<bool()> &alongside = {});

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  Q_SIGNALS:
    // An edit could not be stored: the row keeps the typed text and is marked.
    void saveFailed(qint64 key);

  private:
    struct Record
    {
        qint64 key = 0;
        QStringList texts;
        bool unsaved = false;
    };
    using Page = std::vector<Record>;
    Sql orderBy() const;
    bool readsBackwards() const;
    // The list's own order, or its reverse when that is read faster (readsBackwards).
    Sql forwardOrder() const;
    Sql fields() const;
    bool readSelection(const Sql &where, std::vector<Record> &into) const;
    // The keys of every record in the list's order, read in one pass: pages are then
    // read by key, not by sorting the table again for each. expected: the rows listed
    // before, to make room for.
    bool readOrder(size_t expected);
    bool readTextOrder(const RecordColumn &column, size_t expected, std::vector<qint64> &order);
    // " FROM … WHERE … ORDER BY …": the list's rows in its forward order.
    Sql readForwards() const;
    void readKeys();
    // The row's record, its page read when it is not kept; nullptr past the end.
    const Record *record(int row) const;
    Record *record(int row);
    void evictPages() const;
    // Drops kept pages, oldest first, until `keep` remain; never the newest when asked.
    void dropPages(size_t keep, bool keepNewest) const;
    // A read that failed part-way empties the list, once the view is done asking.
    void dropAfterFailure() const;

    Database &m_db;
    QString m_table;
    QList<RecordColumn> m_columns;
    QString m_defaultOrder;
    Sql m_filter;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    std::vector<qint64> m_order;
    mutable std::vector<std::unique_ptr<Page>> m_pages;
    mutable std::deque<size_t> m_kept; // the pages read, oldest first
    bool m_keepAll = false;
    bool m_sortDone = false; // the rows stand in the order asked for last
    mutable bool m_failed = false;
    Saver m_saver;
    MarkSource m_isMarked;
};

} // namespace quilla
