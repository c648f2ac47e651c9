#include "manage/DrawChooser.h"
#include "manage/ParticipantEntry.h"
#include "manage/PrizeEditor.h"
#include "support/DrawFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>

using namespace quilla;

namespace {

// A click as a user's arrives: through the window, at the control's place.
void click(QWidget *control)
{
    QWidget *window = control->window();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                      control->mapTo(window, control->rect().center()));
}

// Typing: keys for Latin text, a committed input-method string for Chinese.
void type(QWidget *edit, const QString &text)
{
    if (text == QString::fromLatin1(text.toLatin1())) {
        QTest::keyClicks(edit, text);
        return;
    }
    QInputMethodEvent event;
    event.setCommitString(text);
    QCoreApplication::sendEvent(edit, &event);
}

void retype(QLineEdit *edit, const QString &text)
{
    edit->clear();
    type(edit, text);
}

const QString CountRefused = QStringLiteral("一次抽出获奖人数不能少于一人或大于总获奖人数！");
const QString NotSaved = QStringLiteral("奖项设置未能保存，请检查数据库文件！");

} // namespace

class TestEditors : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    // ---- prize editor

    void prizeCountsChecked_data()
    {
        QTest::addColumn<QString>("total");
        QTest::addColumn<QString>("perStop");
        QTest::addColumn<qint64>("stored"); // 同时 stored, 0 when refused
        QTest::newRow("all at once") << "5"
                                     << "5" << qint64(5);
        QTest::newRow("more than all") << "5"
                                       << "6" << qint64(0);
        QTest::newRow("none") << "5"
                              << "0" << qint64(0);
        QTest::newRow("not a number") << "5"
                                      << "两个" << qint64(0);
        QTest::newRow("rounded up past total") << "5"
                                               << "5.5" << qint64(0);
        QTest::newRow("number with a unit") << "5"
                                            << "2人" << qint64(2);
    }

    void prizeCountsChecked()
    {
        QFETCH(QString, total);
        QFETCH(QString, perStop);
        QFETCH(qint64, stored);
        DrawFixture f;
        const qint64 draw = f.addDraw();
        ModiCon editor(f.db);
        QSignalSpy saved(&editor, &ModiCon::saved);
        editor.setCID(draw);
        editor.setOrd(QStringLiteral("4"));
        editor.show();
        type(editor.TT0, QStringLiteral("一等奖"));
        retype(editor.TT1, total);
        retype(editor.TT3, perStop);
        click(editor.Com[1]);

        QCOMPARE(f.prompt.messages, stored ? QStringList() : QStringList{CountRefused});
        QCOMPARE(editor.isVisible(), !stored);
        QCOMPARE(saved.count(), stored ? 1 : 0);
        const Query rs = f.db.OpenQuery(Sql("SELECT * FROM 奖项表"));
        QCOMPARE(rs.rowCount(), stored ? 1 : 0);
        if (stored) {
            QCOMPARE(rs.number(u"CID"), draw);
            QCOMPARE(rs.number(u"顺序"), 4);
            QCOMPARE(rs.text(u"名称"), QStringLiteral("一等奖"));
            QCOMPARE(rs.number(u"数量"), 5);
            QCOMPARE(rs.number(u"同时"), stored);
            QVERIFY(rs.flag(u"显示"));
            QVERIFY(!rs.flag(u"重复"));
        }
    }

    void prizeCancelClosesWithoutChecking()
    {
        DrawFixture f;
        ModiCon editor(f.db);
        QSignalSpy closed(&editor, &ModiCon::closed);
        editor.show();
        retype(editor.TT3, QStringLiteral("0"));
        click(editor.Com[2]);
        QVERIFY(!editor.isVisible());
        QCOMPARE(closed.count(), 1);
        QVERIFY(f.prompt.messages.isEmpty());
        QCOMPARE(f.count("奖项表"), 0);
    }

    void prizeFlagsAndDescriptionStored()
    {
        DrawFixture f;
        ModiCon editor(f.db);
        editor.show();
        click(editor.CK[0]);
        click(editor.CK[1]);
        type(editor.TT2, QStringLiteral("笔记本电脑"));
        click(editor.Com[1]);
        const Query rs = f.db.OpenQuery(Sql("SELECT * FROM 奖项表"));
        QCOMPARE(rs.rowCount(), 1);
        QVERIFY(!rs.flag(u"显示"));
        QVERIFY(rs.flag(u"重复"));
        QCOMPARE(rs.text(u"奖品"), QStringLiteral("笔记本电脑"));
    }

    void prizeLoadedAndSavedAgainInPlace()
    {
        DrawFixture f;
        const qint64 draw = f.addDraw();
        const qint64 id =
            f.addPrize(draw, 2, QStringLiteral("二等奖"), 3, 1, true, QStringLiteral("相机"), false);
        ModiCon editor(f.db);
        editor.setID(id);
        QCOMPARE(editor.CID(), draw);
        QCOMPARE(editor.Ord(), QStringLiteral("2"));
        QCOMPARE(editor.TT0->text(), QStringLiteral("二等奖"));
        QCOMPARE(editor.TT1->text(), QStringLiteral("3"));
        QCOMPARE(editor.TT3->text(), QStringLiteral("1"));
        QCOMPARE(editor.TT2->toPlainText(), QStringLiteral("相机"));
        QVERIFY(!editor.CK[0]->isChecked());
        QVERIFY(editor.CK[1]->isChecked());

        editor.show();
        retype(editor.TT0, QStringLiteral("特等奖"));
        click(editor.Com[1]);
        const Query rs = f.db.OpenQuery(Sql("SELECT * FROM 奖项表"));
        QCOMPARE(rs.rowCount(), 1);
        QCOMPARE(rs.number(u"ID"), id);
        QCOMPARE(rs.text(u"名称"), QStringLiteral("特等奖"));
        QCOMPARE(rs.number(u"顺序"), 2);
    }

    void prizeRefusedWriteKeepsWindowOpen_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::newRow("new prize") << false;
        QTest::newRow("changed prize") << true;
    }

    void prizeRefusedWriteKeepsWindowOpen()
    {
        QFETCH(bool, existing);
        DrawFixture f;
        const qint64 id = existing ? f.addPrize(f.addDraw(), 1, QStringLiteral("一等奖"), 1, 1) : 0;
        QVERIFY(f.db.ExecuteSql(Sql(existing ? "CREATE TRIGGER refuse BEFORE UPDATE ON 奖项表 "
                                               "BEGIN SELECT RAISE(ABORT,'x'); END"
                                             : "CREATE TRIGGER refuse BEFORE INSERT ON 奖项表 "
                                               "BEGIN SELECT RAISE(ABORT,'x'); END")));
        ModiCon editor(f.db);
        QSignalSpy saved(&editor, &ModiCon::saved);
        editor.setID(id);
        editor.show();
        retype(editor.TT0, QStringLiteral("特等奖"));
        click(editor.Com[1]);
        QCOMPARE(f.prompt.messages, QStringList{NotSaved});
        QVERIFY(editor.isVisible());
        QCOMPARE(saved.count(), 0);
        QCOMPARE(f.count("奖项表", Sql("名称=") + Sql::text(QStringLiteral("特等奖"))), 0);

        // Once the database takes writes again, the same typing is saved.
        QVERIFY(f.db.ExecuteSql(Sql("DROP TRIGGER refuse")));
        click(editor.Com[1]);
        QCOMPARE(saved.count(), 1);
        QVERIFY(!editor.isVisible());
        QCOMPARE(f.count("奖项表"), 1);
        QCOMPARE(f.count("奖项表", Sql("名称=") + Sql::text(QStringLiteral("特等奖"))), 1);
    }

    // ---- draw chooser

    void chooserOffersNewestFirstAndGivesTheChosenText()
    {
        DrawFixture f;
        const qint64 older = f.addDraw(QStringLiteral("春节"));
        const qint64 newer = f.addDraw(QStringLiteral("年会"));
        GetProject chooser(f.db);
        QCOMPARE(chooser.TT->count(), 2);
        QCOMPARE(chooser.TT->itemText(0), QString::number(newer) + u"‖年会");
        chooser.TT->setCurrentIndex(1);
        // The management window waits in exec() while the operator chooses.
        QTimer::singleShot(0, &chooser, [&] { click(chooser.Com[1]); });
        QCOMPARE(chooser.exec(), int(QDialog::Accepted));
        QCOMPARE(chooser.ChosenDrawText(), QString::number(older) + u"‖春节");
    }

    void chooserGivesNothingUnlessADrawIsChosen_data()
    {
        QTest::addColumn<bool>("withDraw");
        QTest::addColumn<QString>("how");
        QTest::newRow("cancel") << true << "cancel";
        QTest::newRow("title bar") << true << "close";
        QTest::newRow("empty list accepted") << false << "accept";
    }

    void chooserGivesNothingUnlessADrawIsChosen()
    {
        QFETCH(bool, withDraw);
        QFETCH(QString, how);
        DrawFixture f;
        if (withDraw)
            f.addDraw();
        GetProject chooser(f.db);
        chooser.open();
        if (how == u"close") {
            QVERIFY(QTest::qWaitForWindowExposed(&chooser));
            chooser.close();
        } else {
            click(chooser.Com[how == u"accept" ? 1 : 0]);
        }
        QVERIFY(!chooser.isVisible());
        QCOMPARE(chooser.ChosenDrawText(), QString());
    }

    // ---- participant entry

    void participantAddedThroughTheOwner_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("added");
        QTest::newRow("added") << "1001"
                               << "张三" << true;
        QTest::newRow("empty fields") << ""
                                      << "" << true;
        QTest::newRow("not added") << "1001"
                                   << "张三" << false;
    }

    void participantAddedThroughTheOwner()
    {
        QFETCH(QString, number);
        QFETCH(QString, name);
        QFETCH(bool, added);
        QStringList calls;
        AddMem entry([&](const QString &n, const QString &m) {
            calls.append(n + u'|' + m);
            return added;
        });
        QSignalSpy closed(&entry, &AddMem::closed);
        entry.show();
        QTest::keyClicks(entry.TT[0], number);
        type(entry.TT[1], name);
        click(entry.Com[0]);
        QCOMPARE(calls, QStringList{number + u'|' + name});
        QCOMPARE(entry.isVisible(), !added);
        QCOMPARE(closed.count(), added ? 1 : 0);
    }

    void participantCancelAddsNothing()
    {
        int calls = 0;
        AddMem entry([&](const QString &, const QString &) { return ++calls > 0; });
        entry.show();
        QTest::keyClicks(entry.TT[0], QStringLiteral("1001"));
        click(entry.Com[1]);
        QCOMPARE(calls, 0);
        QVERIFY(!entry.isVisible());
    }
};

QTEST_MAIN(TestEditors)
#include "tst_editors.moc"
