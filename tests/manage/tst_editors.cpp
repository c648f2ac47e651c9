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

// Replaces the text as a user types it: keys for Latin text, an input-method commit for Chinese.
void type(QWidget *edit, const QString &text)
{
    if (auto *line = qobject_cast<QLineEdit *>(edit))
        line->clear();
    if (text == QString::fromLatin1(text.toLatin1())) {
        QTest::keyClicks(edit, text);
        return;
    }
    QInputMethodEvent event;
    event.setCommitString(text);
    QCoreApplication::sendEvent(edit, &event);
}

template <typename T> T *find(QWidget &window, const char *name)
{
    return window.findChild<T *>(QString::fromLatin1(name));
}

QString prizeRow(Database &db)
{
    const Query rs = db.openQuery(Sql("SELECT * FROM 奖项表"));
    QStringList fields;
    for (const char16_t *column : {u"CID", u"顺序", u"名称", u"数量", u"同时", u"显示", u"重复", u"奖品"})
        fields.append(rs.text(column));
    return rs.rowCount() == 1 ? fields.join(u' ') : QString::number(rs.rowCount()) + u" rows";
}

const QString CountRefused = QStringLiteral("一次抽出获奖人数不能少于一人或大于总获奖人数！");

} // namespace

class TestEditors : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void prizeCountsChecked_data()
    {
        QTest::addColumn<QString>("quantity");
        QTest::addColumn<QString>("perStop");
        QTest::addColumn<QString>("stored"); // the row saved, empty when refused
        QTest::newRow("all at once") << "5" << "5" << "7 4 一等奖 5 5 true false ";
        QTest::newRow("number with a unit") << "5" << "2人" << "7 4 一等奖 5 2 true false ";
        QTest::newRow("more than all") << "5" << "6" << "";
        QTest::newRow("none") << "5" << "0" << "";
        QTest::newRow("not a number") << "5" << "两个" << "";
        QTest::newRow("rounded past all") << "5" << "5.5" << "";
        QTest::newRow("the most a column holds") << "2147483647" << "2147483647"
                                                 << "7 4 一等奖 2147483647 2147483647 true false ";
        QTest::newRow("past what a column holds") << "2147483648" << "1" << "";
        QTest::newRow("no prize at all") << "0" << "0" << "";
    }

    void prizeCountsChecked()
    {
        QFETCH(QString, quantity);
        QFETCH(QString, perStop);
        QFETCH(QString, stored);
        DrawFixture f;
        PrizeEditor editor(f.db);
        QSignalSpy saved(&editor, &PrizeEditor::saved);
        editor.setCID(7);
        editor.setOrd(QStringLiteral("4"));
        editor.show();
        type(find<QLineEdit>(editor, "name"), QStringLiteral("一等奖"));
        type(find<QLineEdit>(editor, "quantity"), quantity);
        type(find<QLineEdit>(editor, "perRound"), perStop);
        click(find<QPushButton>(editor, "ok"));
        const QString refused = quantity.toDouble() >= 1 && quantity.toDouble() <= 2147483647.0
                                    ? CountRefused
                                    : QStringLiteral("奖项数量必须在1至2147483647之间！");
        QCOMPARE(f.prompt.messages, stored.isEmpty() ? QStringList{refused} : QStringList());
        QCOMPARE(prizeRow(f.db), stored.isEmpty() ? QStringLiteral("0 rows") : stored);
        QCOMPARE(saved.count(), stored.isEmpty() ? 0 : 1);
        QCOMPARE(editor.isVisible(), stored.isEmpty());
    }

    void prizeCancelAndFlags()
    {
        DrawFixture f;
        PrizeEditor cancelled(f.db);
        QSignalSpy closed(&cancelled, &PrizeEditor::closed);
        cancelled.show();
        type(find<QLineEdit>(cancelled, "perRound"), QStringLiteral("0"));
        click(find<QPushButton>(cancelled, "cancel"));
        QVERIFY(!cancelled.isVisible());
        QCOMPARE(closed.count(), 1);
        QVERIFY(f.prompt.messages.isEmpty());

        PrizeEditor editor(f.db);
        editor.show();
        click(find<QCheckBox>(editor, "shownOnBoard"));
        click(find<QCheckBox>(editor, "repeatable"));
        type(find<QPlainTextEdit>(editor, "article"), QStringLiteral("笔记本电脑"));
        click(find<QPushButton>(editor, "ok"));
        QCOMPARE(prizeRow(f.db), QStringLiteral("0 0  1 1 false true 笔记本电脑"));
    }

    void prizeLoadedAndSavedInPlace()
    {
        DrawFixture f;
        const qint64 draw = f.addDraw();
        const qint64 id =
            f.addPrize(draw, 2, QStringLiteral("二等奖"), 3, 1, true, QStringLiteral("相机"), false);
        PrizeEditor editor(f.db);
        editor.setID(id);
        QCOMPARE(QStringList({QString::number(editor.CID()), editor.ord(), find<QLineEdit>(editor, "name")->text(),
                              find<QLineEdit>(editor, "quantity")->text(), find<QLineEdit>(editor, "perRound")->text(), find<QPlainTextEdit>(editor, "article")->toPlainText()}),
                 QStringList({QString::number(draw), "2", "二等奖", "3", "1", "相机"}));
        QVERIFY(!find<QCheckBox>(editor, "shownOnBoard")->isChecked());
        QVERIFY(find<QCheckBox>(editor, "repeatable")->isChecked());
        editor.show();
        type(find<QLineEdit>(editor, "name"), QStringLiteral("特等奖"));
        click(find<QPushButton>(editor, "ok"));
        QCOMPARE(prizeRow(f.db), QString::number(draw) + QStringLiteral(" 2 特等奖 3 1 false true 相机"));
        QCOMPARE(f.count("奖项表", Sql("ID=") + Sql::number(id)), 1);
    }

    void prizeRefusedWriteKeepsWindowOpen_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::newRow("new prize") << "INSERT";
        QTest::newRow("changed prize") << "UPDATE";
    }

    void prizeRefusedWriteKeepsWindowOpen()
    {
        QFETCH(QString, statement);
        DrawFixture f;
        const qint64 id = statement == u"UPDATE" ? f.addPrize(1, 1, QStringLiteral("一等奖"), 1, 1) : 0;
        QVERIFY(f.db.executeSql(Sql("CREATE TRIGGER refuse BEFORE ") + statement +
                                Sql(" ON 奖项表 BEGIN SELECT RAISE(ABORT,'x'); END")));
        PrizeEditor editor(f.db);
        QSignalSpy saved(&editor, &PrizeEditor::saved);
        editor.setID(id);
        editor.show();
        type(find<QLineEdit>(editor, "name"), QStringLiteral("特等奖"));
        click(find<QPushButton>(editor, "ok"));
        QCOMPARE(f.prompt.messages, QStringList{QStringLiteral("奖项设置未能保存，请检查数据库文件！")});
        QVERIFY(editor.isVisible());
        QCOMPARE(saved.count(), 0);
        QCOMPARE(f.count("奖项表", Sql("名称='特等奖'")), 0);

        // Once the database takes writes again, the same typing is saved.
        QVERIFY(f.db.executeSql(Sql("DROP TRIGGER refuse")));
        click(find<QPushButton>(editor, "ok"));
        QCOMPARE(saved.count(), 1);
        QVERIFY(!editor.isVisible());
        QCOMPARE(prizeRow(f.db), (id ? u"1 1" : u"0 0") + QStringLiteral(" 特等奖 1 1 true false "));
    }

    void chooserOffersNewestFirstAndGivesTheChosenText()
    {
        DrawFixture f;
        const qint64 older = f.addDraw(QStringLiteral("春节"));
        const qint64 newer = f.addDraw(QStringLiteral("年会"));
        DrawChooser chooser(f.db);
        auto *draws = chooser.findChild<QComboBox *>(QStringLiteral("draws"));
        QCOMPARE(draws->itemText(0), QString::number(newer) + u"‖年会");
        draws->setCurrentIndex(1);
        // The management window waits in exec() while the operator chooses.
        QTimer::singleShot(0, &chooser, [&] { click(chooser.findChild<QPushButton *>(QStringLiteral("ok"))); });
        QCOMPARE(chooser.exec(), int(QDialog::Accepted));
        QCOMPARE(chooser.chosenDrawText(), QString::number(older) + u"‖春节");
        // The draw last run or edited is offered first.
        DrawChooser offering(f.db, older);
        QCOMPARE(offering.findChild<QComboBox *>(QStringLiteral("draws"))->currentText(),
                 QString::number(older) + u"‖春节");
    }

    void chooserGivesNothingUnlessADrawIsChosen_data()
    {
        QTest::addColumn<bool>("withDraw");
        QTest::addColumn<int>("button"); // -1: the title bar's close
        QTest::newRow("cancel") << true << 0;
        QTest::newRow("title bar") << true << -1;
        QTest::newRow("empty list accepted") << false << 1;
    }

    void chooserGivesNothingUnlessADrawIsChosen()
    {
        QFETCH(bool, withDraw);
        QFETCH(int, button);
        DrawFixture f;
        if (withDraw)
            f.addDraw();
        DrawChooser chooser(f.db);
        chooser.open();
        QVERIFY(QTest::qWaitForWindowExposed(&chooser));
        if (button < 0)
            chooser.close();
        else
            click(chooser.findChild<QPushButton *>(button == 0 ? QStringLiteral("cancel") : QStringLiteral("ok")));
        QVERIFY(!chooser.isVisible());
        QCOMPARE(chooser.chosenDrawText(), QString());
    }

    void participantAddedThroughTheOwner_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("added"); // what the owner's add answers
        QTest::addColumn<QString>("calls");
        QTest::newRow("added") << "张三" << 0 << true << "1001|张三";
        QTest::newRow("empty name") << "" << 0 << true << "1001|";
        QTest::newRow("not added") << "张三" << 0 << false << "1001|张三";
        QTest::newRow("cancelled") << "张三" << 1 << true << "";
    }

    void participantAddedThroughTheOwner()
    {
        QFETCH(QString, name);
        QFETCH(int, button);
        QFETCH(bool, added);
        QFETCH(QString, calls);
        QStringList made;
        ParticipantEntry entry([&](const QString &number, const QString &person) {
            made.append(number + u'|' + person);
            return added;
        });
        QSignalSpy closed(&entry, &ParticipantEntry::closed);
        entry.show();
        type(entry.findChild<QLineEdit *>(QStringLiteral("number")), QStringLiteral("1001"));
        type(entry.findChild<QLineEdit *>(QStringLiteral("name")), name);
        click(entry.findChild<QPushButton *>(button == 0 ? QStringLiteral("add") : QStringLiteral("cancel")));
        QCOMPARE(made.join(u';'), calls);
        QCOMPARE(closed.count(), added ? 1 : 0);
        QCOMPARE(entry.isVisible(), !added);
    }
};

QTEST_MAIN(TestEditors)
#include "tst_editors.moc"
