#pragma once

#include "RecordPanel.h"

class QLabel;

namespace quilla {

class Progress;

// The "抽奖号码" tab: a draw's participants, imported, typed in, edited in place
// (the name) and pruned.
class ParticipantsPanel : public RecordPanel
{
    Q_OBJECT

  public:
    ParticipantsPanel(Database &db, Progress &progress, QWidget *parent = nullptr);

    // The draw the list shows, whose participants an edit or an addition writes to.
    qint64 listedDraw() const { return m_listedDraw; }
    // Stores a participant of the listed draw and shows it; false (after telling the operator) when
    // it could not be stored.
    bool addParticipant(qint64 drawId, const QString &number, const QString &name);

  public Q_SLOTS:
    void importParticipants() { Q_EMIT importRequested(chosenDraw()); }
    void enterParticipant() { Q_EMIT entryRequested(chosenDraw()); }
    void deleteSelectedParticipants();
    void removeDuplicates();

  Q_SIGNALS:
    void importRequested(qint64 drawId);
    void entryRequested(qint64 drawId);

  protected:
    void fill() override;

  private:
    void showCount();

    Progress &m_progress;
    QLabel *m_count = nullptr;
    qint64 m_listedDraw = 0;
};

} // namespace quilla
