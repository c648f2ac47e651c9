#pragma once

#include "RecordPanel.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace quilla {

class Progress;

// The "抽奖号码" tab: a draw's participants, imported, typed in, edited in place
// (the name) and pruned; and who of them is in the hall: checked in at the door
// (a number typed or scanned, then Enter), from a list, or marked in the list.
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
    void focusCheckIn();

  public Q_SLOTS:
    void importParticipants() { Q_EMIT importRequested(chosenDraw()); }
    void enterParticipant() { Q_EMIT entryRequested(chosenDraw()); }
    void deleteSelectedParticipants();
    void removeDuplicates();
    void checkInTyped();
    void checkInSelected();
    void restoreSelected();
    void importCheckInList() { Q_EMIT checkInListRequested(chosenDraw()); }

  Q_SIGNALS:
    void importRequested(qint64 drawId);
    void entryRequested(qint64 drawId);
    void checkInListRequested(qint64 drawId);
    void templateRequested();
    // A file the import reads was dropped on the tab.
    void fileDropped(qint64 drawId, const QString &path);

  protected:
    void fill() override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

  private:
    void showCount();
    // The list shows what is stored now, its rows as they stand.
    void showPresenceChanged();
    void followOtherWriters();
    void setPresenceOfSelection(int presence, const QString &done);
    void showAnswer(const QString &text, bool good);

    Progress &m_progress;
    QLabel *m_count = nullptr;
    QLineEdit *m_checkInBox = nullptr;
    QLabel *m_answer = nullptr;
    QLabel *m_checkedInCount = nullptr;
    QComboBox *m_presenceFilter = nullptr;
    qint64 m_listedDraw = 0;
    // Rows checked in, counted when the file last changed under us.
    qint64 m_checkedIn = 0;
    std::pair<qint64, qint64> m_countStamp{-1, -1};
    qint64 m_othersVersion = -1; // the file's data_version the list last showed
};

} // namespace quilla
