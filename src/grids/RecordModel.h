#pragma once

#include "data/Sql.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <functional>
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
// key. Rows are read a page at a time as the view scrolls to them, so a list of a
// million opens as fast as one of a thousand. Sorting is done by the database.
class RecordModel : public QAbstractTableModel
{
    Q_OBJECT

  public:
    static constexpr int KeyRole = Qt::UserRole + 1;
    static constexpr int FirstPage = 256;

    RecordModel(Database &db, const QString &table, const QList<RecordColumn> &columns,
                const QString &defaultOrder, QObject *parent = nullptr);

    // Writes an edited row (its texts as they now stand) to the record; false when it did not land.
    using Saver = std::function<bool(qint64 key, const QStringList &texts)>;
    void setSaver(Saver saver) { m_saver = std::move(saver); }

    // Which rows the Mark column ticks; marksChanged() shows a change.
    using MarkSource = std::function<bool(qint64 key, const QStringList &texts)>;
    void setMarks(MarkSource isMarked) { m_isMarked = std::move(isMarked); }
    void marksChanged();
    const QStringList &textsAt(int row) const;

    // Lists the records matching filter (the sort in force stays); an empty filter lists none.
    void setFilter(const Sql &filter);
    void reload();
    const Sql &filter() const { return m_filter; }

    // Records matching the filter, read or not.
    qint64 totalCount() const { return m_total; }
    qint64 keyAt(int row) const;
    int rowOfKey(qint64 key) const; // -1 when that record is not read (yet)
    QString textAt(int row, int column) const;
    const RecordColumn &column(int column) const { return m_columns.at(column); }
    // Reads the rest of the records in one pass (an export needs them all).
    void fetchAll();
    // Deletes the records from the table in one transaction and drops their rows. False, after
    // telling the operator, when the table was left as it was.
    // alongside runs in the deletion's transaction (a log of it, say); false from it deletes nothing.
    bool removeRecords(const QList<qint64> &keys, const std::function<bool()> &alongside = {});

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;
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
    Sql orderBy() const;
    // Reads up to limit records from offset on; false when the read failed.
    bool read(qint64 offset, qint64 limit, std::vector<Record> &into) const;
    bool readSelection(const Sql &where, std::vector<Record> &into) const;
    // The keys of every record in the order of a title's sort, read in one pass: pages are
    // then read by key, not by sorting the table again for each.
    bool readOrder();
    void readFirstPage();

    Database &m_db;
    QString m_table;
    QList<RecordColumn> m_columns;
    QString m_defaultOrder;
    Sql m_filter;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    std::vector<Record> m_records;
    std::vector<qint64> m_order; // while sorted by a title
    qint64 m_total = 0;
    Saver m_saver;
    MarkSource m_isMarked;
};

} // namespace quilla
