#include "StreamedWorkbook.h"

#include <QMap>

namespace quilla {

void StreamedWorkbook::SheetShape::note(int row, int column, const Cell &cell, qsizetype &charactersLeft)
{
    const bool empty = cell.isEmpty();
    if (row > lastRow && !empty)
        lastRow = row;
    ordered = ordered && row >= m_previousRow;
    m_previousRow = row;
    if (row > WindowRows || column > WindowColumns) {
        textsBeyondFirstCells = textsBeyondFirstCells || !empty;
        return;
    }
    if (!firstCellsKept)
        return;
    // A cell named again replaces its text, and gives back what that took.
    QString &kept = firstCells[(row - 1) * WindowColumns + column - 1];
    charactersLeft += kept.size();
    kept = cell.text();
    charactersLeft -= kept.size();
    if (charactersLeft < 0) {
        for (const QString &text : std::as_const(firstCells))
            charactersLeft += text.size();
        firstCells = {};
        firstCellsKept = false;
    }
}

void StreamedWorkbook::addSheet(const QString &name, const SheetShape &shape)
{
    m_names.append(name);
    m_shapes.append(shape);
}

int StreamedWorkbook::indexOf(const QString &sheet) const
{
    return int(m_names.indexOf(sheet));
}

int StreamedWorkbook::lastRow(const QString &sheet) const
{
    const int index = indexOf(sheet);
    return index < 0 ? 0 : m_shapes.at(index).lastRow;
}

QString StreamedWorkbook::cellText(const QString &sheet, int row, int column) const
{
    const int index = indexOf(sheet);
    if (index < 0 || row < 1 || row > m_shapes.at(index).lastRow || column < 1 || column > m_maxColumns)
        return QString();
    const int firstRow = (row - 1) / WindowRows * WindowRows + 1;
    const int firstColumn = (column - 1) / WindowColumns * WindowColumns + 1;
    if (m_window.sheet != index || m_window.row != firstRow || m_window.column != firstColumn) {
        m_window = {index, firstRow, firstColumn, QList<QString>(WindowRows * WindowColumns)};
        const SheetShape &shape = m_shapes.at(index);
        // The first block was kept at the opening, and past it there may be nothing.
        const bool firstBlock = firstRow == 1 && firstColumn == 1;
        if (firstBlock && shape.firstCellsKept) {
            if (unchanged())
                for (auto cell = shape.firstCells.cbegin(); cell != shape.firstCells.cend(); ++cell)
                    m_window.texts[cell.key()] = cell.value();
            return m_window.texts.at((row - 1) * WindowColumns + column - 1);
        }
        if (!firstBlock && !shape.textsBeyondFirstCells)
            return QString();
        const bool ordered = shape.ordered;
        // A file that cannot be read again gives empty cells.
        scan(index, firstRow, [&](int r, int c, const Cell &cell) {
            if (r >= firstRow + WindowRows)
                return !ordered;
            if (r >= firstRow && c >= firstColumn && c < firstColumn + WindowColumns)
                m_window.texts[(r - firstRow) * WindowColumns + c - firstColumn] = cell.text();
            return true;
        });
    }
    return m_window.texts.at((row - firstRow) * WindowColumns + column - firstColumn);
}

bool StreamedWorkbook::readRows(const QString &sheet, int first, int last, const QList<int> &columns,
                                const RowVisitor &visit) const
{
    const int index = indexOf(sheet);
    if (index < 0)
        return false;
    first = std::max(first, 1);
    last = std::min(last, m_shapes.at(index).lastRow);
    if (last < first)
        return true;
    if (m_shapes.at(index).firstCellsKept && !m_shapes.at(index).textsBeyondFirstCells)
        return readFirstCells(index, first, last, columns, visit);
    // Where each wanted column goes in a row's texts.
    QList<int> slot(m_maxColumns + 1, -1);
    for (qsizetype i = 0; i < columns.size(); ++i)
        if (columns.at(i) >= 1 && columns.at(i) <= m_maxColumns && slot.at(columns.at(i)) < 0)
            slot[columns.at(i)] = int(i);
    // A reader hands on only the cells inside its sheet; checked again here, as a
    // column past the slots would be a read outside them.
    const auto wanted = [&](int column) {
        return column >= 1 && column <= m_maxColumns && slot.at(column) >= 0;
    };
    const auto textsOf = [&](QStringList &texts, int column, const Cell &cell) {
        if (wanted(column))
            texts[slot.at(column)] = cell.text();
    };

    if (!m_shapes.at(index).ordered) {
        // Rows out of order: the wanted cells of the range are gathered first.
        QMap<int, QStringList> rows;
        if (!scan(index, first, [&](int r, int c, const Cell &cell) {
                if (r >= first && r <= last && wanted(c)) {
                    auto found = rows.find(r);
                    if (found == rows.end())
                        found = rows.insert(r, QStringList(columns.size()));
                    textsOf(*found, c, cell);
                }
                return true;
            }))
            return false;
        const QStringList none(columns.size());
        for (int r = first; r <= last; ++r)
            if (!visit(r, rows.value(r, none)))
                break;
        return true;
    }

    QStringList texts(columns.size());
    int next = first; // the row the texts belong to
    bool stopped = false;
    // Gives out the rows before row, blank ones too.
    const auto giveUntil = [&](int row) {
        for (; next < row && next <= last; ++next) {
            if (!visit(next, texts)) {
                stopped = true;
                return false;
            }
            texts.fill(QString());
        }
        return true;
    };
    const bool read = scan(index, first, [&](int r, int c, const Cell &cell) {
        if (r < first)
            return true;
        if (!giveUntil(r) || r > last)
            return false;
        textsOf(texts, c, cell);
        return true;
    });
    if (!read)
        return false;
    if (!stopped)
        giveUntil(last + 1);
    return true;
}

bool StreamedWorkbook::readFirstCells(int index, int first, int last, const QList<int> &columns,
                                      const RowVisitor &visit) const
{
    if (!unchanged())
        return false;
    const QHash<int, QString> &cells = m_shapes.at(index).firstCells;
    QStringList texts(columns.size());
    for (int row = first; row <= last; ++row) {
        for (qsizetype i = 0; i < columns.size(); ++i) {
            const int column = columns.at(i);
            texts[i] = column >= 1 && column <= WindowColumns
                           ? cells.value((row - 1) * WindowColumns + column - 1)
                           : QString();
        }
        if (!visit(row, texts))
            break;
    }
    return true;
}

} // namespace quilla
