#include "DrawSettingEditor.h"
#include "EditorParts.h"

#include "data/Database.h"
#include "data/TextNumber.h"
#include "engine/NumberDisplay.h"
#include "platform/Music.h"
#include "platform/WindowHelpers.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <cmath>

namespace quilla {

namespace {

const QString PictureFilter = QStringLiteral("JPEG图片(*.jpg)|*.jpg|BMP图片(*.bmp)|*.bmp");
const QString MusicFilter = QStringLiteral("MP3文件(*.mp3)|*.mp3|音波文件(*.wav)|*.wav|所有文件(*.*)|*.*");
const QSize ThumbnailSize(200, 150);

// The whole number a field starts with, as the integer columns store it:
// rounded, never negative, never beyond what the draw screen can count.
qint64 storedWhole(const QString &text)
{
    return qint64(std::nearbyint(std::clamp(leadingNumber(text), 0.0, 2147483647.0)));
}

} // namespace

DrawSettingEditor::DrawSettingEditor(Database &db, Music &music, QWidget *parent)
    : QWidget(parent, Qt::Window), m_db(db), m_music(music)
{
    setWindowTitle(QStringLiteral("添加/修改抽奖设置"));
    closeOnEscape(this);
    chooseFile = [this](const QString &filter) { return askImportFile(filter, this); };

    const auto field = [this](const char *objectName) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(objectName));
        return edit;
    };
    // accessible: what a screen reader says; the caption may be padded for the eye.
    const auto button = [this](const QString &caption, const QString &objectName, const QString &accessible) {
        auto *push = new QPushButton(caption, this);
        push->setObjectName(objectName);
        push->setAccessibleName(accessible);
        return push;
    };
    m_name = field("name");
    m_mask = field("mask");
    m_stopSeconds = field("stopSeconds");
    m_length = field("length");
    m_background = field("background");
    m_background->setReadOnly(true);
    m_speed = new QScrollBar(Qt::Horizontal, this);
    m_speed->setObjectName(QStringLiteral("speed"));
    m_speed->setRange(10, 500);
    m_speed->setPageStep(5);
    m_speed->setValue(450);
    m_speed->setFocusPolicy(Qt::StrongFocus); // the keyboard can set the speed too
    m_timedStop = new QCheckBox(QStringLiteral("定时抽奖"), this);
    m_timedStop->setObjectName(QStringLiteral("timedStop"));
    m_fixedLength = new QCheckBox(QStringLiteral("固定长度"), this);
    m_fixedLength->setObjectName(QStringLiteral("fixedLength"));
    m_checkedInOnly = new QCheckBox(QStringLiteral("只抽取已签到的人"), this);
    m_checkedInOnly->setObjectName(QStringLiteral("checkedInOnly"));
    m_checkedInOnly->setAccessibleName(m_checkedInOnly->text());
    m_checkedInOnly->setToolTip(QStringLiteral("每一轮只在已签到的人中抽取（在“抽奖号码”页签到）。"));
    m_thumbnail = new QLabel(this);
    m_thumbnail->setObjectName(QStringLiteral("thumbnail"));
    m_thumbnail->setFixedSize(ThumbnailSize);
    m_thumbnail->setFrameShape(QFrame::StyledPanel);
    m_thumbnail->setFrameShadow(QFrame::Sunken);
    m_thumbnail->setAlignment(Qt::AlignCenter);
    m_thumbnail->setAccessibleName(QStringLiteral("缩略图"));

    m_stopSeconds->setText(QStringLiteral("0"));
    m_length->setText(QStringLiteral("0"));
    // The longest number the draw screen pads to.
    m_length->setValidator(new QIntValidator(0, int(MaxFixedLength), m_length));
    m_mask->setToolTip(QStringLiteral(
        "在抽奖结果数字中屏蔽其中几位，例：输入“000****0000”显示中间4位不显示出来（常用于手机号抽奖）。"));
    m_stopSeconds->setToolTip(QStringLiteral("每个奖项从开始抽奖到自动结束的时间长度（0表示不定时）。"));
    m_length->setToolTip(QStringLiteral("抽奖用的数字串是否要求固定长度（0表示不要求）。"));
    for (auto *box : {m_timedStop, m_fixedLength})
        box->setToolTip(QStringLiteral("抽奖开始后是定时自动抽出，还是手动操作。"));

    m_browseBackground = button(QStringLiteral("浏览"), QStringLiteral("browseBackground"), QStringLiteral("浏览背景图片"));
    m_ok = button(QStringLiteral("确    定"), QStringLiteral("ok"), QStringLiteral("确定"));
    m_cancel = button(QStringLiteral("取    消"), QStringLiteral("cancel"), QStringLiteral("取消"));
    m_stopMusic = button(QStringLiteral("终 止 音 乐"), QStringLiteral("stopMusic"), QStringLiteral("终止音乐"));
    const QString musicNames[3] = {QStringLiteral("等待音乐"), QStringLiteral("抽奖音乐"),
                                   QStringLiteral("中奖音乐")};
    for (int i = 0; i < 3; ++i) {
        const QString number = QString::number(i + 1);
        m_musicFiles[i] = new QLineEdit(this);
        m_musicFiles[i]->setObjectName(QStringLiteral("music") + number);
        m_browseMusic[i] = button(QStringLiteral("浏览"), QStringLiteral("browseMusic") + number,
                                  QStringLiteral("浏览") + musicNames[i]);
        m_listen[i] = button(QStringLiteral("试听"), QStringLiteral("listen") + number,
                             QStringLiteral("试听") + musicNames[i]);
    }
    m_ok->setDefault(true);

    buildLayout();
    m_stopMusic->hide();
    lockUnlessTicked(m_timedStop, m_stopSeconds);
    lockUnlessTicked(m_fixedLength, m_length);

    connect(m_timedStop, &QCheckBox::toggled, this, [this] { lockUnlessTicked(m_timedStop, m_stopSeconds); });
    connect(m_fixedLength, &QCheckBox::toggled, this, [this] { lockUnlessTicked(m_fixedLength, m_length); });
    connect(m_speed, &QAbstractSlider::actionTriggered, this, [this] { m_speedMoved = true; });
    connect(m_browseBackground, &QPushButton::clicked, this, &DrawSettingEditor::browseBackground);
    connect(m_ok, &QPushButton::clicked, this, &DrawSettingEditor::saveAndClose);
    connect(m_cancel, &QPushButton::clicked, this, &QWidget::close);
    connect(m_stopMusic, &QPushButton::clicked, this, &DrawSettingEditor::stopListening);
    for (int i = 0; i < 3; ++i) {
        connect(m_browseMusic[i], &QPushButton::clicked, this, [this, i] { browseMusic(i); });
        connect(m_listen[i], &QPushButton::clicked, this, [this, i] { listen(i); });
    }
    connect(m_background, &QLineEdit::textChanged, this, &DrawSettingEditor::showThumbnail);
    connect(&m_music, &Music::statusChanged, this, &DrawSettingEditor::musicStatusChanged);
}

