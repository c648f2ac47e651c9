#include "GridPresenter.h"

#include "data/Database.h"
#include "data/Progress.h"
#include "data/TextNumber.h"
#include "platform/Grid.h"
#include "platform/WindowHelpers.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QHash>
#include <QWidget>

#include <cmath>

namespace quilla {

namespace {

const QString UpMarker = QStringLiteral("△");
const QString DownMarker = QStringLiteral("▽");

// The widest of many texts without shaping each one: a text's width is close to
// the sum of its characters' advances (kerning moves it by a pixel or two), so
// only the texts with the largest sums are measured exactly.
class TextWidths
{
  public:
    explicit TextWidths(const QFontMetrics &metrics) : m_metrics(metrics), m_advances(0x10000, -1) {}

    int widest(const Grid &grid, int col, int fromRow)
    {
        std::vector<std::pair<double, int>> estimates; // (estimate, row)
        estimates.reserve(size_t(std::max(0, grid.Rows() - fromRow)));
        for (int r = fromRow; r < grid.Rows(); ++r) {
            const QString text = grid.TextMatrix(r, col);
            if (!text.isEmpty())
                estimates.emplace_back(estimateOf(text), r);
        }
        const size_t measured = std::min<size_t>(estimates.size(), 32);
        std::partial_sort(estimates.begin(), estimates.begin() + qsizetype(measured), estimates.end(),
                          [](const auto &a, const auto &b) { return a.first > b.first; });
        int widest = 0;
        for (size_t i = 0; i < measured; ++i)
            widest = std::max(widest, m_metrics.horizontalAdvance(grid.TextMatrix(estimates[i].second, col)));
        return widest;
    }

  private:
    double estimateOf(const QString &text)
    {
        double sum = 0;
        for (const QChar ch : text) {
            if (ch.isSurrogate())
                return 1e9; // measure it exactly
            float &advance = m_advances[ch.unicode()];
            if (advance < 0)
                advance = float(m_metrics.horizontalAdvance(ch));
            sum += advance;
        }
        return sum;
    }

    const QFontMetrics &m_metrics;
    std::vector<float> m_advances;
};

QString cellText(const QVariant &value, bool dateOnly)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return {};
    case QMetaType::LongLong:
    case QMetaType::Int:
        return QString::number(value.toLongLong());
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'f', 2);
    case QMetaType::Bool:
    case QMetaType::QDateTime:
    case QMetaType::QDate:
        return GridPresenter::FormatCellValue(value, dateOnly).toString();
    default:
        return value.isNull() ? QString() : value.toString();
    }
}

} // namespace

GridPresenter::GridPresenter(Database &db, Progress &progress, QWidget *measureWindow)
    : m_db(db), m_progress(progress), m_measureWindow(measureWindow)
{
}

qint64 GridPresenter::RowCap(int cols)
{
    return qint64(std::nearbyint(350000.0 / std::max(cols, 1) - 0.5)) - 2;
}

void GridPresenter::SetGridHeadings(Grid &grid, const QStringList &fieldSpecs, const QStringList &titles)
{
    if (fieldSpecs.size() != titles.size() || fieldSpecs.isEmpty())
        return;
    Grid::Batch batch(grid);
    grid.setCols(int(fieldSpecs.size()));
    grid.setFixedCols(grid.Cols() > 2 ? 2 : 1);
    grid.setRows(3);
    grid.setFixedRows(2);
    grid.setRows(2);
    for (int r = 0; r < grid.FixedRows() - 1; ++r)
        grid.setRowHeight(r, 0);
    for (int i = 0; i < grid.Cols(); ++i) {
        grid.setTextMatrix(0, i, fieldSpecs.at(i));
        grid.setTextMatrix(1, i, titles.at(i));
        grid.setColAlignment(i, 0);
    }
    grid.setColAlignment(1, 2);
}

