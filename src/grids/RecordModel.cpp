#include "RecordModel.h"

#include "data/ChineseOrder.h"
#include "data/Database.h"

#include <QBrush>
#include <QColor>
#include <QCursor>
#include <QGuiApplication>
#include <QHash>
#include <QSet>

#include <algorithm>

namespace quilla {

namespace {

const QString Mark = QStringLiteral("√");

QString cellText(const Row &row, int column, RecordColumn::Kind kind)
{
    switch (kind) {
    case RecordColumn::Kind::Flag:
        return flagOf(row.value(column)) ? Mark : QString();
    case RecordColumn::Kind::Number: {
        const QVariant value = row.value(column);
        return value.isNull() ? QString() : QString::number(numberOf(value));
    }
    case RecordColumn::Kind::Mark:
        return {};
    case RecordColumn::Kind::Text:
        break;
    }
    return row.text(column);
}

} // namespace

RecordModel::RecordModel(Database &db, const QString &table, const QList<RecordColumn> &columns,
                         const QString &defaultOrder, QObject *parent)
    : QAbstractTableModel(parent), m_db(db), m_table(table), m_columns(columns), m_defaultOrder(defaultOrder)
{
}

void RecordModel::setFilter(const Sql &filter)
{
    m_filter = filter;
    reload();
}

void RecordModel::reload()
{
    beginResetModel();
    readFirstPage();
    endResetModel();
}

void RecordModel::readFirstPage()
{
    m_records.clear();
    m_order.clear();
    m_total = 0;
    if (m_filter.isEmpty())
        return;
    if (m_sortColumn >= 0) {
        if (!readOrder())
            return;
    } else {
        m_total = m_db.CountRows(m_table, m_filter);
    }
    if (m_total > 0 && !read(0, FirstPage, m_records)) {
        m_total = 0; // a failed read counts as empty
        m_order.clear();
    }
}

bool RecordModel::readOrder()
{
    std::vector<qint64> order;
    bool done = false;
    const RecordColumn &column = m_columns.at(m_sortColumn);
    if (column.kind == RecordColumn::Kind::Text) {
        // Texts are sorted here by keys made once each: far fewer steps than the database
        // comparing pairs of texts, which decodes both for every comparison.
        std::vector<std::pair<QByteArray, qint64>> keyed;
        keyed.reserve(size_t(std::max<qint64>(m_total, 0)));
        done = m_db.forEachRow(Sql("SELECT ID, ") + Sql(column.expression) + Sql(" FROM ") + Sql(m_table) +
                                   Sql(" WHERE ") + m_filter + Sql(" ORDER BY ") +
                                   Sql(m_defaultOrder.isEmpty() ? QStringLiteral("ID") : m_defaultOrder),
                               [&](const Row &row) {
                                   keyed.emplace_back(ChineseSortKey(row.utf8View(1)), row.key(0));
                               });
        // Equal texts keep the list's own order, either way round.
        const bool ascending = m_sortOrder == Qt::AscendingOrder;
        std::stable_sort(keyed.begin(), keyed.end(), [ascending](const auto &a, const auto &b) {
            return ascending ? a.first < b.first : b.first < a.first;
        });
        order.reserve(keyed.size());
        for (const auto &[key, id] : keyed)
            order.push_back(id);
    } else {
        done = m_db.forEachRow(Sql("SELECT ID FROM ") + Sql(m_table) + Sql(" WHERE ") + m_filter +
                                   Sql(" ORDER BY ") + orderBy(),
                               [&](const Row &row) { order.push_back(row.key(0)); });
    }
    m_order = done ? std::move(order) : std::vector<qint64>();
    m_total = qint64(m_order.size());
    return done;
}

Sql RecordModel::orderBy() const
{
    QString order;
    if (m_sortColumn >= 0 && m_sortColumn < m_columns.size()) {
        const RecordColumn &column = m_columns.at(m_sortColumn);
        order = column.expression;
        if (column.kind == RecordColumn::Kind::Text)
            order += QStringLiteral(" COLLATE zh");
        order += m_sortOrder == Qt::AscendingOrder ? QStringLiteral(" ASC, ") : QStringLiteral(" DESC, ");
    }
    // The key last, so that equal values keep one order from page to page.
    order += m_defaultOrder.isEmpty() ? QStringLiteral("ID") : m_defaultOrder;
    return Sql(order);
}

bool RecordModel::read(qint64 offset, qint64 limit, std::vector<Record> &into) const
{
    if (m_sortColumn < 0)
        return readSelection(m_filter + Sql(" ORDER BY ") + orderBy() + Sql(" LIMIT ") + Sql::number(limit) +
                                 Sql(" OFFSET ") + Sql::number(offset),
                             into);
    // Sorted by a title: the page's keys are known; read those rows and put them in order.
    const qint64 end = limit < 0 ? qint64(m_order.size()) : std::min(qint64(m_order.size()), offset + limit);
    QHash<qint64, size_t> places;
    for (qint64 at = offset; at < end; ++at)
        places.insert(m_order[size_t(at)], size_t(at - offset));
    std::vector<Record> page;
    for (qint64 from = offset; from < end; from += 500) {
        Sql keys = Sql("ID IN (");
        for (qint64 at = from; at < std::min(end, from + 500); ++at)
            keys += (at == from ? Sql() : Sql(",")) + Sql::number(m_order[size_t(at)]);
        if (!readSelection(keys + Sql(")"), page))
            return false;
    }
    std::vector<Record> ordered(size_t(std::max<qint64>(end - offset, 0)));
    std::vector<bool> found(ordered.size());
    for (Record &record : page) {
        const size_t at = places.value(record.key);
        found[at] = true;
        ordered[at] = std::move(record);
    }
    // A record deleted elsewhere meanwhile is left out.
    for (size_t i = 0; i < ordered.size(); ++i)
        if (found[i])
            into.push_back(std::move(ordered[i]));
    return true;
}

bool RecordModel::readSelection(const Sql &where, std::vector<Record> &into) const
{
    QString fields = QStringLiteral("ID");
    for (const RecordColumn &column : m_columns)
        fields += u',' + (column.expression.isEmpty() ? QStringLiteral("''") : column.expression);
    const Sql sql = Sql("SELECT ") + Sql(fields) + Sql(" FROM ") + Sql(m_table) + Sql(" WHERE ") + where;
    const size_t before = into.size();
    const bool done = m_db.forEachRow(sql, [&](const Row &row) {
        Record record;
        record.key = row.key(0);
        record.texts.reserve(m_columns.size());
        for (int c = 0; c < m_columns.size(); ++c)
            record.texts.append(cellText(row, c + 1, m_columns.at(c).kind));
        into.push_back(std::move(record));
    });
    if (!done)
        into.resize(before); // nothing from a read that failed part-way
    return done;
}

qint64 RecordModel::keyAt(int row) const
{
    return row >= 0 && size_t(row) < m_records.size() ? m_records[size_t(row)].key : 0;
}

int RecordModel::rowOfKey(qint64 key) const
{
    const auto it = std::find_if(m_records.cbegin(), m_records.cend(),
                                 [key](const Record &record) { return record.key == key; });
    return it == m_records.cend() ? -1 : int(it - m_records.cbegin());
}

void RecordModel::marksChanged()
{
    for (int c = 0; c < m_columns.size(); ++c)
        if (m_columns.at(c).kind == RecordColumn::Kind::Mark && !m_records.empty())
            Q_EMIT dataChanged(index(0, c), index(rowCount() - 1, c), {Qt::DisplayRole});
}

const QStringList &RecordModel::textsAt(int row) const
{
    static const QStringList none;
    return row >= 0 && size_t(row) < m_records.size() ? m_records[size_t(row)].texts : none;
}

QString RecordModel::textAt(int row, int column) const
{
    if (row < 0 || size_t(row) >= m_records.size())
        return {};
    return m_records[size_t(row)].texts.value(column);
}

void RecordModel::fetchAll()
{
    if (!canFetchMore({}))
        return;
    std::vector<Record> more;
    if (!read(qint64(m_records.size()), -1, more) || more.empty())
        return;
    beginInsertRows({}, int(m_records.size()), int(m_records.size() + more.size() - 1));
    std::move(more.begin(), more.end(), std::back_inserter(m_records));
    endInsertRows();
}

bool RecordModel::removeRecords(const QList<qint64> &keys, const std::function<bool()> &alongside)
{
    if (keys.isEmpty())
        return false;
    bool deleted = m_db.isOpen();
    {
        Database::Transaction transaction(m_db);
        deleted = deleted && (!alongside || alongside());
        for (qsizetype i = 0; i < keys.size() && deleted; ++i)
            deleted = m_db.ExecuteSql(Sql("DELETE FROM ") + Sql(m_table) + Sql(" WHERE ID=") +
                                      Sql::number(keys.at(i)));
        deleted = deleted && transaction.commit();
    }
    if (!deleted) {
        m_db.prompt().message(QStringLiteral("删除记录失败，数据库没有改变。"), Prompt::Icon::Warning);
        return false;
    }
    const QSet<qint64> gone(keys.cbegin(), keys.cend());
    // From the bottom up, a run of neighbouring rows at a time.
    for (int row = int(m_records.size()) - 1; row >= 0;) {
        if (!gone.contains(m_records[size_t(row)].key)) {
            --row;
            continue;
        }
        int first = row;
        while (first > 0 && gone.contains(m_records[size_t(first - 1)].key))
            --first;
        beginRemoveRows({}, first, row);
        m_records.erase(m_records.begin() + first, m_records.begin() + row + 1);
        endRemoveRows();
        row = first - 1;
    }
    m_order.erase(std::remove_if(m_order.begin(), m_order.end(), [&gone](qint64 key) { return gone.contains(key); }),
                  m_order.end());
    m_total = std::max<qint64>(0, m_total - gone.size());
    return true;
}

int RecordModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_records.size());
}

int RecordModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant RecordModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= m_records.size())
        return {};
    const Record &record = m_records[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        if (m_columns.at(index.column()).kind == RecordColumn::Kind::Mark)
            return m_isMarked && m_isMarked(record.key, record.texts) ? Mark : QString();
        return record.texts.value(index.column());
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(m_columns.at(index.column()).alignment);
    case Qt::BackgroundRole:
        if (record.unsaved)
            return QBrush(QColor(0xff, 0xd0, 0xd0));
        return {};
    case Qt::ToolTipRole:
        if (record.unsaved)
            return QStringLiteral("修改未能保存到数据库");
        return {};
    case KeyRole:
        return record.key;
    default:
        return {};
    }
}

QVariant RecordModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role == Qt::DisplayRole) {
        if (orientation == Qt::Vertical)
            return section + 1; // 序号
        return section < m_columns.size() ? m_columns.at(section).title : QString();
    }
    if (role == Qt::TextAlignmentRole && orientation == Qt::Vertical)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags RecordModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && m_columns.at(index.column()).editable && m_saver)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool RecordModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || size_t(index.row()) >= m_records.size() || !m_saver)
        return false;
    Record &record = m_records[size_t(index.row())];
    const QString text = value.toString();
    if (text == record.texts.value(index.column()) && !record.unsaved)
        return false;
    // The row shows what was typed either way; a row not stored is marked until it is.
    record.texts[index.column()] = text;
    record.unsaved = !m_saver(record.key, record.texts);
    Q_EMIT dataChanged(this->index(index.row(), 0), this->index(index.row(), columnCount() - 1));
    if (record.unsaved)
        Q_EMIT saveFailed(record.key);
    return true;
}

