#pragma once

#include "engine/ScreenSettings.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

namespace quilla {

// The number frame of the draw screen: the numbers of the round, one per line,
// centred in a box painted in the frame's colour with a border, or painted
// straight over the background when the frame is transparent.
class NumberFrame : public QWidget
{
  public:
    explicit NumberFrame(QWidget *parent = nullptr);

    // Place and size in pixels of the screen; with AutoHeight the height follows the lines.
    void applyLayout(const FrameLayout &layout);
    const FrameLayout &frameLayout() const { return m_layout; }

    // Lines separated by CR LF, as the engine shows its picks.
    void setNumbers(const QString &text);
    const QString &numbers() const { return m_numbers; }
    // Where the block of lines is painted, in the frame's pixels.
    QRect textRect() const;
    void setTextFont(const QFont &font);
    const QFont &textFont() const { return m_font; }
    void setTextColour(const QColor &colour);

  protected:
    void paintEvent(QPaintEvent *event) override;

  private:
    void fitHeight();
    int lineHeight() const;
    void measure();
    void scheduleRepaint();

    FrameLayout m_layout;
    QString m_numbers;
    int m_lineCount = 1;
    QStringList m_lines; // split and measured when painted
    bool m_measured = false;
    QFont m_font;
    QColor m_colour = Qt::black;
    int m_textWidth = 0;
    // Numbers may change every millisecond; the audience sees at most a frame per refresh.
    QElapsedTimer m_sincePaint;
    QTimer m_repaint;
};

} // namespace quilla
