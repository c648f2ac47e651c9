#include "data/Chooser.h"
#include "engine/Presence.h"
#include "manage/ManagementWindow.h"
#include "manage/PhoneCheckInWindow.h"
#include "phone/PhoneServer.h"
#include "support/DrawFixture.h"
#include "support/FakeMusic.h"
#include "support/RecordingProgress.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTcpSocket>
#include <QTest>

using namespace quilla;

// 文件 → 现场签到… as the operator uses it: start, a phone checks in, stop.
class TestPhoneWindow : public QObject
{
    Q_OBJECT

    template<typename T> static T *named(QWidget *in, const QString &name)
    {
        for (T *child : in->findChildren<T *>())
            if (child->accessibleName() == name)
                return child;
        return nullptr;
    }

  private Q_SLOTS:
    void startCheckInStop()
    {
        DrawFixture f;
        const qint64 draw = f.addDraw();
        f.addParticipant(draw, QStringLiteral("1001"), QStringLiteral("张三"));
        RecordingProgress progress;
        FakeMusic music;
        ManagementWindow window(f.db, f.engine, progress, music);
        window.chooseDraw = [&](qint64) { return chooserItemText(draw, QStringLiteral("年会")); };
        window.show();
        // The participants tab is shown at the desk while phones check in.
        auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabs"));
        tabs->setCurrentIndex(2);
        QWidget *participants = tabs->widget(2);
        auto *menuItem = window.findChild<QAction *>(QStringLiteral("phoneCheckIn"));
        QVERIFY(menuItem);
        menuItem->trigger();
        auto *phone = window.findChild<PhoneCheckInWindow *>(QStringLiteral("phoneCheckInWindow"));
        QVERIFY(phone && phone->isVisible());

        auto *addresses = named<QComboBox>(phone, QStringLiteral("本机网络地址"));
        QVERIFY(addresses->findText(QStringLiteral("127.0.0.1")) >= 0);
        addresses->setCurrentIndex(addresses->findText(QStringLiteral("127.0.0.1")));
        QSignalSpy started(&phone->server(), &PhoneServer::started);
        QTest::mouseClick(named<QPushButton>(phone, QStringLiteral("开始或停止现场签到")), Qt::LeftButton);
        QVERIFY(started.wait(10000));
        const QUrl url = phone->server().checkInUrl();
        QCOMPARE(url.host(), QStringLiteral("127.0.0.1"));
        QVERIFY(!named<QLabel>(phone, QStringLiteral("签到页二维码"))->pixmap().isNull());
        QVERIFY(named<QLabel>(phone, QStringLiteral("签到页地址"))->text().contains(url.toString()));
        QVERIFY(menuItem->text().contains(QStringLiteral("进行中")));

        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, url.port());
        QVERIFY(socket.waitForConnected(3000));
        const QByteArray body = "number=1001&name=" + QStringLiteral("张三").toUtf8().toPercentEncoding();
        socket.write("POST " + url.path().toLatin1() + " HTTP/1.1\r\nContent-Length: " +
                     QByteArray::number(body.size()) + "\r\n\r\n" + body);
        QTRY_VERIFY(named<QLabel>(phone, QStringLiteral("手机签到人数"))->text().contains(QStringLiteral("1 人")));
        QCOMPARE(checkedInCount(f.db, draw), 1);
        // The list follows the phones' writes by itself.
        const QAbstractItemModel *list = participants->findChild<QAbstractItemView *>(QStringLiteral("records"))->model();
        QTRY_COMPARE_WITH_TIMEOUT(list->index(0, 2).data().toString(), QStringLiteral("已签到"), 5000);
        QCOMPARE(participants->findChild<QLabel *>(QStringLiteral("checkedInCount"))->text(), QStringLiteral("已签到：1"));

        QTest::mouseClick(named<QPushButton>(phone, QStringLiteral("开始或停止现场签到")), Qt::LeftButton);
        QVERIFY(!phone->isRunning());
        QVERIFY(named<QLabel>(phone, QStringLiteral("签到页二维码"))->pixmap().isNull());
        QCOMPARE(menuItem->text(), QStringLiteral("现场签到…"));
        QTcpSocket late;
        late.connectToHost(QHostAddress::LocalHost, url.port());
        QVERIFY(!late.waitForConnected(1000));
    }
};

QTEST_MAIN(TestPhoneWindow)
#include "tst_phonewindow.moc"
