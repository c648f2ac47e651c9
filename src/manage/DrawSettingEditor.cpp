#include "DrawSettingEditor.h"

#include "data/Database.h"
#include "data/TextNumber.h"
#include "platform/Music.h"
#include "platform/WindowHelpers.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>

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
    return qint64(std::nearbyint(std::clamp(LeadingNumber(text), 0.0, 2147483647.0)));
}

} // namespace

DrawSettingEditor::DrawSettingEditor(Database &db, Music &music, QWidget *parent)
    : QWidget(parent, Qt::Window), m_db(db), m_music(music)
{
    setWindowTitle(QStringLiteral("添加/修改抽奖设置"));
    chooseFile = [this](const QString &filter) { return ChooseImportFile(filter, this); };

    Frame1 = new QGroupBox(QStringLiteral("抽奖设置"), this);
    Frame2 = new QGroupBox(QStringLiteral("背景音乐"), this);
    const QString captions[12] = {
        QStringLiteral("背景图片："), QStringLiteral("滚动速度："),   QStringLiteral("结果屏蔽："),
        QStringLiteral("定时时长："), QStringLiteral("秒"),           QStringLiteral("缩略图："),
        QStringLiteral("位"),         QStringLiteral("抽奖号码长："), QStringLiteral("抽奖名称："),
        QStringLiteral("等待音乐："), QStringLiteral("抽奖音乐："),   QStringLiteral("中奖音乐：")};
    for (int i = 0; i < 12; ++i)
        Label1[i] = new QLabel(captions[i], this);
    for (auto &field : TT)
        field = new QLineEdit(this);
    for (auto &field : Mus)
        field = new QLineEdit(this);
    for (auto &button : Com)
        button = new QPushButton(this);

    HS = new QScrollBar(Qt::Horizontal, this);
    HS->setRange(10, 500);
    HS->setPageStep(5);
    HS->setValue(450);
    LBL = new QLabel(QStringLiteral("快"), this);
    CK[0] = new QCheckBox(QStringLiteral("定时抽奖"), this);
    CK[1] = new QCheckBox(QStringLiteral("固定长度"), this);
    Img = new QLabel(this);
    Img->setFixedSize(ThumbnailSize);
    Img->setFrameShape(QFrame::StyledPanel);
    Img->setFrameShadow(QFrame::Sunken);
    Img->setAlignment(Qt::AlignCenter);
    Img->setAccessibleName(QStringLiteral("缩略图"));

    TT[0]->setReadOnly(true);
    TT[2]->setText(QStringLiteral("0"));
    TT[3]->setText(QStringLiteral("0"));
    // A longer fixed length than two digits only pads numbers beyond the frame.
    TT[3]->setValidator(new QIntValidator(0, 99, TT[3]));
    TT[1]->setToolTip(QStringLiteral(
        "在抽奖结果数字中屏蔽其中几位，例：输入“000****0000”显示中间4位不显示出来（常用于手机号抽奖）。"));
    TT[2]->setToolTip(QStringLiteral("每个奖项从开始抽奖到自动结束的时间长度（0表示不定时）。"));
    TT[3]->setToolTip(QStringLiteral("抽奖用的数字串是否要求固定长度（0表示不要求）。"));
    for (auto *box : CK)
        box->setToolTip(QStringLiteral("抽奖开始后是定时自动抽出，还是手动操作。"));

    Com[0]->setText(QStringLiteral("浏览"));
    Com[0]->setAccessibleName(QStringLiteral("浏览背景图片"));
    Com[1]->setText(QStringLiteral("确    定"));
    Com[1]->setAccessibleName(QStringLiteral("确定"));
    Com[2]->setText(QStringLiteral("取    消"));
    Com[2]->setAccessibleName(QStringLiteral("取消"));
    const QString musicNames[3] = {QStringLiteral("等待音乐"), QStringLiteral("抽奖音乐"),
                                   QStringLiteral("中奖音乐")};
    for (int i = 0; i < 3; ++i) {
        Com[3 + i]->setText(QStringLiteral("浏览"));
        Com[3 + i]->setAccessibleName(QStringLiteral("浏览") + musicNames[i]);
        Com[6 + i]->setText(QStringLiteral("试听"));
        Com[6 + i]->setAccessibleName(QStringLiteral("试听") + musicNames[i]);
    }
    Com[9]->setText(QStringLiteral("终 止 音 乐"));
    Com[1]->setDefault(true);

    // Labels name the fields they stand before, for the keyboard and screen readers.
    const std::pair<int, QWidget *> buddies[] = {{8, TT[4]},  {1, HS},      {3, TT[2]},
                                                 {7, TT[3]},  {2, TT[1]},   {0, TT[0]},
                                                 {9, Mus[0]}, {10, Mus[1]}, {11, Mus[2]}};
    for (const auto &[label, field] : buddies) {
        Label1[label]->setBuddy(field);
        field->setAccessibleName(Label1[label]->text().chopped(1));
    }

    buildLayout();
    Com[9]->hide();
    CK_Click(0);
    CK_Click(1);

    for (int i = 0; i < 2; ++i)
        connect(CK[i], &QCheckBox::toggled, this, [this, i] { CK_Click(i); });
    for (int i = 0; i < 10; ++i)
        connect(Com[i], &QPushButton::clicked, this, [this, i] { Com_Click(i); });
    connect(TT[0], &QLineEdit::textChanged, this, [this] { TT_Change(0); });
    connect(&m_music, &Music::statusChanged, this, &DrawSettingEditor::TMusic_Timer);
}

