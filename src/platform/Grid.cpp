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

Grid::Grid(QWidget *parent)
    : QTableView(parent), m_model(new GridModel(*this)), m_frozen(new QTableView(this))
{
    setModel(m_model);
    setAccessibleName(QStringLiteral("表格"));
    // The fixed columns keep their place when the grid scrolls sideways: a second view of the
    // same model shows only them, laid over the left edge of this one, and follows its rows.
    // Columns scroll by pixels, so the first one after the fixed ones starts right at their edge.
    m_frozen->setModel(m_model);
    QItemSelectionModel *unused = m_frozen->selectionModel();
    m_frozen->setSelectionModel(selectionModel());
    delete unused;
    for (QTableView *view : {static_cast<QTableView *>(this), m_frozen}) {
        view->setSelectionMode(QAbstractItemView::ContiguousSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectItems);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setWordWrap(false);
        view->verticalHeader()->hide();
        view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
        QHeaderView *titles = view->horizontalHeader();
        titles->setSectionsClickable(false);
        titles->setHighlightSections(false);
        titles->setSectionsMovable(false);
        titles->setMinimumSectionSize(0);
        titles->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        // Presses reach a scroll area's viewport, not the area itself.
        titles->viewport()->installEventFilter(this);
        view->viewport()->installEventFilter(this);
    }
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_frozen->setVerticalScrollMode(verticalScrollMode());
    m_frozen->setAccessibleName(QStringLiteral("固定列"));
    m_frozen->setFocusPolicy(Qt::NoFocus); // a press there focuses the grid
    m_frozen->setFrameShape(QFrame::NoFrame);
    m_frozen->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setAutoScroll(false); // it scrolls with this view only
    m_frozen->hide();
    connect(verticalScrollBar(), &QScrollBar::valueChanged, m_frozen->verticalScrollBar(),
            &QScrollBar::setValue);
    connect(m_frozen->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            [this] { m_frozen->verticalScrollBar()->setValue(verticalScrollBar()->value()); });

    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        if (section < 0 || section >= m_cols)
            return;
        if (!m_syncing)
            m_colWidths[size_t(section)] = ToTwips(std::max(0, size - cellMargin()));
        if (section < m_fixedCols) {
            m_frozen->horizontalHeader()->resizeSection(section, size);
            layOutFrozen();
        }
    });
    // The operator drags the edge of a fixed column's title.
    connect(m_frozen->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int size) {
                if (section >= 0 && section < m_fixedCols)
                    horizontalHeader()->resizeSection(section, size);
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
        applyLayout();
    } else {
        for (QTableView *view : {static_cast<QTableView *>(this), m_frozen}) {
            view->viewport()->update();
            view->horizontalHeader()->viewport()->update();
        }
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
    m_frozen->setColumnHidden(col, pixels <= 0 || col >= m_fixedCols);
    if (pixels > 0) {
        horizontalHeader()->resizeSection(col, pixels + cellMargin());
        if (col < m_fixedCols)
            m_frozen->horizontalHeader()->resizeSection(col, pixels + cellMargin());
    }
    m_syncing = false;
    if (col < m_fixedCols)
        layOutFrozen();
}

void Grid::applyRowHeight(int row)
{
    const int pixels = ToPixels(m_rowHeights.value(row));
    for (QTableView *view : {static_cast<QTableView *>(this), m_frozen}) {
        view->setRowHidden(row - m_fixedRows, pixels <= 0);
        if (pixels > 0)
            view->verticalHeader()->resizeSection(row - m_fixedRows, pixels);
    }
}

// After a model reset the views have forgotten their sizes and hidden rows and columns.
void Grid::applyLayout()
{
    for (int c = 0; c < m_cols; ++c)
        applyColumnWidth(c);
    for (auto it = m_rowHeights.cbegin(); it != m_rowHeights.cend(); ++it)
        if (inData(it.key(), 0))
            applyRowHeight(it.key());
    layOutFrozen();
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
    if (row >= m_fixedRows && m_batch == 0)
        applyRowHeight(row);
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
    if (!inData(row, 0))
        return;
    executeDelayedItemsLayout();
    scrollToRow(row - m_fixedRows, QAbstractItemView::PositionAtTop);
}

int Grid::LeftCol() const
{
    const int col = columnAt(frozenWidth());
    return col < 0 ? std::clamp(m_fixedCols, 0, std::max(0, m_cols - 1)) : col;
}

