#include "platform/Appearance.h"
#include "platform/MessagePrompt.h"
#include "platform/WindowHelpers.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace quilla;

namespace {

// Cancels the next modal dialog as soon as it is up; remembers its name filters.
void cancelNextDialog(QStringList *filters = nullptr)
{
    QTimer::singleShot(0, [filters] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog) {
            cancelNextDialog(filters);
            return;
        }
        if (auto *files = qobject_cast<QFileDialog *>(dialog); files && filters)
            *filters = files->nameFilters();
        static_cast<QDialog *>(dialog)->reject();
    });
}

} // namespace

class TestWindowHelpers : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase()
    {
        // No native dialogs offscreen; make sure of it so the cancel reaches ours.
        QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    }

    void cancelledDialogsGiveTheirEmptyValues()
    {
        QStringList filters;
        cancelNextDialog(&filters);
        QCOMPARE(askImportFile(QString()), QString());
        QCOMPARE(filters, (QStringList{QStringLiteral("Microsoft Office Excel 工作簿(*.xls *.xlsx)"),
                                       QStringLiteral("CSV (逗号分隔)(*.csv)")}));
        cancelNextDialog();
        QCOMPARE(askColor(255), -1);
    }

    void filtersAndColours()
    {
        QCOMPARE(fileDialogFilter(QStringLiteral("图片|*.jpg;*.bmp|声音|*.mp3;*.wav")),
                 QStringLiteral("图片 (*.jpg *.bmp);;声音 (*.mp3 *.wav)"));
        QCOMPARE(colorFromBgr(255), QColor(Qt::red));
        QCOMPARE(colorFromBgr(0xFF0000), QColor(Qt::blue));
        QCOMPARE(bgrFromColor(QColor(1, 2, 3)), 0x030201);
        QCOMPARE(toTwips(toPixels(1500)), 1500.0); // 100 pixels at 96 dpi
        QCOMPARE(twipsPerPixel(), 15.0);
    }

    void storedValues()
    {
        bool flag = true;
        parseStoredValue(flag, QStringLiteral("  "));
        QVERIFY(!flag);
        parseStoredValue(flag, QStringLiteral("√"));
        QVERIFY(flag);
        qint64 number = 5;
        parseStoredValue(number, QStringLiteral("12px"));
        QCOMPARE(number, 12);
        parseStoredValue(number, QStringLiteral("abc"));
        QCOMPARE(number, 0);
        double real = 0;
        parseStoredValue(real, QStringLiteral(" -2.5e1 pt"));
        QCOMPARE(real, -25.0);
    }

    void topmostAndCentred()
    {
        QWidget dialog;
        dialog.resize(200, 100);
        makeTopmost(&dialog);
        QVERIFY(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
        centreInWorkArea(&dialog);
        const QRect screen = dialog.screen()->geometry();
        QCOMPARE(dialog.frameGeometry().center().x(), screen.center().x());
        // Wider than the display: the left edge stays on it.
        dialog.resize(screen.width() + 300, 100);
        centreInWorkArea(&dialog);
        QCOMPARE(dialog.frameGeometry().left(), dialog.screen()->availableGeometry().left());
    }

    void chineseButtonsAndFonts()
    {
        auto *app = qApp;
        installChineseTranslations(*app);
        setUpFonts(*app);
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Yes |
                             QDialogButtonBox::No);
        QCOMPARE(box.button(QDialogButtonBox::Ok)->text(), QStringLiteral("确定"));
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
        QVERIFY(box.button(QDialogButtonBox::Yes)->text().startsWith(QStringLiteral("是")));
#ifdef Q_OS_WIN // Windows' own Chinese faces
        QCOMPARE(QFontInfo(QApplication::font()).family(), QStringLiteral("Microsoft YaHei"));
        QCOMPARE(QFontInfo(QFont(QStringLiteral("楷体_GB2312"))).family(), QStringLiteral("KaiTi"));
#else
        QCOMPARE(QFontInfo(QApplication::font()).family(), QStringLiteral("Noto Sans CJK SC"));
        QCOMPARE(QFontInfo(QFont(QStringLiteral("楷体_GB2312"))).family(), QStringLiteral("AR PL UKai CN"));
#endif
    }

    // Enter on a question answers No unless the question offers Yes: a stray Enter after
    // "重新抽奖" must not wipe a party's results.
    void enterAnswersTheOfferedDefault()
    {
        MessagePrompt prompt;
        for (const auto answer : {Prompt::Default::No, Prompt::Default::Yes}) {
            QString asked;
            QTimer::singleShot(0, [&asked] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                QVERIFY(box);
                asked = box->text();
                QTest::keyClick(box, Qt::Key_Return);
            });
            QCOMPARE(prompt.question(QStringLiteral("删除？"), Prompt::Icon::Question, answer),
                     answer == Prompt::Default::Yes);
            QCOMPARE(asked, QStringLiteral("删除？"));
        }
    }
};

QTEST_MAIN(TestWindowHelpers)
#include "tst_windowhelpers.moc"
