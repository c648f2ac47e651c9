#include "PrizeEditor.h"

#include "EditorParts.h"
#include "data/Database.h"
#include "data/TextNumber.h"
#include "engine/DrawState.h"
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
    : QWidget(parent, Qt::Window), m_db(db), m_name(new QLineEdit), m_quantity(new QLineEdit(QStringLiteral("1"))),
      m_perRound(new QLineEdit(QStringLiteral("1"))), m_shownOnBoard(new QCheckBox(QStringLiteral("显示在公告中"))),
      m_repeatable(new QCheckBox(QStringLiteral("获奖者可再次参与抽奖"))), m_article(new QPlainTextEdit)
{
    setWindowTitle(QStringLiteral("添加/修改奖项设置"));
    closeOnEscape(this);
    m_name->setObjectName(QStringLiteral("name"));
    m_quantity->setObjectName(QStringLiteral("quantity"));
    m_perRound->setObjectName(QStringLiteral("perRound"));
    m_shownOnBoard->setObjectName(QStringLiteral("shownOnBoard"));
    m_repeatable->setObjectName(QStringLiteral("repeatable"));
    m_article->setObjectName(QStringLiteral("article"));
    m_article->setAccessibleName(QStringLiteral("奖品说明"));

    m_shownOnBoard->setChecked(true);
    for (QCheckBox *box : {m_shownOnBoard, m_repeatable})
        box->setToolTip(QStringLiteral("抽奖开始后是定时自动抽出，还是手动操作。"));
    m_article->setTabChangesFocus(true);
    m_article->setMinimumHeight(90);

    auto *box = new QGroupBox(QStringLiteral("抽奖设置"));
    auto *fields = new QFormLayout(box);
    fields->addRow(QStringLiteral("奖项名称："), m_name);
    fields->addRow(QStringLiteral("奖项数量："), m_quantity);
    fields->addRow(QStringLiteral("一次抽出数量："), m_perRound);
    auto *checks = new QHBoxLayout;
    checks->addWidget(m_shownOnBoard);
    checks->addWidget(m_repeatable);
    checks->addStretch();
    fields->addRow(checks);
    auto *articleLabel = new QLabel(QStringLiteral("奖品说明："));
    articleLabel->setBuddy(m_article);
    fields->addRow(articleLabel);
    fields->addRow(m_article);

    auto *ok = namedButton(QStringLiteral("确    定"), QStringLiteral("ok"));
    auto *cancel = namedButton(QStringLiteral("取    消"), QStringLiteral("cancel"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(box);
    layout->addLayout(buttonRow(ok, cancel));
    connect(ok, &QPushButton::clicked, this, &PrizeEditor::saveAndClose);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);

    setMinimumWidth(380);
    // The description box would ask for far more room than a few lines need.
    resize(minimumSizeHint());
    centreInWorkArea(this);
}

void PrizeEditor::setID(qint64 id)
{
    m_id = id;
    load();
}

void PrizeEditor::load()
{
    if (m_id <= 0)
        return;
    Query rs = m_db.openQuery(Sql("SELECT * FROM 奖项表 WHERE ID=") + Sql::number(m_id));
    if (rs.rowCount() == 0)
        return;
    m_cid = rs.number(u"CID");
    m_ord = rs.text(u"顺序");
    m_name->setText(rs.text(u"名称"));
    m_quantity->setText(rs.text(u"数量"));
    m_article->setPlainText(rs.text(u"奖品"));
    m_perRound->setText(rs.text(u"同时"));
    m_shownOnBoard->setChecked(rs.flag(u"显示"));
    m_repeatable->setChecked(rs.flag(u"重复"));
}

void PrizeEditor::saveAndClose()
{
    // The columns hold 32-bit numbers: more than that would wrap round in the file.
    const double total = std::nearbyint(leadingNumber(m_quantity->text()));
    if (!(total >= 1 && total <= double(MaxPrizeCount))) {
        m_db.prompt().message(QStringLiteral("奖项数量必须在1至%1之间！").arg(MaxPrizeCount));
        return;
    }
    const double n = std::nearbyint(leadingNumber(m_perRound->text()));
    if (!(leadingNumber(m_quantity->text()) >= n && n > 0)) {
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
    Query rs = m_db.openQuery(Sql("SELECT * FROM 奖项表 WHERE ID=") + Sql::number(m_id));
    if (!rs.isValid())
        return false;
    if (rs.rowCount() == 0)
        rs.addNew();
    rs.setValue(u"CID", m_cid);
    rs.setValue(u"顺序", wholeNumber(leadingNumber(m_ord)));
    rs.setValue(u"名称", m_name->text());
    rs.setValue(u"数量", wholeNumber(leadingNumber(m_quantity->text())));
    rs.setValue(u"奖品", m_article->toPlainText());
    rs.setValue(u"同时", wholeNumber(leadingNumber(m_perRound->text())));
    rs.setValue(u"显示", m_shownOnBoard->isChecked());
    rs.setValue(u"重复", m_repeatable->isChecked());
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
