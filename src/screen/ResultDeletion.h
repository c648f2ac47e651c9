#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace quilla {

class Database;
class Grid;
class Progress;

// Lists the results of the draw being run and deletes the ticked ones, so that
// their places are drawn again. Modeless; its owner deletes it once it has closed.
class ResultDeletion : public QWidget
{
    Q_OBJECT

  public:
    // Fills the grid at once.
    ResultDeletion(Database &db, Progress &progress, qint64 drawId, QWidget *parent = nullptr);

    Grid *MSF;
    QLabel *Label1;
    QPushButton *Com[2]; // confirm, cancel

  Q_SIGNALS:
    // Results were deleted: the prizes' remaining counts and the board are out of date.
    // Emitted before the window closes; do not delete the window in the slot.
    void deleted();
    // Emitted from the close event: delete the window later, not in the slot.
    void closed();

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    void MSF_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, double x, double y);
    void Com_Click(int index);
    bool deleteResults(const QList<qint64> &ids);

    Database &m_db;
};

} // namespace quilla
