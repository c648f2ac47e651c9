#pragma once

#include <QLineEdit>

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

} // namespace quilla
