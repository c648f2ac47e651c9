#include "RecordView.h"

#include "RecordModel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QRegularExpression>
#include <QLabel>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionHeader>

#include <algorithm>

namespace quilla {

namespace {

const QString RowNumberTitle = QStringLiteral("序号");

} // namespace

RecordView::RecordView(QWidget *parent) : QTableView(parent)
{
    setSelectionBehavior(SelectRows);
    setSelectionMode(ExtendedSelection);
    setEditTriggers(DoubleClicked | SelectedClicked | EditKeyPressed | AnyKeyPressed);
    setWordWrap(false);
    setContextMenuPolicy(Qt::CustomContextMenu);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setAccessibleName(QStringLiteral("列标题"));
    verticalHeader()->setAccessibleName(QStringLiteral("序号"));
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { Q_EMIT menuRequested(viewport()->mapToGlobal(at)); });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        if (!(index.flags() & Qt::ItemIsEditable))
            Q_EMIT rowActivated(index.row());
    });
    connect(verticalHeader(), &QHeaderView::sectionDoubleClicked, this, &RecordView::rowActivated);
    // The corner above the row numbers is their title; a click there fits the widths.
    if (auto *corner = findChild<QAbstractButton *>(QString(), Qt::FindDirectChildrenOnly)) {
        corner->installEventFilter(this);
        corner->setToolTip(QStringLiteral("调整列宽"));
        corner->setAccessibleName(QStringLiteral("调整列宽"));
    }
}

void RecordView::setRecordModel(RecordModel *model, bool sortable)
{
    m_model = model;
    setModel(model);
    verticalHeader()->setMinimumWidth(fontMetrics().horizontalAdvance(RowNumberTitle) + 16);
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    setSortingEnabled(sortable);
    horizontalHeader()->setSortIndicatorShown(sortable);
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, &RecordView::keepSelection);
    connect(model, &QAbstractItemModel::modelReset, this, &RecordView::restoreSelection);
    connect(model, &QAbstractItemModel::modelReset, this, &RecordView::fitColumns);
    connect(model, &QAbstractItemModel::modelReset, this, &RecordView::showEmptyText);
    connect(model, &QAbstractItemModel::layoutChanged, this, &RecordView::showEmptyText);
    connect(model, &QAbstractItemModel::rowsInserted, this, &RecordView::showEmptyText);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &RecordView::showEmptyText);
}

void RecordView::setEmptyText(const QString &text)
{
    if (!m_empty) {
        m_empty = new QLabel(viewport());
        m_empty->setObjectName(QStringLiteral("emptyText"));
        m_empty->setAlignment(Qt::AlignCenter);
        m_empty->setWordWrap(true);
        m_empty->setTextFormat(Qt::RichText);
        // Mouse only: every link has its button or menu entry, and a focusable label
        // would wedge itself into the window's Tab order.
        m_empty->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
        m_empty->setFocusPolicy(Qt::NoFocus);
        m_empty->setOpenExternalLinks(false);
        QFont larger = m_empty->font();
        larger.setPointSizeF(larger.pointSizeF() * 1.2);
        m_empty->setFont(larger);
        m_empty->setStyleSheet(QStringLiteral("color: #505050;"));
        connect(m_empty, &QLabel::linkActivated, this, &RecordView::emptyLinkActivated);
    }
    m_empty->setText(text);
    QString plain = text;
    plain.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    m_empty->setAccessibleName(plain);
    setAccessibleDescription(plain);
    showEmptyText();
}

void RecordView::showEmptyText()
{
    if (!m_empty)
        return;
    const bool empty = !m_model || m_model->rowCount() == 0;
    m_empty->setVisible(empty);
    setAccessibleDescription(empty ? m_empty->accessibleName() : QString());
    if (empty)
        m_empty->setGeometry(viewport()->rect().adjusted(24, 0, -24, 0));
}

void RecordView::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    showEmptyText();
}

std::vector<std::pair<int, int>> RecordView::selectedRuns() const
{
    std::vector<std::pair<int, int>> runs;
    if (!m_model || !selectionModel())
        return runs;
    // From the ranges, never from a list of every index: Ctrl+A on a million is one range.
    for (const QItemSelectionRange &range : selectionModel()->selection())
        if (range.isValid())
            runs.emplace_back(range.top(), range.bottom());
    std::sort(runs.begin(), runs.end());
    std::vector<std::pair<int, int>> merged;
    for (const auto &run : runs) {
        if (!merged.empty() && run.first <= merged.back().second + 1)
            merged.back().second = std::max(merged.back().second, run.second);
        else
            merged.push_back(run);
    }
    return merged;
}

QList<qint64> RecordView::selectedKeys() const
{
    QList<qint64> keys;
    for (const auto &[first, last] : selectedRuns())
        for (int row = first; row <= last; ++row)
            keys.append(m_model->keyAt(row));
    return keys;
}

void RecordView::keepSelection()
{
    m_keptList = m_model->filter().executable();
    const std::vector<std::pair<int, int>> runs = selectedRuns();
    m_keptAll = runs.size() == 1 && runs.front().first == 0 && runs.front().second == m_model->rowCount() - 1;
    m_keptKeys.clear();
    if (!m_keptAll)
        for (const auto &[first, last] : runs)
            for (int row = first; row <= last; ++row)
                m_keptKeys.insert(m_model->keyAt(row));
    m_keptCurrent = m_model->keyAt(currentIndex().row());
    m_keptColumn = std::max(currentIndex().column(), 0);
}

