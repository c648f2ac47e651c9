#include "RecordModel.h"

#include "data/ChineseOrder.h"
#include "data/Database.h"
#include "data/RowRange.h"

#include <QBrush>
#include <QColor>
#include <QCursor>
#include <QGuiApplication>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

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
    m_sortDone = false;
    beginResetModel();
    readKeys();
    endResetModel();
}

void RecordModel::readKeys()
{
    const size_t listed = m_order.size();
    m_order.clear();
    m_pages.clear();
    m_kept.clear();
    m_keepAll = false;
    m_failed = false;
    if (m_filter.isEmpty())
        return;
    if (readOrder(listed))
        m_pages.resize((m_order.size() + PageRows - 1) / PageRows);
    else
        m_order.clear(); // a failed read counts as empty
}

bool RecordModel::readOrder(size_t expected)
{
    std::vector<qint64> order;
    bool done = false;
    const bool byTitle = m_sortColumn >= 0 && m_sortColumn < m_columns.size();
    if (byTitle && m_columns.at(m_sortColumn).kind == RecordColumn::Kind::Text) {
        order.clear();
        done = readTextOrder(m_columns.at(m_sortColumn), expected, order);
    } else {
        order.clear();
        const bool turn = !byTitle && readsBackwards();
        done = m_db.forEachRow(Sql("SELECT ID FROM ") + Sql(m_table) + Sql(" WHERE ") + m_filter +
                                   Sql(" ORDER BY ") + (turn ? forwardOrder() : orderBy()),
                               [&](const Row &row) { order.push_back(row.key(0)); });
        if (turn)
            std::reverse(order.begin(), order.end());
    }
    m_order = done ? std::move(order) : std::vector<qint64>();
    return done;
}

namespace {

// A row to sort: eight bytes of its key as a number, and which row read it is.
struct Sortable
{
    quint64 head;
    quint32 read;
};

// Stable, a byte of the heads at a time from the last; a byte that every head shares
// is passed over. A million rows take a few passes over 16 MB, where comparing pairs
// takes twenty.
void sortByHeads(std::vector<Sortable> &items)
{
    std::vector<std::array<quint32, 256>> counts(8);
    for (const Sortable &item : items)
        for (int b = 0; b < 8; ++b)
            ++counts[size_t(b)][item.head >> (8 * b) & 0xFF];
    std::vector<Sortable> spare(items.size());
    for (int b = 0; b < 8; ++b) {
        std::array<quint32, 256> &count = counts[size_t(b)];
        if (std::find(count.cbegin(), count.cend(), quint32(items.size())) != count.cend())
            continue;
        quint32 sum = 0;
        for (quint32 &c : count)
            sum += std::exchange(c, sum);
        for (const Sortable &item : items)
            spare[count[item.head >> (8 * b) & 0xFF]++] = item;
        items.swap(spare);
    }
}

} // namespace

