#pragma once

#include "RecordPanel.h"

namespace quilla {

// The "抽奖设置" tab: the draws, to create, edit and delete.
class DrawsPanel : public RecordPanel
{
    Q_OBJECT

  public:
    explicit DrawsPanel(Database &db, QWidget *parent = nullptr);

  public Q_SLOTS:
    void newDraw() { Q_EMIT editRequested(0); }
    void editCurrentDraw();
    void deleteSelectedDraws();

  Q_SIGNALS:
    // 0 for a new draw.
    void editRequested(qint64 drawId);
    void drawsDeleted(const QList<qint64> &drawIds);
};

} // namespace quilla
