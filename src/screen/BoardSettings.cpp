#include "BoardSettings.h"

#include "PixelBox.h"
#include "ScreenAppearance.h"
#include "data/Prompt.h"
#include "engine/ScreenSettings.h"
#include "platform/WindowHelpers.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quilla {

BoardSettings::BoardSettings(ScreenAppearance &screen, QWidget *parent) : QDialog(parent, Qt::Tool), m_screen(screen)
{
    setWindowTitle(QStringLiteral("公告板位置设置"));
    chooseColor = [this](qint64 start) { return ChooseColor(start, this); };

    const QString groups[4] = {QStringLiteral("位置"), QStringLiteral("尺寸"), QStringLiteral("标题"),
                               QStringLiteral("正文")};
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
    TT[3]->setToolTip(QStringLiteral("标题的高度，名单紧接在标题下面"));
    const QString captions[5] = {QStringLiteral("确   定"), QStringLiteral("字体"), QStringLiteral("字体"),
                                 QStringLiteral("颜色"), QStringLiteral("颜色")};
    const QString buttonNames[5] = {QStringLiteral("确定"), QStringLiteral("标题字体"),
                                    QStringLiteral("正文字体"), QStringLiteral("标题颜色"),
                                    QStringLiteral("正文颜色")};
    for (int i = 0; i < 5; ++i) {
        Com[i] = new QPushButton(captions[i], this);
        Com[i]->setAccessibleName(buttonNames[i]);
        Com[i]->setAutoDefault(false);
    }
    Com[0]->setDefault(true);
    buildLayout();
    SetTabChain({TT[0], TT[1], TT[2], TT[3], Com[1], Com[3], Com[2], Com[4], Com[0]});

    // The boxes show where the title stands now; filling them moves nothing.
    const QRect title = m_screen.textLabel(ScreenAppearance::BoardTitle)->geometry();
    m_filling = true;
    TT[0]->setValue(title.x());
    TT[1]->setValue(title.y());
    TT[2]->setValue(title.width());
    TT[3]->setValue(title.height());
    m_filling = false;
    m_screen.setBoardOpaque(true);

    for (PixelBox *box : TT)
        connect(box, &QLineEdit::textChanged, this, &BoardSettings::TT_Change);
    for (int i = 0; i < 5; ++i)
        connect(Com[i], &QPushButton::clicked, this, [this, i] { Com_Click(i); });
}

void BoardSettings::buildLayout()
{
    LayOutPixelGroup(Frame1[0], Label1[0], TT[0], Label1[1], TT[1]);
    LayOutPixelGroup(Frame1[1], Label1[2], TT[2], Label1[3], TT[3]);
    for (int group = 2; group < 4; ++group) {
        auto *row = new QHBoxLayout(Frame1[group]);
        row->addWidget(Com[group - 1]); // font
        row->addWidget(Com[group + 1]); // colour
    }
    LayOutSettingsWindow(this, Frame1, {Com[0]});
}

void BoardSettings::TT_Change()
{
    if (m_filling)
        return;
    m_screen.setBoardGeometry(QRect(TT[0]->value(), TT[1]->value(), TT[2]->value(), TT[3]->value()));
}

void BoardSettings::Com_Click(int index)
{
    if (index == 0) {
        accept();
        return;
    }
    const auto element = index % 2 == 1 ? ScreenAppearance::BoardTitle : ScreenAppearance::BoardList;
    if (index <= 2) {
        m_screen.chooseFont(element, this);
        return;
    }
    const QLabel *label = m_screen.textLabel(element);
    const qint64 colour = chooseColor(BgrFromColor(label->palette().color(QPalette::WindowText)));
    if (colour >= 0)
        m_screen.setTextColour(element, colour);
}

void BoardSettings::done(int result)
{
    if (!m_stored) {
        m_stored = true;
        const bool title = m_screen.saveTextStyle(ScreenAppearance::BoardTitle);
        const bool list = m_screen.saveTextStyle(ScreenAppearance::BoardList);
        m_screen.setBoardOpaque(false);
        // There is nothing to go back to: the dialog closes, and the operator knows.
        if (!title || !list)
            m_screen.operatorPrompt().message(
                QStringLiteral("公告板的位置和字体未能保存，请检查数据库文件！"), Prompt::Icon::Warning);
    }
    QDialog::done(result);
}

} // namespace quilla
