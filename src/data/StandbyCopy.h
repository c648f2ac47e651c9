#pragma once

#include <QObject>
#include <QString>

#include <atomic>

class QThread;

namespace quilla {

// Keeps a copy of the draw database in a folder of the operator's choice (a USB
// stick, a share), so that a second laptop can take over. Copies run on a thread
// of their own through their own connection: a round waits for none of it. A
// request while a copy runs is served by one more copy after it.
class StandbyCopy : public QObject
{
    Q_OBJECT

  public:
    explicit StandbyCopy(QObject *parent = nullptr);
    ~StandbyCopy() override;

    // The folder copies go to; empty turns copying off.
    void setFolder(const QString &folder);
    const QString &folder() const { return m_folder; }
    void setSource(const QString &databasePath);
    // Where the copy goes: the folder, under the database's own file name.
    QString target() const;
    // Copies soon: at once when idle, else right after the copy running.
    void request();
    // No copy running or waiting, and every result reported.
    bool isIdle() const { return m_busy == 0; }

  Q_SIGNALS:
    // A copy failed after one that did not (the operator hears once, not at every round).
    void failed(const QString &why);
    // The second failed copy in a row, and each one after it: the copy is falling
    // behind, and the operator must see it wherever they are.
    void keepsFailing(const QString &why);
    // A copy landed after one that failed.
    void recovered(const QString &target);
    void copied(); // every copy that landed

  private:
    void finished(bool landed, const QString &why);

    QThread *m_thread = nullptr;
    QObject *m_worker = nullptr;
    QString m_folder;
    QString m_source;
    std::atomic<bool> m_pending{false};
    std::atomic<int> m_busy{0};
    int m_failures = 0; // in a row
};

} // namespace quilla
