#include "PhoneCheckInWindow.h"

#include "engine/Presence.h"

#include "data/Chooser.h"
#include "data/Database.h"
#include "phone/PhoneServer.h"
#include "platform/QrCode.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace quilla {

namespace {

// The code on the draw screen: a fifth of its height, in the corner, out of the way of clicks.
class StageCode : public QLabel
{
  public:
    StageCode(const QImage &code, QWidget *screen) : QLabel(screen), m_code(code)
    {
        setAccessibleName(QStringLiteral("签到二维码"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        screen->installEventFilter(this);
        QTimer::singleShot(0, this, [this] { place(); });
    }

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // After the screen has placed its own commands.
        if (watched == parentWidget() && event->type() == QEvent::Resize)
            QTimer::singleShot(0, this, [this] { place(); });
        return false;
    }

  private:
    void place()
    {
        const int side = std::max(120, parentWidget()->height() / 5);
        setPixmap(QPixmap::fromImage(m_code.scaled(side, side, Qt::KeepAspectRatio, Qt::FastTransformation)));
        resize(side, side);
        // Above the screen's own buttons in that corner.
        const int left = parentWidget()->width() - side - 16;
        int bottom = parentWidget()->height() - 16;
        // The screen's commands are labels that take clicks.
        for (const QLabel *command : parentWidget()->findChildren<QLabel *>())
            if (command != this && command->isVisible() && command->cursor().shape() == Qt::PointingHandCursor &&
                command->geometry().right() >= left)
                bottom = std::min(bottom, command->y() - 8);
        move(left, bottom - side);
        raise();
    }
    QImage m_code;
};

} // namespace

PhoneCheckInWindow::PhoneCheckInWindow(Database &db, QWidget *parent)
    : QDialog(parent), m_db(db), m_server(new PhoneServer(this)), m_draw(new QLabel(this)),
      m_addresses(new QComboBox(this)), m_toggle(new QPushButton(this)), m_code(new QLabel(this)),
      m_address(new QLabel(this)), m_count(new QLabel(this)),
      m_onStage(new QCheckBox(QStringLiteral("抽奖时在屏幕右下角显示二维码"), this))
{
    setWindowTitle(QStringLiteral("现场签到"));
    m_draw->setTextFormat(Qt::PlainText);
    m_draw->setAccessibleName(QStringLiteral("签到的抽奖"));
    for (const QHostAddress &address : PhoneServer::localAddresses())
        m_addresses->addItem(address.toString());
    m_addresses->setAccessibleName(QStringLiteral("本机网络地址"));
    m_addresses->setToolTip(QStringLiteral("手机要能连到的本机地址（与手机在同一个 Wi-Fi 或局域网中）"));
    m_toggle->setAccessibleName(QStringLiteral("开始或停止现场签到"));
    m_code->setAccessibleName(QStringLiteral("签到页二维码"));
    m_code->setAlignment(Qt::AlignCenter);
    m_code->setTextFormat(Qt::PlainText);
    m_code->setMinimumSize(300, 300);
    m_address->setAccessibleName(QStringLiteral("签到页地址"));
    m_address->setTextFormat(Qt::PlainText);
    m_address->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_address->setWordWrap(true);
    m_count->setAccessibleName(QStringLiteral("手机签到人数"));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("抽奖："), m_draw);
    form->addRow(QStringLiteral("本机地址："), m_addresses);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_toggle);
    layout->addWidget(m_code);
    layout->addWidget(m_address);
    layout->addWidget(m_count);
    m_onStage->setAccessibleName(QStringLiteral("在抽奖屏幕上显示二维码"));
    layout->addWidget(m_onStage);
    auto *note = new QLabel(QStringLiteral("参加者用手机扫码，输入抽奖号码和姓名即可签到；同一页面可查看中奖名单。\n"
                                           "页面只在本局域网内可用，停止后地址即失效，下次开始时地址会改变。"),
                            this);
    note->setWordWrap(true);
    note->setAccessibleName(QStringLiteral("说明"));
    layout->addWidget(note);

    connect(m_toggle, &QPushButton::clicked, this, [this] { isRunning() ? stop() : start(); });
    connect(m_server, &PhoneServer::started, this, [this] {
        m_failure.clear();
        showState();
        Q_EMIT runningChanged(true);
    });
    connect(m_server, &PhoneServer::failed, this, [this](const QString &why) {
        m_failure = why;
        showState();
    });
    connect(m_server, &PhoneServer::stopped, this, [this] {
        showState();
        Q_EMIT runningChanged(false);
    });
    connect(m_server, &PhoneServer::checkedIn, this, [this] { showState(); });
    showState();
}

PhoneCheckInWindow::~PhoneCheckInWindow()
{
    // The server still running stops here, while this window is whole, and tells no one:
    // its "stopped" would otherwise reach this window and the menu half torn down.
    disconnect(m_server, nullptr, this, nullptr);
    m_server->stop();
}

void PhoneCheckInWindow::setDraw(const QString &itemText)
{
    if (isRunning())
        return;
    m_drawId = chooserKey(itemText);
    m_draw->setText(itemText.section(QStringLiteral("‖"), 1));
    showState();
}

bool PhoneCheckInWindow::isRunning() const
{
    return m_server->isRunning();
}

void PhoneCheckInWindow::start()
{
    if (m_drawId <= 0 || m_db.path().isEmpty())
        return;
    m_failure.clear();
    m_toggle->setEnabled(false); // until the server says it started or why not
    indexNumbersForCheckIn(m_db, m_drawId); // here, not under the phones' first transaction
    m_server->start(m_db.path(), m_drawId, QHostAddress(m_addresses->currentText()));
}

void PhoneCheckInWindow::stop()
{
    m_server->stop();
}

void PhoneCheckInWindow::showOnStage(QWidget *screen)
{
    if (!isRunning() || !m_onStage->isChecked())
        return;
    auto *code = new StageCode(qrCodeImage(m_server->checkInUrl().toString(), 1), screen);
    code->show();
    connect(m_server, &PhoneServer::stopped, code, &QObject::deleteLater);
}

void PhoneCheckInWindow::showState()
{
    const bool running = isRunning();
    m_toggle->setEnabled(m_drawId > 0);
    m_toggle->setText(running ? QStringLiteral("停止现场签到") : QStringLiteral("开始现场签到"));
    m_addresses->setEnabled(!running);
    if (running) {
        const QString url = m_server->checkInUrl().toString();
        m_code->setPixmap(QPixmap::fromImage(qrCodeImage(url, 6)));
        m_address->setText(QStringLiteral("签到：%1\n中奖名单：%2").arg(url, m_server->resultsUrl().toString()));
        m_count->setText(QStringLiteral("本次已有 %1 人用手机签到").arg(m_server->checkInCount()));
    } else {
        m_code->clear();
        m_code->setText(m_failure.isEmpty() ? QStringLiteral("未开始") : m_failure);
        m_address->clear();
        m_count->clear();
    }
}

} // namespace quilla
