#include "DrawReport.h"

#include "data/Database.h"
#include "data/Progress.h"
#include "engine/NumberDisplay.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>

#include <QDeadlineTimer>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QRawFont>
#include <QSaveFile>
#include <QSet>
#include <QTextLayout>
#include <QThread>
#include <QtGui/private/qpagedpaintdevice_p.h>
#include <QtGui/private/qpdf_p.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <numeric>
#include <vector>

namespace quilla {

namespace {

// The report as sections of headings, paragraphs and tables, written out as
// HTML or painted onto PDF pages: a painter lays out 10 000 rows in a moment,
// where a rich-text document takes many seconds.
struct Table
{
    QStringList headers;
    QList<int> widths; // shares of the page's width
    QList<QStringList> rows;
};

struct Section
{
    int level = 2; // 1 the title, 2 a part, 3 a prize
    QString heading;
    QStringList paragraphs;
    Table table;
};

QString yesNo(bool value)
{
    return value ? QStringLiteral("是") : QStringLiteral("否");
}

// "2026-12-07T20:15:03+08:00" → "2026-12-07 20:15:03".
QString shownTime(const QString &stored)
{
    return stored.left(19).replace(u'T', u' ');
}

struct Round
{
    QString time;
    qint64 inPlay = 0;
};

// Empty when a read failed.
QList<Section> readReport(Database &db, qint64 drawId)
{
    const Sql ofDraw = Sql::number(drawId);
    Query draw = db.openQuery(Sql("SELECT * FROM 奖次表 WHERE ID=") + ofDraw);
    if (!db.isOpen() || !draw.isValid() || draw.rowCount() == 0)
        return {};

    // Which round drew each result, from the round log; the deletions and redraws.
    QHash<qint64, Round> roundOf;
    QSet<qint64> presetIds;
    QHash<qint64, QList<std::pair<QString, QList<qint64>>>> presetRounds; // prize → (time, results)
    Section changes{2, QStringLiteral("删除与重新抽奖"), {}, {{QStringLiteral("时间"), QStringLiteral("原因"),
                                                               QStringLiteral("删除的结果")},
                                                              {22, 12, 66},
                                                              {}}};
    bool read = db.forEachRow(Sql("SELECT * FROM 轮次表 WHERE CID=") + ofDraw + Sql(" ORDER BY ID"), [&](const Row &row) {
        const QString event = row.text(u"事件");
        const QString time = shownTime(row.text(u"本地时间"));
        if (event == QStringLiteral("抽奖")) {
            const Round round{time, row.number(u"在场人数")};
            for (const QString &id : row.text(u"结果ID").split(u',', Qt::SkipEmptyParts))
                roundOf.insert(id.toLongLong(), round);
            // The places presets filled, said per round under their prize.
            QList<qint64> presets;
            for (const QString &id : row.text(u"预设结果ID").split(u',', Qt::SkipEmptyParts)) {
                presets.append(id.toLongLong());
                presetIds.insert(presets.last());
            }
            if (!presets.isEmpty())
                presetRounds[row.number(u"WID")].append({time, presets});
        } else {
            changes.table.rows.append({time, event, row.text(u"说明")});
        }
    });
    if (changes.table.rows.isEmpty())
        changes.paragraphs.append(QStringLiteral("没有。"));

    QList<Section> prizes;
    qint64 winners = 0, complete = 0;
    const qint64 fixedLength = draw.number(u"定长");
    const QString mask = draw.text(u"屏蔽");
    Query prize = db.openQuery(Sql("SELECT * FROM 奖项表 WHERE CID=") + ofDraw + Sql(" ORDER BY 顺序,ID"));
    read = read && prize.isValid();
    for (prize.first(); read && !prize.atEnd(); prize.next()) {
        const qint64 quantity = prize.number(u"数量");
        Section section{3, prize.text(u"名称") + QStringLiteral("　") + prize.text(u"奖品"),
                        {QStringLiteral("名额 %1，每次抽出 %2 人，公告显示：%3，可重复获奖：%4")
                             .arg(quantity)
                             .arg(prize.number(u"同时"))
                             .arg(yesNo(prize.flag(u"显示")), yesNo(prize.flag(u"重复")))},
                        {{QStringLiteral("序号"), QStringLiteral("抽奖号码"), QStringLiteral("姓名"),
                          QStringLiteral("抽奖时间"), QStringLiteral("在场人数"), QStringLiteral("方式")},
                         {8, 23, 23, 24, 12, 10},
                         {}}};
        QHash<qint64, QString> winnerOf;
        read = db.forEachRow(Sql("SELECT ID,号码,姓名 FROM 结果表 WHERE CID=") + ofDraw + Sql(" AND WID=") +
                                 Sql::number(prize.number(u"ID")) + Sql(" ORDER BY ID"),
                             [&](const Row &result) {
                                 const qint64 id = result.number(u"ID");
                                 const Round round = roundOf.value(id);
                                 const QString number = displayNumber(result.text(u"号码"), fixedLength, mask);
                                 section.table.rows.append(
                                     {QString::number(section.table.rows.size() + 1), number, result.text(u"姓名"),
                                      round.time.isEmpty() ? QStringLiteral("—") : round.time,
                                      round.inPlay > 0 ? QString::number(round.inPlay) : QStringLiteral("—"),
                                      presetIds.contains(id) ? QStringLiteral("预设") : QStringLiteral("随机")});
                                 if (presetIds.contains(id))
                                     winnerOf.insert(id, QString(number + u' ' + result.text(u"姓名")).trimmed());
                             });
        for (const auto &[time, ids] : presetRounds.value(prize.number(u"ID"))) {
            QStringList named;
            for (const qint64 id : ids)
                named.append(winnerOf.value(id, QStringLiteral("（已删除）")));
            section.paragraphs.append(QStringLiteral("%1 一轮：预设 %2 名（%3）")
                                          .arg(time)
                                          .arg(ids.size())
                                          .arg(named.join(QStringLiteral("、"))));
        }
        const qint64 drawn = section.table.rows.size();
        if (drawn < quantity)
            section.paragraphs.append(QStringLiteral("未抽完：还有 %1 个名额。").arg(quantity - drawn));
        else
            ++complete;
        winners += drawn;
        prizes.append(section);
    }
    const Query people =
        db.openQuery(Sql("SELECT COUNT(*) AS n FROM (SELECT DISTINCT 号码,姓名 FROM 号码表 WHERE CID=") + ofDraw +
                     Sql(")"));
    if (!read || !people.isValid())
        return {};

    // Who was in the hall: the count checked in, and the absent by name.
    Section hall{2, QStringLiteral("签到与不在场"), {}, {{QStringLiteral("抽奖号码"), QStringLiteral("姓名"),
                                                         QStringLiteral("时间"), QStringLiteral("方式")},
                                                        {25, 25, 25, 25},
                                                        {}}};
    if (db.hasColumn(QStringLiteral("号码表"), QStringLiteral("签到"))) {
        const Query counts = db.openQuery(Sql("SELECT TOTAL(签到=1) AS i,TOTAL(签到=2) AS a FROM 号码表 WHERE CID=") + ofDraw);
        if (!counts.isValid() ||
            !db.forEachRow(Sql("SELECT 号码,姓名,签到时间,签到方式 FROM 号码表 WHERE CID=") + ofDraw +
                               Sql(" AND 签到=2 ORDER BY 签到时间,ID"),
                           [&](const Row &row) {
                               hall.table.rows.append({displayNumber(row.text(0), fixedLength, mask), row.text(1),
                                                       row.text(2), row.text(3)});
                           }))
            return {};
        hall.paragraphs.append(QStringLiteral("已签到 %1 人；不在场 %2 人。")
                                   .arg(qint64(counts.value(u"i").toDouble()))
                                   .arg(qint64(counts.value(u"a").toDouble())));
    } else {
        hall.paragraphs.append(QStringLiteral("没有签到记录。"));
    }

    const QString name = draw.text(u"抽奖内容");
    QList<Section> report;
    report.append({1, name + QStringLiteral(" 抽奖报告"),
                   {QStringLiteral("生成时间：") +
                        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                        QStringLiteral("　数据库：") + db.path()},
                   {}});
    const qsizetype prizeCount = prizes.size();
    report.append({2, QStringLiteral("摘要"),
                   {QStringLiteral("奖项 %1 个，已抽完 %2 个%3；获奖 %4 人次；参与抽奖 %5 人。")
                        .arg(prizeCount)
                        .arg(complete)
                        .arg(complete < prizeCount ? QStringLiteral("（未抽完 %1 个）").arg(prizeCount - complete)
                                                   : QString())
                        .arg(winners)
                        .arg(people.number(u"n"))},
                   {}});
    report.append({2, QStringLiteral("抽奖设置"),
                   {QStringLiteral("滚动速度 %1，定时停止 %2 秒，号码定长 %3，屏蔽规则“%4”").arg(draw.number(u"速度")).arg(draw.number(u"定时")).arg(fixedLength).arg(mask),
                    QStringLiteral("背景图“%1”；音乐：等待“%2”，抽奖“%3”，中奖“%4”")
                        .arg(draw.text(u"底图"), draw.text(u"音乐1"), draw.text(u"音乐2"), draw.text(u"音乐3"))},
                   {}});
    report.append({2, QStringLiteral("获奖名单"), {}, {}});
    report += prizes;
    report.append(hall);
    report.append(changes);
    return report;
}

QString toHtml(const QList<Section> &report)
{
    const auto esc = [](const QString &text) { return text.toHtmlEscaped(); };
    QString html = QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>") +
                   esc(report.value(0).heading) +
                   QStringLiteral("</title><style>body{font-family:'KaiTi','AR PL UKai CN','Noto Serif CJK SC',"
                                  "'DejaVu Sans','Symbola','HanaMinA','HanaMinB',serif}"
                                  "table{border-collapse:collapse;width:100%}td,th{border:1px solid #888;"
                                  "padding:2px 6px;text-align:left;overflow-wrap:anywhere}</style></head><body>");
    for (const Section &section : report) {
        const QString tag = QStringLiteral("h%1").arg(section.level);
        html += u'<' + tag + u'>' + esc(section.heading) + QStringLiteral("</") + tag + u'>';
        for (const QString &paragraph : section.paragraphs)
            html += QStringLiteral("<p>") + esc(paragraph) + QStringLiteral("</p>");
        if (section.table.headers.isEmpty())
            continue;
        html += QStringLiteral("<table><tr>");
        for (const QString &header : section.table.headers)
            html += QStringLiteral("<th>") + esc(header) + QStringLiteral("</th>");
        html += QStringLiteral("</tr>");
        for (const QStringList &row : section.table.rows) {
            html += QStringLiteral("<tr>");
            for (const QString &cell : row)
                html += QStringLiteral("<td>") + esc(cell) + QStringLiteral("</td>");
            html += QStringLiteral("</tr>");
        }
        html += QStringLiteral("</table>");
    }
    return html + QStringLiteral("</body></html>");
}

// The faces a report is printed in, tried glyph by glyph: UKai for the KaiTi look;
// Noto CJK for what UKai leaves blank (it maps 䶮 and 46 other characters to empty
// glyphs); DejaVu for Arabic script; Symbola for emoji in black and white; HanaMin for
// the rare ideographs beyond the basic plane (𠀀).
const QStringList ReportFaces = {QStringLiteral("AR PL UKai CN"), QStringLiteral("Noto Serif CJK SC"),
                                 QStringLiteral("DejaVu Sans"),   QStringLiteral("Symbola"),
                                 QStringLiteral("HanaMinA"),      QStringLiteral("HanaMinB")};

// Which face draws each character: the first that has a glyph with ink.
class Faces
{
  public:
    Faces()
    {
        for (const QString &family : ReportFaces) {
            QFont font(family);
            font.setPixelSize(64);
            QRawFont raw = QRawFont::fromFont(font);
            // An absent face would come back as another one: it draws nothing.
            if (raw.familyName() != family)
                raw = QRawFont();
            m_faces.append({family, raw});
        }
    }

