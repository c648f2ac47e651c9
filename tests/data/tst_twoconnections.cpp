#include "support/TempDatabase.h"

#include <QDeadlineTimer>
#include <QThread>

#include <atomic>
#include <chrono>
#include <thread>

using namespace quilla;

// Two connections to one file in one program, as the draw and the phone server have.
class TestTwoConnections : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    // A transaction that reads and then writes must wait for the other writer, never be
    // refused at once (SQLite refuses a read lock's upgrade while another connection writes).
    void readThenWriteBesideAnotherWriter()
    {
        TempDatabase file;
        std::atomic<bool> done{false};
        std::atomic<int> otherCommits{0};
        std::thread other([&] {
            RecordingPrompt prompt;
            Database db(prompt);
            if (!db.openDatabase(file.path))
                return;
            while (!done) {
                Database::Transaction transaction(db);
                if (db.executeSql(Sql("INSERT INTO 号码表(CID,号码,姓名) VALUES(2,'b','')")) && transaction.commit())
                    ++otherCommits;
                // A writer that never let go would starve any other past its busy timeout;
                // the phone server writes in batches, so does this one.
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        // Begins once the other is writing, however late a loaded machine starts its thread.
        for (QDeadlineTimer deadline(5000); otherCommits == 0 && !deadline.hasExpired();)
            QThread::msleep(1);
        int refused = 0;
        for (int i = 0; i < 40; ++i) {
            Database::Transaction transaction(file.db);
            file.db.countRows(QStringLiteral("号码表"), Sql("CID=1"));
            QThread::msleep(2);
            if (!file.db.executeSql(Sql("INSERT INTO 号码表(CID,号码,姓名) VALUES(1,'a','')")) || !transaction.commit())
                ++refused;
        }
        done = true;
        other.join();
        QVERIFY(otherCommits > 0);
        QCOMPARE(refused, 0);
        QCOMPARE(file.db.countRows(QStringLiteral("号码表"), Sql("CID=1")), 40);
    }
};

QTEST_GUILESS_MAIN(TestTwoConnections)
#include "tst_twoconnections.moc"
