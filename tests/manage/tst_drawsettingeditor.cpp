#include "manage/DrawSettingEditor.h"
#include "support/DrawFixture.h"
#include "support/FakeMusic.h"

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>

using namespace quilla;

// An editor on screen over a fresh database, its file dialog answered by the test.
struct Editor : DrawFixture
{
    Editor()
    {
        w.chooseFile = [this](const QString &filter) {
            filters.append(filter);
            return chosen;
        };
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
    }
    void click(QWidget *control)
    {
        QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, control->mapTo(&w, control->rect().center()));
    }
    void type(QLineEdit *field, const QString &text)
    {
        click(field);
        QTRY_COMPARE(QApplication::focusWidget(), field);
        field->selectAll();
        QTest::keyClicks(QApplication::focusWidget(), text);
    }
    template <typename T> T *find(const char *name)
    {
        T *control = w.findChild<T *>(QString::fromLatin1(name));
        if (!control)
            qFatal("no control %s", name);
        return control;
    }
    Query row(const QString &name)
    {
        return db.openQuery(Sql("SELECT * FROM 奖次表 WHERE 抽奖内容=") + Sql::text(name));
    }

    FakeMusic music;
    DrawSettingEditor w{db, music};
    QSignalSpy closed{&w, &DrawSettingEditor::closed};
    QStringList filters;
    QString chosen;
};

