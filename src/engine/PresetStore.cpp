#include "PresetStore.h"

#include "data/Database.h"
#include "data/TextNumber.h"

#include <QSet>

namespace quilla {

namespace {

Sql presetsOf(qint64 drawId, qint64 prizeId)
{
    return Sql("PID=") + Sql::number(drawId) + Sql(" AND AID=") + Sql::number(prizeId);
}

// Number and name hashed as the UTF-8 texts the database keeps, without the spaces around them.
size_t personHash(QByteArrayView number, QByteArrayView name)
{
    return qHashMulti(0, trimmedUtf8(number), trimmedUtf8(name));
}

size_t personHash(const PresetPerson &person)
{
    return personHash(person.Code.toUtf8(), person.Name.toUtf8());
}

// Deletes the rows in one transaction: all of them go, or none.
bool deleteRows(Database &db, const QList<qint64> &rowIds)
{
    Database::Transaction transaction(db);
    bool done = db.isOpen();
    for (qsizetype i = 0; i < rowIds.size() && done; ++i)
        done = db.executeSql(Sql("DELETE FROM 预设表 WHERE rowid=") + Sql::number(rowIds.at(i)));
    return done && transaction.commit();
}

} // namespace

bool loadPrizePresets(Database &db, qint64 drawId, qint64 prizeId, QList<StoredPreset> &presets)
{
    presets.clear();
    QList<StoredPreset> read;
    const bool ok = db.forEachRow(
        Sql("SELECT rowid,Code,Name FROM 预设表 WHERE ") + presetsOf(drawId, prizeId), [&](const Row &row) {
            read.append({row.number(0), {row.text(1), row.text(2)}});
        });
    if (ok)
        presets = std::move(read);
    return ok;
}

bool DrawParticipants::read(Database &db, qint64 drawId)
{
    clear();
    QSet<size_t> hashes;
    // The texts are hashed as SQLite keeps them, without a string each: a draw holds tens of thousands.
    const bool read =
        db.forEachRow(Sql("SELECT 号码,姓名 FROM 号码表 WHERE CID=") + Sql::number(drawId),
                      [&](const Row &row) { hashes.insert(personHash(row.utf8View(0), row.utf8View(1))); });
    if (!read)
        return false;
    m_hashes = std::move(hashes);
    m_drawId = drawId;
    m_read = true;
    return true;
}

void DrawParticipants::clear()
{
    m_hashes.clear();
    m_drawId = 0;
    m_read = false;
}

bool DrawParticipants::mayContain(qint64 drawId, const PresetPerson &person) const
{
    return m_read && drawId == m_drawId && m_hashes.contains(personHash(person));
}

qint64 removeOrphanPresets(Database &db, qint64 drawId, const QList<StoredPreset> &presets,
                           const DrawParticipants &known)
{
    QList<StoredPreset> missing;
    for (const StoredPreset &preset : presets)
        if (!known.mayContain(drawId, preset.Person))
            missing.append(preset);
    if (missing.isEmpty())
        return 0;

    // The snapshot may be old: who is missing is asked of the file itself.
    constexpr qsizetype PerStatement = 500;
    QSet<PresetPerson> present;
    for (qsizetype first = 0; first < missing.size(); first += PerStatement) {
        Sql sql = Sql("SELECT 号码,姓名 FROM 号码表 WHERE CID=") + Sql::number(drawId) +
                  Sql(" AND trim(号码,") + Sql::text(trimmedSpaces()) + Sql(") IN (");
        const qsizetype last = std::min(missing.size(), first + PerStatement);
        for (qsizetype i = first; i < last; ++i) {
            if (i > first)
                sql += Sql(",");
            sql += Sql::text(trimmedNumber(missing.at(i).Person.Code));
        }
        sql += Sql(")");
        if (!db.forEachRow(sql, [&](const Row &row) { present.insert({row.text(0), row.text(1)}); }))
            return 0;
    }
    QList<qint64> orphans;
    for (const StoredPreset &preset : std::as_const(missing))
        if (!present.contains(preset.Person))
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

bool savePrizePresets(Database &db, qint64 drawId, qint64 prizeId,
                      const std::function<bool(const PresetPerson &)> &isShown,
                      const QList<PresetPerson> &marked)
{
    bool done = db.isOpen() && drawId > 0 && prizeId > 0;
    if (done) {
        Database::Transaction transaction(db);
        QList<StoredPreset> stored;
        // A prize deleted meanwhile would get presets that nothing shows or removes.
        done = prizeOfDrawExists(db, drawId, prizeId) && loadPrizePresets(db, drawId, prizeId, stored);
        QList<qint64> replaced;
        for (const StoredPreset &preset : std::as_const(stored))
            if (isShown(preset.Person))
                replaced.append(preset.RowId);
        for (qsizetype i = 0; i < replaced.size() && done; ++i)
            done = db.executeSql(Sql("DELETE FROM 预设表 WHERE rowid=") + Sql::number(replaced.at(i)));

        // One person wins a prize once, however often the grid lists them.
        QSet<PresetPerson> added;
        added.reserve(marked.size());
        Query rs = db.openQuery(Sql("SELECT * FROM 预设表 WHERE FALSE"));
        done = done && rs.isValid();
        for (qsizetype i = 0; i < marked.size() && done; ++i) {
            const PresetPerson &person = marked.at(i);
            if (added.contains(person))
                continue;
            added.insert(person);
            rs.addNew();
            rs.setValue(u"PID", drawId);
            rs.setValue(u"AID", prizeId);
            rs.setValue(u"Code", trimmedNumber(person.Code));
            rs.setValue(u"Name", trimmedNumber(person.Name));
            done = rs.save();
        }
        done = done && transaction.commit();
    }
    if (!done)
        db.prompt().message(QStringLiteral("预设项未能保存，数据库没有改变。"), Prompt::Icon::Warning);
    return done;
}

bool deletePrizePresets(Database &db, qint64 drawId, qint64 prizeId)
{
    const bool done =
        db.isOpen() && db.executeSql(Sql("DELETE * FROM 预设表 WHERE ") + presetsOf(drawId, prizeId));
    if (!done)
        db.prompt().message(QStringLiteral("本奖次的预设项未能清除，数据库没有改变。"),
                            Prompt::Icon::Warning);
    return done;
}

bool prizeOfDrawExists(Database &db, qint64 drawId, qint64 prizeId)
{
    return db.isOpen() && drawId > 0 && prizeId > 0 &&
           db.countRows(QStringLiteral("奖项表"),
                        Sql("ID=") + Sql::number(prizeId) + Sql(" AND CID=") + Sql::number(drawId)) > 0;
}

QString peopleText(const QList<PresetPerson> &people)
{
    constexpr qsizetype Named = 20;
    QStringList names;
    for (qsizetype i = 0; i < people.size() && i < Named; ++i) {
        const PresetPerson &person = people.at(i);
        const QString number = trimmedNumber(person.Code);
        const QString name = trimmedNumber(person.Name);
        names.append(name.isEmpty() ? number : number + u'(' + name + u')');
    }
    QString text = names.join(u'、');
    if (people.size() > Named)
        text += QStringLiteral("等%1人").arg(people.size());
    return text;
}

bool peopleOutOfPlay(Database &db, qint64 drawId, const QList<PresetPerson> &people,
                     QList<PresetPerson> &outOfPlay)
{
    outOfPlay.clear();
    if (people.isEmpty())
        return true;
    QSet<PresetPerson> wanted(people.cbegin(), people.cend());
    QSet<PresetPerson> won;
    const bool read = db.forEachRow(Sql("SELECT 结果表.号码,结果表.姓名,奖项表.重复 FROM 结果表,奖项表 WHERE "
                                        "结果表.CID=") +
                                        Sql::number(drawId) + Sql(" AND 结果表.WID=奖项表.ID"),
                                    [&](const Row &row) {
                                        if (row.flag(u"重复"))
                                            return;
                                        const PresetPerson person{row.text(0), row.text(1)};
                                        if (wanted.contains(person))
                                            won.insert(person);
                                    });
    if (!read)
        return false;
    for (const PresetPerson &person : people)
        if (won.remove(person))
            outOfPlay.append(person);
    return true;
}

} // namespace quilla
