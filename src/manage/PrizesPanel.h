#pragma once

#include "RecordPanel.h"

namespace quilla {

// The "奖项设置" tab: a draw's prizes in drawing order.
class PrizesPanel : public RecordPanel
{
    Q_OBJECT

  public:
    explicit PrizesPanel(Database &db, QWidget *parent = nullptr);

  public Q_SLOTS:
    void addPrize();
    void editCurrentPrize();
    void deleteSelectedPrizes();
    void moveUp() { move(-1); }
    void moveDown() { move(+1); }

  Q_SIGNALS:
    // prizeId 0: a new prize of the draw.
    void editRequested(qint64 prizeId, qint64 drawId);

  private:
    // Trades the places of the selected prize and its neighbour in the drawing order.
    void move(int step);
};

} // namespace quilla
