#pragma once

#include <QMainWindow>

namespace quilla {

// The operator's home: draws, prizes, participants and results on tabs, and the start button.
class FSet : public QMainWindow
{
    Q_OBJECT

  public:
    explicit FSet(QWidget *parent = nullptr);
};

} // namespace quilla
