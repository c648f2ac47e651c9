#include "data/DatabaseLock.h"
#include "data/StandbyCopy.h"
#include "support/TempDatabase.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <sqlite3.h>

#include <atomic>
#include <thread>

using namespace quilla;

namespace {

// A round as the draw stores it: its results in one transaction, through a connection of its own.
bool storeRound(sqlite3 *handle, int round, int places)
{
    bool done = sqlite3_exec(handle, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    for (int i = 0; done && i < places; ++i) {
        const QByteArray sql =
            QStringLiteral("INSERT INTO 结果表(CID,WID,号码,姓名) VALUES(%1,1,'%2','人')").arg(round).arg(i).toUtf8();
        done = sqlite3_exec(handle, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    return sqlite3_exec(handle, done ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr) == SQLITE_OK && done;
}

// What a copy holds: "ok" from the integrity check, and the rounds with their sizes.
QString checkCopy(const QString &path, QMap<int, int> &rounds)
{
    sqlite3 *handle = nullptr;
    QString check;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &handle, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(handle, "PRAGMA integrity_check", -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            check += QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
        sqlite3_finalize(stmt);
        sqlite3_prepare_v2(handle, "SELECT CID,COUNT(*) FROM 结果表 GROUP BY CID", -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            rounds.insert(sqlite3_column_int(stmt, 0), sqlite3_column_int(stmt, 1));
        sqlite3_finalize(stmt);
    }
    sqlite3_close(handle);
    return check;
}

qint64 resultsIn(const QString &path)
{
    QMap<int, int> rounds;
    if (checkCopy(path, rounds) != QStringLiteral("ok"))
        return -1;
    qint64 total = 0;
    for (const int places : rounds)
        total += places;
    return total;
}

} // namespace

class TestStandbyCopy : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    // Copies made while rounds are being stored pass the integrity check and hold whole rounds only.
    void copiesHoldWholeRoundsOnly()
    {
        TempDatabase t;
        sqlite3 *writer = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(t.path).constData(), &writer), SQLITE_OK);
        sqlite3_busy_timeout(writer, 5000);
        std::atomic<bool> stop{false};
        std::atomic<int> stored{0};
        std::thread rounds([&] {
            for (int round = 1; !stop && round < 100'000; ++round)
                stored += storeRound(writer, round, 200);
        });
        for (int i = 0; i < 6; ++i) {
            QString why;
            const QString target = t.dir.filePath(QStringLiteral("copy%1.mdb").arg(i));
            // From the program's own connection and from one of the worker's.
            QVERIFY2(i % 2 ? t.db.backupTo(target, why) : Database::copyDatabaseFile(t.path, target, why),
                     qPrintable(why));
            QMap<int, int> copied;
            QCOMPARE(checkCopy(target, copied), QStringLiteral("ok"));
            for (auto it = copied.cbegin(); it != copied.cend(); ++it)
                QCOMPARE(it.value(), 200);
            QVERIFY(!QFileInfo::exists(target + QStringLiteral(".part")));
        }
        stop = true;
        rounds.join();
        sqlite3_close(writer);
        QVERIFY(stored > 0);
        QString why;
        QVERIFY(!t.db.backupTo(t.path, why)); // never onto the file in use
    }

    // The standby copy tells once when its folder fails, keeps the draw going, and catches up.
    void theStandbyCopySurvivesItsFolderFailing_data()
    {
        QTest::addColumn<bool>("folderGone");
        QTest::newRow("folder pulled away") << true;
        QTest::newRow("copy's name taken") << false;
    }
    void theStandbyCopySurvivesItsFolderFailing()
    {
        QFETCH(bool, folderGone);
        TempDatabase t;
        const QString usb = t.dir.filePath(QStringLiteral("usb"));
        QVERIFY(QDir().mkpath(usb));
        StandbyCopy standby;
        QSignalSpy failed(&standby, &StandbyCopy::failed);
        QSignalSpy recovered(&standby, &StandbyCopy::recovered);
        standby.setSource(t.path);
        standby.setFolder(usb);
        const auto store = [&](int round) {
            QVERIFY(t.db.executeSql(Sql("INSERT INTO 结果表(CID,WID,号码) VALUES(") + Sql::number(round) +
                                    Sql(",1,'1')")));
            standby.request();
        };
        store(1);
        QTRY_VERIFY_WITH_TIMEOUT(standby.isIdle(), 10'000);
        QCOMPARE(resultsIn(standby.target()), 1);

        const QString away = usb + QStringLiteral("-away");
        if (folderGone)
            QVERIFY(QDir().rename(usb, away));
        else
            QVERIFY(QFile::remove(standby.target()) && QDir().mkpath(standby.target()));
        store(2);
        store(3);
        QTRY_VERIFY_WITH_TIMEOUT(standby.isIdle(), 10'000);
        QCOMPARE(failed.size(), 1); // once, however many rounds meet the failure
        QVERIFY(!failed.at(0).at(0).toString().isEmpty());

        if (folderGone)
            QVERIFY(QDir().rename(away, usb));
        else
            QVERIFY(QDir(standby.target()).removeRecursively());
        store(4);
        QTRY_VERIFY_WITH_TIMEOUT(standby.isIdle(), 10'000);
        QCOMPARE(recovered.size(), 1);
        QCOMPARE(resultsIn(standby.target()), 4);
        // The copy opens as the program opens a file.
        RecordingPrompt prompt;
        Database copy(prompt);
        QVERIFY(copy.openDatabase(standby.target()));
        QCOMPARE(copy.countRows(QStringLiteral("结果表"), Sql("TRUE")), 4);
    }

    // A folder that leads back to the live file, or that holds a file another running
    // copy of the program has open, never receives the copy: nothing is replaced, and
    // the operator hears why, louder from the second failure on.
    void theStandbyCopyNeverLandsOnAFileInUse_data()
    {
        QTest::addColumn<bool>("linkToLiveFolder");
        QTest::newRow("folder is a link to the program's own") << true;
        QTest::newRow("folder holds another program's file") << false;
    }
    void theStandbyCopyNeverLandsOnAFileInUse()
    {
        QFETCH(bool, linkToLiveFolder);
        TempDatabase t;
        QVERIFY(t.db.executeSql(Sql("INSERT INTO 结果表(CID,WID,号码) VALUES(1,1,'1')")));
        DatabaseLock ourLock(t.path);
        QCOMPARE(ourLock.acquire(), DatabaseLock::State::Held);
        QTemporaryDir elsewhere;
        const QString share = elsewhere.filePath(QStringLiteral("share"));
        std::unique_ptr<DatabaseLock> otherLock;
        if (linkToLiveFolder) {
#ifdef Q_OS_WIN
            QSKIP("QFile::link makes a shortcut on Windows, no second path to the folder");
#endif
            QVERIFY(QFile::link(t.dir.path(), share));
        } else {
            QVERIFY(QDir().mkpath(share));
            RecordingPrompt prompt;
            Database other(prompt);
            QVERIFY(other.openDatabase(QDir(share).filePath(QStringLiteral("Data.mdb"))));
            otherLock = std::make_unique<DatabaseLock>(QDir(share).filePath(QStringLiteral("Data.mdb")));
            QCOMPARE(otherLock->acquire(), DatabaseLock::State::Held);
        }
        const QString target = QDir(share).filePath(QStringLiteral("Data.mdb"));
        QFile targetFile(target);
        QVERIFY(targetFile.open(QIODevice::ReadOnly));
        const QByteArray targetBytes = targetFile.readAll();
        targetFile.close();

        StandbyCopy standby;
        QSignalSpy failed(&standby, &StandbyCopy::failed);
        QSignalSpy keepsFailing(&standby, &StandbyCopy::keepsFailing);
        standby.setSource(t.path);
        standby.setFolder(share);
        for (int i = 0; i < 3; ++i) {
            standby.request();
            QTRY_VERIFY_WITH_TIMEOUT(standby.isIdle(), 10'000);
        }
        QCOMPARE(failed.size(), 1);
        QCOMPARE(keepsFailing.size(), 2);
        const QString why = failed.at(0).at(0).toString();
        QVERIFY2(why.contains(linkToLiveFolder ? QStringLiteral("正在使用的数据库文件")
                                               : QStringLiteral("正被另一个Quilla抽奖使用")),
                 qPrintable(why));
        QFile after(target);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), targetBytes);
        QVERIFY(!QFileInfo::exists(target + QStringLiteral(".part")));
        // The program's connection still writes to the file on disk under its name.
        QVERIFY(t.db.executeSql(Sql("INSERT INTO 结果表(CID,WID,号码) VALUES(1,1,'2')")));
        QCOMPARE(resultsIn(t.path), 2);
    }

    // A copy killed part-way leaves its .part (and that one's journal) in the folder; the
    // next copy clears them once they are a minute old, and nothing else of the folder.
    void theNextCopyClearsWhatAKilledOneLeft()
    {
        TempDatabase t;
        const QString usb = t.dir.filePath(QStringLiteral("usb"));
        QVERIFY(QDir().mkpath(usb));
        const QDateTime old = QDateTime::currentDateTime().addSecs(-120);
        const QStringList names{QStringLiteral("A.mdb.part"), QStringLiteral("B.MDB.part-journal"),
                                QStringLiteral("young.mdb.part"), QStringLiteral("名单.xls"), QStringLiteral("C.mdb.partial")};
        for (const QString &name : names) {
            QFile file(QDir(usb).filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1 && file.flush());
            if (name != QStringLiteral("young.mdb.part"))
                QVERIFY(file.setFileTime(old, QFileDevice::FileModificationTime));
        }
        StandbyCopy standby;
        standby.setSource(t.path);
        standby.setFolder(usb);
        standby.request();
        QTRY_VERIFY_WITH_TIMEOUT(standby.isIdle(), 10'000);
        QStringList left = QDir(usb).entryList(QDir::Files);
        left.sort();
        QCOMPARE(left, QStringList({QStringLiteral("C.mdb.partial"), QFileInfo(t.path).fileName(),
                                    QStringLiteral("young.mdb.part"), QStringLiteral("名单.xls")}));
    }
};

QTEST_MAIN(TestStandbyCopy)
#include "tst_standbycopy.moc"