void Grid::setLeftCol(int col)
{
    if (col < 0)
        return;
    col = std::max(col, m_fixedCols); // the fixed columns are always in view
    if (col >= m_cols)
        return;
    executeDelayedItemsLayout();
    horizontalScrollBar()->setValue(horizontalHeader()->sectionPosition(col) - frozenWidth());
}

void Grid::scrollToRow(int dataRow, ScrollHint hint)
{
    // Any shown column carries the row; the sideways position stays.
    for (int c = 0; c < m_cols; ++c)
        if (!isColumnHidden(c)) {
            const int sideways = horizontalScrollBar()->value();
            QTableView::scrollTo(m_model->index(dataRow, c), hint);
            horizontalScrollBar()->setValue(sideways);
            return;
        }
}

void Grid::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!index.isValid())
        return;
    if (index.column() < m_fixedCols) {
        scrollToRow(index.row(), hint);
        return;
    }
    QTableView::scrollTo(index, hint);
    const int covered = frozenWidth() - columnViewportPosition(index.column());
    if (covered > 0)
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() - covered);
}

void Grid::updateGeometries()
{
    QTableView::updateGeometries();
    layOutFrozen();
}

void Grid::layOutFrozen()
{
    int width = 0;
    for (int c = 0; c < m_fixedCols; ++c)
        if (!isColumnHidden(c))
            width += columnWidth(c);
    width = std::min(width, viewport()->width());
    m_frozen->setVisible(width > 0);
    if (width <= 0)
        return;
    QHeaderView *titles = horizontalHeader();
    QHeaderView *frozenTitles = m_frozen->horizontalHeader();
    frozenTitles->setHidden(titles->isHidden());
    int titleHeight = 0;
    if (!titles->isHidden()) {
        // Both title rows are as tall as the taller one needs, whatever their texts.
        titleHeight = std::max(titles->sizeHint().height(), frozenTitles->sizeHint().height());
        if (titles->minimumHeight() != titleHeight) {
            titles->setMinimumHeight(titleHeight);
            QTableView::updateGeometries();
        }
        titleHeight = titles->height();
        frozenTitles->setFixedHeight(titleHeight);
    }
    m_frozen->setGeometry(viewport()->x(), viewport()->y() - titleHeight, width,
                          viewport()->height() + titleHeight);
}

int Grid::frozenWidth() const
{
    return m_frozen->isHidden() ? 0 : m_frozen->width();
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

void Grid::refitWhenShown(std::function<void(Grid &)> fit)
{
    m_refit = isVisible() ? nullptr : std::move(fit);
}

void Grid::showEvent(QShowEvent *event)
{
    QTableView::showEvent(event);
    // The layouts give a widget its geometry before they show it.
    if (auto fit = std::exchange(m_refit, nullptr))
        fit(*this);
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
    const int col = x < frozenWidth() ? m_frozen->columnAt(x) : columnAt(x);
    return {row < 0 ? m_rows : row, col < 0 ? m_cols : col};
}

bool Grid::eventFilter(QObject *watched, QEvent *event)
{
    QHeaderView *titles = watched == horizontalHeader()->viewport()             ? horizontalHeader()
                          : watched == m_frozen->horizontalHeader()->viewport() ? m_frozen->horizontalHeader()
                                                                                : nullptr;
    const bool cells = watched == viewport() || watched == m_frozen->viewport();
    if (!titles && !cells)
        return QTableView::eventFilter(watched, event);
    if (event->type() == QEvent::Wheel &&
        (watched == m_frozen->viewport() || titles == m_frozen->horizontalHeader())) {
        // This view owns the scroll bars; the fixed columns follow it.
        QCoreApplication::sendEvent(viewport(), event);
        return true;
    }
    if (event->type() == QEvent::MouseButtonPress) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QPoint at = mouse->position().toPoint();
        // A press on a section edge starts a resize, not a click on the title.
        if (titles && startsResize(*titles, at.x()))
            return QTableView::eventFilter(watched, event);
        // Both views' titles and cells start at the left edge of the titles; the titles sit above the cells.
        const int headerHeight = horizontalHeader()->isHidden() ? 0 : horizontalHeader()->height();
        const int y = titles ? at.y() : at.y() + headerHeight;
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
        m_grid.applyLayout();
        m_grid.showCurrent();
    }
}

} // namespace quilla
