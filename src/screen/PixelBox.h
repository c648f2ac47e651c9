#pragma once

#include <QLineEdit>

#include <initializer_list>

class QGridLayout;
class QGroupBox;
class QLabel;
class QPushButton;

namespace quilla {

// A text box for a distance or size on the screen in whole pixels, from low to
// FrameReach. Only digits (and a leading minus when low is negative) can be typed,
// so nothing else reaches the setting strings; empty reads as 0.
class PixelBox : public QLineEdit
{
  public:
    PixelBox(int low, QWidget *parent = nullptr);

    // Also for text put in by other means than typing: its leading number, held to the range.
    int value() const;
    void setValue(int pixels);

  private:
    int m_low;
};

// The frame and board dialogs share their shape: two groups of two labelled pixel
// boxes on top, two groups of other controls below, a line, and the buttons.

// Lays labels and boxes out in two rows of group; returns the layout for more rows.
QGridLayout *layOutPixelGroup(QGroupBox *group, QLabel *label0, PixelBox *box0, QLabel *label1, PixelBox *box1);
// The four groups two by two, a line under them, and the buttons at the right.
void layOutSettingsWindow(QWidget *dialog, QGroupBox *const (&groups)[4], std::initializer_list<QPushButton *> buttons);

} // namespace quilla
