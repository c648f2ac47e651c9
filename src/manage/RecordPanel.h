#pragma once

#include <QWidget>

class QComboBox;
class QHBoxLayout;
class QPushButton;

namespace quilla {

class Database;
class RecordModel;
class RecordView;

// A tab of the management window that lists records: an optional draw chooser,
// a row of buttons and the list. The panel owns them; the management window
// only asks it to refresh or to show a draw.
class RecordPanel : public QWidget
{
    Q_OBJECT

  public:
    // withDrawChooser: the list shows one draw's records, chosen above it.
    RecordPanel(Database &db, const QString &caption, bool withDrawChooser, QWidget *parent = nullptr);

    RecordView *view() const { return m_view; }
    // The draw the chooser shows; 0 when there is none.
    qint64 chosenDraw() const;
    // Refills the chooser (its draw stays chosen while it exists) and the list.
    void refresh();
    // Chooses the draw and lists its records.
    void showDraw(qint64 drawId);

  Q_SIGNALS:
    // The operator chose a draw in this panel's chooser.
    void drawChosen(qint64 drawId);
    // The operator asked to export the list ("导出表格" in its pop-up menu).
    void exportRequested(RecordView *view);
    // A link of the empty list's line that names no button of the panel.
    void linkActivated(const QString &link);

  protected:
    // objectName: how tests and tools find the button; its caption is what the operator reads.
    QPushButton *addButton(const QString &caption, const QString &objectName);
    void setRecordModel(RecordModel *model, bool sortable);
    RecordModel *model() const { return m_model; }
    Database &db() const { return m_db; }
    QHBoxLayout *buttonRow() const { return m_buttons; }
    // Lists the records for the chosen draw (the whole table without a chooser).
    virtual void fill();

  private:
    void fillChooser(qint64 wanted);
    void showMenu(const QPoint &at);

    Database &m_db;
    QComboBox *m_chooser = nullptr;
    QHBoxLayout *m_buttons = nullptr;
    RecordView *m_view = nullptr;
    RecordModel *m_model = nullptr;
};

// The question before a delete, naming what goes: one record by its name, several by their count.
QString deleteQuestion(const QList<qint64> &keys, const QString &oneName, const QString &one,
                       const QString &many);

} // namespace quilla
