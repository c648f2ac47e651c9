#include "data/Chooser.h"
#include "data/Settings.h"
#include "manage/ImportMapping.h"
#include "manage/ManagementWindow.h"
#include "manage/SheetChooser.h"
#include "platform/Grid.h"
#include "support/DrawFixture.h"
#include "support/FakeMusic.h"
#include "support/RecordingProgress.h"
#include "support/TempSettings.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStringEncoder>
#include <QTableWidget>
#include <QTabWidget>
#include <QTest>

using namespace quilla;

namespace {

// A header line and ten records, in GBK as most lists arrive.
QString writeCsv(const QTemporaryDir &dir, const QString &name)
{
    QString text = QStringLiteral("编号,姓名,部门\r\n");
    for (int i = 1; i <= 10; ++i)
        text += QStringLiteral("%1,员工%2,部门%3\r\n").arg(1000 + i).arg(i).arg(i % 3);
    const QString path = dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(QStringEncoder("GBK").encode(text));
    return path;
}

QStringList participants(DrawFixture &f, qint64 draw)
{
    QStringList rows;
    f.db.forEachRow(Sql("SELECT * FROM 号码表 WHERE CID=") + Sql::number(draw) + Sql(" ORDER BY ID"),
                    [&](const Row &row) { rows.append(row.text(u"号码") + u'|' + row.text(u"姓名")); });
    return rows;
}

void click(QWidget *window, QWidget *widget)
{
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                      widget->mapTo(window, widget->rect().center()));
}

} // namespace

class TestImportWindows : public QObject
{
    Q_OBJECT

    TempSettings m_settings;

  private Q_SLOTS:
    void init()
    {
        QVERIFY(m_settings.isValid());
        QSettings(QSettings::NativeFormat, QSettings::UserScope, SettingsApplication).clear();
    }

