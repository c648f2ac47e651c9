#include "data/Chooser.h"
#include "data/Settings.h"
#include "manage/ImportMapping.h"
#include "manage/ManagementWindow.h"
#include "manage/SheetChooser.h"
#include "support/DrawFixture.h"
#include "support/Gb18030Bytes.h"
#include "support/FakeMusic.h"
#include "support/RecordingProgress.h"
#include "support/TempSettings.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTabWidget>
#include <QTest>
#include <QUrl>

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
        file.write(gb18030Bytes(text));
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
        QSettings(QSettings::defaultFormat(), QSettings::UserScope, SettingsApplication).clear();
    }

    void oneSheetIsMarked()
    {
        SheetChooser sheets({QStringLiteral("参会名单"), QStringLiteral("Sheet2"), QStringLiteral("空白页")}, 1);
        sheets.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheets));
        auto *list = sheets.findChild<QTableWidget *>(QStringLiteral("sheets"));
        QCOMPARE(list->verticalHeaderItem(2) ? list->verticalHeaderItem(2)->text()
                                             : list->model()->headerData(2, Qt::Vertical).toString(),
                 QStringLiteral("3"));
        QCOMPARE(list->item(0, 0)->text(), QStringLiteral("√"));
        // A press on the third sheet marks it and clears the first.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2, 1)).center());
        QCOMPARE(list->item(0, 0)->text(), QString());
        QCOMPARE(list->item(2, 0)->text(), QStringLiteral("√"));
        click(&sheets, sheets.findChild<QPushButton *>(QStringLiteral("ok")));
        QCOMPARE(sheets.result(), int(QDialog::Accepted));
        QCOMPARE(sheets.importSheet(), QStringLiteral("空白页"));

        SheetChooser cancelled({QStringLiteral("a")}, 1);
        cancelled.show();
        QVERIFY(QTest::qWaitForWindowExposed(&cancelled));
        click(&cancelled, cancelled.findChild<QPushButton *>(QStringLiteral("cancel")));
        QCOMPARE(cancelled.importSheet(), QString());
    }

    // Defaults on first use, the import, and what is kept for next time.
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
            auto *first = map.findChild<QLineEdit *>(QStringLiteral("firstRow"));
            auto *last = map.findChild<QLineEdit *>(QStringLiteral("lastRow"));
            auto *mapping = map.findChild<QTableWidget *>(QStringLiteral("mapping"));
            auto *preview = map.findChild<QTableWidget *>(QStringLiteral("preview"));
            QCOMPARE(first->text(), QStringLiteral("2"));
            QCOMPARE(last->text(), QStringLiteral("11"));
            QCOMPARE(map.findChild<QLabel *>(QStringLiteral("fileRows"))->text(), QStringLiteral("（文件共有11行）"));
            QCOMPARE(mapping->item(0, 1)->text(), QStringLiteral("A")); // first use: A and B
            QCOMPARE(mapping->item(1, 1)->text(), QStringLiteral("B"));
            QCOMPARE(preview->horizontalHeaderItem(1)->text(), QStringLiteral("B"));
            QCOMPARE(preview->item(1, 1)->text(), QStringLiteral("员工1"));

            // Neither column: refused, as every participant would come in blank.
            mapping->item(0, 1)->setText(QString());
            mapping->item(1, 1)->setText(QString());
            click(&map, map.findChild<QPushButton *>(QStringLiteral("ok")));
            QCOMPARE(f.prompt.messages, QStringList{QStringLiteral("请填入抽奖号或姓名所在的列号！")});
            QCOMPARE(f.count("号码表"), 0);

            first->setText(QStringLiteral("10"));
            last->setText(QStringLiteral("2")); // reversed: rows 2..10, one short of the file's end
            mapping->item(0, 1)->setText(QStringLiteral("a"));
            // The name is still being typed when 确定 is pressed.
            mapping->editItem(mapping->item(1, 1));
            QLineEdit *editor = mapping->findChild<QLineEdit *>();
            QVERIFY(editor);
            QTest::keyClicks(editor, QStringLiteral("B,\"/\",C"));
            f.prompt.clear();
            click(&map, map.findChild<QPushButton *>(QStringLiteral("ok"))); // No to the short range
            QCOMPARE(f.prompt.questions,
                     QStringList{QStringLiteral("文件共有11行，导入到第10行为止，后面的1行不会导入。是否继续？")});
            QCOMPARE(map.importResult(), -1);
            f.prompt.answers = {true};
            click(&map, map.findChild<QPushButton *>(QStringLiteral("ok")));
            QCOMPARE(map.importResult(), 0);
            QCOMPARE(f.prompt.messages, QStringList{QStringLiteral("已导入 9 条")});
        }
        const QStringList rows = participants(f, draw);
        QCOMPARE(rows.size(), 9);
        QCOMPARE(rows.first(), QStringLiteral("1001|员工1/部门1"));
        QCOMPARE(
            readSetting(SettingsApplication, QStringLiteral("ImputMap"), QStringLiteral("I(1)"), QString()),
            QStringLiteral("B,\"/\",C"));

        // The next file starts at the first row kept and ends at its own last row.
        ImportMapping again(f.db, progress, draw, path, nullptr, QString());
        QCOMPARE(again.findChild<QLineEdit *>(QStringLiteral("firstRow"))->text(), QStringLiteral("10"));
        QCOMPARE(again.findChild<QLineEdit *>(QStringLiteral("lastRow"))->text(), QStringLiteral("11"));
        QCOMPARE(again.findChild<QTableWidget *>(QStringLiteral("mapping"))->item(0, 1)->text(), QStringLiteral("a"));
        again.findChild<QLineEdit *>(QStringLiteral("lastRow"))->setText(QStringLiteral("0"));
        f.prompt.clear();
        again.findChild<QPushButton *>(QStringLiteral("ok"))->click(); // no last row: a message, the window stays
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
            if (auto *map = qobject_cast<ImportMapping *>(&dialog))
                map->findChild<QPushButton *>(QStringLiteral("ok"))->click(); // A and B on first use
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
        QCOMPARE(f.prompt.messages, QStringList{QStringLiteral("已导入 10 条")});
        QCOMPARE(participants(f, older).size(), 10);
        QCOMPARE(chooserKey(chooser->currentText()), older);
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
                sheets->findChild<QPushButton *>(QStringLiteral("ok"))->click(); // the first sheet, marked already
            if (auto *map = qobject_cast<ImportMapping *>(&dialog)) {
                auto *mapping = map->findChild<QTableWidget *>(QStringLiteral("mapping"));
                mapping->item(0, 1)->setText(QStringLiteral("C"));
                mapping->item(1, 1)->setText(QStringLiteral("B"));
                map->findChild<QPushButton *>(QStringLiteral("ok"))->click();
            }
            return dialog.result();
        };
        window.show(); // the button is clicked where it is laid out
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::mouseClick(panel->findChild<QPushButton *>(QStringLiteral("importParticipants")), Qt::LeftButton);
        QCOMPARE(f.prompt.messages, QStringList{QStringLiteral("已导入 7 条")});
        QCOMPARE(participants(f, draw),
                 (QStringList{"13800000001|赵一", "13900000002|钱二", "15000000003|孙三", "18600000004|李四",
                              "17700000005|周五", "12.5|吴六", "|"}));
        QCOMPARE(panel->findChild<QLabel *>(QStringLiteral("participantCount"))->text(),
                 QStringLiteral("共有记录：7条"));

        // The same steps read a check-in list: a number with a name must match both,
        // and what is not found is named.
        if (!file.endsWith(QStringLiteral(".csv")))
            return;
        QFile list(f.dir.filePath(QStringLiteral("签到.csv")));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write(QStringLiteral("号码,姓名\n13800000001,赵一\n13900000002,别人\n15000000003,\n99999,外人\n")
                       .toUtf8());
        list.close();
        window.chooseImportFile = [&] { return list.fileName(); };
        window.runDialog = [](QDialog &dialog) {
            auto *map = qobject_cast<ImportMapping *>(&dialog);
            auto *mapping = map->findChild<QTableWidget *>(QStringLiteral("mapping"));
            mapping->item(0, 1)->setText(QStringLiteral("A"));
            mapping->item(1, 1)->setText(QStringLiteral("B"));
            map->findChild<QLineEdit *>(QStringLiteral("firstRow"))->setText(QStringLiteral("2"));
            map->findChild<QLineEdit *>(QStringLiteral("lastRow"))->setText(QStringLiteral("5"));
            map->findChild<QPushButton *>(QStringLiteral("ok"))->click();
            return dialog.result();
        };
        f.prompt.clear();
        QTest::mouseClick(panel->findChild<QPushButton *>(QStringLiteral("importCheckInList")), Qt::LeftButton);
        QCOMPARE(f.prompt.messages, QStringList{QStringLiteral("已签到 2 人，未找到 2 个号码：\n13900000002 别人、99999 外人"
                                                               "\n\n未找到的号码已全部复制到剪贴板。")});
        QCOMPARE(f.count("号码表", Sql("签到=1 AND 签到方式='签到名单'")), 2);
    }
    // 导出模板 writes a list that, dropped on the participants tab, comes in as written,
    // whatever mapping was kept from another file.
    void theTemplateComesBackWhenDropped_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("xlsx") << QStringLiteral("模板.xlsx");
        QTest::newRow("csv") << QStringLiteral("模板.csv");
    }

    void theTemplateComesBackWhenDropped()
    {
        QFETCH(QString, file);
        DrawFixture f;
        RecordingProgress progress;
        FakeMusic music;
        const qint64 draw = f.addDraw();
        writeSetting(SettingsApplication, QStringLiteral("ImputMap"), QStringLiteral("T(0)"), QStringLiteral("5"));
        writeSetting(SettingsApplication, QStringLiteral("ImputMap"), QStringLiteral("I(0)"), QStringLiteral("C"));
        ManagementWindow window(f.db, f.engine, progress, music);
        window.findChild<QTabWidget *>(QStringLiteral("tabs"))->setCurrentIndex(2);
        QWidget *panel = window.findChild<QTabWidget *>(QStringLiteral("tabs"))->widget(2);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString path = f.dir.filePath(file);
        window.chooseExportFile = [&](const QString &, QString *) { return path; };
        QTest::mouseClick(panel->findChild<QPushButton *>(QStringLiteral("exportTemplate")), Qt::LeftButton);
        QCOMPARE(f.prompt.messages.size(), 1);
        QVERIFY(QFileInfo(path).size() > 0);

        f.prompt.clear();
        QStringList dialogs;
        window.runDialog = [&](QDialog &dialog) {
            dialogs.append(QString::fromLatin1(dialog.metaObject()->className()));
            dialog.findChild<QPushButton *>(QStringLiteral("ok"))->click(); // nothing changed
            return dialog.result();
        };
        QWidget *target = panel->findChild<QAbstractScrollArea *>(QStringLiteral("records"))->viewport();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(target, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(target, &drop);
        QTRY_COMPARE(f.prompt.messages, QStringList{QStringLiteral("已导入 2 条")});
        QCOMPARE(participants(f, draw), (QStringList{"1001|张三", "1002|李四"}));
        QCOMPARE(dialogs.last(), QStringLiteral("quilla::ImportMapping"));
    }
};

QTEST_MAIN(TestImportWindows)
#include "tst_importwindows.moc"