bool RecordModel::readTextOrder(const RecordColumn &column, size_t expected, std::vector<qint64> &order)
{
    // Texts are sorted here by keys made once each (the database would decode both texts
    // of every pair it compares). The keys lie back to back in one block; eight bytes of
    // each, past what all of them share, sort the rows by number, and only rows whose eight
    // bytes are equal compare the rest of their keys.
    std::vector<qint64> ids;
    std::vector<quint32> ends; // of each key in the block
    ids.reserve(expected);
    ends.reserve(expected);
    QByteArray keys;
    keys.reserve(qsizetype(expected) * 40); // pages are taken only as they are written
    qsizetype shared = -1;                  // bytes every key so far begins with
    const bool done =
        m_db.forEachRow(Sql("SELECT ID, ") + Sql(column.expression) + readForwards(), [&](const Row &row) {
            const qsizetype at = keys.size();
            appendChineseSortKey(row.utf8View(1), keys);
            const qsizetype size = keys.size() - at;
            if (shared < 0) {
                shared = size;
            } else {
                const char *first = keys.constData();
                const char *key = first + at;
                qsizetype same = 0;
                const qsizetype most = std::min(shared, size);
                while (same < most && first[same] == key[same])
                    ++same;
                shared = same;
            }
            ids.push_back(row.key(0));
            ends.push_back(quint32(keys.size()));
        });
    if (!done || keys.size() > std::numeric_limits<quint32>::max())
        return false;
    const size_t rows = ids.size();
    const bool backwards = readsBackwards();
    const bool descending = m_sortOrder == Qt::DescendingOrder;
    const char *base = keys.constData();
    const quint32 skip = quint32(std::max<qsizetype>(shared, 0));
    const auto keyAt = [&](quint32 read) {
        const quint32 at = read == 0 ? 0 : ends[read - 1];
        return QByteArrayView(base + at, ends[read] - at);
    };
    // Rows are numbered in the list's own order, so that equal texts keep it either way round.
    std::vector<Sortable> items(rows);
    for (size_t read = 0; read < rows; ++read) {
        const QByteArrayView key = keyAt(quint32(read));
        quint64 head = 0;
        for (quint32 i = skip; i < skip + 8; ++i)
            head =
                head << 8 | (i < quint32(key.size()) ? quint8(key[i]) : 0); // zeros order a shorter key first
        const quint32 row = quint32(backwards ? rows - 1 - read : read);
        items[row] = {descending ? ~head : head, quint32(read)};
    }
    sortByHeads(items);
    // Rows with equal heads: the rest of their keys decides.
    const auto before = [&](const Sortable &a, const Sortable &b) {
        const QByteArrayView x = keyAt(a.read), y = keyAt(b.read);
        const QByteArrayView restX = x.sliced(std::min<qsizetype>(skip + 8, x.size()));
        const QByteArrayView restY = y.sliced(std::min<qsizetype>(skip + 8, y.size()));
        return (descending ? restY.compare(restX) : restX.compare(restY)) < 0;
    };
    for (size_t first = 0; first < rows;) {
        size_t end = first + 1;
        while (end < rows && items[end].head == items[first].head)
            ++end;
        if (end - first > 1)
            std::stable_sort(items.begin() + qsizetype(first), items.begin() + qsizetype(end), before);
        first = end;
    }
    order.reserve(rows);
    for (const Sortable &item : items)
        order.push_back(ids[item.read]);
    return true;
}

bool RecordModel::readsBackwards() const
{
    return m_defaultOrder == QStringLiteral("ID DESC");
}

Sql RecordModel::forwardOrder() const
{
    // SQLite walks an index backwards several times slower than forwards (a million rows:
    // 0.86 s against 0.21 s): a list newest first is read oldest first and turned round.
    if (readsBackwards())
        return Sql("ID");
    return Sql(m_defaultOrder.isEmpty() ? QStringLiteral("ID") : m_defaultOrder);
}

