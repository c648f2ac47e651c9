#include "FrameSettings.h"

#include "NumberFrame.h"
#include "PixelBox.h"
#include "ScreenAppearance.h"
#include "data/Prompt.h"
#include "engine/ScreenSettings.h"
#include "platform/WindowHelpers.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace quilla {

namespace {

constexpr int PreviewDelay = 1000; // ms

} // namespace

FrameSettings::FrameSettings(ScreenAppearance &screen, QWidget *parent) : QDialog(parent, Qt::Tool), m_screen(screen)
{
    setWindowTitle(QStringLiteral("号码框设置"));
    chooseColor = [this](qint64 start) { return ChooseColor(start, this); };

    const QString groups[4] = {QStringLiteral("位置"), QStringLiteral("尺寸"), QStringLiteral("底色"),
                               QStringLiteral("字体/颜色")};
    for (int i = 0; i < 4; ++i)
        Frame1[i] = new QGroupBox(groups[i], this);
    const QString names[4] = {QStringLiteral("位置横向"), QStringLiteral("位置纵向"),
                              QStringLiteral("尺寸横向"), QStringLiteral("尺寸纵向")};
    for (int i = 0; i < 4; ++i) {
        Label1[i] = new QLabel(i % 2 == 0 ? QStringLiteral("横向：") : QStringLiteral("纵向："), this);
        TT[i] = new PixelBox(i < 2 ? -FrameReach : 0, this);
        TT[i]->setAccessibleName(names[i]);
        Label1[i]->setBuddy(TT[i]);
    }
    Label1[4] = new QLabel(QStringLiteral("颜色："), this);
    LClr = new QPushButton(this);
    LClr->setAccessibleName(QStringLiteral("号码框底色"));
    LClr->setToolTip(QStringLiteral("点击选择号码框的底色"));
    Label1[4]->setBuddy(LClr);
    CK[0] = new QCheckBox(QStringLiteral("透明"), this);
    CK[1] = new QCheckBox(QStringLiteral("纵向自动缩放"), this);
    const QString captions[4] = {QStringLiteral("确     定"), QStringLiteral("取     消"),
                                 QStringLiteral("字体"), QStringLiteral("颜色")};
    const QString buttonNames[4] = {QStringLiteral("确定"), QStringLiteral("取消"),
                                    QStringLiteral("号码字体"), QStringLiteral("号码颜色")};
    for (int i = 0; i < 4; ++i) {
        Com[i] = new QPushButton(captions[i], this);
        Com[i]->setAccessibleName(buttonNames[i]);
        Com[i]->setAutoDefault(false);
    }
    Com[0]->setDefault(true);
    setSwatch(m_colour);
    buildLayout();
    SetTabChain({TT[0], TT[1], TT[2], TT[3], CK[1], LClr, CK[0], Com[2], Com[3], Com[0], Com[1]});

    T = new QTimer(this);
    T->setSingleShot(true);
    T->setInterval(PreviewDelay);

    // The controls show the frame as it is: the stored string, or the default
    // frame the screen shows when the draw has none.
    m_opening = m_screen.frameString();
    GetFramePara(ParseFrame(m_opening) ? m_opening : FormatFrame(m_screen.numberFrame()->frameLayout()));
    T->start();

    for (PixelBox *box : TT)
        connect(box, &QLineEdit::textChanged, this, &FrameSettings::TT_Change);
    for (QCheckBox *box : CK)
        connect(box, &QCheckBox::toggled, this, &FrameSettings::TT_Change);
    connect(LClr, &QPushButton::clicked, this, &FrameSettings::LClr_Click);
    for (int i = 0; i < 4; ++i)
        connect(Com[i], &QPushButton::clicked, this, [this, i] { Com_Click(i); });
}

void FrameSettings::buildLayout()
{
    LayOutPixelGroup(Frame1[0], Label1[0], TT[0], Label1[1], TT[1])->setRowStretch(3, 1);
    QGridLayout *size = LayOutPixelGroup(Frame1[1], Label1[2], TT[2], Label1[3], TT[3]);
    size->addWidget(CK[1], 2, 0, 1, 2);
    size->setRowStretch(3, 1);
    auto *colour = new QGridLayout(Frame1[2]);
    LClr->setFixedSize(TT[0]->width(), TT[0]->sizeHint().height());
    colour->addWidget(Label1[4], 0, 0);
    colour->addWidget(LClr, 0, 1);
    colour->addWidget(CK[0], 1, 0, 1, 2);
    colour->setRowStretch(2, 1);
    auto *text = new QVBoxLayout(Frame1[3]);
    text->addWidget(Com[2]);
    text->addWidget(Com[3]);
    text->addStretch();

    LayOutSettingsWindow(this, Frame1, {Com[0], Com[1]});
}

