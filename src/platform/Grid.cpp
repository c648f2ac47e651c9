#include "Grid.h"

#include "WindowHelpers.h"
#include "data/TextNumber.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QCollator>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>

#include <numeric>

namespace quilla {

namespace {

constexpr double DefaultColWidth = 960; // twips: 64 pixels at 96 dpi

Qt::Alignment alignmentOf(int code)
{
    static const Qt::Alignment horizontal[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    static const Qt::Alignment vertical[] = {Qt::AlignTop, Qt::AlignVCenter, Qt::AlignBottom};
    if (code < 0 || code > 8)
        return Qt::AlignLeft | Qt::AlignVCenter;
    return horizontal[code / 3] | vertical[code % 3];
}

// Whether a press at x (in the header's viewport) grabs a section edge, as QHeaderView
// decides it: within the grip margin of a section's end, or of its start, which is the
// end of the visible section before it.
bool startsResize(const QHeaderView &header, int x)
{
    const int visual = header.visualIndexAt(x);
    if (visual < 0)
        return false;
    const int logical = header.logicalIndex(visual);
    const int left = header.sectionViewportPosition(logical);
    const int grip = header.style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, &header);
    int edge = -1;
    if (x < left + grip) {
        for (int v = visual - 1; v >= 0 && edge < 0; --v)
            if (!header.isSectionHidden(header.logicalIndex(v)))
                edge = header.logicalIndex(v);
    } else if (x > left + header.sectionSize(logical) - grip) {
        edge = logical;
    }
    return edge >= 0 && header.sectionResizeMode(edge) == QHeaderView::Interactive;
}

} // namespace

// The data rows of the grid as a table model; fixed rows become the header.
class GridModel : public QAbstractTableModel
{
  public:
    explicit GridModel(Grid &grid) : m_grid(grid) {}

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : std::max(0, m_grid.m_rows - m_grid.m_fixedRows);
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : m_grid.m_cols;
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid))
            return {};
        const int row = index.row() + m_grid.m_fixedRows;
        const int col = index.column();
        switch (role) {
        case Qt::DisplayRole:
            return m_grid.cell(row, col);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(alignmentOf(m_grid.m_alignments[size_t(col)]));
        case Qt::BackgroundRole: {
            if (col < m_grid.m_fixedCols)
                return m_grid.palette().button();
            const qint64 color = m_grid.cellBackColor(row, col);
            return color ? QVariant(ColorFromBgr(color)) : QVariant();
        }
        default:
            return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (role == Qt::DisplayRole) {
            if (orientation == Qt::Horizontal && m_grid.m_fixedRows > 0 && section >= 0 &&
                section < m_grid.m_cols)
                return m_grid.cell(m_grid.m_fixedRows - 1, section);
            if (orientation == Qt::Vertical)
                return section + 1;
        }
        return {};
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        if (!index.isValid())
            return Qt::NoItemFlags;
        if (index.column() < m_grid.m_fixedCols)
            return Qt::ItemIsEnabled;
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    }

    using QAbstractTableModel::beginResetModel;
    using QAbstractTableModel::endResetModel;

  private:
    Grid &m_grid;
};

Grid::Grid(QWidget *parent) : QTableView(parent), m_model(new GridModel(*this))
{
    setModel(m_model);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setMinimumSectionSize(0);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Presses reach a scroll area's viewport, not the area itself.
    horizontalHeader()->viewport()->installEventFilter(this);
    viewport()->installEventFilter(this);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        if (m_syncing || section < 0 || section >= m_cols)
            return;
        m_colWidths[size_t(section)] = ToTwips(std::max(0, size - cellMargin()));
    });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { syncCurrent(); });
}

Grid::~Grid() = default;

int Grid::Rows() const
{
    return m_rows;
}

int Grid::Cols() const
{
    return m_cols;
}

