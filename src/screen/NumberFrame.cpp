#include "NumberFrame.h"

#include "platform/WindowHelpers.h"

#include <QPainter>

namespace quilla {

namespace {

// The smallest frame a stored layout may give: a zero size would hide the numbers.
constexpr int MinimumWidth = 300; // 4500 twips at 96 dpi
constexpr int MinimumHeight = 50; // 750 twips
constexpr int FrameInterval = 15; // ms: about the refresh of a screen

} // namespace

NumberFrame::NumberFrame(QWidget *parent) : QWidget(parent)
{
    // Clicks belong to the screen: a press on the frame starts or stops like one on the background.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAccessibleName(QStringLiteral("号码框"));
    m_repaint.setSingleShot(true);
    m_repaint.setTimerType(Qt::PreciseTimer);
    connect(&m_repaint, &QTimer::timeout, this, qOverload<>(&QWidget::update));
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
    m_measured = false;
    m_lineCount = int(text.count(QStringLiteral("\r\n"))) + 1;
    if (m_layout.AutoHeight)
        fitHeight();
    scheduleRepaint();
}

void NumberFrame::scheduleRepaint()
{
    if (m_repaint.isActive())
        return;
    const qint64 since = m_sincePaint.isValid() ? m_sincePaint.elapsed() : FrameInterval;
    if (since >= FrameInterval)
        update();
    else
        m_repaint.start(int(FrameInterval - since));
}

void NumberFrame::measure()
{
    m_lines = m_numbers.split(QStringLiteral("\r\n"));
    const QFontMetrics metrics(m_font);
    m_textWidth = 0;
    for (const QString &line : std::as_const(m_lines))
        m_textWidth = std::max(m_textWidth, metrics.horizontalAdvance(line));
    m_measured = true;
}

void NumberFrame::setTextFont(const QFont &font)
{
    m_font = font;
    m_measured = false;
    if (m_layout.AutoHeight)
        fitHeight();
    update();
}

void NumberFrame::setTextColour(const QColor &colour)
{
    m_colour = colour;
    update();
}

QRect NumberFrame::textRect() const
{
    const QFontMetrics metrics(m_font);
    int textWidth = 0;
    for (const QString &line : m_numbers.split(QStringLiteral("\r\n")))
        textWidth = std::max(textWidth, metrics.horizontalAdvance(line));
    const int textHeight = m_lineCount * metrics.height();
    return QRect((width() - textWidth) / 2, (height() - textHeight) / 2, textWidth, textHeight);
}

int NumberFrame::lineHeight() const
{
    return QFontMetrics(m_font).height();
}

void NumberFrame::fitHeight()
{
    // The text's height and two pixels, however many lines the round has.
    resize(width(), m_lineCount * lineHeight() + ToPixels(30));
}

void NumberFrame::paintEvent(QPaintEvent *)
{
    m_sincePaint.restart();
    QPainter painter(this);
    if (!m_layout.Transparent) {
        painter.fillRect(rect(), ColorFromBgr(m_layout.Colour));
        painter.setPen(Qt::black);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    if (m_numbers.isEmpty())
        return;
    if (!m_measured)
        measure();
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