class TestDrawSettingEditor : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void newSettingIsStoredAsTyped()
    {
        Editor e;
        QImage(40, 30, QImage::Format_RGB32).save(e.dir.filePath(QStringLiteral("bg.jpg")), "JPG");
        e.click(e.find<QPushButton>("browseBackground")); // cancelled: nothing changes
        QCOMPARE(e.find<QLineEdit>("background")->text(), QString());
        e.chosen = e.dir.filePath(QStringLiteral("bg.jpg"));
        e.click(e.find<QPushButton>("browseBackground"));
        e.chosen = QStringLiteral(".\\music\\wait.mp3");
        e.click(e.find<QPushButton>("browseMusic1"));
        QCOMPARE(e.filters.at(1), QStringLiteral("JPEG图片(*.jpg)|*.jpg|BMP图片(*.bmp)|*.bmp"));
        QCOMPARE(e.filters.at(2),
                 QStringLiteral("MP3文件(*.mp3)|*.mp3|音波文件(*.wav)|*.wav|所有文件(*.*)|*.*"));
        QVERIFY(!e.find<QLabel>("thumbnail")->pixmap().isNull());

        e.type(e.find<QLineEdit>("name"), QStringLiteral("O'Neil Gala"));
        e.click(e.find<QCheckBox>("timedStop"));
        e.type(e.find<QLineEdit>("stopSeconds"), QStringLiteral("30"));
        e.click(e.find<QCheckBox>("timedStop")); // unticked after typing: no timed stop
        QCOMPARE(e.find<QLineEdit>("stopSeconds")->text(), QStringLiteral("0"));
        e.click(e.find<QCheckBox>("fixedLength"));
        e.type(e.find<QLineEdit>("length"), QStringLiteral("65x")); // 64 at most
        e.type(e.find<QLineEdit>("mask"), QStringLiteral("000****0000"));
        e.click(e.find<QCheckBox>("checkedInOnly"));
        e.click(e.find<QPushButton>("ok"));

        QCOMPARE(e.closed.count(), 1);
        const Query rs = e.row(QStringLiteral("O'Neil Gala"));
        QCOMPARE(rs.rowCount(), 1);
        QCOMPARE(e.w.ID(), rs.number(u"ID"));
        QCOMPARE(rs.number(u"定时"), 0);
        QCOMPARE(rs.number(u"定长"), 64);
        QCOMPARE(rs.text(u"屏蔽"), QStringLiteral("000****0000"));
        QCOMPARE(rs.text(u"音乐1"), QStringLiteral(".\\music\\wait.mp3"));
        QVERIFY(rs.flag(u"只抽签到"));
    }

    void loadsAndChangesAnExistingSetting()
    {
        Editor e;
        const qint64 other = e.append("奖次表", {{u"抽奖内容", QStringLiteral("Spring")}, {u"定时", 30}});
        const qint64 id = e.append("奖次表", {{u"抽奖内容", QStringLiteral("Gala")},
                                              {u"速度", 300},
                                              {u"定长", 11},
                                              {u"音乐3", QStringLiteral("w.wav")}});
        e.w.setID(other);
        e.w.setID(id); // a window that showed a timed setting before
        QCOMPARE(e.find<QScrollBar>("speed")->value(), 300);
        QVERIFY(!e.find<QCheckBox>("timedStop")->isChecked());
        QVERIFY(!e.find<QLineEdit>("stopSeconds")->isEnabled());
        QCOMPARE(e.find<QLineEdit>("stopSeconds")->text(), QStringLiteral("0"));
        QVERIFY(e.find<QCheckBox>("fixedLength")->isChecked());
        QCOMPARE(e.find<QLineEdit>("length")->text(), QStringLiteral("11"));

        e.type(e.find<QLineEdit>("name"), QStringLiteral("Spring")); // a name in use is accepted on a change
        e.click(e.find<QCheckBox>("timedStop"));
        e.find<QLineEdit>("stopSeconds")->setText(QStringLiteral("12秒")); // Chinese arrives through an input method, not keys
        e.click(e.find<QPushButton>("ok"));
        QCOMPARE(e.closed.count(), 1);
        QCOMPARE(e.count("奖次表"), 2);
        QCOMPARE(e.row(QStringLiteral("Spring")).rowCount(), 2);
        QCOMPARE(e.db.openQuery(Sql("SELECT * FROM 奖次表 WHERE ID=") + Sql::number(id)).number(u"定时"), 12);
    }

    // A speed the bar cannot show is kept unless the operator moves the bar.
    void aStoredSpeedIsKeptUnlessMoved()
    {
        Editor e;
        const qint64 id = e.append("奖次表", {{u"抽奖内容", QStringLiteral("Gala")}, {u"速度", 0}});
        const auto speed = [&] {
            return e.db.openQuery(Sql("SELECT * FROM 奖次表 WHERE ID=") + Sql::number(id)).number(u"速度");
        };
        e.w.setID(id);
        e.click(e.find<QPushButton>("ok"));
        QCOMPARE(speed(), 0);
        e.w.show();
        e.w.setID(id);
        e.find<QScrollBar>("speed")->triggerAction(QAbstractSlider::SliderSingleStepAdd); // its right arrow
        e.click(e.find<QPushButton>("ok"));
        QCOMPARE(speed(), 11);
    }

    // Each refusal leaves the window open with its fields, and nothing stored.
    void refusedSavesKeepTheWindowOpen()
    {
        Editor e;
        e.addDraw(QStringLiteral("O'Neil Gala"));
        e.click(e.find<QPushButton>("ok"));
        e.type(e.find<QLineEdit>("name"), QStringLiteral("O'Neil Gala"));
        e.click(e.find<QPushButton>("ok"));
        QVERIFY(e.db.executeSql(
            Sql("CREATE TRIGGER refuse BEFORE INSERT ON 奖次表 BEGIN SELECT RAISE(ABORT, 'full'); END")));
        e.type(e.find<QLineEdit>("name"), QStringLiteral("Gala"));
        e.click(e.find<QPushButton>("ok"));
        QCOMPARE(e.prompt.messages, (QStringList{QStringLiteral("抽奖名称不能为空，请取其他名称！"),
                                                 QStringLiteral("抽奖名称已经存在，请取其他名称！"),
                                                 QStringLiteral("抽奖设置未能保存，请检查数据库文件！")}));
        QVERIFY(e.w.isVisible());
        QCOMPARE(e.find<QLineEdit>("name")->text(), QStringLiteral("Gala"));
        QCOMPARE(e.closed.count(), 0);

        e.click(e.find<QPushButton>("cancel"));
        QCOMPARE(e.closed.count(), 1);
        QCOMPARE(e.count("奖次表"), 1);
    }

    void stopButtonFollowsThePreview()
    {
        Editor e;
        QVERIFY(!e.find<QPushButton>("stopMusic")->isVisible());
        e.type(e.find<QLineEdit>("music2"), QStringLiteral("draw.mp3"));
        e.click(e.find<QPushButton>("listen2"));
        QCOMPARE(e.music.played, QStringList{QStringLiteral("draw.mp3")});
        QCOMPARE(e.music.repeats, QList<bool>{false});
        QVERIFY(e.find<QPushButton>("stopMusic")->isVisible());
        e.music.setStatus(QStringLiteral("not ready"));
        QVERIFY(e.find<QPushButton>("stopMusic")->isVisible());
        e.music.setStatus(QStringLiteral("stopped")); // the file ended
        QVERIFY(!e.find<QPushButton>("stopMusic")->isVisible());

        e.click(e.find<QPushButton>("listen2"));
        e.click(e.find<QPushButton>("stopMusic"));
        QVERIFY(!e.find<QPushButton>("stopMusic")->isVisible());
        QCOMPARE(e.music.stops, 1);

        e.click(e.find<QPushButton>("listen1")); // no file: nothing to stop
        QVERIFY(!e.find<QPushButton>("stopMusic")->isVisible());
        QCOMPARE(e.music.played.count(), 2);
    }
};

QTEST_MAIN(TestDrawSettingEditor)
#include "tst_drawsettingeditor.moc"