void DrawSettingEditor::buildLayout()
{
    // A label names the field it stands before, for the keyboard and screen readers.
    const auto label = [this](const QString &caption, QWidget *buddy = nullptr) {
        auto *text = new QLabel(caption, this);
        if (buddy) {
            text->setBuddy(buddy);
            buddy->setAccessibleName(caption.chopped(1));
        }
        return text;
    };
    auto *settingsBox = new QGroupBox(QStringLiteral("抽奖设置"), this);
    auto *settings = new QGridLayout(settingsBox);
    settings->setColumnStretch(1, 1);
    settings->addWidget(label(QStringLiteral("抽奖名称："), m_name), 0, 0);
    settings->addWidget(m_name, 0, 1, 1, 2);
    settings->addWidget(label(QStringLiteral("滚动速度："), m_speed), 1, 0);
    settings->addWidget(m_speed, 1, 1);
    settings->addWidget(label(QStringLiteral("快")), 1, 2);

    // Both switches with their fields on one line: 定时抽奖 定时时长：[ ]秒  固定长度 抽奖号码长：[ ]位
    auto *switches = new QHBoxLayout;
    const int shortField = m_stopSeconds->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16;
    m_stopSeconds->setFixedWidth(shortField);
    m_length->setFixedWidth(shortField);
    switches->addWidget(m_timedStop);
    switches->addSpacing(8);
    switches->addWidget(label(QStringLiteral("定时时长："), m_stopSeconds));
    switches->addWidget(m_stopSeconds);
    switches->addWidget(label(QStringLiteral("秒")));
    switches->addSpacing(24);
    switches->addWidget(m_fixedLength);
    switches->addSpacing(8);
    switches->addWidget(label(QStringLiteral("抽奖号码长："), m_length));
    switches->addWidget(m_length);
    switches->addWidget(label(QStringLiteral("位")));
    switches->addSpacing(24);
    switches->addWidget(m_checkedInOnly);
    switches->addStretch();
    settings->addLayout(switches, 2, 0, 1, 3);

    settings->addWidget(label(QStringLiteral("结果屏蔽："), m_mask), 3, 0);
    settings->addWidget(m_mask, 3, 1, 1, 2);
    settings->addWidget(label(QStringLiteral("背景图片："), m_background), 4, 0);
    settings->addWidget(m_background, 4, 1);
    settings->addWidget(m_browseBackground, 4, 2);
    settings->addWidget(label(QStringLiteral("缩略图：")), 5, 0, Qt::AlignTop);
    settings->addWidget(m_thumbnail, 5, 1, 1, 2, Qt::AlignLeft);

    auto *musicBox = new QGroupBox(QStringLiteral("背景音乐"), this);
    auto *music = new QGridLayout(musicBox);
    music->setColumnStretch(1, 1);
    const QString captions[3] = {QStringLiteral("等待音乐："), QStringLiteral("抽奖音乐："),
                                 QStringLiteral("中奖音乐：")};
    for (int i = 0; i < 3; ++i) {
        music->addWidget(label(captions[i], m_musicFiles[i]), i, 0);
        music->addWidget(m_musicFiles[i], i, 1);
        music->addWidget(m_browseMusic[i], i, 2);
        music->addWidget(m_listen[i], i, 3);
    }

    // The stop button keeps its place while hidden, so the buttons beside it stay put.
    QSizePolicy keepPlace = m_stopMusic->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    m_stopMusic->setSizePolicy(keepPlace);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_stopMusic);
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);

    auto *window = new QVBoxLayout(this);
    window->addWidget(settingsBox);
    window->addWidget(musicBox);
    window->addLayout(buttons);
    setMinimumWidth(560);
    // Tab visits the fields in the order they are seen.
    setTabOrder(m_name, m_speed);
    setTabOrder(m_speed, m_timedStop);
    setTabOrder(m_timedStop, m_stopSeconds);
    setTabOrder(m_stopSeconds, m_fixedLength);
    setTabOrder(m_fixedLength, m_length);
    setTabOrder(m_length, m_checkedInOnly);
    setTabOrder(m_length, m_mask);
    setTabOrder(m_mask, m_background);
    setTabOrder(m_background, m_browseBackground);
    QWidget *previous = m_browseBackground;
    for (int i = 0; i < 3; ++i) {
        for (QWidget *next : {static_cast<QWidget *>(m_musicFiles[i]), static_cast<QWidget *>(m_browseMusic[i]),
                              static_cast<QWidget *>(m_listen[i])}) {
            setTabOrder(previous, next);
            previous = next;
        }
    }
    setTabOrder(previous, m_stopMusic);
    setTabOrder(m_stopMusic, m_ok);
    setTabOrder(m_ok, m_cancel);
}