    // Spans of text the text's own face cannot draw, each with the face that can.
    // Bold text is set in Noto's true bold: UKai has none, and Qt's PDF writer marks
    // the second pass of a made-up bold as text of its own, which readers then drop
    // with what surrounds it. Faces without a bold stand in upright.
    QList<QTextLayout::FormatRange> spans(const QString &text, bool bold)
    {
        const int first = bold ? 1 : 0;
        QList<QTextLayout::FormatRange> spans;
        int face = 0;
        for (qsizetype i = 0; i < text.size();) {
            const char32_t c = text.at(i).isHighSurrogate() && i + 1 < text.size()
                                   ? QChar::surrogateToUcs4(text.at(i), text.at(i + 1))
                                   : text.at(i).unicode();
            const qsizetype width = c > 0xFFFF ? 2 : 1;
            // Spaces and joiners go with what surrounds them.
            if (!isInvisible(c))
                face = bold ? faceOf(c, 1) : faceOf(c, 0);
            if (face != first) {
                if (!spans.isEmpty() && spans.last().start + spans.last().length == i &&
                    spans.last().format.fontFamilies().toStringList().value(0) == m_faces.at(face).family) {
                    spans.last().length += width;
                } else {
                    QTextLayout::FormatRange span{int(i), int(width), {}};
                    span.format.setFontFamilies(QStringList{m_faces.at(face).family});
                    if (bold)
                        span.format.setFontWeight(QFont::Normal);
                    spans.append(span);
                }
            }
            i += width;
        }
        return spans;
    }

