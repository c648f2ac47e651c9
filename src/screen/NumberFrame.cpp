#include "NumberFrame.h"

#include "platform/WindowHelpers.h"

#include <QFontInfo>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <QSet>

#include <cmath>

namespace quilla {

namespace {

// The smallest frame a stored layout may give: a zero size would hide the numbers.
constexpr int MinimumWidth = 300; // 4500 twips at 96 dpi
constexpr int MinimumHeight = 50; // 750 twips
constexpr int FrameInterval = 15; // ms: about the refresh of a screen
// Rows are spaced by the ink of their characters, not by the font's line height:
// digits have no descent, and a hall frame holds a fifth more rows this way.
constexpr double RowPitch = 1.3;
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
    connect(&m_repaint, &QTimer::timeout, this, &NumberFrame::repaintNumbers);
    applyLayout(FrameLayout());
}

void NumberFrame::applyLayout(const FrameLayout &layout)
{
    m_layout = layout;
    const int width = layout.Width <= 1 ? MinimumWidth : layout.Width;
    const int height = layout.Height <= 1 ? MinimumHeight : layout.Height;
    setGeometry(layout.Left, layout.Top, width, height);
    updateOpacity();
    backdropChanged();
    invalidate();
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
    updateOpacity();
    backdropChanged();
}

void NumberFrame::setBackdropPainter(std::function<void(QPainter &, const QRect &)> paint)
{
    m_paintBehind = std::move(paint);
    updateOpacity();
    backdropChanged();
}

void NumberFrame::backdropChanged()
{
    m_backdropValid = false;
    update();
}

void NumberFrame::updateOpacity()
{
    // A transparent frame lets the screen paint what lies behind it.
    setAttribute(Qt::WA_OpaquePaintEvent, m_panel ? bool(m_paintBehind) : !m_layout.Transparent);
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
    m_sinceNumbers.start();
    m_split = false;
    scan(text);
    if (!m_fitted) {
        ensureFit(); // an auto-height frame takes its height now, not while painting
        update();    // the cells moved
    }
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
    // Clear of the border and of the panel's rounded corners (a twelfth of the short side).
    const int room = !m_layout.AutoHeight ? height() : m_heightLimit > 0 ? m_heightLimit : width();
    return std::max(toPixels(60), std::min(width(), room) / 30);
}

int NumberFrame::digitHeight(const QFont &font)
{
    return QFontMetrics(font).tightBoundingRect(QStringLiteral("0")).height();
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
    const int pad = 2 * margin();
    const int width = std::max(1, this->width() - pad);
    // An auto-height frame grows to the limit before its numbers shrink.
    const int room = !m_layout.AutoHeight ? this->height() : m_heightLimit > 0 ? m_heightLimit : 1 << 24;
    const int height = std::max(1, room - pad);

    // Sizes in whole pixels, from the chosen font's down to the floor's.
    const int largest = std::max(1, QFontInfo(m_font).pixelSize());
    const auto sized = [this](int pixels) {
        QFont font = m_font;
        font.setPixelSize(std::max(1, pixels));
        return font;
    };
    const auto at = [&sized](int pixels) { return QFontMetrics(sized(pixels)); };
    // The widest line at the chosen size stands for all while sizes are tried; the
    // chosen size's real widths decide the grid.
    qsizetype widestLine = 0;
    {
        const QFontMetrics base = at(largest);
        int widest = -1;
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            const int advance = base.horizontalAdvance(m_lines.at(i));
            if (advance > widest) {
                widest = advance;
                widestLine = i;
            }
        }
    }
    const QString widest = m_lines.isEmpty() ? QString() : m_lines.at(widestLine);
    // The characters the round shows, the digits always among them.
    QSet<char16_t> shown;
    for (char16_t c = u'0'; c <= u'9'; ++c)
        shown.insert(c);
    for (const QString &line : std::as_const(m_lines))
        for (const QChar c : line)
            shown.insert(c.unicode());
    const auto inkAt = [&shown](const QFontMetrics &metrics) {
        QRect ink;
        for (const char16_t c : shown)
            ink |= metrics.boundingRect(QChar(c));
        return ink;
    };
    const auto pitchOf = [](const QRect &ink) { return std::max(1, int(std::ceil(ink.height() * RowPitch))); };
    // The smallest size whose digits reach the floor; never above the chosen size.
    int floor = largest;
    if (m_floorPixels > 0) {
        const int digit = std::max(1, digitHeight(sized(largest)));
        floor = std::clamp(int(std::lround(double(largest) * m_floorPixels / digit)), 1, largest);
        while (floor < largest && digitHeight(sized(floor)) < m_floorPixels)
            ++floor;
        while (floor > 1 && digitHeight(sized(floor - 1)) >= m_floorPixels)
            --floor;
    }
    const auto fits = [&](int pixels) {
        const QFontMetrics metrics = at(pixels);
        const int cell = metrics.horizontalAdvance(widest);
        const int pitch = pitchOf(inkAt(metrics));
        const int space = pitch / 2;
        const int columns = std::max(1, (width + space) / (cell + space));
        const qsizetype rows = (count + columns - 1) / columns;
        return cell <= width && rows * pitch <= height;
    };
    // The largest size at which every line shows at once, else the floor and pages.
    int low = floor, high = largest;
    if (!fits(low)) {
        high = low;
    } else {
        while (low < high) {
            const int middle = (low + high + 1) / 2;
            if (fits(middle))
                low = middle;
            else
                high = middle - 1;
        }
    }
    Fit fit;
    int rowsNeeded = 1;
    for (;; --low) {
        // The real widths of every line at the size found; a line wider than the one
        // that stood for them may call for a step down.
        const QFontMetrics metrics = at(low);
        int cell = 1;
        for (const QString &line : std::as_const(m_lines))
            cell = std::max(cell, metrics.horizontalAdvance(line));
        const QRect ink = inkAt(metrics);
        fit.font = sized(low);
        fit.lineHeight = pitchOf(ink);
        fit.baseline = (fit.lineHeight - ink.height()) / 2 - ink.top();
        fit.space = fit.lineHeight / 2;
        fit.ink = ink.height();
        fit.cellWidth = cell + fit.space;
        fit.columns = std::max(1, (width + fit.space) / fit.cellWidth);
        fit.columns = int(std::min<qsizetype>(fit.columns, count));
        rowsNeeded = int((count + fit.columns - 1) / fit.columns);
        if (low <= floor || (rowsNeeded * fit.lineHeight <= height && cell <= width))
            break;
    }
    // A page holds as many rows as the frame has room for.
    fit.rows = std::clamp(height / fit.lineHeight, 1, rowsNeeded);
    if (fit.font != m_fit.font)
        m_glyphs.clear();
    m_fit = fit;