void DrawSettingEditor::setID(qint64 id)
{
    m_id = id;
    load();
}

void DrawSettingEditor::load()
{
    if (m_id <= 0)
        return;
    const Query rs = m_db.openQuery(Sql("SELECT * FROM 奖次表 WHERE ID=") + Sql::number(m_id));
    if (rs.rowCount() == 0)
        return;
    m_name->setText(rs.text(u"抽奖内容"));
    m_background->setText(rs.text(u"底图"));
    m_storedSpeed = rs.number(u"速度");
    m_speedMoved = false;
    m_speed->setValue(int(std::clamp<qint64>(m_storedSpeed, m_speed->minimum(), m_speed->maximum())));
    m_mask->setText(rs.text(u"屏蔽"));
    m_stopSeconds->setText(QString::number(rs.number(u"定时")));
    m_length->setText(QString::number(rs.number(u"定长")));
    // Set both ways: the window may have shown another setting before.
    m_timedStop->setChecked(rs.number(u"定时") > 0);
    m_fixedLength->setChecked(rs.number(u"定长") > 0);
    m_checkedInOnly->setChecked(rs.columns().contains(QStringLiteral("只抽签到")) && rs.flag(u"只抽签到"));
    for (int i = 0; i < 3; ++i)
        m_musicFiles[i]->setText(rs.text(QString(QStringLiteral("音乐") + QString::number(i + 1))));
    lockUnlessTicked(m_timedStop, m_stopSeconds);
    lockUnlessTicked(m_fixedLength, m_length);
}

