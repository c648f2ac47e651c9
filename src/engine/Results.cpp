// Recording a stopped round, the announcement board, and the questions before a draw.
#include "DrawEngine.h"

#include "data/Database.h"
#include "data/Settings.h"
#include "data/TextNumber.h"

namespace quilla {

namespace {

const QString CrLf = QStringLiteral("\r\n");

} // namespace

bool DrawEngine::RecordRound(qint64 drawId, qint64 prizeId, QList<Candidate> &picks)
{
    // If the round cannot be stored, the picks the audience saw and the presets are
    // given back, so that a second stop can store the same round.
    const QList<Candidate> shown = picks;
    const QList<Candidate> presetsBefore = m_presets;
    const bool presetsApplied = ApplyPresets(prizeId, picks);

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
        picks = shown;
        m_db.prompt().message(
            QStringLiteral("本轮抽奖结果未能保存到数据库，请检查数据库文件后重新抽取本轮！"),
            Prompt::Icon::Critical);
        return false;
    }
    // Preset winners appear only once they are stored: the screen never names a
    // winner the database does not hold.
    if (presetsApplied)
        ShowPicks(picks);

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
    QString title;
    qint64 lastOrder = -1;
    bool first = true;
    const bool read = m_db.forEachRow(sql, [&](const Row &row) {
        const qint64 order = row.number(u"顺序");
        if (first || order != lastOrder) {
            first = false;
            lastOrder = order;
            const QString name = row.text(u"名称");
            const QString article = row.text(u"奖品");
            if (currentPrizeOnly) {
                title = name + QStringLiteral("获奖名单");
                text += name + QStringLiteral("(奖品：") + article + u')' + CrLf;
            } else {
                title = QStringLiteral("获奖名单");
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
    // A part of the list would pass for all the winners.
    if (!read)
        return QString();
    if (!first && m_display)
        m_display->setBoardTitle(title);
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

    if (people < total && !prompt.question(QStringLiteral("获奖人数多于参与抽奖人数，是否继续抽奖？"),
                                          Prompt::Icon::None, Prompt::Default::Yes))
        return false;
    if (stored == 0)
        return true;
    // Drawing again on top of results that were meant to go would mix two draws.
    const auto deleteResults = [&] {
        if (m_db.ExecuteSql(Sql("DELETE * FROM 结果表 WHERE CID=") + Sql::number(drawId)))
            return true;
        prompt.message(QStringLiteral("原抽奖结果未能删除，抽奖没有开始。请检查数据库文件！"),
                       Prompt::Icon::Critical);
        return false;
    };
    if (stored < total) {
        if (prompt.question(
                QStringLiteral("部分奖项已经有抽奖结果，您是否要重新抽奖？") + CrLf + CrLf +
                QStringLiteral(
                    "（点“是”把原抽奖结果全部删除重新抽，点“否”保留原抽奖结果，继续抽未抽完奖项！）")))
            return deleteResults();
        return true;
    }
    if (!prompt.question(QStringLiteral(
            "所有奖项都已经有抽奖结果，您是否要重新抽奖？（重新抽奖将把原抽奖结果全部删除！）")))
        return false;
    return deleteResults();
}

bool DrawEngine::ClearPresetsAfterDraw(qint64 drawId)
{
    // "0", missing or empty: the preset editor's box "抽完立即清除本设置" is checked.
    const QString keep =
        ReadSetting(SettingsApplication, QStringLiteral("ReSet"), QStringLiteral("CHK"), QString());
    if (LeadingNumber(keep) != 0)
        return true;
    bool done = true;
    if (drawId == m_presetsDrawId) {
        // The presets this opening of the screen used; any stored since wait for the next.
        Database::Transaction transaction(m_db);
        for (qsizetype i = 0; i < m_presetRows.size() && done; ++i)
            done = m_db.ExecuteSql(Sql("DELETE FROM 预设表 WHERE rowid=") + Sql::number(m_presetRows.at(i)) +
                                   Sql(" AND PID=") + Sql::number(drawId));
        done = done && transaction.commit();
    } else {
        done = m_db.ExecuteSql(Sql("DELETE * FROM 预设表 WHERE PID=") + Sql::number(drawId));
    }
    if (done)
        return true;
    m_db.prompt().message(QStringLiteral("本次抽奖的预设获奖人员未能清除，请在预设窗口中检查并清除！"),
                          Prompt::Icon::Warning);
    return false;
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
