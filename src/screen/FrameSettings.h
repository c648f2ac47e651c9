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
    QString previewFrameString();
    // Fills the controls from a frame string; one with fewer than seven fields changes nothing.
    void showFrameString(const QString &frameString);
    // The screen closes: the dialog goes without storing anything.
    void closeWithScreen();

    // The colour dialog: the start colour in, the chosen one out (0x00BBGGRR), −1 when cancelled.
    std::function<qint64(qint64 start)> chooseColor;

  public Q_SLOTS:
    void reject() override;

  private:
    void buildLayout();
    void controlsChanged();
    void chooseFrameColour();
    void confirm();
    void chooseNumbersFont();
    void chooseNumbersColour();
    void setSwatch(qint64 colour);
    void saveNumbersStyle();

    ScreenAppearance &m_screen;
    // The frame's place and size in pixels.
    PixelBox *m_left;
    PixelBox *m_top;
    PixelBox *m_width;
    PixelBox *m_height;
    QPushButton *m_swatch; // the frame's colour; a click chooses another
    QCheckBox *m_transparent;
    QCheckBox *m_autoHeight; // the height follows the numbers
    QPushButton *m_ok;
    QPushButton *m_cancel;
    QPushButton *m_numbersFont;
    QPushButton *m_numbersColour;
    QTimer *m_previewDelay; // no preview before it has run out
    QString m_opening; // the frame string in force when the dialog opened
    qint64 m_colour = 16777215;
    bool m_filling = false;
};

} // namespace quilla