qint64 GridPresenter::FillGrid(Grid &grid, const Sql &filter, const Sql &orderBy, bool dateOnly)
{
    qint64 total = 0;
    {
        Grid::Batch batch(grid);
        grid.setRows(2);
        const int cols = grid.Cols();
        qint64 cap = RowCap(cols);

        Sql sql = Sql("SELECT * FROM ") + grid.Tag();
        if (!filter.isEmpty())
            sql += Sql(" WHERE ") + filter;
        if (!orderBy.isEmpty())
            sql += Sql(" ORDER BY ") + orderBy;

        if (m_db.TableExists(grid.Tag())) {
            Query rs = m_db.OpenQuery(sql);
            total = rs.rowCount();
            if (total > cap)
                m_db.prompt().message(QStringLiteral("数据库里共有") + QString::number(total) +
                                      QStringLiteral("条记录，表格只能显示") + QString::number(cap) +
                                      QStringLiteral("条记录，因此无法全部显示，请修改筛选条件。"));
            else
                cap = total;
            const bool progress = cap > 500;
            if (progress)
                m_progress.begin(QStringLiteral("正在读取记录..."), int(std::nearbyint(cap / 10.0)));

            // What each column shows, worked out once for all rows.
            enum class Kind
            {
                Empty,
                RowNumber,
                Lookup,
                Color,
                Field
            };
            struct Column
            {
                Kind kind = Kind::Empty;
                int field = -1;
                QStringList lookup; // field, table, key field, result field
                QHash<QString, QString> found;
            };
            std::vector<Column> columns(static_cast<size_t>(cols));
            const int titleRow = grid.FixedRows() - 1;
            for (int i = 0; i < cols; ++i) {
                Column &column = columns[size_t(i)];
                const QString spec = grid.TextMatrix(0, i);
                if (spec.isEmpty()) {
                    column.kind =
                        grid.TextMatrix(titleRow, i) == RowNumberTitle ? Kind::RowNumber : Kind::Empty;
                } else if (spec.contains(u':')) {
                    column.lookup = spec.split(u':');
                    if (column.lookup.size() >= 4) {
                        column.kind = Kind::Lookup;
                        column.field = int(rs.columns().indexOf(column.lookup.at(0)));
                    }
                } else if (spec == QStringLiteral("Color")) {
                    column.kind = Kind::Color;
                    column.field = int(rs.columns().indexOf(spec));
                } else {
                    column.kind = Kind::Field;
                    column.field = int(rs.columns().indexOf(spec));
                }
            }

            grid.setRows(int(grid.FixedRows() + cap));
            Query &walk = rs;
            for (qint64 j = 1; j <= cap && !walk.atEnd(); ++j) {
                const int r = int(grid.FixedRows() + j - 1);
                for (int i = 0; i < cols; ++i) {
                    Column &column = columns[size_t(i)];
                    switch (column.kind) {
                    case Kind::Empty:
                        break;
                    case Kind::RowNumber:
                        grid.setTextMatrix(r, i, QString::number(j));
                        break;
                    case Kind::Lookup: {
                        // One query per distinct key per fill.
                        const QVariant key = walk.valueAt(column.field);
                        const QString keyText = textOf(key);
                        auto it = column.found.constFind(keyText);
                        if (it == column.found.cend())
                            it = column.found.insert(
                                keyText, textOf(m_db.LookupValue(column.lookup.at(1), key,
                                                                 column.lookup.at(2), column.lookup.at(3))));
                        grid.setTextMatrix(r, i, it.value());
                        break;
                    }
                    case Kind::Color: {
                        const qint64 color = walk.number(QStringLiteral("Color"));
                        grid.setRow(r);
                        grid.setCol(i);
                        grid.setCellBackColor(color == 0 ? 0x010101 : color);
                        break;
                    }
                    case Kind::Field:
                        grid.setTextMatrix(r, i, cellText(walk.valueAt(column.field), dateOnly));
                        break;
                    }
                }
                walk.next();
                if (progress && j % 10 == 0)
                    m_progress.step(1);
            }
            if (progress)
                m_progress.end();
        }
    }
    FitColumnWidths(m_measureWindow, grid, 1, true);
    return total;
}

