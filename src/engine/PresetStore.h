#pragma once

#include "DrawState.h"

#include <QHashFunctions>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>

namespace quilla {

class Database;

// A participant as a preset names one: number (Code) and name. Both compare
// without the spaces around them, as the draw compares them.
struct PresetPerson
{
    QString Code;
    QString Name;

    friend bool operator==(const PresetPerson &a, const PresetPerson &b)
    {
        return trimmedNumber(QStringView(a.Name)) == trimmedNumber(QStringView(b.Name)) &&
               trimmedNumber(QStringView(a.Code)) == trimmedNumber(QStringView(b.Code));
    }
    friend size_t qHash(const PresetPerson &person, size_t seed = 0)
    {
        return qHashMulti(seed, trimmedNumber(QStringView(person.Code)),
                          trimmedNumber(QStringView(person.Name)));
    }
};

// People as a message names them: 1001(张三)、1002, the first few of a long list.
QString peopleText(const QList<PresetPerson> &people);

// A row of 预设表 for one prize, with the rowid that deletes exactly it.
struct StoredPreset
{
    qint64 RowId = 0;
    PresetPerson Person;
};

// The preset editor's side of 预设表: the presets of one prize of a draw, read,
// pruned, replaced and cleared. Every write is one transaction; on failure the
// table is as it was and the operator has been told.

// The presets of prize prizeId of draw drawId in 预设表 order. False, with none,
// when the read failed.
bool loadPrizePresets(Database &db, qint64 drawId, qint64 prizeId, QList<StoredPreset> &presets);

// The participants of one draw as hashes of number and name: tells at once that
// a person is not in the draw, without a query per person. A snapshot as of read();
// equal hashes (a person since gone, or a collision) say "maybe there".
class DrawParticipants
{
  public:
    // False, with nothing known, when the read failed.
    bool read(Database &db, qint64 drawId);
    void clear();
    // False when the person was not in the draw when it was read (or nothing was read).
    bool mayContain(qint64 drawId, const PresetPerson &person) const;

  private:
    QSet<size_t> m_hashes;
    qint64 m_drawId = 0;
    bool m_read = false;
};

// Deletes those of the given presets whose participant is no longer in the draw:
// no row of 号码表 of the draw has the same 号码 and 姓名. Presets that known may
// contain stay; the others are looked up afresh, a few hundred to a statement, and
// only those still missing go. Returns how many went; 0 when the participants could
// not be read (nothing is deleted on a partial read), -1 when the delete failed.
qint64 removeOrphanPresets(Database &db, qint64 drawId, const QList<StoredPreset> &presets,
                           const DrawParticipants &known);

// Stores the marks of one prize: deletes the prize's presets whose participant
// isShown, then adds one preset per marked participant, in the order given and
// each once, its number and name trimmed. Presets of participants not shown stay as they are.
bool savePrizePresets(Database &db, qint64 drawId, qint64 prizeId,
                      const std::function<bool(const PresetPerson &)> &isShown,
                      const QList<PresetPerson> &marked);

// Deletes every preset of the prize.
bool deletePrizePresets(Database &db, qint64 drawId, qint64 prizeId);

// The prize is still one of the draw's (false also when that cannot be read).
bool prizeOfDrawExists(Database &db, qint64 drawId, qint64 prizeId);

// Those of people who already won a prize of draw drawId that nobody wins twice:
// out of play for the rest of the draw, whatever prize they are marked for, so
// the draw will not use a preset for them. False, with none, when the results
// could not be read.
bool peopleOutOfPlay(Database &db, qint64 drawId, const QList<PresetPerson> &people,
                     QList<PresetPerson> &outOfPlay);

} // namespace quilla
