#include "data/Sql.h"
#include "platform/ChooserBox.h"
#include "support/TempDatabase.h"

#include <QComboBox>
#include <QTest>

using namespace quilla;

class TestChooserBox : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void fillsNewestFirstOrLeavesTextAlone()
    {
        TempDatabase t;
        QComboBox combo;
        combo.setEditable(true);
        combo.setEditText(QStringLiteral("请选择"));
        fillCombo(&combo, t.db, QStringLiteral("奖次表"), QStringLiteral("ID"), QStringLiteral("抽奖内容"),
                    Sql());
        QCOMPARE(combo.count(), 0);
        QCOMPARE(combo.currentText(), QStringLiteral("请选择"));

        Query draws = t.db.openQuery(Sql("SELECT * FROM 奖次表 WHERE FALSE"));
        for (const QString &name : {QStringLiteral("春节"), QStringLiteral("年会")}) {
            draws.addNew();
            draws.setValue(u"抽奖内容", name);
            QVERIFY(draws.save());
        }
        fillCombo(&combo, t.db, QStringLiteral("奖次表"), QStringLiteral("ID"), QStringLiteral("抽奖内容"),
                    Sql());
        QCOMPARE(combo.count(), 2);
        QCOMPARE(combo.currentText(), QStringLiteral("2‖年会"));
    }
};

QTEST_MAIN(TestChooserBox)
#include "tst_chooserbox.moc"
