// Recording a stopped round, the announcement board, and the questions before a draw.
#include "DrawEngine.h"

#include "data/Database.h"

namespace quilla {

namespace {

const QString CrLf = QStringLiteral("\r\n");

} // namespace

bool DrawEngine::RecordRound(qint64 drawId, qint64 prizeId, QList<Candidate> &picks)
{
    // Presets are given back if the round cannot be stored: it will be drawn again.
    const QList<Candidate> presetsBefore = m_presets;
    if (ApplyPresets(prizeId, picks))
        ShowPicks(picks);

    bool stored = false;
    {
        Database::Transaction transaction(m_db);
        Query rs = m_db.OpenQuery(Sql("SELECT * FROM 结果表 WHERE FALSE"));
        stored = m_db.isOpen();
        for (const Candidate &pick : std::as_const(picks)) {
            rs.addNew();
            rs.setValue(u"CID", drawId);
            rs.setValue(u"WID", prizeId);
            rs.setValue(u"号码", pick.Number);
            rs.setValue(u"姓名", pick.Name);
            if (!rs.save()) {
                stored = false;
                break;
            }
        }
        stored = stored && transaction.commit();
    }
    if (!stored) {
        m_presets = presetsBefore;
        m_db.prompt().message(
            QStringLiteral("本轮抽奖结果未能保存到数据库，请检查数据库文件后重新抽取本轮！"),
            Prompt::Icon::Critical);
        return false;
    }

    const auto prize = std::find_if(m_prizes.cbegin() + 1, m_prizes.cend(),
                                    [&](const PrizeEntry &p) { return p.PrizeId == prizeId; });
    if (prize != m_prizes.cend() && !prize->Repeatable)
        for (const Candidate &pick : std::as_const(picks))
            if (pick.PoolIndex >= 1)
                m_pool.withdraw(pick.PoolIndex);
    return true;
}

QString DrawEngine::BuildAnnouncement(qint64 drawId, qint64 prizeId, bool reverseOrder, bool currentPrizeOnly)
{
    Sql sql = Sql("SELECT 结果表.*,奖项表.名称 AS 名称,奖项表.奖品 AS 奖品,奖项表.显示 AS 显示,奖项表.顺序 "
                  "AS 顺序 ") +
              Sql("FROM 结果表,奖项表 WHERE 结果表.CID=") + Sql::number(drawId) +
              Sql(" AND 结果表.WID=奖项表.ID");
    if (currentPrizeOnly)
        sql += Sql(" AND 结果表.WID=") + Sql::number(prizeId);
    sql += Sql("  ORDER BY 奖项表.顺序");
    if (reverseOrder)
        sql += Sql(" DESC");
    sql += Sql(",结果表.ID");
    if (reverseOrder)
        sql += Sql(" DESC");

    QString text;
    qint64 lastOrder = -1;
    bool first = true;
    m_db.forEachRow(sql, [&](const Row &row) {
        const qint64 order = row.number(u"顺序");
        if (first || order != lastOrder) {
            first = false;
            lastOrder = order;
            const QString name = row.text(u"名称");
            const QString article = row.text(u"奖品");
            if (currentPrizeOnly) {
                if (m_display)
                    m_display->setBoardTitle(name + QStringLiteral("获奖名单"));
                text += name + QStringLiteral("(奖品：") + article + u')' + CrLf;
            } else {
                if (m_display)
                    m_display->setBoardTitle(QStringLiteral("获奖名单"));
                text += name + article + CrLf;
            }
        }
        if (row.flag(u"显示")) {
            text += QStringLiteral("     ") + DisplayNumber(row.text(u"号码"));
            const QString name = row.text(u"姓名");
            if (!name.isEmpty())
                text += u'(' + name + u')';
            text += CrLf;
        }
    });
    return text;
}

bool DrawEngine::ConfirmDrawStart(qint64 drawId)
{
    Prompt &prompt = m_db.prompt();
    const qint64 total = std::llround(
        m_db.SumColumn(QStringLiteral("奖项表"), QStringLiteral("数量"), Sql("CID=") + Sql::number(drawId)));
    // The participants of this draw, not of every draw in the file.
    const qint64 people = m_db.CountRows(QStringLiteral("号码表"), Sql("CID=") + Sql::number(drawId));
    const qint64 stored = m_db.CountRows(QStringLiteral("结果表"), Sql("CID=") + Sql::number(drawId));

    if (people < total && !prompt.question(QStringLiteral("获奖人数多于参与抽奖人数，是否继续抽奖？")))
        return false;
    if (stored == 0)
        return true;
    const Sql deleteResults = Sql("DELETE * FROM 结果表 WHERE CID=") + Sql::number(drawId);
    if (stored < total) {
        if (prompt.question(
                QStringLiteral("部分奖项已经有抽奖结果，您是否要重新抽奖？") + CrLf + CrLf +
                QStringLiteral(
                    "（点“是”把原抽奖结果全部删除重新抽，点“否”保留原抽奖结果，继续抽未抽完奖项！）")))
            m_db.ExecuteSql(deleteResults);
        return true;
    }
    if (!prompt.question(QStringLiteral(
            "所有奖项都已经有抽奖结果，您是否要重新抽奖？（重新抽奖将把原抽奖结果全部删除！）")))
        return false;
    m_db.ExecuteSql(deleteResults);
    return true;
}

void DrawEngine::ShowPicks(const QList<Candidate> &picks)
{
    QString text;
    for (qsizetype i = 0; i < picks.size(); ++i) {
        if (i > 0)
            text += CrLf;
        text += DisplayNumber(picks.at(i).Number);
    }
    // The screen repaints through its own event loop; nothing is pumped here.
    if (m_display)
        m_display->setPicksText(text);
}

} // namespace quilla
