#include "PrizeEditor.h"

#include "EditorParts.h"
#include "data/Database.h"
#include "data/TextNumber.h"
#include "platform/WindowHelpers.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace quilla {

namespace {

// The nearest whole number, halves to even. Numbers too large for a column
// are held at its bounds rather than overflowing.
qint64 wholeNumber(double value)
{
    constexpr double Limit = 1e15;
    if (std::isnan(value))
        return 0;
    return qint64(std::nearbyint(std::clamp(value, -Limit, Limit)));
}

} // namespace

PrizeEditor::PrizeEditor(Database &db, QWidget *parent)
    : QWidget(parent, Qt::Window), TT0(new QLineEdit), TT1(new QLineEdit(QStringLiteral("1"))),
      TT2(new QPlainTextEdit),
      TT3(new QLineEdit(QStringLiteral("1"))), CK{new QCheckBox(QStringLiteral("显示在公告中")),
                                                  new QCheckBox(QStringLiteral("获奖者可再次参与抽奖"))},
      Com{nullptr, new QPushButton(QStringLiteral("确    定")), new QPushButton(QStringLiteral("取    消"))},
      Frame1(new QGroupBox(QStringLiteral("抽奖设置"))), m_db(db)
{
    setWindowTitle(QStringLiteral("添加/修改奖项设置"));

    CK[0]->setChecked(true);
    for (QCheckBox *box : CK)
        box->setToolTip(QStringLiteral("抽奖开始后是定时自动抽出，还是手动操作。"));
    TT2->setTabChangesFocus(true);
    TT2->setMinimumHeight(90);

    auto *fields = new QFormLayout(Frame1);
    fields->addRow(QStringLiteral("奖项名称："), TT0);
    fields->addRow(QStringLiteral("奖项数量："), TT1);
    fields->addRow(QStringLiteral("一次抽出数量："), TT3);
    auto *checks = new QHBoxLayout;
    checks->addWidget(CK[0]);
    checks->addWidget(CK[1]);
    checks->addStretch();
    fields->addRow(checks);
    auto *articleLabel = new QLabel(QStringLiteral("奖品说明："));
    articleLabel->setBuddy(TT2);
    fields->addRow(articleLabel);
    fields->addRow(TT2);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Frame1);
    layout->addLayout(ButtonRow(Com[1], Com[2]));

    for (int i = 1; i <= 2; ++i)
        connect(Com[i], &QPushButton::clicked, this, [this, i] { Com_Click(i); });

    setMinimumWidth(380);
    // The description box would ask for far more room than a few lines need.
    resize(minimumSizeHint());
    CentreInWorkArea(this);
}

void PrizeEditor::setID(qint64 id)
{
    m_id = id;
    ID_Change();
}

void PrizeEditor::ID_Change()
{
    if (m_id <= 0)
        return;
    Query rs = m_db.OpenQuery(Sql("SELECT * FROM 奖项表 WHERE ID=") + Sql::number(m_id));
    if (rs.rowCount() == 0)
        return;
    m_cid = rs.number(u"CID");
    m_ord = rs.text(u"顺序");
    TT0->setText(rs.text(u"名称"));
    TT1->setText(rs.text(u"数量"));
    TT2->setPlainText(rs.text(u"奖品"));
    TT3->setText(rs.text(u"同时"));
    CK[0]->setChecked(rs.flag(u"显示"));
    CK[1]->setChecked(rs.flag(u"重复"));
}

void PrizeEditor::Com_Click(int index)
{
    if (index == 2) {
        close();
        return;
    }
    const double n = std::nearbyint(LeadingNumber(TT3->text()));
    const double total = LeadingNumber(TT1->text());
    if (!(total >= n && n > 0)) {
        m_db.prompt().message(QStringLiteral("一次抽出获奖人数不能少于一人或大于总获奖人数！"));
        return;
    }
    // The operator's typing is lost if the window closes on a refused write.
    if (!save()) {
        m_db.prompt().message(QStringLiteral("奖项设置未能保存，请检查数据库文件！"), Prompt::Icon::Warning);
        return;
    }
    Q_EMIT saved();
    close();
}

bool PrizeEditor::save()
{
    Query rs = m_db.OpenQuery(Sql("SELECT * FROM 奖项表 WHERE ID=") + Sql::number(m_id));
    if (!rs.isValid())
        return false;
    if (rs.rowCount() == 0)
        rs.addNew();
    rs.setValue(u"CID", m_cid);
    rs.setValue(u"顺序", wholeNumber(LeadingNumber(m_ord)));
    rs.setValue(u"名称", TT0->text());
    rs.setValue(u"数量", wholeNumber(LeadingNumber(TT1->text())));
    rs.setValue(u"奖品", TT2->toPlainText());
    rs.setValue(u"同时", wholeNumber(LeadingNumber(TT3->text())));
    rs.setValue(u"显示", CK[0]->isChecked());
    rs.setValue(u"重复", CK[1]->isChecked());
    if (!rs.save())
        return false;
    m_id = rs.number(u"ID");
    return true;
}

void PrizeEditor::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    Q_EMIT closed();
}

} // namespace quilla
