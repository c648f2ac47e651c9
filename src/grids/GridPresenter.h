#pragma once

#include <QStringList>
#include <QVariant>

class QFont;
class QWidget;

namespace quilla {

class Database;
class Grid;
class Progress;
class Prompt;
class Sql;

inline const QString RowNumberTitle = QStringLiteral("序号");
inline const QString Mark = QStringLiteral("√");

// Lays out, fills, sorts, sizes, marks and prunes the program's lists. A
// presented grid has two fixed rows: row 0 (hidden) holds each column's field
// spec, row 1 the titles; data start at row 2. Column 0 holds the record key
// and a "序号" column numbers the rows. The grid's Tag names the source table.
// The presenter keeps no state of its own beyond the services it talks to.
class GridPresenter
{
  public:
    // measureWindow: the window whose font measures texts when a fill fits the widths.
    GridPresenter(Database &db, Progress &progress, QWidget *measureWindow);

    static void SetGridHeadings(Grid &grid, const QStringList &fieldSpecs, const QStringList &titles);
    // Fills the data rows from the table named by the grid's Tag; returns the
    // number of records found (0 when there is no such table). At most
    // nearest(350000 / Cols − 0.5) − 2 rows are shown, after a message saying so.
    qint64 FillGrid(Grid &grid, const Sql &filter, const Sql &orderBy, bool dateOnly);
    // Removes data rows fromRow..toRow (in either order), after asking when ask,
    // and their records when alsoDelete. False when nothing was removed.
    bool DeleteGridRows(Grid &grid, int &fromRow, int &toRow, bool ask, bool alsoDelete);
    // A hidden grid fits its widths again when it is shown, as only then is its width known.
    void FitColumnWidths(QWidget *window, Grid &grid, int startRow, bool showProgress);
    // A press on a title sorts by its column; on the "序号" title, fits the widths.
    void GridHeaderClick(QWidget *window, Grid &grid, double x, double y);

    static void SortGridByColumn(Grid &grid, int col);
    static void RenumberRows(Grid &grid);
    // A press on the mark column (the first after the fixed ones) sets, toggles
    // or range-fills "√"; true when the press was in a fixed or the mark column.
    // shift: 1 when Shift was held; with multi, the rows from the current row (the previous
    // press's) to the pressed one then get the current row's mark. multi false allows one mark only.
    static bool CheckColumnClick(Grid &grid, int shift, double x, double y, bool multi);
    static std::pair<int, int> HitTestCell(const Grid &grid, double x, double y);

    static QVariant FormatCellValue(const QVariant &value, bool dateOnly);
    static QString BoolMark(const QVariant &value);
    static QString ToggleMark(const QString &text);
    // Afterwards a ≥ b, compared by numeric value.
    static void OrderPair(int &a, int &b);
    static void OrderPair(QString &a, QString &b);

    // The row cap for a grid of cols columns.
    static qint64 RowCap(int cols);

  private:
    static int rowNumberColumn(const Grid &grid);
    static void fitWidths(const QFont &font, Grid &grid, int startRow, Progress *progress);

    Database &m_db;
    Progress &m_progress;
    QWidget *m_measureWindow;
};

} // namespace quilla