bool GridPresenter::DeleteGridRows(Grid &grid, int &fromRow, int &toRow, bool ask, bool alsoDelete)
{
    const int fixedRows = grid.FixedRows();
    if (fixedRows == grid.Rows())
        return false;
    OrderPair(toRow, fromRow);
    fromRow = std::max(fromRow, fixedRows);
    toRow = std::min(toRow, grid.Rows() - 1);
    const int count = toRow - fromRow + 1;
    if (count <= 0)
        return false;
    if (ask && !m_db.prompt().question(QStringLiteral("您确定要删除第") +
                                           QString::number(fromRow - fixedRows + 1) + QStringLiteral("至第") +
                                           QString::number(toRow - fixedRows + 1) + QStringLiteral("行？"),
                                       Prompt::Icon::Question))
        return false;

    if (alsoDelete) {
        // All the rows' records go together or none does, and the grid says what the file holds.
        Database::Transaction transaction(m_db);
        bool deleted = m_db.isOpen();
        const QString keyField = grid.TextMatrix(0, 0);
        for (int k = fromRow; k <= toRow && deleted; ++k) {
            const QString key = grid.TextMatrix(k, 0);
            bool numeric = false;
            const qint64 id = key.toLongLong(&numeric);
            deleted = m_db.ExecuteSql(Sql("DELETE * FROM ") + grid.Tag() + Sql(" WHERE ") + keyField +
                                      Sql("=") + (numeric ? Sql::number(id) : Sql::text(key)));
        }
        if (!deleted || !transaction.commit()) {
            m_db.prompt().message(QStringLiteral("删除记录失败，数据库没有改变。"), Prompt::Icon::Warning);
            return false;
        }
    }

    Grid::Batch batch(grid);
    const int numberColumn = grid.FixedCols() - 1;
    for (int a = fromRow; a <= grid.Rows() - count - 1; ++a)
        for (int c = 0; c < grid.Cols(); ++c)
            if (c != numberColumn)
                grid.setTextMatrix(a, c, grid.TextMatrix(a + count, c));
    grid.setRows(grid.Rows() - count);
    return true;
}

int GridPresenter::rowNumberColumn(const Grid &grid)
{
    const int titleRow = grid.FixedRows() - 1;
    for (int k = 0; k <= grid.FixedCols(); ++k)
        if (grid.TextMatrix(titleRow, k) == RowNumberTitle)
            return k + 1;
    return grid.FixedCols();
}

void GridPresenter::FitColumnWidths(QWidget *window, Grid &grid, int startRow, bool showProgress)
{
    if (grid.FixedRows() <= 0)
        return;
    const QFont font = window ? window->font() : grid.font();
    const bool progress = showProgress && grid.Rows() > 200;
    if (progress)
        m_progress.begin(QStringLiteral("正在做交易数据表格进行格式设置……"), grid.Cols());
    fitWidths(font, grid, startRow, progress ? &m_progress : nullptr);
    if (progress)
        m_progress.end();
    // The widths are capped at half the grid's width, which a hidden grid learns only when it shows.
    grid.refitWhenShown([font, startRow](Grid &shown) { fitWidths(font, shown, startRow, nullptr); });
}

void GridPresenter::fitWidths(const QFont &font, Grid &grid, int startRow, Progress *progress)
{
    const int numCol = rowNumberColumn(grid);
    if (grid.FixedRows() >= grid.Rows())
        startRow = 0;
    const QFontMetrics metrics(font);
    const double twipsPerPixel = TwipsPerPixel();
    const double maxWidth = grid.Width() / 2;
    const int titleRow = grid.FixedRows() - 1;
    TextWidths widths(metrics);
    for (int c = 0; c < grid.Cols(); ++c) {
        double w = 0;
        if (c >= numCol - 1) {
            const int widest = widths.widest(grid, c, std::max(startRow, 0));
            w = widest * twipsPerPixel;
            if (w != 0 && grid.FixedRows() > 0)
                w = std::max(w, metrics.horizontalAdvance(grid.TextMatrix(titleRow, c)) * twipsPerPixel);
            if (w != 0)
                w += 100;
            if (w == 0)
                w = 50;
            if (w > maxWidth)
                w = maxWidth;
        }
        grid.setColWidth(c, std::nearbyint(w));
        if (progress)
            progress->step(1, QStringLiteral("pages"));
    }
}

void GridPresenter::GridHeaderClick(QWidget *window, Grid &grid, double x, double y)
{
    auto [row, col] = HitTestCell(grid, x, y);
    if (col >= grid.Cols())
        col = grid.Cols() - 1;
    if (row >= grid.FixedRows() || col < 0)
        return;
    if (grid.TextMatrix(grid.FixedRows() - 1, col) != RowNumberTitle)
        SortGridByColumn(grid, col);
    else
        FitColumnWidths(window, grid, 1, true);
}