  private:
    struct Face
    {
        QString family;
        QRawFont raw;
    };

    static bool isInvisible(char32_t c)
    {
        const QChar::Category category = QChar::category(c);
        return QChar::isSpace(c) || category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing ||
               category == QChar::Other_Format || category == QChar::Other_Control;
    }

    int faceOf(char32_t c, int first)
    {
        if (c < 0x80)
            return first;
        QHash<char32_t, int> &cache = m_faceOf[first];
        const auto known = cache.constFind(c);
        if (known != cache.cend())
            return *known;
        int chosen = first;
        const QString text = QString::fromUcs4(&c, 1);
        for (int i = first; i < m_faces.size(); ++i) {
            const QRawFont &raw = m_faces.at(i).raw;
            if (!raw.isValid() || !raw.supportsCharacter(c))
                continue;
            const QList<quint32> glyphs = raw.glyphIndexesForString(text);
            if (!glyphs.isEmpty() && glyphs.first() != 0 && !raw.boundingRect(glyphs.first()).isEmpty()) {
                chosen = i;
                break;
            }
        }
        cache.insert(c, chosen);
        return chosen;
    }

    QList<Face> m_faces;
    QHash<char32_t, int> m_faceOf[2]; // for upright text, for bold
};

#if QT_VERSION >= QT_VERSION_CHECK(6, 4, 0) && QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
#define QUILLA_ACTUAL_TEXT 1
#endif

// Qt's PDF writer tells readers which characters a glyph stands for from the font's
// own table, looking only at the basic plane and taking the first character that
// shares a glyph: 𠀀 and emoji drop out of the text, Arabic comes back as
// presentation forms, Noto's 人 as the radical ⼈. Each piece of text therefore
// carries its characters as ActualText, which readers copy and search instead.
class TextPdfEngine : public QPdfEngine
{
  public:
    QPdfEnginePrivate *state() { return static_cast<QPdfEnginePrivate *>(d_ptr.data()); }

