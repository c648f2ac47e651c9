#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace quilla {

class Grid;

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
    QString ImportSheet() const { return m_chosen; }

    QLabel *Label1 = nullptr;
    Grid *SHL = nullptr;
    QPushButton *IMG[2] = {};

  private:
    void pressed(double x, double y);

    int m_mode;
    QString m_chosen;
};

} // namespace quilla
