#include "engine/Maintenance.h"
#include "report/DrawReport.h"
#include "manage/DatabaseActions.h"
#include "manage/ManagementWindow.h"
#include "support/DrawFixture.h"
#include "support/FakeMusic.h"
#include "support/RecordingProgress.h"
#include "support/TempSettings.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using namespace quilla;

namespace {

struct Window : DrawFixture
{
    Window()
    {
        window = std::make_unique<ManagementWindow>(db, engine, progress, music);
        actions = window->databaseActions();
        actions->chooseSaveFile = [this](const QString &, const QString &, const QString &) { return savePath; };
        actions->chooseOpenFile = [this](const QString &, const QString &) { return openPath; };
        actions->chooseFolder = [this](const QString &) { return folder; };
        actions->openFile = [this](const QString &path) { opened = path; };
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void trigger(const char *name) { window->findChild<QAction *>(QString::fromLatin1(name))->trigger(); }
    QString label(const char *name) { return window->findChild<QLabel *>(QString::fromLatin1(name))->text(); }

    // A draw of two prizes: the first drawn, then cancelled in part, the second drawn.
    qint64 drawAParty(const QString &everyone = {})
    {
        const qint64 draw = addDraw(QStringLiteral("公司年会"));
        const qint64 first = addPrize(draw, 1, QStringLiteral("一等奖"), 1, 1, false, QStringLiteral("笔记本电脑"));
        const qint64 second = addPrize(draw, 2, QStringLiteral("二等奖"), 2, 2, false, QStringLiteral("电饭煲"));
        addParticipants(draw, 5);
        db.executeSql(Sql("UPDATE 号码表 SET 姓名='张三' WHERE 号码='1001'"));
        if (!everyone.isEmpty())
            db.executeSql(Sql("UPDATE 号码表 SET 姓名=") + Sql::text(everyone));
        else
            addPreset(draw, second, QStringLiteral("1001"), QStringLiteral("张三"));
        engine.CurrentDraw.Id = draw;
        engine.loadDraw();
        QList<Candidate> picks;
        while (engine.startRound(picks) > 0)
            engine.recordRound(draw, engine.prizes().at(engine.currentPrize()).PrizeId, picks);
        deletePrizes(db, {first});
        return draw;
    }

    TempSettings settings;
    RecordingProgress progress;
    FakeMusic music;
    std::unique_ptr<ManagementWindow> window;
    DatabaseActions *actions = nullptr;
    QString savePath, openPath, folder, opened;
};

QString pdfText(const QString &path, const QStringList &options = {})
{
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"),
                    options + QStringList{QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")});
    pdftotext.waitForFinished(30'000);
    return QString::fromUtf8(pdftotext.readAllStandardOutput());
}

} // namespace

class TestDatabaseFile : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    // 抽奖报告 as PDF (read back by pdftotext: Chinese text, fonts embedded) and as HTML.
    void theReportTellsTheDraw_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("pdf") << QStringLiteral("报告.pdf");
        QTest::newRow("html") << QStringLiteral("报告.html");
    }
    void theReportTellsTheDraw()
    {
        QFETCH(QString, file);
        const bool pdf = file.endsWith(QStringLiteral(".pdf"));
        if (pdf && QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        Window w;
        const qint64 draw = w.drawAParty();
        // One checked in, one absent: the report counts the one and names the other.
        QVERIFY(w.db.executeSql(Sql("UPDATE 号码表 SET 签到=1 WHERE 号码='1003'")));
        QVERIFY(w.db.executeSql(Sql("UPDATE 号码表 SET 签到=2,签到方式='中奖人不在场' WHERE 号码='1004'")));
        w.window->chooseDraw = [&](qint64) { return QStringLiteral("%1.公司年会").arg(draw); };
        w.savePath = w.dir.filePath(file);
        w.prompt.answers = {true};
        w.trigger("drawReport");
        QCOMPARE(w.opened, w.savePath);
        QString text;
        if (pdf) {
            text = pdfText(w.savePath);
        } else {
            QFile html(w.savePath);
            QVERIFY(html.open(QIODevice::ReadOnly));
            text = QString::fromUtf8(html.readAll());
        }
        for (const char *expected : {"公司年会 抽奖报告", "二等奖", "电饭煲", "删除奖项", "一等奖：", "奖项 1 个，已抽完 1 个",
                                     "获奖 2 人次", "参与抽奖 5 人", "在场人数",
                                     "预设 1 名（1001 张三）", "已签到 1 人；不在场 1 人。", "中奖人不在场"})
            QVERIFY2(text.contains(QString::fromUtf8(expected)), expected);
    }

    // Every winner's number and name comes back from the PDF's text, each name drawn in a face
    // that has its characters; a name wider than its column wraps instead of being cut.
    void everyNamePrints_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("face");
        QTest::newRow("blank in UKai") << QStringLiteral("王䶮") << QStringLiteral("NotoSerifCJK");
        QTest::newRow("beyond the basic plane") << QStringLiteral("李𠀀") << QStringLiteral("HanaMin");
        QTest::newRow("Uyghur") << QStringLiteral("ئابدۇرېھىم") << QStringLiteral("DejaVuSans");
        QTest::newRow("Latin") << QStringLiteral("Zoë Kowalski") << QStringLiteral("UKaiCN");
        QTest::newRow("emoji") << QStringLiteral("小明🎉") << QStringLiteral("Symbola");
        QTest::newRow("200 without a break") << QString(200, u'W') << QStringLiteral("UKaiCN");
    }
    void everyNamePrints()
    {
        QFETCH(QString, name);
        QFETCH(QString, face);
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        Window w;
        const qint64 draw = w.drawAParty(name);
        w.window->chooseDraw = [&](qint64) { return QStringLiteral("%1.公司年会").arg(draw); };
        w.savePath = w.dir.filePath(QStringLiteral("报告.pdf"));
        w.prompt.answers = {false};
        w.trigger("drawReport");
        QVERIFY(w.progress.steps > 0 && !w.progress.open);
        // In drawing order; a wrapped cell gives its lines one by one.
        QString text = pdfText(w.savePath, {QStringLiteral("-raw")});
        text.remove(QRegularExpression(QStringLiteral("[\\s\\x{202a}-\\x{202e}]")));
        const QString compact = QString(name).remove(u' ');
        int winners = 0;
        QVERIFY(w.db.forEachRow(Sql("SELECT 号码 FROM 结果表 WHERE CID=") + Sql::number(draw), [&](const Row &row) {
            ++winners;
            QVERIFY2(text.contains(row.text(u"号码") + compact), qPrintable(text.left(400)));
        }));
        QCOMPARE(winners, 2);
        QProcess fonts;
        fonts.start(QStringLiteral("pdffonts"), {w.savePath});
        QVERIFY(fonts.waitForFinished(30'000));
        QVERIFY(QString::fromUtf8(fonts.readAllStandardOutput()).contains(face));
    }

    // A deleted prize's list of 3 334 winners is taller than a page: it goes on over the
    // next pages, every winner readable.
    void aLongCellGoesOnOverPages()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        DrawFixture f;
        const qint64 draw = f.addDraw();
        const qint64 prize = f.addPrize(draw, 1, QStringLiteral("一等奖"), 3334, 200);
        f.addParticipants(draw, 3400, 100001);
        f.engine.CurrentDraw.Id = draw;
        f.engine.loadDraw();
        QList<Candidate> picks;
        while (f.engine.startRound(picks) > 0)
            f.engine.recordRound(draw, prize, picks);
        QStringList numbers;
        QVERIFY(f.db.forEachRow(Sql("SELECT 号码 FROM 结果表"), [&](const Row &row) { numbers.append(row.text(u"号码")); }));
        QCOMPARE(numbers.size(), 3334);
        QVERIFY(deletePrizes(f.db, {prize}));
        const QString path = f.dir.filePath(QStringLiteral("报告.pdf"));
        QString why;
        QVERIFY2(writeDrawReport(f.db, draw, path, why), qPrintable(why));
        const QString text = pdfText(path, {QStringLiteral("-raw")});
        for (const QString &number : numbers)
            QVERIFY2(text.contains(number), qPrintable(number));
    }

    // 打开数据库 switches after the checks; a damaged file is refused and the one in use stays.
    void anotherDatabaseOpensAfterTheChecks()
    {
        Window w;
        TempDatabase other;
        QVERIFY(other.db.executeSql(Sql("INSERT INTO 奖次表(抽奖内容) VALUES('备用电脑的抽奖')")));
        const QString inUse = w.db.path();

        QFile damaged(w.dir.filePath(QStringLiteral("damaged.mdb")));
        QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write(QByteArray(4096, 'x')) == 4096);
        damaged.close();
        w.openPath = damaged.fileName();
        w.trigger("openDatabase");
        QCOMPARE(w.prompt.messages.size(), 1);
        QVERIFY(w.prompt.messages.at(0).startsWith(QStringLiteral("无法建立数据库连接！")));
        QCOMPARE(w.db.path(), inUse);
        QVERIFY(w.db.isOpen());
        QVERIFY(w.label("databaseFile").contains(QDir::toNativeSeparators(inUse)));

        w.openPath = other.path;
        w.trigger("openDatabase");
        QCOMPARE(w.db.path(), other.path);
        QVERIFY(w.label("databaseFile").contains(QDir::toNativeSeparators(other.path)));
        QCOMPARE(w.count("奖次表"), 1);
    }