QString FrameSettings::GetFrameStr()
{
    FrameLayout layout;
    layout.Left = TT[0]->value();
    layout.Top = TT[1]->value();
    layout.Width = TT[2]->value();
    layout.Height = TT[3]->value();
    layout.Colour = m_colour;
    layout.Transparent = CK[0]->isChecked();
    layout.AutoHeight = CK[1]->isChecked();
    const QString text = FormatFrame(layout);
    if (!T->isActive())
        m_screen.applyFrameLayout(text);
    return text;
}

void FrameSettings::GetFramePara(const QString &frameString)
{
    const std::optional<FrameLayout> layout = ParseFrame(frameString);
    if (!layout)
        return;
    m_filling = true;
    TT[0]->setValue(layout->Left);
    TT[1]->setValue(layout->Top);
    TT[2]->setValue(layout->Width);
    TT[3]->setValue(layout->Height);
    CK[0]->setChecked(layout->Transparent);
    CK[1]->setChecked(layout->AutoHeight);
    setSwatch(layout->Colour);
    m_filling = false;
}

void FrameSettings::setSwatch(qint64 colour)
{
    m_colour = colour;
    LClr->setAccessibleDescription(ColorFromBgr(colour).name());
    LClr->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: 1px solid #808080; }")
                            .arg(ColorFromBgr(colour).name()));
}

void FrameSettings::TT_Change()
{
    if (!m_filling)
        GetFrameStr();
}

void FrameSettings::LClr_Click()
{
    const qint64 colour = chooseColor(m_colour);
    if (colour < 0)
        return;
    setSwatch(colour);
    GetFrameStr();
}

void FrameSettings::saveNumbersStyle()
{
    if (!m_screen.saveTextStyle(ScreenAppearance::Numbers))
        m_screen.operatorPrompt().message(QStringLiteral("号码的字体和颜色未能保存，请检查数据库文件！"),
                                          Prompt::Icon::Warning);
}

void FrameSettings::Com_Click(int index)
{
    switch (index) {
    case 0:
        // Until the string is on disk the dialog stays, and so does the preview.
        if (!m_screen.storeFrameString(GetFrameStr())) {
            m_screen.operatorPrompt().message(QStringLiteral("号码框设置未能保存，请检查数据库文件！"),
                                              Prompt::Icon::Warning);
            return;
        }
        accept();
        break;
    case 1:
        reject();
        break;
    case 2:
        if (m_screen.chooseFont(ScreenAppearance::Numbers, this)) {
            saveNumbersStyle();
            GetFrameStr();
        }
        break;
    case 3: {
        const QLabel *numbers = m_screen.textLabel(ScreenAppearance::Numbers);
        const qint64 colour = chooseColor(BgrFromColor(numbers->palette().color(QPalette::WindowText)));
        if (colour < 0)
            return;
        m_screen.setTextColour(ScreenAppearance::Numbers, colour);
        saveNumbersStyle();
        GetFrameStr();
        break;
    }
    default:
        break;
    }
}

void FrameSettings::reject()
{
    // The look the frame had at the opening; the string stored is the one it had
    // too, so a failed write leaves nothing wrong on the screen and the dialog goes.
    m_screen.applyFrameLayout(QString());
    // Stored already when nothing was confirmed: a read-only file then has no cause to complain.
    if (m_screen.frameString() != m_opening && !m_screen.storeFrameString(m_opening))
        m_screen.operatorPrompt().message(QStringLiteral("号码框设置未能保存，请检查数据库文件！"),
                                          Prompt::Icon::Warning);
    QDialog::reject();
}

void FrameSettings::closeWithScreen()
{
    m_screen.applyFrameLayout(QString());
    QDialog::done(QDialog::Rejected);
}

} // namespace quilla
