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

FrameSettings::FrameSettings(ScreenAppearance &screen, QWidget *parent)
    : QDialog(parent, Qt::Tool), m_screen(screen), m_left(new PixelBox(-FrameReach, this)),
      m_top(new PixelBox(-FrameReach, this)), m_width(new PixelBox(0, this)), m_height(new PixelBox(0, this)),
      m_swatch(new QPushButton(this)), m_transparent(new QCheckBox(QStringLiteral("透明"), this)),
      m_autoHeight(new QCheckBox(QStringLiteral("纵向自动缩放"), this)),
      m_ok(new QPushButton(QStringLiteral("确     定"), this)),
      m_cancel(new QPushButton(QStringLiteral("取     消"), this)),
      m_numbersFont(new QPushButton(QStringLiteral("字体"), this)),
      m_numbersColour(new QPushButton(QStringLiteral("颜色"), this)), m_previewDelay(new QTimer(this))
{
    setWindowTitle(QStringLiteral("号码框设置"));
    chooseColor = [this](qint64 start) { return askColor(start, this); };

    const std::pair<QWidget *, const char16_t *> names[] = {
        {m_left, u"位置横向"},   {m_top, u"位置纵向"},          {m_width, u"尺寸横向"},
        {m_height, u"尺寸纵向"}, {m_swatch, u"号码框底色"},     {m_ok, u"确定"},
        {m_cancel, u"取消"},     {m_numbersFont, u"号码字体"}, {m_numbersColour, u"号码颜色"}};
    for (const auto &[control, name] : names)
        control->setAccessibleName(QString::fromUtf16(name));
    const std::pair<QObject *, const char *> objectNames[] = {
        {m_left, "left"},       {m_top, "top"},
        {m_width, "width"},     {m_height, "height"},
        {m_swatch, "swatch"},   {m_transparent, "transparent"},
        {m_autoHeight, "autoHeight"}, {m_ok, "ok"},
        {m_cancel, "cancel"},   {m_numbersFont, "numbersFont"},
        {m_numbersColour, "numbersColour"}, {m_previewDelay, "previewDelay"}};
    for (const auto &[object, name] : objectNames)
        object->setObjectName(QString::fromLatin1(name));
    m_swatch->setToolTip(QStringLiteral("点击选择号码框的底色"));
    for (QPushButton *button : {m_ok, m_cancel, m_numbersFont, m_numbersColour})
        button->setAutoDefault(false);
    m_ok->setDefault(true);
    setSwatch(m_colour);
    buildLayout();
    setTabChain({m_left, m_top, m_width, m_height, m_autoHeight, m_swatch, m_transparent, m_numbersFont,
                 m_numbersColour, m_ok, m_cancel});

    m_previewDelay->setSingleShot(true);
    m_previewDelay->setInterval(PreviewDelay);

    // The controls show the frame as it is: the stored string, or the default
    // frame the screen shows when the draw has none.
    m_opening = m_screen.frameString();
    showFrameString(parseFrame(m_opening) ? m_opening : formatFrame(m_screen.numberFrame()->frameLayout()));
    m_previewDelay->start();

    for (PixelBox *box : {m_left, m_top, m_width, m_height})
        connect(box, &QLineEdit::textChanged, this, &FrameSettings::controlsChanged);
    for (QCheckBox *box : {m_transparent, m_autoHeight})
        connect(box, &QCheckBox::toggled, this, &FrameSettings::controlsChanged);
    connect(m_swatch, &QPushButton::clicked, this, &FrameSettings::chooseFrameColour);
    connect(m_ok, &QPushButton::clicked, this, &FrameSettings::confirm);
    connect(m_cancel, &QPushButton::clicked, this, &FrameSettings::reject);
    connect(m_numbersFont, &QPushButton::clicked, this, &FrameSettings::chooseNumbersFont);
    connect(m_numbersColour, &QPushButton::clicked, this, &FrameSettings::chooseNumbersColour);
}