    void drawTextItem(const QPointF &p, const QTextItem &item) override
    {
#ifdef QUILLA_ACTUAL_TEXT
        QIODevice *page = state()->currentPage ? *reinterpret_cast<QIODevice **>(state()->currentPage) : nullptr;
        if (!page) {
            QPdfEngine::drawTextItem(p, item);
            return;
        }
        QString text = item.text();
        // Readers spread the text over the glyphs left to right and read a
        // right-to-left run backwards: such a run's text goes in backwards.
        if (item.renderFlags() & QTextItem::RightToLeft) {
            QList<uint> points = text.toUcs4();
            std::reverse(points.begin(), points.end());
            text = QString::fromUcs4(reinterpret_cast<const char32_t *>(points.constData()), points.size());
        }
        QByteArray marked = QByteArrayLiteral("/Span<</ActualText<FEFF");
        marked.reserve(marked.size() + 4 * text.size() + 8);
        static constexpr char Hex[] = "0123456789ABCDEF";
        for (const QChar c : text)
            for (const int shift : {12, 8, 4, 0})
                marked += Hex[(c.unicode() >> shift) & 0xF];
        marked += ">>>BDC\n";
        page->write(marked);
        QPdfEngine::drawTextItem(p, item);
        page->write("EMC\n");
#else
        QPdfEngine::drawTextItem(p, item);
#endif
    }
};

// A PDF file written through TextPdfEngine, as QPdfWriter writes through QPdfEngine.
class ReportPdf : public QPagedPaintDevice
{
    struct Layout : QPagedPaintDevicePrivate
    {
        explicit Layout(TextPdfEngine &engine) : m_engine(engine) {}
        bool setPageLayout(const QPageLayout &layout) override
        {
            m_engine.setPageLayout(layout);
            return pageLayout().isEquivalentTo(layout);
        }
        bool setPageSize(const QPageSize &size) override
        {
            m_engine.setPageSize(size);
            return pageLayout().pageSize().isEquivalentTo(size);
        }
        bool setPageOrientation(QPageLayout::Orientation orientation) override
        {
            m_engine.setPageOrientation(orientation);
            return pageLayout().orientation() == orientation;
        }
        bool setPageMargins(const QMarginsF &margins, QPageLayout::Unit units) override
        {
            m_engine.setPageMargins(margins, units);
            return true;
        }
        QPageLayout pageLayout() const override { return m_engine.pageLayout(); }
        TextPdfEngine &m_engine;
    };

