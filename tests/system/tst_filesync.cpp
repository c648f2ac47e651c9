#include "system/FileSync.h"
#include "support/Unprivileged.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace quilla;

class TestFileSync : public QObject
{
    Q_OBJECT

  private:
    static bool write(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

    static QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

  private Q_SLOTS:
    void moveOver_data()
    {
        QTest::addColumn<bool>("targetExists");
        QTest::addColumn<bool>("sourceExists");
        QTest::addColumn<bool>("moved");
        QTest::newRow("new name") << false << true << true;
        QTest::newRow("replaces a file") << true << true << true;
        QTest::newRow("nothing to move") << true << false << false;
    }

    void moveOver()
    {
        QFETCH(bool, targetExists);
        QFETCH(bool, sourceExists);
        QFETCH(bool, moved);
        QTemporaryDir dir;
        const QString from = dir.filePath(QStringLiteral("新.tmp"));
        const QString to = dir.filePath(QStringLiteral("数据.mdb"));
        if (targetExists)
            QVERIFY(write(to, "old"));
        if (sourceExists)
            QVERIFY(write(from, "new"));
        QCOMPARE(quilla::moveOver(from, to), moved);
        QCOMPARE(read(to), moved ? QByteArray("new") : QByteArray(targetExists ? "old" : ""));
        QVERIFY(!QFile::exists(from));
        if (!moved)
            QVERIFY(!qt_error_string().isEmpty());
    }

    void replacedFileKeepsItsPermissions()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows files have no owner, group and other permissions to keep");
#endif
        QTemporaryDir dir;
        const QString from = dir.filePath(QStringLiteral("new"));
        const QString to = dir.filePath(QStringLiteral("old"));
        QVERIFY(write(from, "new") && write(to, "old"));
        QVERIFY(::chmod(QFile::encodeName(to).constData(), 0600) == 0);
        QVERIFY(::chmod(QFile::encodeName(from).constData(), 0644) == 0);
        QVERIFY(quilla::moveOver(from, to));
        struct stat status;
        QVERIFY(::stat(QFile::encodeName(to).constData(), &status) == 0);
        QCOMPARE(status.st_mode & 07777, 0600u);
    }

    void syncsWhatIsWritten()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("f")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write("unflushed") == 9);
        QVERIFY(syncFile(file));
        QCOMPARE(read(file.fileName()), QByteArray("unflushed"));
        QVERIFY(syncFolder(dir.path()));
        // A folder that cannot be synced is no failure of the disk.
        QVERIFY(syncFolder(dir.filePath(QStringLiteral("missing"))));
    }

    void canWriteIn_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("writable");
        QTest::newRow("open to all") << "open" << 0777 << true;
        QTest::newRow("read-only") << "locked" << 0555 << false;
        QTest::newRow("missing") << "" << 0 << false;
    }

    // As an ordinary user: root may write anywhere.
    void canWriteIn()
    {
        QFETCH(QString, folder);
        QFETCH(int, mode);
        QFETCH(bool, writable);
        if (mode == 0555)
            SKIP_WITHOUT_READ_ONLY_FOLDERS();
        QTemporaryDir dir;
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
        const QString path = dir.filePath(folder.isEmpty() ? QStringLiteral("missing") : folder);
        if (!folder.isEmpty())
            QVERIFY(QDir().mkpath(path) && ::chmod(QFile::encodeName(path).constData(), mode) == 0);
        QVERIFY(runAsOrdinaryUser([path, writable] { return quilla::canWriteIn(path) == writable; }));
        // Asking leaves nothing behind.
        QCOMPARE(QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 0);
        if (!folder.isEmpty())
            QVERIFY(::chmod(QFile::encodeName(path).constData(), 0700) == 0);
    }
};

QTEST_GUILESS_MAIN(TestFileSync)
#include "tst_filesync.moc"
