#include "PresetStore.h"

#include "data/Database.h"

#include <QSet>

namespace quilla {

namespace {

Sql presetsOf(qint64 drawId, qint64 prizeId)
{
    return Sql("PID=") + Sql::number(drawId) + Sql(" AND AID=") + Sql::number(prizeId);
}

// Deletes the rows in one transaction: all of them go, or none.
bool deleteRows(Database &db, const QList<qint64> &rowIds)
{
    Database::Transaction transaction(db);
    bool done = db.isOpen();
    for (qsizetype i = 0; i < rowIds.size() && done; ++i)
        done = db.ExecuteSql(Sql("DELETE FROM 预设表 WHERE rowid=") + Sql::number(rowIds.at(i)));
    return done && transaction.commit();
}

} // namespace

bool LoadPrizePresets(Database &db, qint64 drawId, qint64 prizeId, QList<StoredPreset> &presets)
{
    presets.clear();
    QList<StoredPreset> read;
    const bool ok = db.forEachRow(Sql("SELECT rowid,Code,Name FROM 预设表 WHERE ") + presetsOf(drawId, prizeId),
                                  [&](const Row &row) {
                                      read.append({row.number(0), {row.text(1), row.text(2)}});
                                  });
    if (ok)
        presets = std::move(read);
    return ok;
}

qint64 RemoveOrphanPresets(Database &db, qint64 drawId, const QList<StoredPreset> &presets)
{
    if (presets.isEmpty())
        return 0;
    QSet<PresetPerson> participants;
    const bool read =
        db.forEachRow(Sql("SELECT 号码,姓名 FROM 号码表 WHERE CID=") + Sql::number(drawId),
                      [&](const Row &row) { participants.insert({row.text(0), row.text(1)}); });
    if (!read)
        return 0;
    QList<qint64> orphans;
    for (const StoredPreset &preset : presets)
        if (!participants.contains(preset.Person))
            orphans.append(preset.RowId);
    if (orphans.isEmpty())
        return 0;
    if (!deleteRows(db, orphans)) {
        db.prompt().message(QStringLiteral("已不在抽奖名单中的人员的预设项未能删除，数据库没有改变。"),
                            Prompt::Icon::Warning);
        return -1;
    }
    return orphans.size();
}

bool SavePrizePresets(Database &db, qint64 drawId, qint64 prizeId,
                      const std::function<bool(const PresetPerson &)> &isShown,
                      const QList<PresetPerson> &marked)
{
    bool done = db.isOpen() && drawId > 0 && prizeId > 0;
    if (done) {
        Database::Transaction transaction(db);
        QList<StoredPreset> stored;
        done = LoadPrizePresets(db, drawId, prizeId, stored);
        QList<qint64> replaced;
        for (const StoredPreset &preset : std::as_const(stored))
            if (isShown(preset.Person))
                replaced.append(preset.RowId);
        for (qsizetype i = 0; i < replaced.size() && done; ++i)
            done = db.ExecuteSql(Sql("DELETE FROM 预设表 WHERE rowid=") + Sql::number(replaced.at(i)));

        // One person wins a prize once, however often the grid lists them.
        QSet<PresetPerson> added;
        added.reserve(marked.size());
        Query rs = db.OpenQuery(Sql("SELECT * FROM 预设表 WHERE FALSE"));
        done = done && rs.isValid();
        for (qsizetype i = 0; i < marked.size() && done; ++i) {
            const PresetPerson &person = marked.at(i);
            if (added.contains(person))
                continue;
            added.insert(person);
            rs.addNew();
            rs.setValue(u"PID", drawId);
            rs.setValue(u"AID", prizeId);
            rs.setValue(u"Code", person.Code);
            rs.setValue(u"Name", person.Name);
            done = rs.save();
        }
        done = done && transaction.commit();
    }
    if (!done)
        db.prompt().message(QStringLiteral("预设项未能保存，数据库没有改变。"), Prompt::Icon::Warning);
    return done;
}

bool ClearPrizePresets(Database &db, qint64 drawId, qint64 prizeId)
{
    const bool done = db.isOpen() && db.ExecuteSql(Sql("DELETE * FROM 预设表 WHERE ") + presetsOf(drawId, prizeId));
    if (!done)
        db.prompt().message(QStringLiteral("本奖次的预设项未能清除，数据库没有改变。"), Prompt::Icon::Warning);
    return done;
}

} // namespace quilla
