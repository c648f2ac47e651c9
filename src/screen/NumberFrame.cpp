#include "NumberFrame.h"

#include "platform/WindowHelpers.h"

#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>

namespace quilla {

namespace {

// The smallest frame a stored layout may give: a zero size would hide the numbers.
constexpr int MinimumWidth = 300; // 4500 twips at 96 dpi
constexpr int MinimumHeight = 50; // 750 twips
constexpr int FrameInterval = 15; // ms: about the refresh of a screen
const QString LineBreak = QStringLiteral("\r\n");

bool isLight(const QColor &colour)
{
    return colour.lightnessF() > 0.5;
}

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
    invalidate();
    update();
}

void NumberFrame::setFitLimits(int floorPixels, int heightLimit)
{
    if (floorPixels == m_floorPixels && heightLimit == m_heightLimit)
        return;
    m_floorPixels = floorPixels;
    m_heightLimit = heightLimit;
    invalidate();
    update();
}

void NumberFrame::setPanel(bool panel)
{
    m_panel = panel;
    update();
}

void NumberFrame::scan(const QString &text)
{
    int lines = 1, longest = 0, length = 0;
    for (const QChar c : text) {
        if (c == u'\n') {
            ++lines;
            longest = std::max(longest, length);
            length = 0;
        } else if (c != u'\r') {
            ++length;
        }
    }
    longest = std::max(longest, length);
    // A tick changes the numbers, not their count or width: the fit stays.
    if (lines != m_lineCount || longest > m_longest) {
        if (lines != m_lineCount)
            m_page = 0;
        m_lineCount = lines;
        m_longest = longest;
        m_fitted = false;
    }
}

void NumberFrame::setNumbers(const QString &text)
{
    if (text == m_numbers)
        return;
    m_numbers = text;
    m_split = false;
    scan(text);
    if (!m_fitted)
        ensureFit(); // an auto-height frame takes its height now, not while painting
    scheduleRepaint();
}

void NumberFrame::invalidate()
{
    m_fitted = false;
    m_longest = 0;
    scan(m_numbers);
    ensureFit();
}

int NumberFrame::margin() const
{
    return ToPixels(15);
}

void NumberFrame::ensureFit() const
{
    if (m_fitted)
        return;
    m_fitted = true;
    if (!m_split) {
        m_lines = m_numbers.split(LineBreak);
        m_split = true;
    }
    const qsizetype count = std::max<qsizetype>(1, m_lines.size());
    QFont font = m_font;
    const QFontMetricsF base(font);
    qreal widest = 1;
    for (const QString &line : std::as_const(m_lines))
        widest = std::max(widest, base.horizontalAdvance(line));
    const qreal gap = base.height() / 2; // between columns
    const int pad = 2 * margin();
    const qreal width = std::max(1, this->width() - pad);
    // An auto-height frame grows to the limit before its numbers shrink.
    const int room = !m_layout.AutoHeight ? this->height() : m_heightLimit > 0 ? m_heightLimit : 1 << 24;
    const qreal height = std::max(1, room - pad);
    // Never below the floor, unless the chosen font is smaller than the floor already.
    const qreal floor = std::min<qreal>(1, m_floorPixels > 0 ? m_floorPixels / base.height() : 1);

    // The largest size at which every line fits; the metrics grow with the size.
    qreal scale = 1;
    const auto columnsAt = [&](qreal s) {
        return std::max(1, int((width + gap * s) / ((widest + gap) * s)));
    };
    for (; scale > floor; scale *= 0.97) {
        const int columns = columnsAt(scale);
        const qsizetype rows = (count + columns - 1) / columns;
        if (rows * base.height() * scale <= height && widest * scale <= width)
            break;
    }
    scale = std::max(scale, floor);
    if (font.pointSizeF() > 0)
        font.setPointSizeF(std::max(1.0, font.pointSizeF() * scale));
    else
        font.setPixelSize(std::max(1, int(font.pixelSize() * scale)));

    // Sizes do not scale the metrics exactly: the floor holds for the real ones.
    if (scale < 1 && font.pointSizeF() > 0)
        while (QFontMetrics(font).height() < m_floorPixels && font.pointSizeF() < m_font.pointSizeF())
            font.setPointSizeF(font.pointSizeF() + 0.25);
    // The real metrics of the chosen size decide the grid.
    const QFontMetrics metrics(font);
    int cell = 1;
    for (const QString &line : std::as_const(m_lines))
        cell = std::max(cell, metrics.horizontalAdvance(line));
    const int space = metrics.height() / 2;
    Fit fit;
    fit.font = font;
    fit.lineHeight = std::max(1, metrics.height());
    fit.cellWidth = cell + space;
    fit.columns = std::max(1, int((width + space) / fit.cellWidth));
    fit.columns = int(std::min<qsizetype>(fit.columns, count));
    const int rowsNeeded = int((count + fit.columns - 1) / fit.columns);
    fit.rows = std::clamp(int(height / fit.lineHeight), 1, rowsNeeded);
    // Pages of even size: no last page of a few numbers.
    const int pages = (rowsNeeded + fit.rows - 1) / fit.rows;
    fit.rows = (rowsNeeded + pages - 1) / pages;
    m_fit = fit;

    auto *self = const_cast<NumberFrame *>(this);
    if (self->m_page >= pageCount())
        self->m_page = 0;
    if (m_layout.AutoHeight)
        self->resize(this->width(), fit.rows * fit.lineHeight + ToPixels(30));
}

void NumberFrame::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // An auto-height frame resizes itself to its fit; anything else calls for a new one.
    if (!m_layout.AutoHeight || event->size().width() != event->oldSize().width()) {
        m_fitted = false;
        ensureFit();
    }
}