void RecordView::restoreSelection()
{
    // Only the same list gets its selection back: another draw's list starts unselected.
    const bool sameList = m_keptList == m_model->filter().executable();
    const bool all = std::exchange(m_keptAll, false);
    const QSet<qint64> keys = std::exchange(m_keptKeys, {});
    const qint64 current = std::exchange(m_keptCurrent, 0);
    if (!sameList || m_model->rowCount() == 0)
        return;
    const int lastColumn = m_model->columnCount() - 1;
    QItemSelection selection;
    if (all) {
        selection.select(m_model->index(0, 0), m_model->index(m_model->rowCount() - 1, lastColumn));
    } else if (!keys.isEmpty()) {
        for (int row = 0, rows = m_model->rowCount(); row < rows; ++row) {
            if (!keys.contains(m_model->keyAt(row)))
                continue;
            int last = row;
            while (last + 1 < rows && keys.contains(m_model->keyAt(last + 1)))
                ++last;
            selection.append(QItemSelectionRange(m_model->index(row, 0), m_model->index(last, lastColumn)));
            row = last;
        }
    }
    if (!selection.isEmpty())
        selectionModel()->select(selection, QItemSelectionModel::Select);
    if (const int row = current ? m_model->rowOfKey(current) : -1; row >= 0)
        selectionModel()->setCurrentIndex(m_model->index(row, m_keptColumn), QItemSelectionModel::NoUpdate);
}

void RecordView::selectKey(qint64 key)
{
    const int row = m_model ? m_model->rowOfKey(key) : -1;
    if (row < 0)
        return;
    const QModelIndex index = m_model->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
}

void RecordView::commitEditing()
{
    if (state() != EditingState)
        return;
    // The editors are the viewport's own children.
    for (QWidget *editor : viewport()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (editor->isVisible()) {
            commitData(editor);
            closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
}

void RecordView::fitColumns()
{
    if (!m_model)
        return;
    // A hidden list does not know its width yet; it fits again when it shows.
    const int widest = isVisible() ? std::max(viewport()->width() / 2, 80) : 600;
    for (int c = 0; c < m_model->columnCount(); ++c) {
        resizeColumnToContents(c);
        if (columnWidth(c) > widest)
            setColumnWidth(c, widest);
    }
}

void RecordView::showEvent(QShowEvent *event)
{
    QTableView::showEvent(event);
    fitColumns();
}

void RecordView::setMarkColumn(int column)
{
    m_markColumn = column;
    connect(verticalHeader(), &QHeaderView::sectionPressed, this, [this](int row) {
        Q_EMIT markPressed(row, QGuiApplication::keyboardModifiers() & Qt::ShiftModifier);
    });
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int section) {
        if (section != m_markColumn)
            return;
        // The title marks; it does not sort.
        horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
        Q_EMIT markAllPressed();
    });
}

void RecordView::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (m_markColumn >= 0 && event->button() == Qt::LeftButton && index.isValid() &&
        index.column() == m_markColumn) {
        setCurrentIndex(index);
        Q_EMIT markPressed(index.row(), event->modifiers() & Qt::ShiftModifier);
        return;
    }
    QTableView::mousePressEvent(event);
}

QPoint RecordView::menuPoint() const
{
    const QRect cell = visualRect(currentIndex());
    const QPoint at = cell.isValid() && viewport()->rect().intersects(cell) ? cell.center() : QPoint(8, 8);
    return viewport()->mapToGlobal(at);
}

void RecordView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        Q_EMIT menuRequested(menuPoint());
        return;
    }
    if (m_markColumn >= 0 && event->key() == Qt::Key_Space && currentIndex().isValid()) {
        Q_EMIT markPressed(currentIndex().row(), event->modifiers() & Qt::ShiftModifier);
        return;
    }
    if (event->key() == Qt::Key_Menu) {
        Q_EMIT menuRequested(menuPoint());
        return;
    }
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        Q_EMIT deleteRequested();
        return;
    }
    QTableView::keyPressEvent(event);
}

QModelIndex RecordView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    // Ctrl+Home and Ctrl+End reach the first and the last record before any row is current too.
    if (!currentIndex().isValid() && m_model && m_model->rowCount() > 0 && (modifiers & Qt::ControlModifier)) {
        if (action == MoveEnd)
            return m_model->index(m_model->rowCount() - 1, 0);
        if (action == MoveHome)
            return m_model->index(0, 0);
    }
    return QTableView::moveCursor(action, modifiers);
}

void RecordView::keyboardSearch(const QString &search)
{
    // Typing to find a row would read every page of a long list, one row at a time.
    if (m_model && m_model->rowCount() > RecordModel::PageRows * 4)
        return;
    QTableView::keyboardSearch(search);
}

bool RecordView::eventFilter(QObject *watched, QEvent *event)
{
    auto *corner = qobject_cast<QAbstractButton *>(watched);
    if (corner && watched->parent() == this) {
        if (event->type() == QEvent::Paint) {
            QPainter painter(corner);
            QStyleOptionHeader option;
            option.initFrom(corner);
            option.rect = corner->rect();
            option.text = RowNumberTitle;
            option.textAlignment = Qt::AlignCenter;
            option.position = QStyleOptionHeader::OnlyOneSection;
            option.orientation = Qt::Horizontal;
            style()->drawControl(QStyle::CE_Header, &option, &painter, corner);
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            fitColumns();
            return true;
        }
        if (event->type() == QEvent::MouseButtonPress)
            return true;
    }
    return QTableView::eventFilter(watched, event);
}

} // namespace quilla
