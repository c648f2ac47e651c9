// Recording a stopped round, the announcement board, and the questions before a draw.
#include "DrawEngine.h"
#include "RoundLog.h"
#include "WinnersBoard.h"

#include "data/Database.h"
#include "data/Settings.h"
#include "data/TextNumber.h"

namespace quilla {

namespace {

const QString CrLf = QStringLiteral("\r\n");

} // namespace

bool DrawEngine::recordRound(qint64 drawId, qint64 prizeId, QList<Candidate> &picks)
{
    // If the round cannot be stored, the picks the audience saw and the presets are
    // given back, so that a second stop can store the same round.
    const QList<Candidate> shown = picks;
    const QList<Candidate> presetsBefore = m_presets;
    const QList<qsizetype> applied = applyPresets(prizeId, picks);

    bool stored = false;
    // The pool follows this round itself; only others' changes build it again.
    const bool poolCurrent = m_poolStamp == m_db.storedStamp();
    {
        Database::Transaction transaction(m_db);
        Query rs = m_db.openQuery(Sql("SELECT * FROM 结果表 WHERE FALSE"));
        stored = m_db.isOpen();
        LoggedRound round{drawId, prizeId, prizeId == m_roundPrizeId ? m_roundInPlay : peopleInPlay(),
                          picks.size(), applied.size(), {}};
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
            round.resultIds.append(rs.number(u"ID"));
        }
        stored = stored && logRound(m_db, round) && transaction.commit();
    }
    if (!stored) {
        m_presets = presetsBefore;
        picks = shown;
        m_db.prompt().message(
            QStringLiteral("本轮抽奖结果未能保存到数据库，请检查数据库文件后重新抽取本轮！"),
            Prompt::Icon::Critical);
        return false;
    }
    if (poolCurrent)
        m_poolStamp = m_db.storedStamp();
    // Preset winners appear only once they are stored: the screen never names a
    // winner the database does not hold.
    if (!applied.isEmpty())
        showPicks(picks);

    const auto prize = std::find_if(m_prizes.cbegin() + 1, m_prizes.cend(),
                                    [&](const PrizeEntry &p) { return p.PrizeId == prizeId; });
    if (prize == m_prizes.cend())
        return true;
    if (!prize->Repeatable) {
        // The random winners, and the preset winners held for this prize.
        for (const Candidate &pick : std::as_const(picks))
            if (pick.PoolIndex >= 1)
                m_pool.withdraw(pick.PoolIndex);
        for (qsizetype j : applied)
            m_pool.withdraw(m_presets.at(j).PoolIndex);
        return true;
    }
    // A preset winner of a prize that may be won again plays on, free, once no preset of theirs is left.
    for (qsizetype j : applied) {
        const qsizetype slot = m_presets.at(j).PoolIndex;
        if (slot >= 1 && std::none_of(m_presets.cbegin(), m_presets.cend(), [&](const Candidate &preset) {
                return preset.PoolIndex == slot && !preset.Number.isEmpty();
            }))
            m_pool.release(slot);
    }
    return true;
}

QString DrawEngine::buildAnnouncement(qint64 drawId, qint64 prizeId, bool reverseOrder, bool currentPrizeOnly)
{
    WinnersBoard board;
    // A part of the list would pass for all the winners.
    if (!board.load(m_db, drawId, [this](const QString &number) { return displayNumber(number); }))
        return QString();
    const WinnersBoard::Options options{reverseOrder, currentPrizeOnly, prizeId};
    const QString title = board.title(options);
    if (title.isEmpty())
        return QString();
    if (m_display)
        m_display->setBoardTitle(title);
    return board.lines(options, 0, board.lineCount(options)).join(CrLf) + CrLf;
}

