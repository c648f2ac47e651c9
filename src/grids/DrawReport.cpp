#include "DrawReport.h"

#include "data/Database.h"
#include "engine/NumberDisplay.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>

namespace quilla {

namespace {

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

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

} // namespace

QString DrawReportHtml(Database &db, qint64 drawId)
{
    const Sql ofDraw = Sql::number(drawId);
    Query draw = db.OpenQuery(Sql("SELECT * FROM 奖次表 WHERE ID=") + ofDraw);
    if (!db.isOpen() || !draw.isValid() || draw.rowCount() == 0)
        return {};
    const QString name = draw.text(u"抽奖内容");

    // Which round drew each result, from the round log.
    QHash<qint64, Round> roundOf;
    QString changes;
    bool read = db.forEachRow(Sql("SELECT * FROM 轮次表 WHERE CID=") + ofDraw + Sql(" ORDER BY ID"), [&](const Row &row) {
        const QString event = row.text(u"事件");
        const QString time = shownTime(row.text(u"本地时间"));
        if (event == QStringLiteral("抽奖")) {
            const Round round{time, row.number(u"在场人数")};
            for (const QString &id : row.text(u"结果ID").split(u',', Qt::SkipEmptyParts))
                roundOf.insert(id.toLongLong(), round);
        } else {
            changes += QStringLiteral("<tr><td>") + esc(time) + QStringLiteral("</td><td>") + esc(event) +
                       QStringLiteral("</td><td>") + esc(row.text(u"说明")) + QStringLiteral("</td></tr>");
        }
    });

    QString prizes;
    qint64 winners = 0, complete = 0, prizeCount = 0;
    const qint64 fixedLength = draw.number(u"定长");
    const QString mask = draw.text(u"屏蔽");
    Query prize = db.OpenQuery(Sql("SELECT * FROM 奖项表 WHERE CID=") + ofDraw + Sql(" ORDER BY 顺序,ID"));
    read = read && prize.isValid();
    for (prize.first(); read && !prize.atEnd(); prize.next()) {
        ++prizeCount;
        const qint64 quantity = prize.number(u"数量");
        prizes += QStringLiteral("<h3>") + esc(prize.text(u"名称")) + QStringLiteral("　") + esc(prize.text(u"奖品")) +
                  QStringLiteral("</h3><p>名额 %1，每次抽出 %2 人，公告显示：%3，可重复获奖：%4</p>")
                      .arg(quantity)
                      .arg(prize.number(u"同时"))
                      .arg(yesNo(prize.flag(u"显示")), yesNo(prize.flag(u"重复")));
        prizes += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\">"
                                 "<tr><th>序号</th><th>抽奖号码</th><th>姓名</th><th>抽奖时间</th><th>在场人数</th></tr>");
        qint64 drawn = 0;
        read = db.forEachRow(Sql("SELECT ID,号码,姓名 FROM 结果表 WHERE CID=") + ofDraw + Sql(" AND WID=") +
                          Sql::number(prize.number(u"ID")) + Sql(" ORDER BY ID"),
                      [&](const Row &result) {
                          const Round round = roundOf.value(result.number(u"ID"));
                          prizes += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td></tr>")
                                        .arg(++drawn)
                                        .arg(esc(DisplayNumber(result.text(u"号码"), fixedLength, mask)),
                                             esc(result.text(u"姓名")),
                                             round.time.isEmpty() ? QStringLiteral("—") : round.time,
                                             round.inPlay > 0 ? QString::number(round.inPlay) : QStringLiteral("—"));
                      });
        prizes += QStringLiteral("</table>");
        if (drawn < quantity)
            prizes += QStringLiteral("<p><b>未抽完：还有 %1 个名额。</b></p>").arg(quantity - drawn);
        else
            ++complete;
        winners += drawn;
    }
    const Query people =
        db.OpenQuery(Sql("SELECT COUNT(*) AS n FROM (SELECT DISTINCT 号码,姓名 FROM 号码表 WHERE CID=") + ofDraw +
                     Sql(")"));
    if (!read || !people.isValid())
        return {};

    const QDateTime now = QDateTime::currentDateTime();
    QString html = QStringLiteral("<html><head><meta charset=\"utf-8\"><title>") + esc(name) +
                   QStringLiteral(" 抽奖报告</title></head><body>");
    html += QStringLiteral("<h1>") + esc(name) + QStringLiteral(" 抽奖报告</h1>");
    html += QStringLiteral("<p>生成时间：") + now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
            QStringLiteral("　数据库：") + esc(db.path()) + QStringLiteral("</p>");
    html += QStringLiteral("<h2>摘要</h2><p>奖项 %1 个，已抽完 %2 个%3；获奖 %4 人次；参与抽奖 %5 人。</p>")
                .arg(prizeCount)
                .arg(complete)
                .arg(complete < prizeCount ? QStringLiteral("（未抽完 %1 个）").arg(prizeCount - complete) : QString())
                .arg(winners)
                .arg(people.number(u"n"));
    html += QStringLiteral("<h2>抽奖设置</h2><p>滚动速度 %1，定时停止 %2 秒，号码定长 %3，屏蔽规则“%4”，背景图“%5”，"
                           "音乐：%6 / %7 / %8</p>")
                .arg(draw.number(u"速度"))
                .arg(draw.number(u"定时"))
                .arg(fixedLength)
                .arg(esc(mask), esc(draw.text(u"底图")), esc(draw.text(u"音乐1")), esc(draw.text(u"音乐2")),
                     esc(draw.text(u"音乐3")));
    html += QStringLiteral("<h2>获奖名单</h2>") + prizes;
    html += QStringLiteral("<h2>删除与重新抽奖</h2>");
    html += changes.isEmpty() ? QStringLiteral("<p>没有。</p>")
                              : QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\">"
                                               "<tr><th>时间</th><th>原因</th><th>删除的结果</th></tr>") +
                                    changes + QStringLiteral("</table>");
    return html + QStringLiteral("</body></html>");
}

bool WriteDrawReport(Database &db, qint64 drawId, const QString &path, QString &why)
{
    const QString html = DrawReportHtml(db, drawId);
    if (html.isEmpty()) {
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
        file.write(html.toUtf8());
    } else {
        QPdfWriter pdf(&file);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setResolution(150);
        pdf.setTitle(QStringLiteral("抽奖报告"));
        pdf.setCreator(QStringLiteral("Quilla抽奖"));
        QTextDocument document;
        // UKai, not Noto CJK: Noto shares glyphs between ideographs and Kangxi radicals,
        // and a PDF reader copying the text would get "⼈" for "人".
        QFont font(QStringLiteral("AR PL UKai CN"));
        font.setPointSize(10);
        document.setDefaultFont(font);
        document.setHtml(html);
        document.print(&pdf);
    }
    if (!file.commit()) {
        why = file.errorString();
        return false;
    }
    return true;
}

} // namespace quilla
