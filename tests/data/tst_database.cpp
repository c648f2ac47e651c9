#include "data/Chooser.h"
#include "data/ChineseOrder.h"
#include "data/Database.h"
#include "data/DatabaseLock.h"
#include "support/DamagedFile.h"
#include "support/TempDatabase.h"
#include "support/Unprivileged.h"
#include "support/WineGaps.h"
#include "system/ProcessUsage.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <sqlite3.h>


using namespace quilla;

namespace {

const QFile::Permissions Permissions0755 = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                           QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;

// The helper program beside this one, where the build puts both on every system.
QString commitProbe()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("commit_probe"));
}

} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT

  private:
    static qint64 addParticipant(Database &db, qint64 drawId, const QString &number, const QString &name)
    {
        Query rs = db.openQuery(Sql("SELECT * FROM 号码表 WHERE FALSE"));
        rs.addNew();
        rs.setValue(u"CID", drawId);
        rs.setValue(u"号码", number);
        rs.setValue(u"姓名", name);
        if (!rs.save())
            return -1;
        return rs.number(u"ID");
    }

    static QByteArray readAll(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return file.readAll();
    }

  private Q_SLOTS:
    void createsSchemaAndReopens()
    {
        TempDatabase t;
        for (const char *table : {"奖次表", "奖项表", "号码表", "结果表", "预设表"})
            QVERIFY2(t.db.tableExists(QString::fromUtf8(table)), table);
        QVERIFY(!t.db.tableExists(QStringLiteral("号码")));
        QVERIFY(!t.db.tableExists(QStringLiteral("sqlite_sequence")));

        const qint64 id = addParticipant(t.db, 3, QStringLiteral("1001"), QStringLiteral("张三"));
        QCOMPARE(id, 1);

        RecordingPrompt prompt;
        Database again(prompt);
        QVERIFY(again.openDatabase(t.path));
        QVERIFY(prompt.messages.isEmpty());
        QCOMPARE(again.lookupValue(QStringLiteral("号码表"), 1, QStringLiteral("ID"), QStringLiteral("姓名"))
                     .toString(),
                 QStringLiteral("张三"));
        QVERIFY(t.prompt.messages.isEmpty());
    }

    static void addParticipants(Database &db, int count)
    {
        Database::Transaction transaction(db);
        for (int i = 0; i < count; ++i)
            addParticipant(db, 1, QString::number(100000 + i), QStringLiteral("人%1").arg(i));
        QVERIFY(transaction.commit());
    }
    // A database file of twenty participants, closed again.
    static bool storeTwentyPeople(const QString &path)
    {
        RecordingPrompt prompt;
        Database db(prompt);
        if (!db.openDatabase(path))
            return false;
        addParticipants(db, 20);
        return true;
    }

    void emptyFileIsCreated()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Data.mdb"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        RecordingPrompt prompt;
        Database db(prompt);
        QVERIFY(db.openDatabase(path));
        QVERIFY(db.tableExists(QStringLiteral("结果表")));
    }

    void foreignFilesAreRefusedAndLeftAlone_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("isSqlite");
        QByteArray access(4096, '\0');
        access.replace(4, 15, "Standard Jet DB");
        QTest::newRow("old Access file") << access << false;
        QTest::newRow("garbage") << QByteArray("this is not a database at all\n").repeated(200) << false;
        QTest::newRow("someone else's SQLite file") << QByteArray() << true;
    }

    void foreignFilesAreRefusedAndLeftAlone()
    {
        QFETCH(QByteArray, contents);
        QFETCH(bool, isSqlite);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Data.mdb"));
        if (isSqlite) {
            sqlite3 *raw = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &raw), SQLITE_OK);
            // In WAL mode, as many programs keep theirs: even a read-only look would leave -shm behind.
            QCOMPARE(sqlite3_exec(
                         raw,
                         "PRAGMA journal_mode=WAL; CREATE TABLE 号码表 (x); INSERT INTO 号码表 VALUES (1)",
                         nullptr, nullptr, nullptr),
                     SQLITE_OK);
            sqlite3_close(raw);
        } else {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(contents);
        }
        const QByteArray before = readAll(path);

        RecordingPrompt prompt;
        Database db(prompt);
        QVERIFY(!db.openDatabase(path));
        QCOMPARE(prompt.messages.size(), 1);
        const QStringList lines = prompt.messages.first().split(u'\n');
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0), QStringLiteral("无法建立数据库连接！"));
        QVERIFY(lines.at(1).contains(QStringLiteral("Data.mdb")));

        // Everything behaves as empty, quietly, and nothing is written.
        QCOMPARE(db.openQuery(Sql("SELECT * FROM 号码表")).rowCount(), 0);
        QCOMPARE(db.countRows(QStringLiteral("号码表"), Sql()), 0);
        QVERIFY(!db.executeSql(Sql("DELETE * FROM 号码表 WHERE TRUE")));
        QVERIFY(addParticipant(db, 1, QStringLiteral("1"), QStringLiteral("x")) < 0);
        QCOMPARE(prompt.messages.size(), 1);
        QCOMPARE(readAll(path), before);
        for (const char *beside : {"-journal", "-wal", "-shm"})
            QVERIFY2(!QFile::exists(path + QString::fromLatin1(beside)), beside);
    }

    // Kills a writer between writing a change into the file and deleting its journal,
    // as a crash inside a commit does: the file holds half a change, the journal the rest.
    static void crashInsideACommit(const QString &path, const char *change = "DELETE FROM 号码表;"
                                                                          "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
                                                                          "SELECT i+1 FROM n WHERE i<3000) INSERT INTO "
                                                                          "号码表 (CID,号码,姓名) SELECT 1, i, "
                                                                          "printf('%0100d', i) FROM n;")
    {
        QProcess writer;
        writer.start(commitProbe(),
                     {QStringLiteral("--crash-inside-commit"), path, QString::fromUtf8(change)});
        QVERIFY(writer.waitForReadyRead(60'000));
        writer.kill();
        QVERIFY(writer.waitForFinished());
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);
        QVERIFY(QFileInfo(path + QStringLiteral("-journal")).size() > 0);
    }

    // The program was killed while a commit was on its way to the disk.
    void crashInsideACommitIsUndoneAtTheNextStart()
    {
        TempDatabase t;
        addParticipants(t.db, 3);
        const QByteArray before = readAll(t.path);
        crashInsideACommit(t.path);
        QVERIFY(readAll(t.path) != before); // the file holds half a change

        RecordingPrompt prompt;
        Database next(prompt);
        QVERIFY(next.openDatabase(t.path));
        QVERIFY2(prompt.messages.isEmpty(), qPrintable(prompt.messages.join(u'\n')));
        QCOMPARE(next.countRows(QStringLiteral("号码表"), Sql()), 3);
        QCOMPARE(next.lookupValue(QStringLiteral("号码表"), QStringLiteral("100000"), QStringLiteral("号码"),
                                  QStringLiteral("姓名")),
                 QVariant(QStringLiteral("人0")));
        QVERIFY(!QFile::exists(t.path + QStringLiteral("-journal")));
        QVERIFY(!QFile::exists(t.path + QStringLiteral("-wal")));
    }

    // A file from elsewhere that brings what could act, or lacks what we rely on, is
    // refused before anything is written; one that lacks only what an upgrade adds opens.
    void hostileFilesAreRefusedBeforeAnyWrite_data()
    {
        QTest::addColumn<QByteArray>("sql");
        QTest::addColumn<QString>("refusal"); // empty: the file opens
        QTest::newRow("trigger on results") << QByteArray("CREATE TRIGGER t AFTER INSERT ON 结果表 BEGIN "
                                                          "DELETE FROM 号码表 WHERE ID % 2 = 0; END")
                                            << QStringLiteral("文件中含有触发器，不是本程序的抽奖数据库");
        QTest::newRow("round log as a view with INSTEAD OF")
            << QByteArray("DROP TABLE 轮次表; CREATE VIEW 轮次表 AS SELECT * FROM 结果表;"
                          "CREATE TRIGGER t INSTEAD OF INSERT ON 轮次表 BEGIN "
                          "INSERT INTO 结果表 (CID,WID,号码,姓名) VALUES (1,1,'888888','内定'); END")
            << QStringLiteral("不是本程序的抽奖数据库");
        QTest::newRow("a view") << QByteArray("CREATE VIEW 名单 AS SELECT * FROM 号码表")
                                << QStringLiteral("文件中含有视图");
        QTest::newRow("extra table") << QByteArray("CREATE TABLE 其他 (x)")
                                     << QStringLiteral("多余的数据表“其他”");
        QTest::newRow("virtual table") << QByteArray("DROP TABLE 预设表; CREATE VIRTUAL TABLE 预设表 USING "
                                                     "fts5(PID, AID, Code, Name)")
                                       << QStringLiteral("不是本程序的抽奖数据库");
        QTest::newRow("results without names") << QByteArray("ALTER TABLE 结果表 DROP COLUMN 姓名")
                                               << QStringLiteral("数据表“结果表”缺少列“姓名”");
        QTest::newRow("200 000 views")
            << QByteArray("PRAGMA writable_schema=ON; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 "
                          "FROM n WHERE i<200000) INSERT INTO sqlite_master SELECT 'view','v'||i,'v'||i,0,"
                          "'CREATE VIEW v'||i||' AS SELECT 1' FROM n")
            << QStringLiteral("文件中的定义多于 300 项");
        QTest::newRow("version 2 without the round log")
            << QByteArray("DROP TABLE 轮次表; PRAGMA user_version=2") << QString();
        QTest::newRow("version 3 without the preset marks")
            << QByteArray("ALTER TABLE 轮次表 DROP COLUMN 预设结果ID") << QString();
        QTest::newRow("an index of someone's") << QByteArray("CREATE INDEX 姓名 ON 号码表 (姓名)") << QString();
    }

    void hostileFilesAreRefusedBeforeAnyWrite()
    {
        QFETCH(QByteArray, sql);
        QFETCH(QString, refusal);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Data.mdb"));
        QVERIFY(storeTwentyPeople(path));
        sqlite3 *raw = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &raw), SQLITE_OK);
        const int rc = sqlite3_exec(raw, sql.constData(), nullptr, nullptr, nullptr);
        QVERIFY2(rc == SQLITE_OK, sqlite3_errmsg(raw));
        sqlite3_close(raw);
        const QByteArray before = readAll(path);

        RecordingPrompt prompt;
        Database db(prompt);
        const double cpuStart = ownUsage().cpuSeconds; // not the clock: a loaded machine must not fail it
        const bool opened = db.openDatabase(path);
        const double cpu = ownUsage().cpuSeconds - cpuStart;
        QVERIFY2(cpu < 1.0, qPrintable(QString::number(cpu)));
        if (refusal.isEmpty()) {
            QVERIFY2(opened && prompt.messages.isEmpty(), qPrintable(prompt.messages.join(u'\n')));
            // What the upgrade added works: a round is logged with its marks.
            QVERIFY(db.executeSql(Sql("INSERT INTO 轮次表 (CID,结果ID,预设结果ID) VALUES (1,'1,2','1')")));
            QCOMPARE(db.countRows(QStringLiteral("号码表"), Sql()), 20);
            return;
        }
        QVERIFY(!opened);
        QCOMPARE(prompt.messages.size(), 1);
        QVERIFY2(prompt.messages.first().contains(refusal), qPrintable(prompt.messages.first()));
        QVERIFY(addParticipant(db, 1, QStringLiteral("1"), QStringLiteral("x")) < 0);
        QCOMPARE(readAll(path), before);
    }

    // A journal that belongs to another file is played back into this one only after
    // both are copied aside; when that damages the file, it ends as it came.
    void foreignJournalLeavesTheFileAsItCame()
    {
        // Closed before it is opened again: Windows replaces no file another connection holds.
        QTemporaryDir dir;
        const QString ours = dir.filePath(QStringLiteral("Data.mdb"));
        QVERIFY(storeTwentyPeople(ours));
        TempDatabase other;
        addParticipants(other.db, 3000);
        crashInsideACommit(other.path, "UPDATE 号码表 SET 姓名=printf('%0300d', ID) WHERE ID <= 600");
        QVERIFY(QFile::copy(other.path + QStringLiteral("-journal"), ours + QStringLiteral("-journal")));
        const QByteArray file = readAll(ours);
        const QByteArray journal = readAll(ours + QStringLiteral("-journal"));

        RecordingPrompt prompt;
        Database db(prompt);
        QVERIFY(!db.openDatabase(ours));
        QCOMPARE(prompt.messages.size(), 1);
        QVERIFY2(prompt.messages.first().contains(QStringLiteral("已损坏")), qPrintable(prompt.messages.first()));
        QCOMPARE(readAll(ours), file);
        QCOMPARE(readAll(ours + QStringLiteral("-journal")), journal);
        // The message names the copy, which holds both files as they came.
        const QRegularExpression aside(QStringLiteral("副本保存在：(.*)$"));
        const QString folder = aside.match(prompt.messages.first()).captured(1);
        QVERIFY2(QFileInfo(folder).isDir(), qPrintable(prompt.messages.first()));
        QCOMPARE(readAll(QDir(folder).filePath(QStringLiteral("Data.mdb"))), file);
        QCOMPARE(readAll(QDir(folder).filePath(QStringLiteral("Data.mdb-journal"))), journal);
    }

    // A bad sector in the middle of the participants.
    void damagedFileIsRefusedAndLeftAlone()
    {
        TempDatabase t;
        addParticipants(t.db, 3000);
        QVERIFY(damagePageHolding(t.path, QStringLiteral("人1500").toUtf8()));
        const QByteArray before = readAll(t.path);

        RecordingPrompt prompt;
        Database db(prompt);
        QVERIFY(!db.openDatabase(t.path));
        QCOMPARE(prompt.messages.size(), 1);
        QVERIFY(prompt.messages.first().startsWith(QStringLiteral("无法建立数据库连接！\n")));
        QVERIFY2(prompt.messages.first().contains(QStringLiteral("已损坏")),
                 qPrintable(prompt.messages.first()));
        QVERIFY(addParticipant(db, 1, QStringLiteral("1"), QStringLiteral("x")) < 0);
        QCOMPARE(readAll(t.path), before);

        // Damage found while the file is in use: a read that fails part-way gives nothing.
        QList<QString> seen;
        QVERIFY(!t.db.forEachRow(Sql("SELECT * FROM 号码表 WHERE CID=") + Sql::number(1),
                                 [&](const Row &row) { seen.append(row.text(u"号码")); }));
        QVERIFY(!seen.isEmpty()); // the rows before the bad page did arrive
        const Query all = t.db.openQuery(Sql("SELECT * FROM 号码表 WHERE CID=") + Sql::number(1));
        QCOMPARE(all.rowCount(), 0);
        QVERIFY(!all.isValid());
    }

    void fileLockedByAnotherProgramSaysSo()
    {
        TempDatabase t;
        sqlite3 *other = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(t.path).constData(), &other), SQLITE_OK);
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE; DELETE FROM 号码表;", nullptr, nullptr, nullptr),
                 SQLITE_OK);
        RecordingPrompt prompt;
        Database db(prompt);
        db.setBusyTimeout(50);
        QVERIFY(!db.openDatabase(t.path));
        QCOMPARE(prompt.messages.size(), 1);
        QVERIFY2(prompt.messages.first().contains(QStringLiteral("被其他程序锁定")),
                 qPrintable(prompt.messages.first()));
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        QVERIFY(db.openDatabase(t.path));
    }

    // The lock lives as long as its process: a copy that was killed, or a lock file
    // naming a process id that was reused, never refuses the next start.
    void oneRunningCopyPerDatabase_data()
    {
        QTest::addColumn<QString>("holder");
        QTest::newRow("a living copy") << QStringLiteral("live");
        QTest::newRow("a killed copy") << QStringLiteral("killed");
        QTest::newRow("a file naming this very process") << QStringLiteral("reused id");
    }
    void oneRunningCopyPerDatabase()
    {
        QFETCH(QString, holder);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Data.mdb"));
        QProcess child;
        if (holder == QStringLiteral("reused id")) {
            QFile stale(path + QStringLiteral(".lock"));
            QVERIFY(stale.open(QIODevice::WriteOnly));
            stale.write(QByteArray::number(QCoreApplication::applicationPid()) + "\nQuilla\nhost\n");
        } else {
            child.start(commitProbe(), {QStringLiteral("--hold-lock"), path});
            QVERIFY(child.waitForReadyRead(10'000));
            QCOMPARE(child.readAll().trimmed(), QByteArray("held"));
            DatabaseLock second(path);
            QCOMPARE(second.acquire(), DatabaseLock::State::InUse);
            QCOMPARE(second.holder(), QStringLiteral("进程 %1").arg(child.processId()));
            if (holder == QStringLiteral("live")) {
#ifndef Q_OS_WIN // QFile::link makes a shortcut there, no second path to the file
                // However the path is spelt, one file has one lock.
                const QString link = dir.filePath(QStringLiteral("link.mdb"));
                const QString folderLink = dir.filePath(QStringLiteral("again"));
                QVERIFY(QFile::link(path, link) && QFile::link(dir.path(), folderLink));
                for (const QString &other : {link, QDir(folderLink).filePath(QStringLiteral("Data.mdb"))}) {
                    DatabaseLock again(other);
                    QCOMPARE(again.acquire(), DatabaseLock::State::InUse);
                }
#endif
                child.kill();
                child.waitForFinished();
                return;
            }
            child.kill();
            QVERIFY(child.waitForFinished());
            QVERIFY(QFile::exists(path + QStringLiteral(".lock")));
        }
        {
            DatabaseLock next(path);
            // Windows may take a moment to release the locks of a process it ended.
            QTRY_COMPARE_WITH_TIMEOUT(next.acquire(), DatabaseLock::State::Held, 5000);
            DatabaseLock another(path);
            QCOMPARE(another.acquire(), DatabaseLock::State::InUse);
            QCOMPARE(another.holder(), QStringLiteral("进程 %1").arg(QCoreApplication::applicationPid()));
        }
        // A clean exit takes its lock file along.
        QVERIFY(!QFile::exists(path + QStringLiteral(".lock")));
    }

    void readOnlyFileIsOpenedWithAWarning()
    {
        SKIP_WITHOUT_READ_ONLY_FILES();
        TempDatabase t;
        addParticipants(t.db, 2);
        QVERIFY(QFile::setPermissions(t.dir.path(), Permissions0755));
        QVERIFY(QFile::setPermissions(t.path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        const QString path = t.path;
        QVERIFY(runAsOrdinaryUser([path] {
            RecordingPrompt prompt;
            Database db(prompt);
            return db.openDatabase(path) && db.isReadOnly() && prompt.messages.size() == 1 &&
                   prompt.messages.first().contains(QStringLiteral("只读")) &&
                   db.countRows(QStringLiteral("号码表"), Sql()) == 2 &&
                   !db.executeSql(Sql("DELETE * FROM 号码表 WHERE TRUE"));
        }));
        QVERIFY(!t.db.isReadOnly());
    }

    void installedProgramKeepsDrawsPerUser()
    {
        QTemporaryDir dir;
        const QString bin = dir.filePath(QStringLiteral("usr/bin"));
        const QString user = dir.filePath(QStringLiteral("user"));
        QVERIFY(QDir().mkpath(bin) && QDir().mkpath(dir.filePath(QStringLiteral("usr/share/applications"))));
        // A writable bin folder without the desktop entry is a portable copy: draws stay beside it.
        QCOMPARE(Database::choosePath(bin, user), QDir(bin).filePath(QStringLiteral("Data.mdb")));
        QFile entry(dir.filePath(QStringLiteral("usr/share/applications/org.quilla.Quilla.desktop")));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.close();
        QCOMPARE(Database::choosePath(bin, user), QDir(user).filePath(QStringLiteral("Data.mdb")));
    }

    void installedProgramIsRecognised_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("installed");
        QTest::newRow("portable copy") << "Quilla" << QStringList{"Quilla/quilla.exe"} << false;
        QTest::newRow("Windows installer's folder")
            << "Quilla" << QStringList{"Quilla/quilla.exe", "Quilla/Uninstall.exe"} << true;
        QTest::newRow("Debian package") << "usr/bin"
                                        << QStringList{"usr/share/applications/org.quilla.Quilla.desktop"} << true;
        QTest::newRow("desktop entry but no bin folder")
            << "opt/quilla" << QStringList{"opt/share/applications/org.quilla.Quilla.desktop"} << false;
    }

    void installedProgramIsRecognised()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, files);
        QFETCH(bool, installed);
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath(program)));
        for (const QString &name : files) {
            QVERIFY(QDir().mkpath(QFileInfo(dir.filePath(name)).absolutePath()));
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QCOMPARE(Database::isInstalledProgram(dir.filePath(program)), installed);
        const QString user = dir.filePath(QStringLiteral("user"));
        QCOMPARE(Database::choosePath(dir.filePath(program), user),
                 QDir(installed ? user : dir.filePath(program)).filePath(QStringLiteral("Data.mdb")));
    }

    void readOnlyProgramFolderKeepsItsDraws()
    {
        SKIP_WITHOUT_READ_ONLY_FOLDERS();
        QTemporaryDir dir;
        QVERIFY(QFile::setPermissions(dir.path(), Permissions0755));
        const QString program = dir.filePath(QStringLiteral("program"));
        const QString user = dir.filePath(QStringLiteral("user"));
        QVERIFY(QDir().mkpath(program) && QDir().mkpath(user));
        {
            RecordingPrompt prompt;
            Database db(prompt);
            QVERIFY(db.openDatabase(QDir(program).filePath(QStringLiteral("Data.mdb"))));
            addParticipants(db, 2);
        }
        QVERIFY(QFile::setPermissions(program, Permissions0755 & ~QFile::WriteOwner));
        QVERIFY(QFile::setPermissions(user, QFile::Permissions(0x7777)));
        QVERIFY(runAsOrdinaryUser([program, user] {
            const QString chosen = Database::choosePath(program, user);
            RecordingPrompt prompt;
            Database db(prompt);
            const bool copied = chosen == QDir(user).filePath(QStringLiteral("Data.mdb")) &&
                                db.openDatabase(chosen) && prompt.messages.isEmpty() &&
                                db.countRows(QStringLiteral("号码表"), Sql()) == 2;
            // Once the user's folder has a database, it is the one in use.
            db.executeSql(Sql("DELETE * FROM 号码表 WHERE TRUE"));
            return copied && Database::choosePath(program, user) == chosen &&
                   db.countRows(QStringLiteral("号码表"), Sql()) == 0;
        }));
        QVERIFY(QFile::setPermissions(program, Permissions0755));
        QCOMPARE(Database::choosePath(program, user), QDir(program).filePath(QStringLiteral("Data.mdb")));
    }

    // After the journal of a commit is deleted, the folder is synced: a power cut
    // cannot bring the journal back and undo the round.
    void commitSyncsTheFolderAfterTheJournalGoes()
    {
        const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
        if (strace.isEmpty())
            QSKIP("strace is not installed");
        TempDatabase t;
        const QString log = t.dir.filePath(QStringLiteral("trace.txt"));
        QProcess probe;
        probe.start(strace, {QStringLiteral("-f"), QStringLiteral("-o"), log, QStringLiteral("-e"),
                             QStringLiteral("trace=openat,unlink,unlinkat,fsync,fdatasync"),
                             commitProbe(), t.path});
        QVERIFY(probe.waitForFinished(30000));
        if (probe.exitCode() != 0 && (!QFile::exists(log) || probe.readAllStandardError().contains("ptrace")))
            QSKIP("strace cannot trace here");
        QCOMPARE(probe.exitCode(), 0);
        const QString trace = QString::fromUtf8(readAll(log));
        const qsizetype unlinked = trace.indexOf(QStringLiteral("Data.mdb-journal\")"));
        QVERIFY2(unlinked > 0, qPrintable(trace));
        const QString after = trace.mid(unlinked);
        const QRegularExpression folderOpened(QStringLiteral(R"(openat\(AT_FDCWD, ")") +
                                              QRegularExpression::escape(t.dir.path()) +
                                              QStringLiteral(R"(", [^)]*\) = (\d+))"));
        const QRegularExpressionMatch opened = folderOpened.match(after);
        QVERIFY2(opened.hasMatch(), qPrintable(after));
        QVERIFY2(after.contains(QStringLiteral("sync(") + opened.captured(1) + u')'), qPrintable(after));
    }

    void aggregatesAndLookups()
    {
        TempDatabase t;
        addParticipant(t.db, 1, QStringLiteral("1001"), QStringLiteral("甲"));
        addParticipant(t.db, 2, QStringLiteral("1002"), QStringLiteral("乙"));
        QCOMPARE(t.db.countRows(QStringLiteral("号码表"), Sql()), 2);
        QCOMPARE(t.db.countRows(QStringLiteral("号码表"), Sql("TRUE")), 2);
        QCOMPARE(t.db.countRows(QStringLiteral("号码表"), Sql("CID=") + Sql::number(2), QStringLiteral("*")),
                 1);

        // A text key is quoted, a numeric one is not; no match gives "".
        QCOMPARE(t.db.lookupValue(QStringLiteral("号码表"), QStringLiteral("1002"), QStringLiteral("号码"),
                                  QStringLiteral("姓名")),
                 QVariant(QStringLiteral("乙")));
        QCOMPARE(t.db.lookupValue(QStringLiteral("号码表"), 2, QStringLiteral("ID"), QStringLiteral("CID")),
                 QVariant(qint64(2)));
        QCOMPARE(t.db.lookupValue(QStringLiteral("号码表"), 99, QStringLiteral("ID"), QStringLiteral("姓名")),
                 QVariant(QString()));
        QVERIFY(t.prompt.messages.isEmpty());
    }

    void failedQueryShowsStatementAndIsEmpty()
    {
        TempDatabase t;
        const Sql bad = Sql("SELECT * FROM 号码表 WHERE 姓明=") + Sql::text(QStringLiteral("O'Brien"));
        Query rs = t.db.openQuery(bad);
        QCOMPARE(rs.rowCount(), 0);
        QVERIFY(rs.atEnd());
        QCOMPARE(t.prompt.messages,
                 QStringList{QStringLiteral("数据库打开错误(SELECT * FROM 号码表 WHERE 姓明='O'Brien')！")});

        t.prompt.clear();
        QCOMPARE(t.db.countRows(QStringLiteral("结果表"), Sql("CID=") + Sql::number(1), QStringLiteral("号")),
                 0);
        QCOMPARE(t.prompt.messages,
                 QStringList{QStringLiteral("数据库打开错误(SELECT 号 FROM 结果表 WHERE CID=1)！")});

        t.prompt.clear();
        QVERIFY(!t.db.executeSql(Sql("DELETE * FROM 无此表 WHERE TRUE")));
        QVERIFY(t.prompt.messages.isEmpty());
    }

    void valuesAreStoredExactly_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("apostrophe") << QStringLiteral("O'Brien");
        QTest::newRow("injection") << QStringLiteral("x'; DELETE * FROM 号码表");
        QTest::newRow("comment") << QStringLiteral("a' OR '1'='1' --");
        QTest::newRow("rare CJK and blanks") << QStringLiteral("  𠀀甲 ");
        QTest::newRow("noncharacters") << QStringLiteral("甲\uFFFF乙\uFFFE");
    }

    void valuesAreStoredExactly()
    {
        QFETCH(QString, name);
        TempDatabase t;
        const qint64 other = addParticipant(t.db, 1, QStringLiteral("1"), QStringLiteral("旁人"));
        const qint64 id = addParticipant(t.db, 1, QStringLiteral("2"), name);
        QVERIFY(t.db.executeSql(Sql("UPDATE 号码表 SET CID=") + Sql::text(QStringLiteral("1")) +
                                Sql(",号码=") + Sql::text(name) + Sql(",姓名=") + Sql::text(name) +
                                Sql(" WHERE ID=") + Sql::number(id)));
        Query rs = t.db.openQuery(Sql("SELECT * FROM 号码表 WHERE 姓名=") + Sql::text(name));
        QCOMPARE(rs.rowCount(), 1);
        QCOMPARE(rs.text(u"号码"), name);
        QCOMPARE(rs.text(u"姓名"), name);
        QCOMPARE(
            t.db.lookupValue(QStringLiteral("号码表"), other, QStringLiteral("ID"), QStringLiteral("姓名")),
            QVariant(QStringLiteral("旁人")));
        QCOMPARE(t.db.countRows(QStringLiteral("号码表"), Sql()), 2);
        QVERIFY(t.prompt.messages.isEmpty());
    }

    void jetFormsAreAccepted()
    {
        TempDatabase t;
        const qint64 id = addParticipant(t.db, 5, QStringLiteral("1"), QStringLiteral("a"));
        // The draw id travels quoted into the long column and is stored as a number.
        QVERIFY(t.db.executeSql(Sql("UPDATE 号码表 SET CID=") + Sql::text(QStringLiteral("6")) +
                                Sql(" WHERE ID=") + Sql::number(id)));
        QCOMPARE(t.db.countRows(QStringLiteral("号码表"), Sql("CID=") + Sql::number(6)), 1);
        QCOMPARE(t.db.lookupValue(QStringLiteral("号码表"), id, QStringLiteral("ID"), QStringLiteral("CID"))
                     .typeId(),
                 QMetaType::LongLong);

        Query prizes = t.db.openQuery(Sql("SELECT * FROM 奖项表 WHERE FALSE"));
        QCOMPARE(prizes.rowCount(), 0);
        QVERIFY(prizes.columns().contains(QStringLiteral("重复")));
        prizes.addNew();
        prizes.setValue(u"CID", 6);
        prizes.setValue(u"显示", true);
        QVERIFY(prizes.save());
        QVERIFY(prizes.number(u"ID") > 0);
        Query stored = t.db.openQuery(Sql("SELECT * FROM 奖项表 WHERE 显示=TRUE AND 重复=FALSE"));
        QCOMPARE(stored.rowCount(), 1);
        QVERIFY(stored.flag(u"显示"));
        QVERIFY(!stored.flag(u"重复"));
        QCOMPARE(stored.text(u"名称"), QString()); // defaults, never Null

        QVERIFY(t.db.executeSql(Sql("DELETE * FROM 号码表 WHERE CID=") + Sql::number(6)));
        QCOMPARE(t.db.countRows(QStringLiteral("号码表"), Sql("TRUE")), 0);
    }

    void changesAndDeletesThroughAResult()
    {
        TempDatabase t;
        for (int i = 1; i <= 3; ++i)
            addParticipant(t.db, 1, QString::number(1000 + i), QStringLiteral("人%1").arg(i));
        Query rs =
            t.db.openQuery(Sql("SELECT * FROM 号码表 WHERE CID=") + Sql::number(1) + Sql(" ORDER BY 号码"));
        QCOMPARE(rs.rowCount(), 3);
        rs.setValue(u"姓名", QStringLiteral("改名"));
        QVERIFY(rs.save());
        rs.next();
        QVERIFY(rs.remove());
        rs.next();
        QCOMPARE(rs.text(u"号码"), QStringLiteral("1003"));
        rs.next();
        QVERIFY(rs.atEnd());
        QCOMPARE(t.db.countRows(QStringLiteral("号码表"), Sql()), 2);
        QCOMPARE(t.db.lookupValue(QStringLiteral("号码表"), QStringLiteral("1001"), QStringLiteral("号码"),
                                  QStringLiteral("姓名")),
                 QVariant(QStringLiteral("改名")));
        // A join is not written back.
        Query joined = t.db.openQuery(Sql("SELECT a.* FROM 号码表 a, 奖次表 b"));
        joined.addNew();
        joined.setValue(u"姓名", QStringLiteral("x"));
        QVERIFY(!joined.save());
    }

    void transactionsAreAllOrNothing()
    {
        TempDatabase t;
        {
            Database::Transaction transaction(t.db);
            for (int i = 0; i < 10; ++i)
                QVERIFY(addParticipant(t.db, 1, QString::number(i), QString()) > 0);
            // Half-way a write fails: the caller gives up without committing.
            QVERIFY(!t.db.executeSql(Sql("INSERT INTO 号码表 (无此列) VALUES (1)")));
        }
        QCOMPARE(t.db.countRows(QStringLiteral("号码表"), Sql()), 0);

        {
            Database::Transaction outer(t.db);
            addParticipant(t.db, 1, QStringLiteral("kept"), QString());
            {
                Database::Transaction inner(t.db);
                addParticipant(t.db, 1, QStringLiteral("dropped"), QString());
            }
            QVERIFY(outer.commit());
        }
        QCOMPARE(t.db.countRows(QStringLiteral("号码表"), Sql()), 1);
        QCOMPARE(t.db.countRows(QStringLiteral("号码表"), Sql("号码=") + Sql::text(QStringLiteral("kept"))),
                 1);

        // Committed rows are in the file for any other reader at once.
        sqlite3 *raw = nullptr;
        QCOMPARE(sqlite3_open_v2(QFile::encodeName(t.path).constData(), &raw, SQLITE_OPEN_READONLY, nullptr),
                 SQLITE_OK);
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(raw, "SELECT COUNT(*) FROM 号码表", -1, &stmt, nullptr);
        QCOMPARE(sqlite3_step(stmt), SQLITE_ROW);
        QCOMPARE(sqlite3_column_int(stmt, 0), 1);
        sqlite3_finalize(stmt);
        sqlite3_close(raw);
    }

    void chooserItems()
    {
        QCOMPARE(chooserItemText(12, QStringLiteral("年会抽奖")), QStringLiteral("12‖年会抽奖"));
        QCOMPARE(chooserKey(QStringLiteral("12‖年会抽奖")), 12);
        QCOMPARE(chooserKey(QStringLiteral("7‖3 号")), 7);
        QCOMPARE(chooserKey(QString()), 0);
        QCOMPARE(chooserKey(QStringLiteral("‖x")), 0);

        TempDatabase t;
        QVERIFY(quilla::chooserItems(t.db, QStringLiteral("奖次表"), QStringLiteral("ID"), QStringLiteral("抽奖内容"),
                             Sql())
                    .isEmpty());
        Query draws = t.db.openQuery(Sql("SELECT * FROM 奖次表 WHERE FALSE"));
        for (const QString &name : {QStringLiteral("一"), QStringLiteral("二"), QStringLiteral("三")}) {
            draws.addNew();
            draws.setValue(u"抽奖内容", name);
            QVERIFY(draws.save());
        }
        QCOMPARE(quilla::chooserItems(t.db, QStringLiteral("奖次表"), QStringLiteral("ID"),
                              QStringLiteral("抽奖内容"), Sql("ID<") + Sql::number(3)),
                 (QStringList{QStringLiteral("2‖二"), QStringLiteral("1‖一")}));
    }

    // "COLLATE zh": digits by value, letters with either case together, names by pinyin.
    void chineseOrder_data()
    {
        QTest::addColumn<QStringList>("texts"); // in the order wanted
        QTest::newRow("numbers") << QStringList{"2", "010", "10", "A9", "a10", "B1"};
        QTest::newRow("phones") << QStringList{"13800000009", "13800000010", "138000000100"};
        QTest::newRow("names") << QStringList{"李四", "王五", "张三", "赵六"};
        QTest::newRow("latin first") << QStringList{"", "Zoe", "阿", "吖"};
        QTest::newRow("prefix") << QStringList{"张", "张三", "张三丰"};
    }

    void chineseOrder()
    {
        QFETCH(QStringList, texts);
        TempDatabase t;
        QVERIFY(t.db.executeSql(Sql("CREATE TABLE 排序 (文本 TEXT)")));
        for (auto it = texts.crbegin(); it != texts.crend(); ++it)
            QVERIFY(t.db.executeSql(Sql("INSERT INTO 排序 VALUES (") + Sql::text(*it) + Sql(")")));
        QStringList sorted;
        QVERIFY(t.db.forEachRow(Sql("SELECT 文本 FROM 排序 ORDER BY 文本 COLLATE zh"),
                                [&](const Row &row) { sorted.append(row.text(0)); }));
        QCOMPARE(sorted, texts);
        // The lists sort by keys made once each: the same order.
        QStringList byKey(texts.crbegin(), texts.crend());
        std::stable_sort(byKey.begin(), byKey.end(), [](const QString &a, const QString &b) {
            return chineseSortKey(a.toUtf8()) < chineseSortKey(b.toUtf8());
        });
        QCOMPARE(byKey, texts);
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
