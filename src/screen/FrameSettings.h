#pragma once

#include <QDialog>

#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;

namespace quilla {

class PixelBox;
class ScreenAppearance;

// 号码框设置: place, size, colour, transparency and automatic height of the draw
// screen's number frame, previewed on the screen as they are edited, and the font
// and colour of the numbers, which are stored at once. 确定 stores the frame
// string; 取消, Esc and the close box put back the frame the dialog opened with.
// A modeless tool window of the screen.
class FrameSettings : public QDialog
{
    Q_OBJECT

  public:
    explicit FrameSettings(ScreenAppearance &screen, QWidget *parent = nullptr);

    // The frame string of the controls, always seven fields; previews it on the
    // screen once the first second is over.
    QString GetFrameStr();
    // Fills the controls from a frame string; one with fewer than seven fields changes nothing.
    void GetFramePara(const QString &frameString);
    // The screen closes: the dialog goes without storing anything.
    void closeWithScreen();

    // The colour dialog: the start colour in, the chosen one out (0x00BBGGRR), −1 when cancelled.
    std::function<qint64(qint64 start)> chooseColor;

    QGroupBox *Frame1[4]; // 位置, 尺寸, 底色, 字体/颜色
    QLabel *Label1[5];    // the four boxes', then the swatch's
    PixelBox *TT[4];      // left, top, width, height in pixels
    QPushButton *LClr;    // the frame's colour; a click chooses another
    QCheckBox *CK[2];     // transparent, height follows the numbers
    QPushButton *Com[4];  // 确定, 取消, the numbers' font, their colour
    QTimer *T;            // no preview before it has run out

  public Q_SLOTS:
    void reject() override;

  private:
    void buildLayout();
    void TT_Change();
    void LClr_Click();
    void Com_Click(int index);
    void setSwatch(qint64 colour);
    void saveNumbersStyle();

    ScreenAppearance &m_screen;
    QString m_opening; // the frame string in force when the dialog opened
    qint64 m_colour = 16777215;
    bool m_filling = false;
};

} // namespace quilla
