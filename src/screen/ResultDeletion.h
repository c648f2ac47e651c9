#pragma once

#include <QSet>
#include <QWidget>

class QRadioButton;


namespace quilla {

class Database;
class RecordModel;
class RecordView;
class Progress;

// Why results are deleted, one choice for all of them: an absent winner leaves play
// for the rest of the draw; a win entered by mistake goes back into play.
inline const QString AbsentChoice = QStringLiteral("中奖人不在场（本次抽奖中不再抽到）");
inline const QString MistakeChoice = QStringLiteral("仅取消结果（重新放回抽奖）");

// Lists the results of the draw being run, the last first, and deletes the ticked
// ones, so that their places are drawn again. Modeless; its owner deletes it once
// it has closed.
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
    void keyPressEvent(QKeyEvent *event) override;

  private Q_SLOTS:
    void deleteMarked();

  private:
    void markPressed(int row, bool extend);
    void markAll();

    Database &m_db;
    RecordModel *m_model;
    RecordView *m_results;
    QRadioButton *m_absent;
    QRadioButton *m_mistake;
    QSet<qint64> m_marked; // the results to draw again, by key
    int m_anchorRow = -1;
};

} // namespace quilla