bool RecordModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && qint64(m_records.size()) < m_total;
}

void RecordModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
        return;
    // Pages grow with what is read, so that reaching the end of a long list takes few reads.
    const qint64 page = std::clamp<qint64>(qint64(m_records.size()) / 2, FirstPage, 65536);
    std::vector<Record> more;
    if (!read(qint64(m_records.size()), page, more) || more.empty()) {
        m_total = qint64(m_records.size()); // what could not be read is not offered again
        return;
    }
    beginInsertRows({}, int(m_records.size()), int(m_records.size() + more.size() - 1));
    std::move(more.begin(), more.end(), std::back_inserter(m_records));
    endInsertRows();
}

void RecordModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= m_columns.size() || m_columns.at(column).kind == RecordColumn::Kind::Mark)
        return;
    m_sortColumn = column;
    m_sortOrder = order;
    if (m_filter.isEmpty())
        return;
    // As many rows as before, so that the selection follows its records to their new places.
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    const qint64 wanted = std::max<qint64>(qint64(m_records.size()), FirstPage);
    std::vector<Record> sorted;
    const bool done = readOrder() && read(0, wanted, sorted);
    QGuiApplication::restoreOverrideCursor();
    if (!done) {
        reload();
        return;
    }
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QList<qint64> keys;
    keys.reserve(before.size());
    for (const QModelIndex &index : before)
        keys.append(keyAt(index.row()));
    m_records = std::move(sorted);
    QHash<qint64, int> rows;
    rows.reserve(qsizetype(m_records.size()));
    for (size_t row = 0; row < m_records.size(); ++row)
        rows.insert(m_records[row].key, int(row));
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i) {
        const auto found = rows.constFind(keys.at(i));
        after.append(found == rows.cend() ? QModelIndex() : index(*found, before.at(i).column()));
    }
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace quilla
