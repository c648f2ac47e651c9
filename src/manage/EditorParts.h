#pragma once

#include <QWidget>

class QHBoxLayout;
class QPushButton;

namespace quilla {

// The sunken separator of the small dialogs: a shadow line over a highlight line.
class EtchedLine : public QWidget
{
  public:
    explicit EtchedLine(QWidget *parent = nullptr);
};

// Confirm and cancel at the right, as in every dialog of the program.
QHBoxLayout *buttonRow(QPushButton *confirm, QPushButton *cancel);

// Esc closes the window without saving, as it cancels every dialog; a field that uses
// Esc itself (an open list, a cell being edited) keeps it.
void closeOnEscape(QWidget *window);

} // namespace quilla