void Grid::resizeCells(int rows, int cols)
{
    rows = std::max(0, rows);
    cols = std::max(0, cols);
    if (cols != m_cols) {
        std::vector<QString> cells(size_t(rows) * size_t(cols));
        std::vector<qint32> colors(m_colors.empty() ? 0 : cells.size(), 0);
        for (int r = 0; r < std::min(rows, m_rows); ++r)
            for (int c = 0; c < std::min(cols, m_cols); ++c) {
                cells[size_t(r) * size_t(cols) + size_t(c)] = std::move(cell(r, c));
                if (!colors.empty())
                    colors[size_t(r) * size_t(cols) + size_t(c)] =
                        m_colors[size_t(r) * size_t(m_cols) + size_t(c)];
            }
        m_cells = std::move(cells);
        m_colors = std::move(colors);
        m_colWidths.resize(size_t(cols), DefaultColWidth);
        m_alignments.resize(size_t(cols), 9);
    } else {
        m_cells.resize(size_t(rows) * size_t(cols));
        if (!m_colors.empty())
            m_colors.resize(m_cells.size(), 0);
    }
    m_rows = rows;
    m_cols = cols;
    m_fixedRows = std::min(m_fixedRows, m_rows);
    m_fixedCols = std::min(m_fixedCols, m_cols);
    m_row = std::clamp(m_row, 0, std::max(0, m_rows - 1));
    m_rowSel = std::clamp(m_rowSel, 0, std::max(0, m_rows - 1));
    m_col = std::clamp(m_col, 0, std::max(0, m_cols - 1));
    m_colSel = std::clamp(m_colSel, 0, std::max(0, m_cols - 1));
}

void Grid::changed(bool layout)
{
    if (m_batch > 0)
        return;
    if (layout) {
        m_model->beginResetModel();
        m_model->endResetModel();
        applyColumns();
    } else {
        viewport()->update();
        horizontalHeader()->viewport()->update();
    }
}

int Grid::cellMargin() const
{
    // Qt draws cells and titles with wider margins than the widths in twips allow for.
    return 2 * (style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this) + 1);
}

void Grid::applyColumnWidth(int col)
{
    m_syncing = true;
    const int pixels = ToPixels(m_colWidths[size_t(col)]);
    setColumnHidden(col, pixels <= 0);
    if (pixels > 0)
        horizontalHeader()->resizeSection(col, pixels + cellMargin());
    m_syncing = false;
}

void Grid::applyColumns()
{
    for (int c = 0; c < m_cols; ++c)
        applyColumnWidth(c);
}

void Grid::setRows(int rows)
{
    resizeCells(rows, m_cols);
    changed(true);
}

void Grid::setCols(int cols)
{
    resizeCells(m_rows, cols);
    changed(true);
}

void Grid::setFixedRows(int rows)
{
    m_fixedRows = std::clamp(rows, 0, m_rows);
    changed(true);
}

void Grid::setFixedCols(int cols)
{
    m_fixedCols = std::clamp(cols, 0, m_cols);
    changed(true);
}

QString Grid::TextMatrix(int row, int col) const
{
    if (row < 0 || row >= m_rows || col < 0 || col >= m_cols)
        return {};
    return cell(row, col);
}

void Grid::setTextMatrix(int row, int col, const QString &text)
{
    if (row < 0 || row >= m_rows || col < 0 || col >= m_cols)
        return;
    cell(row, col) = text;
    if (m_batch > 0)
        return;
    if (row < m_fixedRows)
        Q_EMIT m_model->headerDataChanged(Qt::Horizontal, col, col);
    else
        Q_EMIT m_model->dataChanged(m_model->index(row - m_fixedRows, col),
                                    m_model->index(row - m_fixedRows, col));
}

double Grid::RowHeight(int row) const
{
    if (row < 0 || row >= m_rows)
        return 0;
    const auto it = m_rowHeights.constFind(row);
    if (it != m_rowHeights.cend())
        return it.value();
    if (row < m_fixedRows)
        return row == m_fixedRows - 1 ? ToTwips(horizontalHeader()->height()) : 0;
    return ToTwips(verticalHeader()->defaultSectionSize());
}

void Grid::setRowHeight(int row, double twips)
{
    if (row < 0 || row >= m_rows)
        return;
    m_rowHeights.insert(row, twips);
    if (row >= m_fixedRows) {
        const int pixels = ToPixels(twips);
        setRowHidden(row - m_fixedRows, pixels <= 0);
        if (pixels > 0)
            verticalHeader()->resizeSection(row - m_fixedRows, pixels);
    }
}

double Grid::ColWidth(int col) const
{
    return col >= 0 && col < m_cols ? m_colWidths[size_t(col)] : 0;
}

void Grid::setColWidth(int col, double twips)
{
    if (col < 0 || col >= m_cols)
        return;
    m_colWidths[size_t(col)] = std::max(0.0, twips);
    if (m_batch == 0)
        applyColumnWidth(col);
}