void DrawSettingEditor::buildLayout()
{
    auto *settings = new QGridLayout(Frame1);
    settings->setColumnStretch(1, 1);
    settings->addWidget(Label1[8], 0, 0);
    settings->addWidget(TT[4], 0, 1, 1, 2);
    settings->addWidget(Label1[1], 1, 0);
    settings->addWidget(HS, 1, 1);
    settings->addWidget(LBL, 1, 2);

    // Both switches with their fields on one line: 定时抽奖 定时时长：[ ]秒  固定长度 抽奖号码长：[ ]位
    auto *switches = new QHBoxLayout;
    const int shortField = TT[2]->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16;
    for (int i = 0; i < 2; ++i) {
        TT[2 + i]->setFixedWidth(shortField);
        switches->addWidget(CK[i]);
        switches->addSpacing(8);
        switches->addWidget(Label1[i == 0 ? 3 : 7]);
        switches->addWidget(TT[2 + i]);
        switches->addWidget(Label1[i == 0 ? 4 : 6]);
        switches->addSpacing(i == 0 ? 24 : 0);
    }
    switches->addStretch();
    settings->addLayout(switches, 2, 0, 1, 3);

    settings->addWidget(Label1[2], 3, 0);
    settings->addWidget(TT[1], 3, 1, 1, 2);
    settings->addWidget(Label1[0], 4, 0);
    settings->addWidget(TT[0], 4, 1);
    settings->addWidget(Com[0], 4, 2);
    settings->addWidget(Label1[5], 5, 0, Qt::AlignTop);
    settings->addWidget(Img, 5, 1, 1, 2, Qt::AlignLeft);

    auto *music = new QGridLayout(Frame2);
    music->setColumnStretch(1, 1);
    for (int i = 0; i < 3; ++i) {
        music->addWidget(Label1[9 + i], i, 0);
        music->addWidget(Mus[i], i, 1);
        music->addWidget(Com[3 + i], i, 2);
        music->addWidget(Com[6 + i], i, 3);
    }

    // The stop button keeps its place while hidden, so the buttons beside it stay put.
    QSizePolicy keepPlace = Com[9]->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    Com[9]->setSizePolicy(keepPlace);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Com[9]);
    buttons->addStretch();
    buttons->addWidget(Com[1]);
    buttons->addWidget(Com[2]);

    auto *window = new QVBoxLayout(this);
    window->addWidget(Frame1);
    window->addWidget(Frame2);
    window->addLayout(buttons);
    setMinimumWidth(560);
}

void DrawSettingEditor::setID(qint64 id)
{
    m_id = id;
    ID_Change();
}