    void oneSheetIsMarked()
    {
        SheetChooser sheets({QStringLiteral("参会名单"), QStringLiteral("Sheet2"), QStringLiteral("空白页")}, 1);
        sheets.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheets));
        QCOMPARE(sheets.SHL->TextMatrix(3, 0), QStringLiteral("3"));
        QCOMPARE(sheets.SHL->TextMatrix(1, 1), QStringLiteral("√"));
        // A press on the third sheet marks it and clears the first.
        const QRect cell = sheets.SHL->visualRect(sheets.SHL->model()->index(2, 1));
        QTest::mouseClick(sheets.windowHandle(), Qt::LeftButton, {},
                          sheets.SHL->viewport()->mapTo(&sheets, cell.center()));
        QCOMPARE(sheets.SHL->TextMatrix(1, 1), QString());
        QCOMPARE(sheets.SHL->TextMatrix(3, 1), QStringLiteral("√"));
        click(&sheets, sheets.IMG[0]);
        QCOMPARE(sheets.result(), int(QDialog::Accepted));
        QCOMPARE(sheets.ImportSheet(), QStringLiteral("空白页"));

        SheetChooser cancelled({QStringLiteral("a")}, 1);
        cancelled.show();
        QVERIFY(QTest::qWaitForWindowExposed(&cancelled));
        click(&cancelled, cancelled.IMG[1]);
        QCOMPARE(cancelled.ImportSheet(), QString());
    }

    // Defaults on first use, the import, and the range and mapping kept for next time.
    void mappingImportsAndIsRemembered()
    {
        DrawFixture f;
        RecordingProgress progress;
        const qint64 draw = f.addDraw();
        const QString path = writeCsv(f.dir, QStringLiteral("名单.CSV"));
        {
            ImportMapping map(f.db, progress, draw, path, nullptr, QString());
            map.show();
            QVERIFY(QTest::qWaitForWindowExposed(&map));
            QCOMPARE(map.T[0]->text(), QStringLiteral("2"));
            QCOMPARE(map.T[1]->text(), QStringLiteral("11"));
            QVERIFY(map.M1->isColumnHidden(0) && map.M1->isColumnHidden(1));
            QCOMPARE(map.M0->TextMatrix(0, 2), QStringLiteral("B"));
            QCOMPARE(map.M0->TextMatrix(2, 2), QStringLiteral("员工1"));
            map.T[0]->setText(QStringLiteral("10"));
            map.T[1]->setText(QStringLiteral("2")); // reversed: rows 2..10
            map.M1->item(0, 4)->setText(QStringLiteral("a"));
            // The name is still being typed when 确定 is pressed.
            map.M1->editItem(map.M1->item(1, 4));
            QLineEdit *editor = map.M1->findChild<QLineEdit *>();
            QVERIFY(editor);
            QTest::keyClicks(editor, QStringLiteral("B,\"/\",C"));
            click(&map, map.Com[0]);
            QCOMPARE(map.importResult(), 0);
        }
        const QStringList rows = participants(f, draw);
        QCOMPARE(rows.size(), 9);
        QCOMPARE(rows.first(), QStringLiteral("1001|员工1/部门1"));
        QCOMPARE(
            ReadSetting(SettingsApplication, QStringLiteral("ImputMap"), QStringLiteral("I(1)"), QString()),
            QStringLiteral("B,\"/\",C"));

        ImportMapping again(f.db, progress, draw, path, nullptr, QString());
        QCOMPARE(again.T[0]->text(), QStringLiteral("10"));
        QCOMPARE(again.T[1]->text(), QStringLiteral("2"));
        QCOMPARE(again.M1->item(0, 4)->text(), QStringLiteral("a"));
        again.T[1]->setText(QStringLiteral("0")); // no last row: a message, the window stays
        again.Com[0]->click();
        QCOMPARE(f.prompt.messages.size(), 1);
        QCOMPARE(again.importResult(), -1);
    }

    // From the import button: file, mapping, and the participants tab showing the new rows.
    void theImportButtonRunsTheWholeDialogue()
    {
        DrawFixture f;
        RecordingProgress progress;
        FakeMusic music;
        const qint64 older = f.addDraw(QStringLiteral("旧"));
        f.addDraw(QStringLiteral("新"));
        ManagementWindow window(f.db, f.engine, progress, music);
        window.show();
        window.findChild<QTabWidget *>(QStringLiteral("tabs"))->setCurrentIndex(2);
        QWidget *panel = window.findChild<QTabWidget *>(QStringLiteral("tabs"))->widget(2);
        auto *chooser = panel->findChild<QComboBox *>(QStringLiteral("drawChooser"));
        const int olderItem = chooser->findText(QString::number(older), Qt::MatchStartsWith);
        chooser->setCurrentIndex(olderItem);
        Q_EMIT chooser->activated(olderItem);
        const auto importButton = [panel] {
            QTest::mouseClick(panel->findChild<QPushButton *>(QStringLiteral("importParticipants")), Qt::LeftButton);
        };
        const auto count = [panel] { return panel->findChild<QLabel *>(QStringLiteral("participantCount"))->text(); };

        QString chosen = f.dir.filePath(QStringLiteral("名单.txt"));
        window.chooseImportFile = [&] { return chosen; };
        window.runDialog = [](QDialog &dialog) {
            if (auto *map = qobject_cast<ImportMapping *>(&dialog)) {
                map->M1->item(0, 4)->setText(QStringLiteral("A"));
                map->M1->item(1, 4)->setText(QStringLiteral("B"));
                map->Com[0]->click();
            }
            return dialog.result();
        };
        importButton();
        QCOMPARE(f.prompt.messages,
                 QStringList{QStringLiteral("您选择的文件格式不支持导入，请选择CSV或XLS文件！")});

        // A text file named .xls is not a workbook.
        f.prompt.clear();
        chosen = f.dir.filePath(QStringLiteral("名单.xls"));
        QFile fake(chosen);
        QVERIFY(fake.open(QIODevice::WriteOnly));
        fake.write("a,b\r\n");
        fake.close();
        importButton();
        QCOMPARE(f.prompt.messages, QStringList{QStringLiteral("文件类型不对，请选择Excel文档！")});

        f.prompt.clear();
        QVERIFY(QDir(f.dir.path()).mkpath(QStringLiteral("Wang")));
        chosen = writeCsv(f.dir, QStringLiteral("Wang/名单.CSV")); // the path keeps its case
        importButton();
        QVERIFY(f.prompt.messages.isEmpty());
        QCOMPARE(participants(f, older).size(), 10);
        QCOMPARE(ChooserKey(chooser->currentText()), older);
        QCOMPARE(count(), QStringLiteral("共有记录：10条"));
    }

    // The sample lists as spreadsheet programs save them give the same participants.
    void everySampleFileImportsTheSameList_data()
    {
        QTest::addColumn<QString>("file");
        for (const char *name :
             {"sample_libreoffice.xls", "sample_libreoffice.xlsx", "sample_gbk.csv", "sample_utf8_bom.csv"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void everySampleFileImportsTheSameList()
    {
        QFETCH(QString, file);
        DrawFixture f;
        RecordingProgress progress;
        FakeMusic music;
        const qint64 draw = f.addDraw();
        ManagementWindow window(f.db, f.engine, progress, music);
        QWidget *panel = window.findChild<QTabWidget *>(QStringLiteral("tabs"))->widget(2);
        window.findChild<QTabWidget *>(QStringLiteral("tabs"))->setCurrentIndex(2);
        const QString path = QStringLiteral(SAMPLES "/") + file;
        window.chooseImportFile = [&] { return path; };
        window.runDialog = [](QDialog &dialog) {
            if (auto *sheets = qobject_cast<SheetChooser *>(&dialog))
                sheets->IMG[0]->click(); // the first sheet, marked already
            if (auto *map = qobject_cast<ImportMapping *>(&dialog)) {
                map->M1->item(0, 4)->setText(QStringLiteral("C"));
                map->M1->item(1, 4)->setText(QStringLiteral("B"));
                map->Com[0]->click();
            }
            return dialog.result();
        };
        QTest::mouseClick(panel->findChild<QPushButton *>(QStringLiteral("importParticipants")), Qt::LeftButton);
        QVERIFY2(f.prompt.messages.isEmpty(), qPrintable(f.prompt.messages.join(u'\n')));
        QCOMPARE(participants(f, draw),
                 (QStringList{"13800000001|赵一", "13900000002|钱二", "15000000003|孙三", "18600000004|李四",
                              "17700000005|周五", "12.5|吴六", "|"}));
        QCOMPARE(panel->findChild<QLabel *>(QStringLiteral("participantCount"))->text(),
                 QStringLiteral("共有记录：7条"));
    }
};

QTEST_MAIN(TestImportWindows)
#include "tst_importwindows.moc"