int Grid::ColAlignment(int col) const
{
    return col >= 0 && col < m_cols ? m_alignments[size_t(col)] : 0;
}

void Grid::setColAlignment(int col, int code)
{
    if (col < 0 || col >= m_cols)
        return;
    m_alignments[size_t(col)] = code;
    changed(false);
}

bool Grid::inData(int row, int col) const
{
    return row >= m_fixedRows && row < m_rows && col >= 0 && col < m_cols;
}

void Grid::showCurrent()
{
    if (m_batch > 0 || !inData(m_row, m_col))
        return;
    m_syncing = true;
    setCurrentIndex(m_model->index(m_row - m_fixedRows, m_col));
    m_syncing = false;
}

void Grid::setRow(int row)
{
    m_row = m_rowSel = std::clamp(row, 0, std::max(0, m_rows - 1));
    showCurrent();
}

void Grid::setCol(int col)
{
    m_col = m_colSel = std::clamp(col, 0, std::max(0, m_cols - 1));
    showCurrent();
}

void Grid::setRowSel(int row)
{
    m_rowSel = std::clamp(row, 0, std::max(0, m_rows - 1));
    if (m_batch == 0 && inData(m_row, m_col) && inData(m_rowSel, m_colSel)) {
        m_syncing = true;
        selectionModel()->select(
            QItemSelection(
                m_model->index(std::min(m_row, m_rowSel) - m_fixedRows, std::min(m_col, m_colSel)),
                m_model->index(std::max(m_row, m_rowSel) - m_fixedRows, std::max(m_col, m_colSel))),
            QItemSelectionModel::ClearAndSelect);
        m_syncing = false;
    }
}

void Grid::setColSel(int col)
{
    m_colSel = std::clamp(col, 0, std::max(0, m_cols - 1));
    setRowSel(m_rowSel);
}

void Grid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    syncCurrent();
}

void Grid::syncCurrent()
{
    if (m_syncing)
        return;
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return;
    const int row = current.row() + m_fixedRows;
    const int col = current.column();
    // Bounds from the selection's ranges: listing its cells would cost one entry per cell.
    int top = INT_MAX, bottom = -1, left = INT_MAX, right = -1;
    for (const QItemSelectionRange &range : selectionModel()->selection()) {
        top = std::min(top, range.top());
        bottom = std::max(bottom, range.bottom());
        left = std::min(left, range.left());
        right = std::max(right, range.right());
    }
    if (bottom < 0 || (top == bottom && left == right)) {
        m_row = m_rowSel = row;
        m_col = m_colSel = col;
        return;
    }
    // The range runs from its anchor, the corner opposite the current cell, to the current cell.
    m_rowSel = row;
    m_colSel = col;
    m_row = (current.row() == top ? bottom : top) + m_fixedRows;
    m_col = current.column() == left ? right : left;
}

int Grid::TopRow() const
{
    const int row = rowAt(0);
    return (row < 0 ? 0 : row) + m_fixedRows;
}

void Grid::setTopRow(int row)
{
    if (inData(row, 0))
        scrollTo(m_model->index(row - m_fixedRows, 0), QAbstractItemView::PositionAtTop);
}

int Grid::LeftCol() const
{
    const int col = columnAt(0);
    return col < 0 ? 0 : col;
}

void Grid::setLeftCol(int col)
{
    if (col >= 0 && col < m_cols)
        horizontalScrollBar()->setValue(columnViewportPosition(col) + horizontalOffset());
}

qint64 Grid::cellBackColor(int row, int col) const
{
    if (m_colors.empty() || row < 0 || row >= m_rows || col < 0 || col >= m_cols)
        return 0;
    return m_colors[size_t(row) * size_t(m_cols) + size_t(col)];
}

qint64 Grid::CellBackColor() const
{
    return cellBackColor(m_row, m_col);
}

void Grid::setCellBackColor(qint64 bgr)
{
    if (m_row >= m_rows || m_col >= m_cols)
        return;
    if (m_colors.empty())
        m_colors.assign(m_cells.size(), 0);
    m_colors[size_t(m_row) * size_t(m_cols) + size_t(m_col)] = qint32(bgr);
    changed(false);
}