  public:
    ReportPdf(QIODevice *out, const QString &title)
        : QPagedPaintDevice(new Layout(m_engine))
    {
        m_engine.state()->outDevice = out;
        m_engine.state()->title = title;
        m_engine.state()->creator = QStringLiteral("Quilla抽奖");
        m_engine.setResolution(300);
        setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 15, 15, 15),
                                  QPageLayout::Millimeter));
    }
    bool newPage() override { return m_engine.newPage(); }
    QPaintEngine *paintEngine() const override { return &m_engine; }
    int resolution() const { return m_engine.resolution(); }

  protected:
    int metric(PaintDeviceMetric id) const override { return m_engine.metric(id); }

  private:
    mutable TextPdfEngine m_engine;
};

// Paints the report page by page; a table's titles repeat at the top of each page
// it runs onto. Text wraps inside its cell, breaking a word only when it is wider
// than the cell; a row taller than a page goes on over the next pages.
class PdfPainter
{
  public:
    PdfPainter(ReportPdf &pdf, std::atomic<int> &rowsDone) : m_pdf(pdf), m_painter(&pdf), m_rowsDone(rowsDone)
    {
        m_area = QRectF(QPointF(0, 0), pdf.pageLayout().paintRectPixels(pdf.resolution()).size());
    }
    bool isActive() const { return m_painter.isActive(); }

    void write(const QList<Section> &report)
    {
        for (const Section &section : report) {
            gap(section.level == 3 ? 0.6 : 1.0);
            text(section.heading, section.level == 1 ? 18 : section.level == 2 ? 14 : 12, true);
            for (const QString &paragraph : section.paragraphs)
                text(paragraph, 10, false);
            if (!section.table.headers.isEmpty())
                table(section.table);
        }
    }

  private:
    using Layout = std::shared_ptr<QTextLayout>;
    // The last cell laid out in each column: a round's time and head count repeat
    // down the rows it drew, a table's titles on each page.
    struct Recent
    {
        QString text;
        qreal width = 0;
        Layout layout;
    };

