#pragma once

#include <QDialog>

class QTableWidget;
class QPushButton;

namespace quilla {

// The choice of the worksheet that holds the participants, for an .xls or .xlsx
// file: one row per sheet, the first one marked. Modal, so no way of closing it
// leaves the management window waiting.
class SheetChooser : public QDialog
{
    Q_OBJECT

  public:
    // mode 1: exactly one sheet; a larger mode allows several.
    SheetChooser(const QStringList &sheetNames, int mode, QWidget *parent = nullptr);

    // The marked sheets in row order, joined by "‖"; "" when cancelled or none marked.
    QString importSheet() const { return m_chosen; }

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    // A press on a sheet marks it (or clears its mark); on the title, with several allowed, all.
    void toggle(int row);
    void toggleAll();
    bool marked(int row) const;
    void setMarked(int row, bool mark);

    int m_mode;
    QString m_chosen;
    QTableWidget *m_sheets;
};

} // namespace quilla
