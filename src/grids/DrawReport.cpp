#include "DrawReport.h"

#include "data/Database.h"
#include "engine/NumberDisplay.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>

#include <numeric>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

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
    Query draw = db.OpenQuery(Sql("SELECT * FROM 奖次表 WHERE ID=") + ofDraw);
    if (!db.isOpen() || !draw.isValid() || draw.rowCount() == 0)
        return {};

    // Which round drew each result, from the round log; the deletions and redraws.
    QHash<qint64, Round> roundOf;
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
    Query prize = db.OpenQuery(Sql("SELECT * FROM 奖项表 WHERE CID=") + ofDraw + Sql(" ORDER BY 顺序,ID"));
    read = read && prize.isValid();
    for (prize.first(); read && !prize.atEnd(); prize.next()) {
        const qint64 quantity = prize.number(u"数量");
        Section section{3, prize.text(u"名称") + QStringLiteral("　") + prize.text(u"奖品"),
                        {QStringLiteral("名额 %1，每次抽出 %2 人，公告显示：%3，可重复获奖：%4")
                             .arg(quantity)
                             .arg(prize.number(u"同时"))
                             .arg(yesNo(prize.flag(u"显示")), yesNo(prize.flag(u"重复")))},
                        {{QStringLiteral("序号"), QStringLiteral("抽奖号码"), QStringLiteral("姓名"),
                          QStringLiteral("抽奖时间"), QStringLiteral("在场人数")},
                         {10, 25, 25, 26, 14},
                         {}}};
        read = db.forEachRow(Sql("SELECT ID,号码,姓名 FROM 结果表 WHERE CID=") + ofDraw + Sql(" AND WID=") +
                                 Sql::number(prize.number(u"ID")) + Sql(" ORDER BY ID"),
                             [&](const Row &result) {
                                 const Round round = roundOf.value(result.number(u"ID"));
                                 section.table.rows.append(
                                     {QString::number(section.table.rows.size() + 1),
                                      DisplayNumber(result.text(u"号码"), fixedLength, mask), result.text(u"姓名"),
                                      round.time.isEmpty() ? QStringLiteral("—") : round.time,
                                      round.inPlay > 0 ? QString::number(round.inPlay) : QStringLiteral("—")});
                             });
        const qint64 drawn = section.table.rows.size();
        if (drawn < quantity)
            section.paragraphs.append(QStringLiteral("未抽完：还有 %1 个名额。").arg(quantity - drawn));
        else
            ++complete;
        winners += drawn;
        prizes.append(section);
    }
    const Query people =
        db.OpenQuery(Sql("SELECT COUNT(*) AS n FROM (SELECT DISTINCT 号码,姓名 FROM 号码表 WHERE CID=") + ofDraw +
                     Sql(")"));
    if (!read || !people.isValid())
        return {};

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
    report.append(changes);
    return report;
}

QString toHtml(const QList<Section> &report)
{
    const auto esc = [](const QString &text) { return text.toHtmlEscaped(); };
    QString html = QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>") +
                   esc(report.value(0).heading) +
                   QStringLiteral("</title><style>body{font-family:'KaiTi','AR PL UKai CN',serif}"
                                  "table{border-collapse:collapse;width:100%}td,th{border:1px solid #888;"
                                  "padding:2px 6px;text-align:left}</style></head><body>");
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

// Paints the report page by page; a table's titles repeat at the top of each page it runs onto.
class PdfPainter
{
  public:
    explicit PdfPainter(QPdfWriter &pdf) : m_pdf(pdf), m_painter(&pdf)
    {
        m_area = QRect(QPoint(0, 0), pdf.pageLayout().paintRectPixels(pdf.resolution()).size());
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
    // Pixels per point at the writer's resolution.
    int points(double pt) const { return int(pt * m_pdf.resolution() / 72.0); }
    QFont font(double size, bool bold) const
    {
        // UKai, not Noto CJK: Noto shares glyphs between ideographs and Kangxi radicals,
        // and a PDF reader copying the text would get "⼈" for "人".
        QFont f(QStringLiteral("AR PL UKai CN"));
        f.setPointSizeF(size);
        f.setBold(bold);
        return f;
    }
    void room(int height)
    {
        if (m_y + height > m_area.bottom() && m_y > 0) {
            m_pdf.newPage();
            m_y = 0;
        }
    }
    void gap(double lines) { m_y += int(points(10) * lines); }
    void text(const QString &line, double size, bool bold)
    {
        m_painter.setFont(font(size, bold));
        const QRect bounds = m_painter.boundingRect(QRect(0, 0, m_area.width(), 1 << 20), Qt::TextWordWrap, line);
        room(bounds.height());
        m_painter.drawText(QRect(0, m_y, m_area.width(), bounds.height()), Qt::TextWordWrap, line);
        m_y += bounds.height() + points(3);
    }
    void row(const Table &table, const QStringList &cells, bool titles)
    {
        m_painter.setFont(font(9, titles));
        const int total = std::accumulate(table.widths.cbegin(), table.widths.cend(), 0);
        const int pad = points(2);
        QList<QRect> places;
        int x = 0, height = m_painter.fontMetrics().height();
        for (qsizetype i = 0; i < cells.size(); ++i) {
            const int width = m_area.width() * table.widths.value(i) / std::max(1, total);
            const QRect text(x + pad, 0, width - 2 * pad, 1 << 20);
            height = std::max(height, m_painter.boundingRect(text, Qt::TextWordWrap, cells.at(i)).height());
            places.append(QRect(x, 0, width, 0));
            x += width;
        }
        height += 2 * pad;
        if (m_y + height > m_area.bottom() && !titles) {
            room(height + m_titleHeight);
            row(table, table.headers, true);
            m_painter.setFont(font(9, false));
        } else {
            room(height);
        }
        for (qsizetype i = 0; i < cells.size(); ++i) {
            const QRect cell(places.at(i).x(), m_y, places.at(i).width(), height);
            if (titles)
                m_painter.fillRect(cell, QColor(235, 235, 235));
            m_painter.drawRect(cell);
            m_painter.drawText(cell.adjusted(pad, pad, -pad, -pad), Qt::TextWordWrap, cells.at(i));
        }
        if (titles)
            m_titleHeight = height;
        m_y += height;
    }
    void table(const Table &table)
    {
        m_painter.setPen(QPen(Qt::black, 1));
        row(table, table.headers, true);
        for (const QStringList &cells : table.rows)
            row(table, cells, false);
        gap(0.5);
    }

    QPdfWriter &m_pdf;
    QPainter m_painter;
    QRect m_area;
    int m_y = 0;
    int m_titleHeight = 0;
};

} // namespace

QString DrawReportHtml(Database &db, qint64 drawId)
{
    const QList<Section> report = readReport(db, drawId);
    return report.isEmpty() ? QString() : toHtml(report);
}

bool WriteDrawReport(Database &db, qint64 drawId, const QString &path, QString &why)
{
    const QList<Section> report = readReport(db, drawId);
    if (report.isEmpty()) {
        why = QStringLiteral("无法读取抽奖数据");
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        why = file.errorString();
        return false;
    }
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QStringLiteral("html") || suffix == QStringLiteral("htm")) {
        file.write(toHtml(report).toUtf8());
    } else {
        QPdfWriter pdf(&file);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        pdf.setResolution(300);
        pdf.setTitle(report.first().heading);
        pdf.setCreator(QStringLiteral("Quilla抽奖"));
        PdfPainter painter(pdf);
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

} // namespace quilla
