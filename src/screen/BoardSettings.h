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

    QGroupBox *Frame1[4]; // 位置, 尺寸, 标题, 正文
    QLabel *Label1[4];
    PixelBox *TT[4];     // left, top, width, title height in pixels
    QPushButton *Com[5]; // 确定, title font, list font, title colour, list colour

  public Q_SLOTS:
    void done(int result) override;

  private:
    void buildLayout();
    void TT_Change();
    void Com_Click(int index);

    ScreenAppearance &m_screen;
    bool m_filling = false;
    bool m_stored = false;
};

} // namespace quilla
