#include "PhonePages.h"

namespace quilla {

namespace {

const char *const Head = R"(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width,initial-scale=1">
<meta name="referrer" content="no-referrer">
<title>%1</title>
<style>
body{font-family:sans-serif;margin:0;padding:16px;background:#f6f2ea;color:#222;font-size:18px}
h1{font-size:22px;margin:0 0 16px}
label{display:block;margin:12px 0 4px}
input{box-sizing:border-box;width:100%;font-size:20px;padding:10px;border:1px solid #999;border-radius:6px}
button{width:100%;margin-top:20px;font-size:20px;padding:12px;border:0;border-radius:6px;background:#b3261e;color:#fff}
.a{padding:12px;border-radius:6px;margin-bottom:12px;background:#fde2e0}
.ok{background:#dff3e3;font-size:24px}
h2{font-size:19px;margin:18px 0 6px;color:#b3261e}
ul{list-style:none;padding:0;margin:0}li{padding:4px 0;border-bottom:1px solid #e3ddd2}
p.n{color:#666;font-size:15px}
</style></head><body>
)";

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QByteArray page(const QString &title, const QString &body)
{
    return (QString::fromUtf8(Head).arg(escaped(title)) + body + QStringLiteral("</body></html>\n")).toUtf8();
}

} // namespace

QByteArray checkInPage(const QString &answer, bool done, const QString &number, const QString &name)
{
    QString body = QStringLiteral("<h1>现场签到</h1>\n");
    if (!answer.isEmpty())
        body += QStringLiteral("<div class=\"a%1\">%2</div>\n").arg(done ? QStringLiteral(" ok") : QString(),
                                                                    escaped(answer));
    if (!done)
        body += QStringLiteral("<form method=\"post\" action=\"./\" accept-charset=\"utf-8\">\n"
                               "<label for=\"n\">抽奖号码</label>"
                               "<input id=\"n\" name=\"number\" maxlength=\"64\" autocomplete=\"off\" required "
                               "value=\"%1\">\n"
                               "<label for=\"m\">姓名</label>"
                               "<input id=\"m\" name=\"name\" maxlength=\"64\" autocomplete=\"name\" required "
                               "value=\"%2\">\n"
                               "<button type=\"submit\">签到</button>\n</form>\n"
                               "<p class=\"n\">请输入您的抽奖号码和姓名，与名单一致即可签到。</p>\n")
                    .arg(escaped(number), escaped(name));
    body += QStringLiteral("<p><a href=\"results\">查看中奖名单</a></p>\n");
    return page(QStringLiteral("现场签到"), body);
}

QByteArray notePage(const QString &text)
{
    return page(QStringLiteral("现场签到"), QStringLiteral("<div class=\"a\">%1</div>\n").arg(escaped(text)));
}

QByteArray resultsList(const QString &title, const QStringList &boardLines)
{
    if (boardLines.isEmpty())
        return QStringLiteral("<p class=\"n\">还没有中奖名单。</p>\n").toUtf8();
    // The board indents its winners under each prize's heading.
    QString html = QStringLiteral("<h1>%1</h1>\n").arg(escaped(title));
    bool inList = false;
    for (const QString &line : boardLines) {
        const bool winner = line.startsWith(QStringLiteral("  "));
        if (winner && !inList)
            html += QStringLiteral("<ul>");
        else if (!winner && inList)
            html += QStringLiteral("</ul>\n");
        inList = winner;
        html += winner ? QStringLiteral("<li>%1</li>").arg(escaped(line.trimmed()))
                       : QStringLiteral("<h2>%1</h2>").arg(escaped(line));
    }
    if (inList)
        html += QStringLiteral("</ul>\n");
    return html.toUtf8();
}

QByteArray resultsPage(const QByteArray &list)
{
    // A failed refresh keeps what is shown; without script the page reloads itself.
    const QString body = QStringLiteral(
        "<noscript><meta http-equiv=\"refresh\" content=\"10\"></noscript>\n"
        "<div id=\"r\">%1</div>\n"
        "<p class=\"n\">名单每 5 秒自动更新。</p>\n"
        "<script>setInterval(function(){var x=new XMLHttpRequest();x.open('GET','results/list');"
        "x.onload=function(){if(x.status==200)document.getElementById('r').innerHTML=x.responseText};"
        "x.send()},5000)</script>\n");
    return page(QStringLiteral("中奖名单"), body.arg(QString::fromUtf8(list)));
}

} // namespace quilla
