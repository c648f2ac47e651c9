// Preset winners: participants named in advance as the winners of a prize.
#include "DrawEngine.h"

#include "data/Database.h"

#include <QHash>
#include <QSet>

namespace quilla {

bool DrawEngine::LoadPresets(qint64 drawId)
{
    m_presets.clear();
    m_presetRows.clear();
    m_presetsDrawId = 0;
    QList<Candidate> presets;
    QList<qint64> rows;
    const bool read = m_db.forEachRow(
        Sql("SELECT rowid AS PresetRow, * FROM 预设表 WHERE PID=") + Sql::number(drawId), [&](const Row &row) {
            Candidate preset;
            preset.Number = row.text(u"Code"); // as stored: blanks are kept
            preset.Name = row.text(u"Name");
            preset.Id = row.number(u"AID");
            presets.append(preset);
            rows.append(row.number(u"PresetRow"));
        });
    if (read) {
        m_presets = std::move(presets);
        m_presetRows = std::move(rows);
        m_presetsDrawId = drawId;
    }
    return read;
}

void DrawEngine::WithholdPresets()
{
    QSet<std::pair<QString, QString>> presets;
    for (const Candidate &preset : std::as_const(m_presets))
        if (!preset.Number.isEmpty())
            presets.insert({preset.Number, preset.Name});
    if (presets.isEmpty())
        return;
    const QList<Candidate> &slots = m_pool.slots();
    for (qsizetype slot = 1; slot < slots.size(); ++slot) {
        const Candidate &candidate = slots.at(slot);
        if (!candidate.Number.isEmpty() && presets.contains({candidate.Number, candidate.Name}))
            m_pool.withdraw(slot);
    }
}

bool DrawEngine::ApplyPresets(qint64 prizeId, QList<Candidate> &picks)
{
    bool replaced = false;
    qsizetype next = 0; // presets before this one are used or meant for other prizes
    for (Candidate &pick : picks) {
        while (next < m_presets.size() &&
               (m_presets.at(next).Number.isEmpty() || m_presets.at(next).Id != prizeId))
            ++next;
        if (next == m_presets.size())
            break;
        pick = m_presets.at(next);
        pick.PoolIndex = 0;
        m_presets[next].Number.clear(); // used
        replaced = true;
    }
    return replaced;
}

} // namespace quilla