    // Pixels per point at the writer's resolution.
    qreal points(double pt) const { return pt * m_pdf.resolution() / 72.0; }
    static QFont font(double size, bool bold)
    {
        QFont f(ReportFaces.at(bold ? 1 : 0));
        f.setPointSizeF(size);
        f.setBold(bold);
        return f;
    }
    // Qt shapes a long text in pieces of a few thousand characters, and PDF readers
    // take the seam between two pieces for the end of a line, in the middle of a
    // number if need be. A very long text (the winners of a deleted prize) therefore
    // starts a new line at a separator every thousand characters or so.
    static QString inPieces(const QString &text)
    {
        constexpr qsizetype Piece = 1000;
        if (text.size() <= Piece)
            return text;
        QString pieces;
        qsizetype from = 0;
        while (text.size() - from > Piece) {
            qsizetype cut = from + Piece;
            while (cut > from && !QStringLiteral("；，、; ").contains(text.at(cut - 1)))
                --cut;
            if (cut == from)
                cut = from + Piece;
            pieces += QStringView(text).mid(from, cut - from);
            pieces += QChar::LineSeparator;
            from = cut;
        }
        return pieces + QStringView(text).mid(from);
    }
    // Qt's "word or anywhere" wrapping also splits words that would fit on a line of
    // their own (a number in a list of thousands), so it is the second try, for a text
    // with a word wider than the cell.
    Layout layOut(const QString &given, const QFont &font, qreal width)
    {
        const QString text = inPieces(given);
        auto layout = std::make_shared<QTextLayout>(text, font, &m_pdf);
        layout->setFormats(m_faces.spans(text, font.bold()));
        for (const auto wrap : {QTextOption::WordWrap, QTextOption::WrapAtWordBoundaryOrAnywhere}) {
            layout->setTextOption(QTextOption());
            QTextOption option;
            option.setWrapMode(wrap);
            layout->setTextOption(option);
            layout->beginLayout();
            qreal y = 0;
            bool fits = true;
            for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
                line.setLineWidth(width);
                line.setPosition(QPointF(0, y));
                y += line.height();
                fits = fits && line.naturalTextWidth() <= width;
            }
            layout->endLayout();
            if (fits)
                break;
        }
        return layout;
    }
    // Height of lines from..to-1.
    static qreal linesHeight(const QTextLayout &layout, int from, int to)
    {
        if (from >= to)
            return 0;
        return layout.lineAt(to - 1).y() + layout.lineAt(to - 1).height() - layout.lineAt(from).y();
    }
    void newPage()
    {
        m_pdf.newPage();
        m_y = 0;
    }
    void room(qreal height)
    {
        if (m_y + height > m_area.bottom() && m_y > 0)
            newPage();
    }
    void gap(double lines) { m_y += points(10) * lines; }
    void text(const QString &paragraph, double size, bool bold)
    {
        const Layout layout = layOut(paragraph, font(size, bold), m_area.width());
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            room(line.height());
            line.draw(&m_painter, QPointF(0, m_y - line.y()));
            m_y += line.height();
        }
        m_y += points(3);
    }
    void row(const Table &table, const QStringList &cells, bool titles)
    {
        const QFont cellFont = font(9, titles);
        const int total = std::accumulate(table.widths.cbegin(), table.widths.cend(), 0);
        const qreal pad = points(2);
        QList<QRectF> places;
        std::vector<Layout> layouts;
        qreal x = 0;
        for (qsizetype i = 0; i < cells.size(); ++i) {
            const qreal width = m_area.width() * table.widths.value(i) / std::max(1, total);
            QList<Recent> &recent = m_recent[titles];
            if (recent.size() <= i)
                recent.resize(i + 1);
            Recent &last = recent[i];
            if (!last.layout || last.text != cells.at(i) || last.width != width)
                last = {cells.at(i), width, layOut(cells.at(i), cellFont, width - 2 * pad)};
            layouts.push_back(last.layout);
            places.append(QRectF(x, 0, width, 0));
            x += width;
        }
        QList<int> next(cells.size(), 0);
        const auto left = [&] {
            qreal height = 0;
            for (qsizetype i = 0; i < cells.size(); ++i)
                height = std::max(height, linesHeight(*layouts[i], next[i], layouts[i]->lineCount()));
            return height + 2 * pad;
        };
        // A row that fits a page starts on a new one rather than break.
        const qreal whole = left();
        if (!titles && m_y + whole > m_area.bottom() && whole <= m_area.height() - m_titleHeight) {
            newPage();
            row(table, table.headers, true);
        } else if (titles) {
            room(whole);
        }
        for (;;) {
            qreal space = m_area.bottom() - m_y - 2 * pad;
            // Not one more line of each cell fits: go on on the next page.
            bool fits = true;
            for (qsizetype i = 0; i < cells.size(); ++i)
                if (next[i] < layouts[i]->lineCount() && layouts[i]->lineAt(next[i]).height() > space)
                    fits = false;
            if (!fits && m_y > 0 && !titles) {
                newPage();
                row(table, table.headers, true);
                continue;
            }
            QList<int> upTo = next;
            qreal height = 0;
            for (qsizetype i = 0; i < cells.size(); ++i) {
                const QTextLayout &layout = *layouts[i];
                while (upTo[i] < layout.lineCount() &&
                       (titles || linesHeight(layout, next[i], upTo[i] + 1) <= space || upTo[i] == next[i]))
                    ++upTo[i];
                height = std::max(height, linesHeight(layout, next[i], upTo[i]));
            }
            height += 2 * pad;
            for (qsizetype i = 0; i < cells.size(); ++i) {
                const QRectF cell(places.at(i).x(), m_y, places.at(i).width(), height);
                if (titles)
                    m_painter.fillRect(cell, QColor(235, 235, 235));
                m_painter.drawRect(cell);
                const QTextLayout &layout = *layouts[i];
                for (int l = next[i]; l < upTo[i]; ++l) {
                    const QTextLine line = layout.lineAt(l);
                    line.draw(&m_painter, QPointF(cell.x() + pad, m_y + pad - layout.lineAt(next[i]).y()));
                }
            }
            next = upTo;
            m_y += height;
            if (titles)
                m_titleHeight = height;
            if (left() <= 2 * pad)
                break;
            newPage();
            row(table, table.headers, true);
        }
        if (!titles)
            m_rowsDone.fetch_add(1, std::memory_order_relaxed);
    }
    void table(const Table &table)
    {
        m_painter.setPen(QPen(Qt::black, 1));
        row(table, table.headers, true);
        for (const QStringList &cells : table.rows)
            row(table, cells, false);
        gap(0.5);
    }

    ReportPdf &m_pdf;
    QPainter m_painter;
    std::atomic<int> &m_rowsDone;
    Faces m_faces;
    QList<Recent> m_recent[2]; // of rows, of titles
    QRectF m_area;
    qreal m_y = 0;
    qreal m_titleHeight = 0;
};

