#pragma once

#include "engine/ScreenSettings.h"

#include <QElapsedTimer>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QRegion>
#include <QVarLengthArray>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace quilla {

// The number frame of the draw screen: the numbers of the round, centred in a
// box painted in the frame's colour with a border, or painted straight over the
// background when the frame is transparent. A round of many numbers is laid
// out in rows and columns, the font shrinking to fit down to a floor; what
// does not fit at the floor is shown a page at a time, each page as full as the
// frame holds.
class NumberFrame : public QWidget
{
  public:
    explicit NumberFrame(QWidget *parent = nullptr);

    // Place and size in pixels of the screen; with AutoHeight the height follows
    // the rows, up to the limit set by setFitLimits.
    void applyLayout(const FrameLayout &layout);
    const FrameLayout &frameLayout() const { return m_layout; }
    // From the screen's size: the smallest height of a digit the numbers shrink to,
    // in pixels, and the tallest an auto-height frame grows.
    void setFitLimits(int floorPixels, int heightLimit);
    // The hall's look: a translucent rounded panel, dark behind light numbers and
    // light behind dark ones, readable over any picture.
    void setPanel(bool panel);

    // Paints what lies behind the frame on the screen (area: the frame's place there)
    // into the panel the frame keeps; the frame then paints all its pixels itself and
    // the screen under it is not painted again at every tick. backdropChanged tells it
    // that what lies behind has changed.
    void setBackdropPainter(std::function<void(QPainter &, const QRect &)> paint);
    void backdropChanged();

    // Lines separated by CR LF, as the engine shows its picks.
    void setNumbers(const QString &text);
    const QString &numbers() const { return m_numbers; }
    void setTextFont(const QFont &font);
    const QFont &textFont() const { return m_font; }
    void setTextColour(const QColor &colour);

    // A new round: the fit starts again from its numbers (it only grows while they change).
    void newRound();
    int pageCount() const;
    int page() const { return m_page; }
    void turnPage(int step);
    // Paints at once, past the repaint throttle, from the first page: the
    // audience sees a stop's winners before anything else happens.
    void showStopped();
    // Whether new numbers would be seen: a tick in between two frames would not be.
    bool wantsNumbers() const;

    // Where the block of lines of the page is painted, in the frame's pixels.
    QRect textRect() const;
    // The lines of the page with the places they are painted in, and the font they are painted in.
    QList<std::pair<QString, QRect>> pageCells() const;
    QFont fittedFont() const;
    // The inked height of a digit, what the floor holds.
    static int digitHeight(const QFont &font);

  protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

  private:
    struct Fit
    {
        QFont font;
        int columns = 1;
        int rows = 1; // per page
        int cellWidth = 1;
        int lineHeight = 1; // the rows' pitch
        int baseline = 0;   // below a cell's top
        int space = 0;      // between columns
        int ink = 1;        // the height of the round's characters' ink
    };
    void scan(const QString &text);
    void ensureFit() const;
    void invalidate();
    int margin() const;
    void scheduleRepaint();
    void repaintNumbers();
    // A tick changes the numbers, not their cells: only the characters that changed
    // are painted again, the rest of the screen stays as it is. Takes the cells as shown.
    QRegion changedSinceShown();
    void describe();
    // A character of the fitted font in the numbers' colour, rendered once:
    // large text is filled from outlines at every paint, a ready image only blended.
    struct Glyph
    {
        QImage image;
        QPoint offset; // of the image from the pen's place on the baseline
        qreal advance = 0;
    };
    const Glyph &glyph(QChar c) const;
    // Where each character of line is blended in its cell (x of its pen); false when
    // the line is left to the font's shaping.
    bool placeGlyphs(const QRect &place, const QString &line, QVarLengthArray<int, 32> &pens) const;
    QRect glyphBox(QChar c, int pen, int baseline) const;
    void drawLine(QPainter &painter, const QRect &place, const QString &line) const;
    using Cells = QList<std::pair<QString, QRect>>;
    QRect cellsArea(const Cells &cells) const;
    // The same places in the same font as shown.
    bool sameCells(const Cells &now) const;
    // The characters that differ between what is shown and now, in bands a row high.
    QRegion changedRegion(const Cells &now) const;
    void ensureBackdrop();
    void updateOpacity();

    FrameLayout m_layout;
    QString m_numbers;
    int m_lineCount = 1;
    int m_longest = 0; // characters of the longest line: a longer one calls for a new fit
    mutable QStringList m_lines; // split when painted
    mutable bool m_split = false;
    mutable bool m_fitted = false;
    mutable Fit m_fit;
    int m_page = 0;
    int m_floorPixels = 0;
    int m_heightLimit = 0;
    bool m_panel = false;
    QFont m_font;
    QColor m_colour = Qt::black;
    mutable QHash<char16_t, Glyph> m_glyphs; // of m_fit.font, m_colour and m_glyphRatio
    // The cells as the screen shows them: a tick asks for what changed since, and a
    // paint draws these, so that a part painted later never mixes two ticks.
    Cells m_shown;
    QFont m_shownFont;
    qreal m_glyphRatio = 0;
    // The border, fill or panel, over what lies behind for a panel: made once per look and size.
    QPixmap m_backdrop;
    bool m_backdropValid = false;
    std::function<void(QPainter &, const QRect &)> m_paintBehind;
    // Numbers may change every millisecond; the audience sees at most a frame per refresh.
    QElapsedTimer m_sincePaint;
    QElapsedTimer m_sinceNumbers;
    QTimer m_repaint;
};

} // namespace quilla