bool DrawEngine::confirmDrawStart(qint64 drawId)
{
    Prompt &prompt = m_db.prompt();
    const Sql ofDraw = Sql(" WHERE CID=") + Sql::number(drawId);
    // TOTAL, unlike SUM, cannot overflow on huge 数量 typed into other tools.
    const Query prizes =
        m_db.openQuery(Sql("SELECT COUNT(*) AS n,TOTAL(数量) AS total FROM 奖项表") + ofDraw);
    // The participants of this draw, not of every draw in the file.
    const Query people = m_db.openQuery(Sql("SELECT COUNT(*) AS n FROM 号码表") + ofDraw);
    const Query results = m_db.openQuery(Sql("SELECT COUNT(*) AS n FROM 结果表") + ofDraw);
    if (!prizes.isValid() || !people.isValid() || !results.isValid()) {
        tellUnreadable();
        return false;
    }
    if (prizes.number(u"n") == 0) {
        prompt.message(QStringLiteral("这个抽奖还没有设置奖项，不能开始抽奖。请先在“奖项设置”中添加奖项！"),
                       Prompt::Icon::Warning);
        return false;
    }
    if (people.number(u"n") == 0) {
        prompt.message(QStringLiteral("这个抽奖还没有名单，不能开始抽奖。请先在“抽奖号码”中导入名单（或把名单文件拖到列表上）！"),
                       Prompt::Icon::Warning);
        return false;
    }
    const qint64 total = prizes.number(u"total");
    const qint64 stored = results.number(u"n");

    if (people.number(u"n") < total &&
        !prompt.question(QStringLiteral("获奖人数多于参与抽奖人数，是否继续抽奖？"), Prompt::Icon::None,
                         Prompt::Default::Yes))
        return false;
    if (stored == 0)
        return true;
    // Drawing again on top of results that were meant to go would mix two draws.
    const auto deleteResults = [&] {
        Database::Transaction transaction(m_db);
        const Sql ofDraw = Sql("CID=") + Sql::number(drawId);
        if (logDeletion(m_db, ofDraw, Redraw) && m_db.executeSql(Sql("DELETE * FROM 结果表 WHERE ") + ofDraw) &&
            transaction.commit())
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

bool DrawEngine::clearPresetsAfterDraw(qint64 drawId)
{
    // "0", missing or empty: the preset editor's box "抽完立即清除本设置" is checked.
    const QString keep =
        readSetting(SettingsApplication, QStringLiteral("ReSet"), QStringLiteral("CHK"), QString());
    if (leadingNumber(keep) != 0)
        return true;
    bool done = true;
    if (drawId == m_presetsDrawId) {
        // The presets this opening of the screen read; any stored since wait for the
        // next. Rows are named by what they hold: 预设表 gives a deleted row's id to
        // the next one stored.
        Database::Transaction transaction(m_db);
        QSet<std::pair<qint64, Person>> deleted;
        for (qsizetype i = 0; i < m_presetsRead.size() && done; ++i) {
            const Candidate &preset = m_presetsRead.at(i);
            const std::pair<qint64, Person> identity{preset.Id, {preset.Number, preset.Name}};
            if (deleted.contains(identity))
                continue;
            deleted.insert(identity);
            done = m_db.executeSql(Sql("DELETE FROM 预设表 WHERE PID=") + Sql::number(drawId) +
                                   Sql(" AND AID=") + Sql::number(preset.Id) + Sql(" AND Code=") +
                                   Sql::text(preset.Number) + Sql(" AND Name=") + Sql::text(preset.Name));
        }
        done = done && transaction.commit();
    } else {
        done = m_db.executeSql(Sql("DELETE * FROM 预设表 WHERE PID=") + Sql::number(drawId));
    }
    if (done)
        return true;
    m_db.prompt().message(QStringLiteral("本次抽奖的预设获奖人员未能清除，请在预设窗口中检查并清除！"),
                          Prompt::Icon::Warning);
    return false;
}

void DrawEngine::showPicks(const QList<Candidate> &picks)
{
    QString text;
    for (qsizetype i = 0; i < picks.size(); ++i) {
        if (i > 0)
            text += CrLf;
        text += displayNumber(picks.at(i).Number);
    }
    // The screen repaints through its own event loop; nothing is pumped here.
    if (m_display)
        m_display->setPicksText(text);
}

} // namespace quilla