void GridPresenter::SortGridByColumn(Grid &grid, int col)
{
    if (grid.FixedRows() <= 0 || col < 0 || col >= grid.Cols())
        return;
    const int titleRow = grid.FixedRows() - 1;
    const bool up = grid.TextMatrix(titleRow, col).endsWith(UpMarker);
    const int mode = grid.ColAlignment(col) >= 4 ? (up ? 4 : 3) : (up ? 7 : 8);
    Grid::Batch batch(grid);
    for (int c = 0; c < grid.Cols(); ++c) {
        QString title = grid.TextMatrix(titleRow, c);
        title.remove(UpMarker).remove(DownMarker);
        grid.setTextMatrix(titleRow, c, title);
    }
    grid.setCol(col);
    grid.setSort(mode);
    grid.setTextMatrix(titleRow, col,
                       grid.TextMatrix(titleRow, col) + (mode == 7 || mode == 4 ? DownMarker : UpMarker));
    RenumberRows(grid);
}

void GridPresenter::RenumberRows(Grid &grid)
{
    const int column = rowNumberColumn(grid) - 1;
    Grid::Batch batch(grid);
    for (int r = grid.FixedRows(); r < grid.Rows(); ++r)
        grid.setTextMatrix(r, column, QString::number(r - grid.FixedRows() + 1));
}

bool GridPresenter::CheckColumnClick(Grid &grid, int shift, double x, double y, bool multi)
{
    const auto [row, col] = HitTestCell(grid, x, y);
    if (grid.FixedRows() >= grid.Rows() || grid.FixedCols() >= grid.Cols() || row >= grid.Rows() ||
        col >= grid.Cols() || col > grid.FixedCols())
        return false;
    const int m = grid.FixedCols();
    Grid::Batch batch(grid);
    if (row >= grid.FixedRows()) {
        if (!multi) {
            for (int r = grid.FixedRows(); r < grid.Rows(); ++r)
                grid.setTextMatrix(r, m, QString());
            grid.setTextMatrix(row, m, Mark);
        } else if (shift == 1 && grid.Row() >= grid.FixedRows()) {
            // The range takes the anchor's mark as the previous press left it: tick a row,
            // Shift-press another, and the rows between are ticked too.
            const int anchor = grid.Row();
            const QString value = grid.TextMatrix(anchor, m);
            for (int r = std::min(anchor, row); r <= std::max(anchor, row); ++r)
                grid.setTextMatrix(r, m, value);
        } else {
            grid.setTextMatrix(row, m, ToggleMark(grid.TextMatrix(row, m)));
        }
    } else if (multi) {
        const QString value = ToggleMark(grid.TextMatrix(grid.FixedRows(), grid.FixedCols()));
        for (int r = grid.FixedRows(); r < grid.Rows(); ++r)
            grid.setTextMatrix(r, m, value);
    }
    return true;
}

std::pair<int, int> GridPresenter::HitTestCell(const Grid &grid, double x, double y)
{
    return grid.HitTest(x, y);
}

QVariant GridPresenter::FormatCellValue(const QVariant &value, bool dateOnly)
{
    switch (value.typeId()) {
    case QMetaType::Double:
        return std::nearbyint(value.toDouble() * 100) / 100;
    case QMetaType::QDate:
    case QMetaType::QDateTime: {
        const QDateTime date = value.toDateTime();
        if (date == QDateTime(QDate(1900, 1, 1), QTime(0, 0)))
            return QString(); // the stored form of "no date"
        return date.toString(dateOnly ? QStringLiteral("yyyy.MM.dd") : QStringLiteral("yyyy.MM.dd HH:mm"));
    }
    case QMetaType::Bool:
        return BoolMark(value);
    default:
        return value.isNull() ? QString() : value.toString();
    }
}

QString GridPresenter::BoolMark(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return {};
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? Mark : QString();
    return LeadingNumber(value.toString()) != 0 ? Mark : QString();
}

QString GridPresenter::ToggleMark(const QString &text)
{
    return text.isEmpty() ? Mark : QString();
}

void GridPresenter::OrderPair(int &a, int &b)
{
    if (b > a)
        std::swap(a, b);
}

void GridPresenter::OrderPair(QString &a, QString &b)
{
    if (LeadingNumber(b) > LeadingNumber(a))
        std::swap(a, b);
}

} // namespace quilla