    auto *self = const_cast<NumberFrame *>(this);
    if (self->m_page >= pageCount())
        self->m_page = 0;
    if (m_layout.AutoHeight)
        self->resize(this->width(), fit.rows * fit.lineHeight + pad);
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
    update(changedSinceShown()); // the panel around the cells stays
    describe();
}

void NumberFrame::showStopped()
{
    // The characters that differ from the last tick's, painted now: a stop shows
    // at once and costs what a tick does.
    m_page = 0;
    m_repaint.stop();
    repaint(changedSinceShown());
    describe();
}

bool NumberFrame::wantsNumbers() const
{
    return !m_sinceNumbers.isValid() || m_sinceNumbers.elapsed() >= FrameInterval;
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
    if (colour == m_colour)
        return;
    m_colour = colour;
    m_glyphs.clear();
    backdropChanged(); // the panel is dark behind light numbers, light behind dark ones
}

void NumberFrame::scheduleRepaint()
{
    if (m_repaint.isActive())
        return;
    const qint64 since = m_sincePaint.isValid() ? m_sincePaint.elapsed() : FrameInterval;
    if (since >= FrameInterval)
        repaintNumbers();
    else
        m_repaint.start(int(FrameInterval - since));
}

void NumberFrame::repaintNumbers()
{
    update(changedSinceShown());
}

QRegion NumberFrame::changedSinceShown()
{
    ensureFit();
    Cells now = pageCells();
    // Bands a row high must not reach the next row: tiny text repaints its whole block.
    if (!sameCells(now) || m_fit.lineHeight - m_fit.ink < 4)
        return cellsArea(m_shown) | cellsArea(now); // the paint takes the new cells
    const QRegion changed = changedRegion(now);
    m_shown = std::move(now);
    return changed;
}

bool NumberFrame::sameCells(const Cells &now) const
{
    return m_shownFont == m_fit.font && now.size() == m_shown.size() &&
           std::equal(now.cbegin(), now.cend(), m_shown.cbegin(),
                      [](const auto &a, const auto &b) { return a.second == b.second; });
}

QRect NumberFrame::cellsArea(const Cells &cells) const
{
    // Glyphs may reach a little past their cells.
    QRect block;
    for (const auto &[line, place] : cells)
        block |= place;
    if (block.isEmpty())
        return QRect();
    const int reach = m_fit.space / 2 + 2;
    return block.adjusted(-reach, -reach, reach, reach) & rect();
}

