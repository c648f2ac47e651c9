#include "NumberFrame.h"

#include "platform/WindowHelpers.h"

#include <QPainter>

namespace quilla {

namespace {

// The smallest frame a stored layout may give: a zero size would hide the numbers.
constexpr int MinimumWidth = 300; // 4500 twips at 96 dpi
constexpr int MinimumHeight = 50; // 750 twips

} // namespace

NumberFrame::NumberFrame(QWidget *parent) : QWidget(parent)
{
    // Clicks belong to the screen: a press on the frame starts or stops like one on the background.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAccessibleName(QStringLiteral("号码框"));
    applyLayout(FrameLayout());
}

void NumberFrame::applyLayout(const FrameLayout &layout)
{
    m_layout = layout;
    const int width = layout.Width <= 1 ? MinimumWidth : layout.Width;
    const int height = layout.Height <= 1 ? MinimumHeight : layout.Height;
    setGeometry(layout.Left, layout.Top, width, height);
    if (layout.AutoHeight)
        fitHeight();
    update();
}

void NumberFrame::setNumbers(const QString &text)
{
    if (text == m_numbers)
        return;
    m_numbers = text;
    m_lines = text.split(QStringLiteral("\r\n"));
    const QFontMetrics metrics(m_font);
    m_textWidth = 0;
    for (const QString &line : std::as_const(m_lines))
        m_textWidth = std::max(m_textWidth, metrics.horizontalAdvance(line));
    if (m_layout.AutoHeight)
        fitHeight();
    update();
}

void NumberFrame::setTextFont(const QFont &font)
{
    m_font = font;
    const QString numbers = m_numbers;
    m_numbers.clear();
    setNumbers(numbers); // measured again in the new font
}

void NumberFrame::setTextColour(const QColor &colour)
{
    m_colour = colour;
    update();
}

int NumberFrame::lineHeight() const
{
    return QFontMetrics(m_font).height();
}

void NumberFrame::fitHeight()
{
    // The text's height and two pixels, however many lines the round has.
    resize(width(), std::max(1, int(m_lines.size())) * lineHeight() + ToPixels(30));
}

void NumberFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (!m_layout.Transparent) {
        painter.fillRect(rect(), ColorFromBgr(m_layout.Colour));
        painter.setPen(Qt::black);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    if (m_numbers.isEmpty())
        return;
    // The block of lines is centred; each line starts at the block's left edge.
    painter.setFont(m_font);
    painter.setPen(m_colour);
    const int step = lineHeight();
    const int left = (width() - m_textWidth) / 2;
    int top = (height() - step * int(m_lines.size())) / 2;
    const int ascent = QFontMetrics(m_font).ascent();
    for (const QString &line : std::as_const(m_lines)) {
        painter.drawText(left, top + ascent, line);
        top += step;
    }
}

} // namespace quilla