void NumberFrame::newRound()
{
    m_page = 0;
    invalidate();
    update();
}

int NumberFrame::pageCount() const
{
    ensureFit();
    const qsizetype perPage = qsizetype(m_fit.columns) * m_fit.rows;
    return int((std::max<qsizetype>(1, m_lineCount) + perPage - 1) / perPage);
}

void NumberFrame::turnPage(int step)
{
    const int pages = pageCount();
    if (pages <= 1)
        return;
    m_page = ((m_page + step) % pages + pages) % pages;
    update();
    describe();
}

void NumberFrame::showStopped()
{
    m_page = 0;
    m_repaint.stop();
    repaint();
    describe();
}

void NumberFrame::describe()
{
    QStringList shown;
    for (const auto &[line, place] : pageCells())
        shown.append(line);
    setAccessibleDescription(shown.join(QStringLiteral("，")));
}

void NumberFrame::setTextFont(const QFont &font)
{
    m_font = font;
    invalidate();
    update();
}

void NumberFrame::setTextColour(const QColor &colour)
{
    m_colour = colour;
    update();
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

QFont NumberFrame::fittedFont() const
{
    ensureFit();
    return m_fit.font;
}

QList<std::pair<QString, QRect>> NumberFrame::pageCells() const
{
    ensureFit();
    if (!m_split) {
        m_lines = m_numbers.split(LineBreak);
        m_split = true;
    }
    QList<std::pair<QString, QRect>> cells;
    if (m_numbers.isEmpty())
        return cells;
    const qsizetype perPage = qsizetype(m_fit.columns) * m_fit.rows;
    const qsizetype first = m_page * perPage;
    const qsizetype last = std::min<qsizetype>(m_lines.size(), first + perPage);
    // Rows fill left to right, the way the numbers are read; the block is centred.
    const int rows = int((last - first + m_fit.columns - 1) / m_fit.columns);
    const int columns = int(std::min<qsizetype>(m_fit.columns, last - first));
    const int space = m_fit.lineHeight / 2;
    const int blockWidth = columns * m_fit.cellWidth - space;
    const int left = (width() - blockWidth) / 2;
    const int top = (height() - rows * m_fit.lineHeight) / 2;
    for (qsizetype i = first; i < last; ++i) {
        const int at = int(i - first);
        cells.append({m_lines.at(i), QRect(left + at % m_fit.columns * m_fit.cellWidth,
                                           top + at / m_fit.columns * m_fit.lineHeight, m_fit.cellWidth - space,
                                           m_fit.lineHeight)});
    }
    return cells;
}

QRect NumberFrame::textRect() const
{
    QRect block;
    for (const auto &[line, place] : pageCells())
        block = block.united(place);
    return block;
}

void NumberFrame::paintEvent(QPaintEvent *)
{
    m_sincePaint.restart();
    QPainter painter(this);
    if (m_panel) {
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal radius = std::min(width(), height()) / 12.0;
        const QColor fill = isLight(m_colour) ? QColor(30, 0, 0, 200) : QColor(255, 255, 255, 225);
        painter.setPen(QPen(QColor(255, 215, 120), 2));
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), radius, radius);
    } else if (!m_layout.Transparent) {
        painter.fillRect(rect(), ColorFromBgr(m_layout.Colour));
        painter.setPen(Qt::black);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    if (m_numbers.isEmpty())
        return;
    const QList<std::pair<QString, QRect>> cells = pageCells();
    painter.setFont(m_fit.font);
    painter.setPen(m_colour);
    // Centred in their cells: a cell is as wide as the longest number the round has shown.
    for (const auto &[line, place] : cells)
        painter.drawText(place, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, line);
}

} // namespace quilla
