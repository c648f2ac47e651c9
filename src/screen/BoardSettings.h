#pragma once

#include <QDialog>

#include <functional>

class QGroupBox;
class QLabel;
class QPushButton;

namespace quilla {

class PixelBox;
class ScreenAppearance;

// 公告板位置设置: place and size of the announcement board (its title; the list
// follows below it) and the fonts and colours of title and list, all shown on the
// draw screen at once. However it closes — 确定, the close box, Esc, or with the
// screen — the styles of both are stored, once. A modeless tool window of the screen.
class BoardSettings : public QDialog
{
    Q_OBJECT

  public:
    explicit BoardSettings(ScreenAppearance &screen, QWidget *parent = nullptr);

    // The colour dialog: the start colour in, the chosen one out (0x00BBGGRR), −1 when cancelled.
    std::function<qint64(qint64 start)> chooseColor;

  public Q_SLOTS:
    void done(int result) override;

  private:
    void buildLayout();
    void placeChanged();
    void chooseFont(bool title);
    void chooseColour(bool title);

    ScreenAppearance &m_screen;
    // The title's place and size in pixels; the list follows below it.
    PixelBox *m_left;
    PixelBox *m_top;
    PixelBox *m_width;
    PixelBox *m_height;
    QPushButton *m_ok;
    QPushButton *m_titleFont;
    QPushButton *m_listFont;
    QPushButton *m_titleColour;
    QPushButton *m_listColour;
    bool m_filling = false;
    bool m_stored = false;
};

} // namespace quilla