    // 备份数据库 writes a copy that opens; 自动备份 keeps one in the chosen folder and says where.
    void backupsOpen()
    {
        Window w;
        w.drawAParty();
        w.savePath = w.dir.filePath(QStringLiteral("backup.mdb"));
        w.trigger("backUpDatabase");
        QVERIFY2(w.prompt.messages.last().startsWith(QStringLiteral("数据库已备份到")), qPrintable(w.prompt.messages.join(u'|')));
        RecordingPrompt prompt;
        Database copy(prompt);
        QVERIFY(copy.openDatabase(w.savePath));
        QCOMPARE(copy.countRows(QStringLiteral("轮次表"), Sql("TRUE")), w.count("轮次表"));

        w.folder = w.dir.filePath(QStringLiteral("usb"));
        QVERIFY(QDir().mkpath(w.folder));
        w.trigger("standbyCopy");
        QVERIFY(w.label("standbyStatus").contains(QDir::toNativeSeparators(w.folder)));
        QTRY_VERIFY_WITH_TIMEOUT(w.actions->standby().isIdle(), 10'000);
        QVERIFY(copy.openDatabase(w.actions->standby().target()));
        QCOMPARE(copy.countRows(QStringLiteral("结果表"), Sql("TRUE")), w.count("结果表"));
        // Turned off by the same entry.
        w.prompt.answers = {true};
        w.trigger("standbyCopy");
        QVERIFY(w.label("standbyStatus").isEmpty());
    }
};

QTEST_MAIN(TestDatabaseFile)
#include "tst_databasefile.moc"