int rowCount(const QList<Section> &report)
{
    int rows = 0;
    for (const Section &section : report)
        rows += int(section.table.rows.size());
    return rows;
}

// Writes the file on whichever thread calls it.
bool writeFile(const QList<Section> &report, const QString &path, std::atomic<int> &rowsDone, QString &why)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        why = file.errorString();
        return false;
    }
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QStringLiteral("html") || suffix == QStringLiteral("htm")) {
        file.write(toHtml(report).toUtf8());
        rowsDone = rowCount(report);
    } else {
        ReportPdf pdf(&file, report.first().heading);
        PdfPainter painter(pdf, rowsDone);
        if (!painter.isActive()) {
            why = QStringLiteral("无法生成 PDF");
            file.cancelWriting();
            return false;
        }
        painter.write(report);
    }
    if (!file.commit()) {
        why = file.errorString();
        return false;
    }
    return true;
}

} // namespace

QString drawReportHtml(Database &db, qint64 drawId)
{
    const QList<Section> report = readReport(db, drawId);
    return report.isEmpty() ? QString() : toHtml(report);
}

bool writeDrawReport(Database &db, qint64 drawId, const QString &path, QString &why, Progress &progress)
{
    // The rows are read here, on the database's own thread; laying out and painting
    // them, most of the time, runs on a worker while the progress window paints.
    progress.begin(QStringLiteral("正在读取抽奖数据"), 1);
    const QList<Section> report = readReport(db, drawId);
    if (report.isEmpty()) {
        progress.end();
        why = QStringLiteral("无法读取抽奖数据");
        return false;
    }
    const int rows = rowCount(report);
    progress.begin(QStringLiteral("正在生成抽奖报告"), rows);
    std::atomic<int> rowsDone{0};
    bool written = false;
    const auto work = [&] { written = writeFile(report, path, rowsDone, why); };
    std::unique_ptr<QThread> worker(QThread::create(work));
    worker->start();
    int shown = 0;
    do {
        const int done = rowsDone.load(std::memory_order_relaxed);
        progress.step(done - shown, QStringLiteral("pages"));
        shown = done;
    } while (!worker->wait(QDeadlineTimer(40)));
    progress.step(rowsDone - shown, QStringLiteral("pages"));
    progress.end();
    return written;
}

bool writeDrawReport(Database &db, qint64 drawId, const QString &path, QString &why)
{
    NoProgress none;
    return writeDrawReport(db, drawId, path, why, none);
}

} // namespace quilla
