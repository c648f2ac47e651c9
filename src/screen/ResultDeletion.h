#pragma once

#include <QSet>
#include <QWidget>


namespace quilla {

class Database;
class RecordModel;
class RecordView;
class Progress;

// Lists the results of the draw being run and deletes the ticked ones, so that
// their places are drawn again. Modeless; its owner deletes it once it has closed.
class ResultDeletion : public QWidget
{
    Q_OBJECT

  public:
    // Lists the results at once.
    ResultDeletion(Database &db, Progress &progress, qint64 drawId, QWidget *parent = nullptr);

  Q_SIGNALS:
    // Results were deleted: the prizes' remaining counts and the board are out of date.
    // Emitted before the window closes; do not delete the window in the slot.
    void deleted();
    // Emitted from the close event: delete the window later, not in the slot.
    void closed();

  protected:
    void closeEvent(QCloseEvent *event) override;

  private Q_SLOTS:
    void deleteMarked();

  private:
    void markPressed(int row, bool extend);
    void markAll();
    bool deleteResults(const QList<qint64> &ids);

    Database &m_db;
    RecordModel *m_model;
    RecordView *m_results;
    QSet<qint64> m_marked; // the results to draw again, by key
    int m_anchorRow = -1;
};

} // namespace quilla
