#pragma once

#include "RecordPanel.h"

namespace quilla {

// The "抽奖结果" tab: a draw's winners, prize by prize. Its unmarked top right corner
// opens, with the right button, the menu of the preset editor.
class ResultsPanel : public RecordPanel
{
    Q_OBJECT

  public:
    explicit ResultsPanel(Database &db, QWidget *parent = nullptr);

  public Q_SLOTS:
    void deleteSelectedResults();
    void exportResults() { Q_EMIT exportRequested(view()); }

  Q_SIGNALS:
    void presetEditorRequested();

  protected:
    void mousePressEvent(QMouseEvent *event) override;
};

} // namespace quilla