Sql RecordModel::readForwards() const
{
    if (forwardOrder().executable() == QStringLiteral("ID"))
        return rowsOldestFirst(m_db, m_table, m_filter);
    return Sql(" FROM ") + Sql(m_table) + Sql(" WHERE ") + m_filter + Sql(" ORDER BY ") + forwardOrder();
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

Sql RecordModel::fields() const
{
    QString fields = QStringLiteral("ID");
    for (const RecordColumn &column : m_columns)
        fields += u',' + (column.expression.isEmpty() ? QStringLiteral("''") : column.expression);
    return Sql(fields);
}

bool RecordModel::readSelection(const Sql &where, std::vector<Record> &into) const
{
    const Sql sql = Sql("SELECT ") + fields() + Sql(" FROM ") + Sql(m_table) + Sql(" WHERE ") + where;
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

const RecordModel::Record *RecordModel::record(int row) const
{
    if (row < 0 || size_t(row) >= m_order.size())
        return nullptr;
    const size_t page = size_t(row) / PageRows;
    if (!m_pages[page]) {
        // The page's keys are known: read those rows and put them in order.
        const size_t first = page * PageRows;
        const size_t end = std::min(m_order.size(), first + PageRows);
        auto records = std::make_unique<Page>(end - first);
        QHash<qint64, size_t> places;
        places.reserve(qsizetype(end - first));
        QString keys;
        for (size_t at = first; at < end; ++at) {
            places.insert(m_order[at], at - first);
            (*records)[at - first].key = m_order[at];
            (*records)[at - first].texts.resize(m_columns.size());
            keys += (at == first ? QString() : QStringLiteral(",")) + QString::number(m_order[at]);
        }
        std::vector<Record> read;
        if (m_failed || !readSelection(Sql("ID IN (") + Sql(keys) + Sql(")"), read)) {
            dropAfterFailure();
        } else {
            // A record deleted elsewhere meanwhile shows an empty row.
            for (Record &found : read)
                if (const auto place = places.constFind(found.key); place != places.cend())
                    (*records)[*place] = std::move(found);
        }
        m_pages[page] = std::move(records);
        m_kept.push_back(page);
        evictPages();
    }
    return &(*m_pages[page])[size_t(row) % PageRows];
}

RecordModel::Record *RecordModel::record(int row)
{
    return const_cast<Record *>(std::as_const(*this).record(row));
}

void RecordModel::evictPages() const
{
    if (m_keepAll)
        return;
    dropPages(KeptPages, true);
}

void RecordModel::dropPages(size_t keep, bool keepNewest) const
{
    // The oldest pages go first, but never one holding an edit that was not stored.
    for (auto it = m_kept.begin();
         m_kept.size() > keep && it != m_kept.end() && !(keepNewest && it + 1 == m_kept.end());) {
        const Page &page = *m_pages[*it];
        if (std::any_of(page.cbegin(), page.cend(), [](const Record &r) { return r.unsaved; })) {
            ++it;
            continue;
        }
        m_pages[*it].reset();
        it = m_kept.erase(it);
    }
}

void RecordModel::dropAfterFailure() const
{
    if (m_failed)
        return;
    m_failed = true;
    QMetaObject::invokeMethod(
        const_cast<RecordModel *>(this),
        [this] {
            auto *self = const_cast<RecordModel *>(this);
            self->beginResetModel();
            self->m_order.clear();
            self->m_pages.clear();
            self->m_kept.clear();
            self->endResetModel();
        },
        Qt::QueuedConnection);
}

qint64 RecordModel::keyAt(int row) const
{
    return row >= 0 && size_t(row) < m_order.size() ? m_order[size_t(row)] : 0;
}

int RecordModel::rowOfKey(qint64 key) const
{
    const auto it = std::find(m_order.cbegin(), m_order.cend(), key);
    return it == m_order.cend() ? -1 : int(it - m_order.cbegin());
}

void RecordModel::marksChanged()
{
    for (int c = 0; c < m_columns.size(); ++c)
        if (m_columns.at(c).kind == RecordColumn::Kind::Mark && !m_order.empty())
            Q_EMIT dataChanged(index(0, c), index(rowCount() - 1, c), {Qt::DisplayRole});
}

void RecordModel::refreshTexts()
{
    // Pages with an edit not stored keep it.
    dropPages(0, false);
    m_keepAll = false;
    if (!m_order.empty())
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::DisplayRole});
}

void RecordModel::setColumnExpression(int column, const QString &expression)
{
    if (column < 0 || column >= m_columns.size() || m_columns.at(column).expression == expression)
        return;
    m_columns[column].expression = expression;
    refreshTexts();
}

const QStringList &RecordModel::textsAt(int row) const
{
    static const QStringList none;
    const Record *found = record(row);
    return found ? found->texts : none;
}

QString RecordModel::textAt(int row, int column) const
{
    const Record *found = record(row);
    return found ? found->texts.value(column) : QString();
}

bool RecordModel::needsReading() const
{
    return !m_keepAll && m_pages.size() > 1;
}

void RecordModel::fetchAll()
{
    if (m_keepAll || m_order.empty())
        return;
    // One pass over the list's rows, in whatever order the table gives them.
    std::vector<Record> all;
    all.reserve(m_order.size());
    if (!readSelection(m_filter, all)) {
        dropAfterFailure();
        return;
    }
    QHash<qint64, Record *> byKey;
    byKey.reserve(qsizetype(all.size()));
    for (Record &found : all)
        byKey.insert(found.key, &found);
    for (size_t page = 0; page < m_pages.size(); ++page) {
        if (m_pages[page])
            continue; // read already, and perhaps edited
        const size_t first = page * PageRows;
        const size_t end = std::min(m_order.size(), first + PageRows);
        auto records = std::make_unique<Page>(end - first);
        for (size_t at = first; at < end; ++at) {
            Record &into = (*records)[at - first];
            if (Record *found = byKey.value(m_order[at]))
                into = std::move(*found);
            into.key = m_order[at];
            into.texts.resize(m_columns.size());
        }
        m_pages[page] = std::move(records);
        m_kept.push_back(page);
    }
    m_keepAll = true;
}

