#pragma once

#include <QTableView>

#include <functional>
#include <vector>

namespace quilla {

class GridModel;

// A grid of text cells in the manner of the program's lists: counts of rows and
// columns with leading fixed ones, text by (row, column) from 0, sizes in twips
// (0 hides), alignment codes, a current cell and a selected range, per-cell
// background colours, sorting and a free tag. The fixed rows are headers: row 0
// is never shown and the last fixed row gives the column titles. The fixed
// columns stay at the left when the grid scrolls sideways. Cells live in one
// contiguous table, so tens of thousands of rows stay fast.
class Grid : public QTableView
{
    Q_OBJECT

  public:
    explicit Grid(QWidget *parent = nullptr);
    ~Grid() override;

    int Rows() const;
    void setRows(int rows);
    int Cols() const;
    void setCols(int cols);
    int FixedRows() const { return m_fixedRows; }
    void setFixedRows(int rows);
    int FixedCols() const { return m_fixedCols; }
    void setFixedCols(int cols);

    QString TextMatrix(int row, int col) const;
    void setTextMatrix(int row, int col, const QString &text);

    double RowHeight(int row) const;
    void setRowHeight(int row, double twips);
    double ColWidth(int col) const;
    void setColWidth(int col, double twips);
    // 0 left-top … 4 centre-centre … 8 right-bottom, 9 general.
    int ColAlignment(int col) const;
    void setColAlignment(int col, int code);

    // The current cell and the other corner of the selected range.
    int Row() const { return m_row; }
    void setRow(int row);
    int Col() const { return m_col; }
    void setCol(int col);
    int RowSel() const { return m_rowSel; }
    void setRowSel(int row);
    int ColSel() const { return m_colSel; }
    void setColSel(int col);

    int TopRow() const;
    void setTopRow(int row);
    int LeftCol() const;
    void setLeftCol(int col);

    // Background of the current cell, 0x00BBGGRR; 0 is the grid's default.
    qint64 CellBackColor() const;
    void setCellBackColor(qint64 bgr);
    qint64 cellBackColor(int row, int col) const;

    // Sorts the data rows by the current column: 3/4 numeric ascending/descending,
    // 7/8 text ascending/descending (case-sensitive). Whole rows move.
    void setSort(int mode);

    QString Tag() const { return m_tag; }
    void setTag(const QString &tag) { m_tag = tag; }

    // Widths in twips.
    double Width() const;

    // A hidden grid's width need not be its real one (layouts size a widget when it shows), so
    // widths fitted to Width() can be wrong. A fit made while the grid is hidden is handed here
    // and made again, once, when the grid is next shown; for a shown grid this does nothing.
    void refitWhenShown(std::function<void(Grid &)> fit);

    // The cell under a point given in twips from the top-left corner of the header (the fixed
    // columns from there, then the others from LeftCol); Rows() or Cols() when there is none.
    std::pair<int, int> HitTest(double xTwips, double yTwips) const;

    // Cells right of the fixed columns stay clear of them; a fixed cell scrolls only its row into view.
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;

    // Changes made while a Batch lives reach the view once, when it ends.
    class Batch
    {
      public:
        explicit Batch(Grid &grid);
        ~Batch();
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;

      private:
        Grid &m_grid;
    };

  Q_SIGNALS:
    // A mouse press on the cells or the header, in twips from the header's top-left corner.
    void mousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, double xTwips, double yTwips);

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void updateGeometries() override;
    void showEvent(QShowEvent *event) override;

  private:
    friend class GridModel;
    QString &cell(int row, int col) { return m_cells[size_t(row) * size_t(m_cols) + size_t(col)]; }
    const QString &cell(int row, int col) const
    {
        return m_cells[size_t(row) * size_t(m_cols) + size_t(col)];
    }
    bool inData(int row, int col) const;
    void resizeCells(int rows, int cols);
    void changed(bool layout);
    void applyLayout();
    void applyColumnWidth(int col);
    void applyRowHeight(int row);
    int cellMargin() const;
    void syncCurrent();
    void showCurrent();
    void scrollToRow(int dataRow, ScrollHint hint);
    void layOutFrozen();
    int frozenWidth() const;

    GridModel *m_model;
    QTableView *m_frozen; // the fixed columns, over the left edge of this view
    int m_rows = 0;
    int m_cols = 0;
    int m_fixedRows = 0;
    int m_fixedCols = 0;
    std::vector<QString> m_cells;
    std::vector<qint32> m_colors; // per cell, empty until a colour is set
    std::vector<double> m_colWidths;
    std::vector<int> m_alignments;
    QHash<int, double> m_rowHeights;
    int m_row = 0, m_col = 0, m_rowSel = 0, m_colSel = 0;
    QString m_tag;
    int m_batch = 0;
    bool m_syncing = false;
    std::function<void(Grid &)> m_refit;
};

} // namespace quilla
