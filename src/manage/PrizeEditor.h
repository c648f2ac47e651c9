#pragma once

#include <QString>
#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quilla {

class Database;

// Adds a prize to a draw or changes one: one row of 奖项表. A modeless window
// owned by the management window, which deletes it once it has closed.
class PrizeEditor : public QWidget
{
    Q_OBJECT

  public:
    explicit PrizeEditor(Database &db, QWidget *parent = nullptr);

    // The prize's key: 0 for a new prize; a key above 0 loads that row.
    void setID(qint64 id);
    // The draw a new prize belongs to, and its place in the draw order.
    void setCID(qint64 drawId) { m_cid = drawId; }
    void setOrd(const QString &order) { m_ord = order; }
    qint64 ID() const { return m_id; }
    qint64 CID() const { return m_cid; }
    QString ord() const { return m_ord; }

  Q_SIGNALS:
    void saved();
    // Emitted from the close event: delete the window later, not in the slot.
    void closed();

  protected:
    void closeEvent(QCloseEvent *event) override;

  private Q_SLOTS:
    void saveAndClose();

  private:
    void load();
    bool save();

    Database &m_db;
    QLineEdit *m_name;
    QLineEdit *m_quantity; // winners in all
    QLineEdit *m_perRound; // winners per stop
    QCheckBox *m_shownOnBoard;
    QCheckBox *m_repeatable;
    QPlainTextEdit *m_article;
    qint64 m_id = 0;
    qint64 m_cid = 0;
    QString m_ord = QStringLiteral("0");
};

} // namespace quilla