bool RecordModel::removeRecords(const QList<qint64> &keys, const std::function<bool()> &alongside)
{
    if (keys.isEmpty())
        return false;
    const QSet<qint64> gone(keys.cbegin(), keys.cend());
    // Every record of the list: one statement, whatever their number.
    const bool everything =
        qsizetype(m_order.size()) == gone.size() &&
        std::all_of(m_order.cbegin(), m_order.cend(), [&](qint64 k) { return gone.contains(k); });
    bool deleted = m_db.isOpen();
    {
        Database::Transaction transaction(m_db);
        deleted = deleted && (!alongside || alongside());
        if (everything) {
            deleted =
                deleted && m_db.executeSql(Sql("DELETE FROM ") + Sql(m_table) + Sql(" WHERE ") + m_filter);
        } else {
            constexpr qsizetype Chunk = 10000;
            // Each list is built as text once: joining Sql pieces one by one copies it each time.
            for (qsizetype from = 0; from < keys.size() && deleted; from += Chunk) {
                QString list;
                for (qsizetype i = from; i < std::min(keys.size(), from + Chunk); ++i)
                    list += (i == from ? QString() : QStringLiteral(",")) + QString::number(keys.at(i));
                deleted = m_db.executeSql(Sql("DELETE FROM ") + Sql(m_table) + Sql(" WHERE ID IN (") +
                                          Sql(list) + Sql(")"));
            }
        }
        deleted = deleted && transaction.commit();
    }
    if (!deleted) {
        m_db.prompt().message(QStringLiteral("删除记录失败，数据库没有改变。"), Prompt::Icon::Warning);
        return false;
    }
    // The runs of neighbouring rows that went, from the bottom up; many runs make one reset.
    std::vector<std::pair<int, int>> runs;
    for (int row = int(m_order.size()) - 1; row >= 0 && runs.size() <= 16; --row) {
        if (!gone.contains(m_order[size_t(row)]))
            continue;
        int first = row;
        while (first > 0 && gone.contains(m_order[size_t(first - 1)]))
            --first;
        runs.emplace_back(first, row);
        row = first;
    }
    // Pages shift with the rows: they are read again as they are shown.
    m_pages.clear();
    m_kept.clear();
    m_keepAll = false;
    const auto shrink = [this] { m_pages.resize((m_order.size() + PageRows - 1) / PageRows); };
    if (runs.size() > 16) {
        beginResetModel();
        m_order.erase(
            std::remove_if(m_order.begin(), m_order.end(), [&gone](qint64 k) { return gone.contains(k); }),
            m_order.end());
        shrink();
        endResetModel();
        return true;
    }
    for (const auto &[first, last] : runs) {
        beginRemoveRows({}, first, last);
        m_order.erase(m_order.begin() + first, m_order.begin() + last + 1);
        m_pages.clear();
        shrink();
        endRemoveRows();
    }
    return true;
}

int RecordModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_order.size());
}

int RecordModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant RecordModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= m_order.size())
        return {};
    if (role == KeyRole)
        return keyAt(index.row());
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::TextAlignmentRole &&
        role != Qt::BackgroundRole && role != Qt::ToolTipRole)
        return {}; // no page is read for what is not shown
    const Record &record = *this->record(index.row());
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
    if (role != Qt::EditRole || !index.isValid() || size_t(index.row()) >= m_order.size() || !m_saver)
        return false;
    Record &record = *this->record(index.row());
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

void RecordModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= m_columns.size() || m_columns.at(column).kind == RecordColumn::Kind::Mark)
        return;
    // Qt's sortByColumn asks twice for the same order; the list is in it already.
    if (m_sortDone && column == m_sortColumn && order == m_sortOrder)
        return;
    m_sortColumn = column;
    m_sortOrder = order;
    if (m_filter.isEmpty())
        return;
    // The view keeps its selection by the records' keys across the reset.
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    reload();
    m_sortDone = true;
    QGuiApplication::restoreOverrideCursor();
}

} // namespace quilla
