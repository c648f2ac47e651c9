#include "app/StartDatabase.h"
#include "data/Database.h"
#include "support/RecordingPrompt.h"
#include "support/Unprivileged.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quilla;

class TestStartDatabase : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    // A copy in a read-only folder says so at start, keeps its draws apart from an
    // installed copy's, and offers the file beside it: copied, or opened read-only.
    void readOnlyProgramFolderIsSaid_data()
    {
        QTest::addColumn<bool>("besideExists");
        QTest::addColumn<QList<bool>>("answers"); // one start per answer, two at least
        QTest::addColumn<bool>("usesBeside");
        QTest::newRow("nothing beside") << false << QList<bool>{} << false;
        QTest::newRow("beside copied") << true << QList<bool>{true} << false;
        QTest::newRow("beside opened read-only") << true << QList<bool>{false} << true;
        QTest::newRow("later: own kept") << true << QList<bool>{true, false} << false;
        QTest::newRow("later: beside opened") << true << QList<bool>{true, true} << true;
    }
    void readOnlyProgramFolderIsSaid()
    {
        QFETCH(bool, besideExists);
        QFETCH(QList<bool>, answers);
        QFETCH(bool, usesBeside);
        SKIP_WITHOUT_READ_ONLY_FOLDERS();
        QTemporaryDir dir;
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                              QFile::ReadOther | QFile::ExeOther);
        const QString program = dir.filePath(QStringLiteral("程序"));
        const QString user = dir.filePath(QStringLiteral("user"));
        QVERIFY(QDir().mkpath(program) && QDir().mkpath(user));
        const QString beside = QDir(program).filePath(QStringLiteral("Data.mdb"));
        if (besideExists) {
            RecordingPrompt prompt;
            Database db(prompt);
            QVERIFY(db.openDatabase(beside));
            QVERIFY(db.executeSql(Sql("INSERT INTO 号码表(CID,号码,姓名) VALUES(1,'1001','张三')")));
        }
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther |
                                                   QFile::ExeOther));
        QVERIFY(QFile::setPermissions(user, QFile::Permissions(0x7777)));
        QVERIFY(runAsOrdinaryUser([&] {
            RecordingPrompt prompt;
            prompt.answers = answers;
            QString chosen;
            bool readOnly = false;
            for (qsizetype start = 0; start < std::max<qsizetype>(answers.size(), 2); ++start) {
                chosen = chooseStartDatabase(prompt, program, user);
                Database db(prompt);
                if (!db.openDatabase(chosen) ||
                    db.countRows(QStringLiteral("号码表"), Sql()) != (besideExists ? 1 : 0))
                    return false;
                readOnly = db.isReadOnly();
            }
            // Told every start that has a choice to make, and once when there is none.
            const bool told = besideExists ? prompt.questions.size() == std::max<qsizetype>(answers.size(), 2)
                                           : prompt.messages.size() == 1 && prompt.questions.isEmpty();
            return told && readOnly == usesBeside &&
                   (usesBeside ? chosen == beside
                               : chosen.startsWith(user + u'/') &&
                                     chosen != QDir(user).filePath(QStringLiteral("Data.mdb")));
        }));
    }
};

QTEST_GUILESS_MAIN(TestStartDatabase)
#include "tst_startdatabase.moc"
