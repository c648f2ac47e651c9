#pragma once

#include <QSet>
#include <QTableView>

class QLabel;

#include <utility>
#include <vector>

namespace quilla {

class RecordModel;

// The program's list of records: whole rows are selected (Qt's selection is the
// only one), a title click sorts by its column, the row numbers stand in the
// "序号" column at the left whatever the sideways scroll, and the pop-up menu
// opens with the right button, the menu key or Shift+F10.
class RecordView : public QTableView
{
    Q_OBJECT

  public:
    explicit RecordView(QWidget *parent = nullptr);

    void setRecordModel(RecordModel *model, bool sortable);
    RecordModel *recordModel() const { return m_model; }
    // The keys of the selected records, top to bottom: read or not, and after a sort too.
    QList<qint64> selectedKeys() const;
    // Selects the record's row, when it is read, and shows it.
    void selectKey(qint64 key);
    // An edit still open is stored (or refused) before the list changes under it.
    void commitEditing();
    // Column widths to their contents, none wider than half the list.
    void fitColumns();
    // Presses on the column (or on a row's number), and the space bar, mark rows instead of
    // selecting them; a press on its title marks or clears them all.
    void setMarkColumn(int column);
    // A line in the middle of the list while it is empty, saying what to do next; its
    // links (<a href="…">) are followed through emptyLinkActivated. Screen readers read it.
    void setEmptyText(const QString &text);
    // A cell's editor is open.
    bool isEditing() const { return state() == EditingState; }

  Q_SIGNALS:
    void emptyLinkActivated(const QString &link);
    // A double-click on a row, on its cells or its number.
    void rowActivated(int row);
    // The pop-up menu is asked for, at a point on the screen.
    void menuRequested(const QPoint &globalPosition);
    // A mark is asked for: with extend (Shift held), the rows from the last one marked.
    void markPressed(int row, bool extend);
    void markAllPressed();
    // Delete was pressed: the owner asks whether the selection goes.
    void deleteRequested();

  protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyboardSearch(const QString &search) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

  private:
    QPoint menuPoint() const;
    // The selection as keys while the model is reset under it (a sort, a reload).
    void keepSelection();
    void restoreSelection();
    // The selected rows as runs, top to bottom, without overlaps.
    std::vector<std::pair<int, int>> selectedRuns() const;

    void showEmptyText();

    RecordModel *m_model = nullptr;
    QLabel *m_empty = nullptr;
    int m_markColumn = -1;
    QString m_keptList; // the filter the kept selection belongs to
    QSet<qint64> m_keptKeys;
    bool m_keptAll = false;
    qint64 m_keptCurrent = 0;
    int m_keptColumn = 0;
};

} // namespace quilla
