#include "BoardSettings.h"

#include "PixelBox.h"
#include "ScreenAppearance.h"
#include "data/Prompt.h"
#include "engine/ScreenSettings.h"
#include "platform/WindowHelpers.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quilla {

namespace {

PixelBox *placeBox(const QString &name, int least, QWidget *parent)
{
    auto *box = new PixelBox(least, parent);
    box->setAccessibleName(name);
    return box;
}

QPushButton *dialogButton(const QString &caption, const QString &objectName, const QString &accessible,
                          QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(objectName);
    button->setAccessibleName(accessible);
    button->setAutoDefault(false);
    return button;
}

} // namespace

BoardSettings::BoardSettings(ScreenAppearance &screen, QWidget *parent)
    : QDialog(parent, Qt::Tool), m_screen(screen), m_left(placeBox(QStringLiteral("位置横向"), -FrameReach, this)),
      m_top(placeBox(QStringLiteral("位置纵向"), -FrameReach, this)),
      m_width(placeBox(QStringLiteral("尺寸横向"), 0, this)), m_height(placeBox(QStringLiteral("尺寸纵向"), 0, this)),
      m_ok(dialogButton(QStringLiteral("确   定"), QStringLiteral("ok"), QStringLiteral("确定"), this)),
      m_titleFont(dialogButton(QStringLiteral("字体"), QStringLiteral("titleFont"), QStringLiteral("标题字体"), this)),
      m_listFont(dialogButton(QStringLiteral("字体"), QStringLiteral("listFont"), QStringLiteral("正文字体"), this)),
      m_titleColour(
          dialogButton(QStringLiteral("颜色"), QStringLiteral("titleColour"), QStringLiteral("标题颜色"), this)),
      m_listColour(dialogButton(QStringLiteral("颜色"), QStringLiteral("listColour"), QStringLiteral("正文颜色"), this))
{
    setWindowTitle(QStringLiteral("公告板位置设置"));
    chooseColor = [this](qint64 start) { return askColor(start, this); };
    m_left->setObjectName(QStringLiteral("left"));
    m_top->setObjectName(QStringLiteral("top"));
    m_width->setObjectName(QStringLiteral("width"));
    m_height->setObjectName(QStringLiteral("height"));
    m_height->setToolTip(QStringLiteral("标题的高度，名单紧接在标题下面"));
    m_ok->setDefault(true);
    buildLayout();
    setTabChain({m_left, m_top, m_width, m_height, m_titleFont, m_titleColour, m_listFont, m_listColour, m_ok});

    // The boxes show where the title stands now; filling them moves nothing.
    const QRect title = m_screen.textLabel(ScreenAppearance::BoardTitle)->geometry();
    m_filling = true;
    m_left->setValue(title.x());
    m_top->setValue(title.y());
    m_width->setValue(title.width());
    m_height->setValue(title.height());
    m_filling = false;
    m_screen.setBoardOpaque(true);

    for (PixelBox *box : {m_left, m_top, m_width, m_height})
        connect(box, &QLineEdit::textChanged, this, &BoardSettings::placeChanged);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_titleFont, &QPushButton::clicked, this, [this] { chooseFont(true); });
    connect(m_listFont, &QPushButton::clicked, this, [this] { chooseFont(false); });
    connect(m_titleColour, &QPushButton::clicked, this, [this] { chooseColour(true); });
    connect(m_listColour, &QPushButton::clicked, this, [this] { chooseColour(false); });
}

void BoardSettings::buildLayout()
{
    QGroupBox *const groups[4] = {new QGroupBox(QStringLiteral("位置"), this), new QGroupBox(QStringLiteral("尺寸"), this),
                                  new QGroupBox(QStringLiteral("标题"), this), new QGroupBox(QStringLiteral("正文"), this)};
    const auto label = [this](const QString &text, QWidget *buddy) {
        auto *caption = new QLabel(text, this);
        caption->setBuddy(buddy);
        return caption;
    };
    layOutPixelGroup(groups[0], label(QStringLiteral("横向："), m_left), m_left, label(QStringLiteral("纵向："), m_top),
                     m_top);
    layOutPixelGroup(groups[1], label(QStringLiteral("横向："), m_width), m_width,
                     label(QStringLiteral("纵向："), m_height), m_height);
    auto *title = new QHBoxLayout(groups[2]);
    title->addWidget(m_titleFont);
    title->addWidget(m_titleColour);
    auto *list = new QHBoxLayout(groups[3]);
    list->addWidget(m_listFont);
    list->addWidget(m_listColour);
    layOutSettingsWindow(this, groups, {m_ok});
}

void BoardSettings::placeChanged()
{
    if (m_filling)
        return;
    m_screen.setBoardGeometry(QRect(m_left->value(), m_top->value(), m_width->value(), m_height->value()));
}

void BoardSettings::chooseFont(bool title)
{
    m_screen.chooseFont(title ? ScreenAppearance::BoardTitle : ScreenAppearance::BoardList, this);
}

void BoardSettings::chooseColour(bool title)
{
    const auto element = title ? ScreenAppearance::BoardTitle : ScreenAppearance::BoardList;
    const QLabel *label = m_screen.textLabel(element);
    const qint64 colour = chooseColor(bgrFromColor(label->palette().color(QPalette::WindowText)));
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