QRegion NumberFrame::changedRegion(const Cells &now) const
{
    // Each changed cell's span, with its row's top.
    QList<std::pair<int, QRect>> spans;
    spans.reserve(now.size());
    QVarLengthArray<int, 32> before, after;
    for (qsizetype i = 0; i < now.size(); ++i) {
        const auto &[was, place] = m_shown.at(i);
        const QString &line = now.at(i).first;
        if (line == was)
            continue;
        const int baseline = place.top() + m_fit.baseline;
        QRect span;
        if (!placeGlyphs(place, was, before) || !placeGlyphs(place, line, after)) {
            const int reach = m_fit.space / 2 + 2;
            span = place.adjusted(-reach, 0, reach, 0);
        } else {
            // A character that moved or changed: where it was and where it is now.
            for (qsizetype j = 0; j < std::max(was.size(), line.size()); ++j) {
                const bool old = j < was.size(), shown = j < line.size();
                if (old && shown && was.at(j) == line.at(j) && before[j] == after[j])
                    continue;
                if (old)
                    span |= glyphBox(was.at(j), before[j], baseline);
                if (shown)
                    span |= glyphBox(line.at(j), after[j], baseline);
            }
        }
        // Within the row: rows tile the frame, so the bands never overlap.
        span.setTop(std::max(span.top(), place.top()));
        span.setBottom(std::min(span.bottom(), place.top() + m_fit.lineHeight - 1));
        span &= rect();
        if (!span.isEmpty())
            spans.append({place.top(), span});
    }
    // One band per row, its spans joined where they touch, left to right: a region
    // built at once, not rect by rect (a round of 1 000 has as many).
    QList<QRect> bands;
    bands.reserve(spans.size());
    for (qsizetype first = 0; first < spans.size();) {
        qsizetype last = first;
        int top = spans.at(first).second.top(), bottom = spans.at(first).second.bottom();
        while (last + 1 < spans.size() && spans.at(last + 1).first == spans.at(first).first) {
            ++last;
            top = std::min(top, spans.at(last).second.top());
            bottom = std::max(bottom, spans.at(last).second.bottom());
        }
        const qsizetype rowStart = bands.size();
        for (qsizetype k = first; k <= last; ++k) {
            QRect band(QPoint(spans.at(k).second.left(), top), QPoint(spans.at(k).second.right(), bottom));
            // Spans run left to right; one reaching back over its neighbours swallows them.
            while (bands.size() > rowStart && band.left() <= bands.last().right() + 1) {
                band |= bands.last();
                bands.removeLast();
            }
            bands.append(band);
        }
        first = last + 1;
    }
    QRegion region;
    region.setRects(bands.constData(), int(bands.size()));
    return region;
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
    const int space = m_fit.space;
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

const NumberFrame::Glyph &NumberFrame::glyph(QChar c) const
{
    const auto found = m_glyphs.constFind(c.unicode());
    if (found != m_glyphs.cend())
        return *found;
    const QFontMetricsF metrics(m_fit.font);
    Glyph glyph;
    glyph.advance = metrics.horizontalAdvance(c);
    // Room for the antialiased edge; underline and strikeout run the whole advance.
    QRect box = metrics.boundingRect(c).toAlignedRect().adjusted(-2, -2, 2, 2);
    if (m_fit.font.underline() || m_fit.font.strikeOut())
        box |= QRectF(0, -metrics.ascent(), glyph.advance + 1, metrics.height()).toAlignedRect();
    if (!c.isSpace() && !box.isEmpty()) {
        const qreal ratio = m_glyphRatio > 0 ? m_glyphRatio : 1;
        QImage image((QSizeF(box.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setFont(m_fit.font);
        painter.setPen(m_colour);
        painter.drawText(QPointF(-box.left(), -box.top()), QString(c));
        glyph.image = image;
        glyph.offset = box.topLeft();
    }
    return *m_glyphs.insert(c.unicode(), glyph);
}

bool NumberFrame::placeGlyphs(const QRect &place, const QString &line, QVarLengthArray<int, 32> &pens) const
{
    pens.resize(line.size());
    qreal width = 0;
    for (const QChar c : line) {
        // Characters that combine or pair up are left to the font's shaping.
        if (c.isSurrogate() || c.isMark() || c.unicode() < 0x20)
            return false;
        width += glyph(c).advance;
    }
    // Centred in its cell: a cell is as wide as the longest number the round has shown.
    qreal x = place.left() + (place.width() - width) / 2;
    for (qsizetype i = 0; i < line.size(); ++i) {
        pens[i] = int(std::lround(x));
        x += glyph(line.at(i)).advance;
    }
    return true;
}

QRect NumberFrame::glyphBox(QChar c, int pen, int baseline) const
{
    const Glyph &shape = glyph(c);
    if (shape.image.isNull())
        return QRect();
    const QSizeF size = QSizeF(shape.image.size()) / shape.image.devicePixelRatio();
    return QRect(QPoint(pen + shape.offset.x(), baseline + shape.offset.y()),
                 QSize(int(std::ceil(size.width())), int(std::ceil(size.height()))));
}

void NumberFrame::drawLine(QPainter &painter, const QRect &place, const QString &line) const
{
    const int baseline = place.top() + m_fit.baseline;
    QVarLengthArray<int, 32> pens;
    if (!placeGlyphs(place, line, pens)) {
        painter.setFont(m_fit.font);
        painter.setPen(m_colour);
        painter.drawText(place.left() + (place.width() - QFontMetrics(m_fit.font).horizontalAdvance(line)) / 2,
                         baseline, line);
        return;
    }
    for (qsizetype i = 0; i < line.size(); ++i) {
        const Glyph &shape = glyph(line.at(i));
        if (!shape.image.isNull())
            painter.drawImage(QPoint(pens[i] + shape.offset.x(), baseline + shape.offset.y()), shape.image);
    }
}

void NumberFrame::ensureBackdrop()
{
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (m_backdropValid && m_backdrop.size() == pixels)
        return;
    m_backdropValid = true;
    m_backdrop = QPixmap(pixels);
    m_backdrop.setDevicePixelRatio(ratio);
    // Opaque when every pixel is covered: then it has no alpha channel, is in the
    // screen's own format, and each paint copies it instead of blending it.
    m_backdrop.fill(!m_panel || m_paintBehind ? QColor(Qt::white) : QColor(Qt::transparent));
    QPainter painter(&m_backdrop);
    if (m_panel) {
        if (m_paintBehind) {
            painter.save();
            m_paintBehind(painter, geometry());
            painter.restore();
        }
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal radius = std::min(width(), height()) / 12.0;
        const QColor fill = isLight(m_colour) ? QColor(30, 0, 0, 200) : QColor(255, 255, 255, 225);
        painter.setPen(QPen(QColor(255, 215, 120), 2));
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), radius, radius);
    } else {
        painter.fillRect(rect(), colorFromBgr(m_layout.Colour));
        painter.setPen(Qt::black);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void NumberFrame::paintEvent(QPaintEvent *event)
{
    m_sincePaint.restart();
    if (devicePixelRatioF() != m_glyphRatio) {
        m_glyphs.clear();
        m_glyphRatio = devicePixelRatioF();
        m_shownFont = QFont();
    }
    // A paint over all the numbers shows the latest; a part of them shows what the
    // tick that asked for it saw, as the rest of the screen does.
    ensureFit();
    Cells now = pageCells();
    const QRegion &dirty = event->region();
    const QRect area = cellsArea(m_shown) | cellsArea(now);
    const bool covered = (QRegion(area) - dirty).isEmpty();
    if (covered || !sameCells(now)) {
        if (!covered)
            update(area); // the cells moved: all of them, once more
        m_shown = std::move(now);
        m_shownFont = m_fit.font;
    }

    // Part by part, each its own clip: clipped to a rectangle, pictures are copied and
    // blended line by line at once; clipped to a region of many, they go span by span,
    // big ones handed to other threads and waited for, at every character.
    QPainter painter(this);
    const bool backdrop = m_panel || !m_layout.Transparent;
    if (backdrop)
        ensureBackdrop();
    const qreal ratio = m_backdrop.devicePixelRatio();
    const int reach = m_fit.space / 2 + 2;
    const QPoint origin = m_shown.isEmpty() ? QPoint() : m_shown.first().second.topLeft();
    const int rows = int((m_shown.size() + m_fit.columns - 1) / m_fit.columns);
    for (const QRect &part : dirty) {
        if (dirty.rectCount() > 1)
            painter.setClipRect(part);
        if (backdrop)
            painter.drawPixmap(QRectF(part), m_backdrop,
                               QRectF(QPointF(part.topLeft()) * ratio, QSizeF(part.size()) * ratio));
        if (m_shown.isEmpty())
            continue;
        // The cells the part touches, with a row and a column more for glyphs reaching out.
        const auto index = [](int at, int step) { return at >= 0 ? at / step : -1; };
        const int firstRow = std::max(0, index(part.top() - origin.y(), m_fit.lineHeight) - 1);
        const int lastRow = std::min(rows - 1, index(part.bottom() - origin.y(), m_fit.lineHeight) + 1);
        const int firstColumn = std::max(0, index(part.left() - reach - origin.x(), m_fit.cellWidth));
        const int lastColumn =
            std::min(m_fit.columns - 1, index(part.right() + reach - origin.x(), m_fit.cellWidth));
        for (int row = firstRow; row <= lastRow; ++row)
            for (int column = firstColumn; column <= lastColumn; ++column) {
                const qsizetype i = qsizetype(row) * m_fit.columns + column;
                if (i < m_shown.size())
                    drawLine(painter, m_shown.at(i).second, m_shown.at(i).first);
            }
    }
}

} // namespace quilla