void FrameSettings::buildLayout()
{
    QGroupBox *const groups[4] = {
        new QGroupBox(QStringLiteral("位置"), this), new QGroupBox(QStringLiteral("尺寸"), this),
        new QGroupBox(QStringLiteral("底色"), this), new QGroupBox(QStringLiteral("字体/颜色"), this)};
    const auto label = [this](const QString &text, QWidget *buddy) {
        auto *caption = new QLabel(text, this);
        caption->setBuddy(buddy);
        return caption;
    };
    layOutPixelGroup(groups[0], label(QStringLiteral("横向："), m_left), m_left,
                     label(QStringLiteral("纵向："), m_top), m_top)
        ->setRowStretch(3, 1);
    QGridLayout *size = layOutPixelGroup(groups[1], label(QStringLiteral("横向："), m_width), m_width,
                                         label(QStringLiteral("纵向："), m_height), m_height);
    size->addWidget(m_autoHeight, 2, 0, 1, 2);
    size->setRowStretch(3, 1);
    auto *colour = new QGridLayout(groups[2]);
    m_swatch->setFixedSize(m_left->width(), m_left->sizeHint().height());
    colour->addWidget(label(QStringLiteral("颜色："), m_swatch), 0, 0);
    colour->addWidget(m_swatch, 0, 1);
    colour->addWidget(m_transparent, 1, 0, 1, 2);
    colour->setRowStretch(2, 1);
    auto *text = new QVBoxLayout(groups[3]);
    text->addWidget(m_numbersFont);
    text->addWidget(m_numbersColour);
    text->addStretch();

    layOutSettingsWindow(this, groups, {m_ok, m_cancel});
}

QString FrameSettings::previewFrameString()
{
    FrameLayout layout;
    layout.Left = m_left->value();
    layout.Top = m_top->value();
    layout.Width = m_width->value();
    layout.Height = m_height->value();
    layout.Colour = m_colour;
    layout.Transparent = m_transparent->isChecked();
    layout.AutoHeight = m_autoHeight->isChecked();
    const QString text = formatFrame(layout);
    if (!m_previewDelay->isActive())
        m_screen.applyFrameLayout(text);
    return text;
}

void FrameSettings::showFrameString(const QString &frameString)
{
    const std::optional<FrameLayout> layout = parseFrame(frameString);
    if (!layout)
        return;
    m_filling = true;
    m_left->setValue(layout->Left);
    m_top->setValue(layout->Top);
    m_width->setValue(layout->Width);
    m_height->setValue(layout->Height);
    m_transparent->setChecked(layout->Transparent);
    m_autoHeight->setChecked(layout->AutoHeight);
    setSwatch(layout->Colour);
    m_filling = false;
}

void FrameSettings::setSwatch(qint64 colour)
{
    m_colour = colour;
    m_swatch->setAccessibleDescription(colorFromBgr(colour).name());
    m_swatch->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: 1px solid #808080; }")
                            .arg(colorFromBgr(colour).name()));
}

void FrameSettings::controlsChanged()
{
    if (!m_filling)
        previewFrameString();
}

void FrameSettings::chooseFrameColour()
{
    const qint64 colour = chooseColor(m_colour);
    if (colour < 0)
        return;
    setSwatch(colour);
    previewFrameString();
}

void FrameSettings::saveNumbersStyle()
{
    if (!m_screen.saveTextStyle(ScreenAppearance::Numbers))
        m_screen.operatorPrompt().message(QStringLiteral("号码的字体和颜色未能保存，请检查数据库文件！"),
                                          Prompt::Icon::Warning);
}

void FrameSettings::confirm()
{
    // Until the string is on disk the dialog stays, and so does the preview.
    if (!m_screen.storeFrameString(previewFrameString())) {
        m_screen.operatorPrompt().message(QStringLiteral("号码框设置未能保存，请检查数据库文件！"),
                                          Prompt::Icon::Warning);
        return;
    }
    accept();
}

void FrameSettings::chooseNumbersFont()
{
    if (m_screen.chooseFont(ScreenAppearance::Numbers, this)) {
        saveNumbersStyle();
        previewFrameString();
    }
}

void FrameSettings::chooseNumbersColour()
{
    const QLabel *numbers = m_screen.textLabel(ScreenAppearance::Numbers);
    const qint64 colour = chooseColor(bgrFromColor(numbers->palette().color(QPalette::WindowText)));
    if (colour < 0)
        return;
    m_screen.setTextColour(ScreenAppearance::Numbers, colour);
    saveNumbersStyle();
    previewFrameString();
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