void DrawSettingEditor::lockUnlessTicked(QCheckBox *box, QLineEdit *field)
{
    const bool ticked = box->isChecked();
    field->setEnabled(ticked);
    field->setReadOnly(!ticked);
    if (!ticked)
        field->setText(QStringLiteral("0"));
}

void DrawSettingEditor::browseBackground()
{
    if (const QString path = chooseFile(PictureFilter); !path.isEmpty())
        m_background->setText(path);
}

void DrawSettingEditor::browseMusic(int piece)
{
    if (const QString path = chooseFile(MusicFilter); !path.isEmpty())
        m_musicFiles[piece]->setText(path);
}

void DrawSettingEditor::listen(int piece)
{
    if (m_music.playMusic(m_musicFiles[piece]->text()))
        m_stopMusic->show();
}

void DrawSettingEditor::stopListening()
{
    m_stopMusic->hide();
    m_music.stopMusic();
}

void DrawSettingEditor::saveAndClose()
{
    if (save())
        close();
}

void DrawSettingEditor::showThumbnail()
{
    // The picture path is used as typed, as the draw screen uses it.
    const QString path = m_background->text();
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return;
    const QPixmap picture(path);
    if (!picture.isNull())
        m_thumbnail->setPixmap(
            picture.scaled(m_thumbnail->contentsRect().size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void DrawSettingEditor::musicStatusChanged()
{
    // "not ready": the file is still opening, the preview has not ended.
    const QString status = m_music.musicStatus();
    if (status != u"playing" && status != u"not ready")
        m_stopMusic->hide();
}

bool DrawSettingEditor::save()
{
    const QString name = m_name->text();
    if (name.isEmpty()) {
        m_db.prompt().message(QStringLiteral("抽奖名称不能为空，请取其他名称！"), Prompt::Icon::Warning);
        return false;
    }
    const QString failed = QStringLiteral("抽奖设置未能保存，请检查数据库文件！");

    Query rs = m_db.openQuery(Sql("SELECT * FROM 奖次表 WHERE ID=") + Sql::number(m_id));
    if (!rs.isValid()) {
        m_db.prompt().message(failed, Prompt::Icon::Critical);
        return false;
    }
    // A setting not (or no longer) stored becomes a new row: its name must be new too.
    const bool added = rs.rowCount() == 0;
    if (added) {
        const Query same = m_db.openQuery(Sql("SELECT * FROM 奖次表 WHERE 抽奖内容=") + Sql::text(name));
        if (!same.isValid()) {
            m_db.prompt().message(failed, Prompt::Icon::Critical);
            return false;
        }
        if (same.rowCount() > 0) {
            m_db.prompt().message(QStringLiteral("抽奖名称已经存在，请取其他名称！"), Prompt::Icon::Warning);
            return false;
        }
        rs.addNew();
    }
    rs.setValue(u"抽奖内容", name);
    rs.setValue(u"底图", m_background->text());
    if (added || m_speedMoved || m_storedSpeed < 0)
        rs.setValue(u"速度", m_speed->value());
    rs.setValue(u"屏蔽", m_mask->text());
    if (rs.columns().contains(QStringLiteral("只抽签到")))
        rs.setValue(u"只抽签到", m_checkedInOnly->isChecked());
    rs.setValue(u"定时", storedWhole(m_stopSeconds->text()));
    // A length typed past the longest the screen pads to counts as that longest.
    rs.setValue(u"定长", std::min(storedWhole(m_length->text()), MaxFixedLength));
    for (int i = 0; i < 3; ++i)
        rs.setValue(QString(QStringLiteral("音乐") + QString::number(i + 1)), m_musicFiles[i]->text());
    if (!rs.save()) {
        m_db.prompt().message(failed, Prompt::Icon::Critical);
        return false;
    }
    m_id = rs.number(u"ID");
    return true;
}

void DrawSettingEditor::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_centred) {
        m_centred = true;
        centreInWorkArea(this);
    }
}

void DrawSettingEditor::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT closed();
}

} // namespace quilla
