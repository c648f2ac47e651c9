#pragma once

#include <QWidget>

#include <functional>

class QLineEdit;
class QPushButton;

namespace quilla {

// Adds one participant (number and name) to the draw on the participants tab.
// A modeless window owned by the management window, which deletes it once it has closed.
class ParticipantEntry : public QWidget
{
    Q_OBJECT

  public:
    // add stores the participant and says whether it did; when it did not, it
    // has told the operator why, and the window stays open for another try.
    using AddParticipant = std::function<bool(const QString &number, const QString &name)>;
    explicit ParticipantEntry(AddParticipant add, QWidget *parent = nullptr);

  Q_SIGNALS:
    // Emitted from the close event: delete the window later, not in the slot.
    void closed();

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    void add();

    QLineEdit *m_number;
    QLineEdit *m_name;
    AddParticipant m_add;
};

} // namespace quilla