void DrawSettingEditor::ID_Change()
{
    if (m_id <= 0)
        return;
    const Query rs = m_db.OpenQuery(Sql("SELECT * FROM 奖次表 WHERE ID=") + Sql::number(m_id));
    if (rs.rowCount() == 0)
        return;
    TT[4]->setText(rs.text(u"抽奖内容"));
    TT[0]->setText(rs.text(u"底图"));
    HS->setValue(int(std::clamp<qint64>(rs.number(u"速度"), HS->minimum(), HS->maximum())));
    TT[1]->setText(rs.text(u"屏蔽"));
    TT[2]->setText(QString::number(rs.number(u"定时")));
    TT[3]->setText(QString::number(rs.number(u"定长")));
    // Set both ways: the window may have shown another setting before.
    CK[0]->setChecked(rs.number(u"定时") > 0);
    CK[1]->setChecked(rs.number(u"定长") > 0);
    Mus[0]->setText(rs.text(u"音乐1"));
    Mus[1]->setText(rs.text(u"音乐2"));
    Mus[2]->setText(rs.text(u"音乐3"));
    CK_Click(0);
    CK_Click(1);
}

// An unticked box means "none", so its field is locked at 0 and stores 0.
void DrawSettingEditor::CK_Click(int index)
{
    const bool ticked = CK[index]->isChecked();
    QLineEdit *field = TT[index + 2];
    field->setEnabled(ticked);
    field->setReadOnly(!ticked);
    if (!ticked)
        field->setText(QStringLiteral("0"));
}

void DrawSettingEditor::Com_Click(int index)
{
    switch (index) {
    case 0:
        if (const QString path = chooseFile(PictureFilter); !path.isEmpty())
            TT[0]->setText(path);
        break;
    case 1:
        if (save())
            close();
        break;
    case 2:
        close();
        break;
    case 3:
    case 4:
    case 5:
        if (const QString path = chooseFile(MusicFilter); !path.isEmpty())
            Mus[index - 3]->setText(path);
        break;
    case 6:
    case 7:
    case 8:
        if (m_music.PlayMusic(Mus[index - 6]->text()))
            Com[9]->show();
        break;
    case 9:
        Com[9]->hide();
        m_music.StopMusic();
        break;
    }
}

void DrawSettingEditor::TT_Change(int index)
{
    if (index != 0)
        return;
    // The picture path is used as typed, as the draw screen uses it.
    const QString path = TT[0]->text();
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return;
    const QPixmap picture(path);
    if (!picture.isNull())
        Img->setPixmap(
            picture.scaled(Img->contentsRect().size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void DrawSettingEditor::TMusic_Timer()
{
    // "not ready": the file is still opening, the preview has not ended.
    const QString status = m_music.MusicStatus();
    if (status != u"playing" && status != u"not ready")
        Com[9]->hide();
}

bool DrawSettingEditor::save()
{
    const QString name = TT[4]->text();
    if (name.isEmpty()) {
        m_db.prompt().message(QStringLiteral("抽奖名称不能为空，请取其他名称！"), Prompt::Icon::Warning);
        return false;
    }
    const QString failed = QStringLiteral("抽奖设置未能保存，请检查数据库文件！");

    Query rs = m_db.OpenQuery(Sql("SELECT * FROM 奖次表 WHERE ID=") + Sql::number(m_id));
    if (!rs.isValid()) {
        m_db.prompt().message(failed, Prompt::Icon::Critical);
        return false;
    }
    // A setting not (or no longer) stored becomes a new row: its name must be new too.
    if (rs.rowCount() == 0) {
        const Query same = m_db.OpenQuery(Sql("SELECT * FROM 奖次表 WHERE 抽奖内容=") + Sql::text(name));
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
    rs.setValue(u"底图", TT[0]->text());
    rs.setValue(u"速度", HS->value());
    rs.setValue(u"屏蔽", TT[1]->text());
    rs.setValue(u"定时", storedWhole(TT[2]->text()));
    rs.setValue(u"定长", storedWhole(TT[3]->text()));
    rs.setValue(u"音乐1", Mus[0]->text());
    rs.setValue(u"音乐2", Mus[1]->text());
    rs.setValue(u"音乐3", Mus[2]->text());
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
        CentreInWorkArea(this);
    }
}

void DrawSettingEditor::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT closed();
}

} // namespace quilla