void Grid::setSort(int mode)
{
    if (m_col < 0 || m_col >= m_cols || m_rows - m_fixedRows < 2)
        return;
    const int col = m_col;
    std::vector<int> order(size_t(m_rows - m_fixedRows));
    std::iota(order.begin(), order.end(), m_fixedRows);
    if (mode == 3 || mode == 4) {
        std::vector<double> keys(static_cast<size_t>(m_rows));
        for (int r = m_fixedRows; r < m_rows; ++r)
            keys[size_t(r)] = LeadingNumber(cell(r, col));
        if (mode == 3)
            std::stable_sort(order.begin(), order.end(),
                             [&](int a, int b) { return keys[size_t(a)] < keys[size_t(b)]; });
        else
            std::stable_sort(order.begin(), order.end(),
                             [&](int a, int b) { return keys[size_t(a)] > keys[size_t(b)]; });
    } else if (mode == 7 || mode == 8) {
        // Chinese readers expect pinyin order, not code order. Collating is slow, so each text
        // becomes a sort key once.
        QCollator collator(QLocale(QLocale::Chinese, QLocale::China));
        collator.setCaseSensitivity(Qt::CaseSensitive);
        std::vector<QCollatorSortKey> keys;
        keys.reserve(order.size());
        for (int r = m_fixedRows; r < m_rows; ++r)
            keys.push_back(collator.sortKey(cell(r, col)));
        auto less = [&](int a, int b) {
            return keys[size_t(a - m_fixedRows)].compare(keys[size_t(b - m_fixedRows)]) < 0;
        };
        if (mode == 7)
            std::stable_sort(order.begin(), order.end(), less);
        else
            std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return less(b, a); });
    } else {
        return;
    }
    std::vector<QString> cells(m_cells.size());
    std::vector<qint32> colors(m_colors.size());
    const size_t width = size_t(m_cols);
    for (size_t r = 0; r < size_t(m_fixedRows) * width; ++r) {
        cells[r] = std::move(m_cells[r]);
        if (!colors.empty())
            colors[r] = m_colors[r];
    }
    for (size_t i = 0; i < order.size(); ++i) {
        const size_t to = (size_t(m_fixedRows) + i) * width, from = size_t(order[i]) * width;
        for (size_t c = 0; c < width; ++c) {
            cells[to + c] = std::move(m_cells[from + c]);
            if (!colors.empty())
                colors[to + c] = m_colors[from + c];
        }
    }
    m_cells = std::move(cells);
    m_colors = std::move(colors);
    changed(false);
}

double Grid::Width() const
{
    return ToTwips(width());
}

std::pair<int, int> Grid::HitTest(double xTwips, double yTwips) const
{
    const int x = ToPixels(xTwips);
    const int y = ToPixels(yTwips);
    const QHeaderView *header = horizontalHeader();
    const int headerHeight = header->isHidden() ? 0 : header->height();
    int row = m_rows;
    if (y < headerHeight) {
        row = m_fixedRows - 1;
    } else {
        const int dataRow = rowAt(y - headerHeight);
        if (dataRow >= 0)
            row = dataRow + m_fixedRows;
    }
    const int col = columnAt(x);
    return {row < 0 ? m_rows : row, col < 0 ? m_cols : col};
}

bool Grid::eventFilter(QObject *watched, QEvent *event)
{
    QHeaderView *header = horizontalHeader();
    const bool onTitles = watched == header->viewport();
    if (event->type() == QEvent::MouseButtonPress && (onTitles || watched == viewport())) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QPoint at = mouse->position().toPoint();
        // A press on a section edge starts a resize, not a click on the title.
        if (onTitles && startsResize(*header, at.x()))
            return QTableView::eventFilter(watched, event);
        // The header and the cells share their horizontal layout; the header sits above the cells.
        const int headerHeight = header->isHidden() ? 0 : header->height();
        const int y = onTitles ? at.y() : at.y() + headerHeight;
        Q_EMIT mousePressed(mouse->button(), mouse->modifiers(), ToTwips(at.x()), ToTwips(y));
    }
    return QTableView::eventFilter(watched, event);
}

Grid::Batch::Batch(Grid &grid) : m_grid(grid)
{
    if (m_grid.m_batch++ == 0)
        m_grid.m_model->beginResetModel();
}

Grid::Batch::~Batch()
{
    if (--m_grid.m_batch == 0) {
        m_grid.m_model->endResetModel();
        m_grid.applyColumns();
        m_grid.showCurrent();
    }
}

} // namespace quilla
