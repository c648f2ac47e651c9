#include "support/DrawFixture.h"

#include "engine/Presence.h"
#include "phone/PhoneServer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpSocket>

using namespace quilla;

// The phone server's rules, through real HTTP on the loopback network. Each row
// comes from its own loopback address unless it names one, so the per-address
// limit on tries only bites where a row means it to.
class TestPhoneServer : public QObject
{
    Q_OBJECT

    struct Reply
    {
        int status = 0;
        QByteArray body;
    };

    // One request from source; the reply read by its Content-Length.
    Reply exchange(const QByteArray &source, const QByteArray &request)
    {
        QTcpSocket socket;
        socket.bind(QHostAddress(QString::fromLatin1(source)));
        socket.connectToHost(QHostAddress::LocalHost, m_server.checkInUrl().port());
        if (!socket.waitForConnected(3000))
            return {};
        socket.write(request);
        QByteArray data;
        qsizetype headEnd = -1, length = -1;
        while (socket.waitForReadyRead(5000) || socket.bytesAvailable()) {
            data += socket.readAll();
            headEnd = data.indexOf("\r\n\r\n");
            if (headEnd < 0)
                continue;
            const qsizetype at = data.toLower().indexOf("content-length:");
            length = at < 0 ? 0 : data.mid(at + 15, data.indexOf("\r\n", at) - at - 15).trimmed().toLongLong();
            if (data.size() >= headEnd + 4 + length)
                break;
        }
        if (headEnd < 0)
            return {};
        return {data.mid(9, 3).toInt(), data.mid(headEnd + 4, length)};
    }

    QByteArray answerOf(const QByteArray &page) // the answer above the form
    {
        const qsizetype from = page.indexOf("<div class=\"a");
        return from < 0 ? QByteArray() : page.mid(from, page.indexOf("</div>", from) - from);
    }

    QString presenceRows()
    {
        return m_fixture->db.openQuery(Sql("SELECT group_concat(ID||':'||签到||签到方式,',') AS p FROM 号码表"))
            .text(u"p");
    }

    std::unique_ptr<DrawFixture> m_fixture;
    PhoneServer m_server;
    QByteArray m_token;
    QHash<QByteArray, QByteArray> m_answers; // by row

  private Q_SLOTS:
    void initTestCase()
    {
        m_fixture = std::make_unique<DrawFixture>();
        DrawFixture &f = *m_fixture;
        const qint64 draw = f.addDraw();
        QVERIFY(f.db.executeSql(Sql("UPDATE 奖次表 SET 屏蔽=") + Sql::text(QStringLiteral("???****????")) + Sql(" WHERE ID=") + Sql::number(draw)));
        const qint64 first = f.addPrize(draw, 1, QStringLiteral("一等奖"), 3, 1, false, QStringLiteral("电视机"));
        const qint64 hidden = f.addPrize(draw, 2, QStringLiteral("幸运奖"), 3, 1, false, QString(), false);
        f.addParticipant(draw, QStringLiteral("1001"), QStringLiteral("张三"));
        f.addParticipant(draw, QStringLiteral("1002"), QStringLiteral("李四"));
        f.addParticipant(draw, QStringLiteral("1003"), QStringLiteral("王五"));
        f.addParticipant(draw, QStringLiteral("13812345678"), QStringLiteral("赵六"));
        f.addResult(draw, first, QStringLiteral("13812345678"), QStringLiteral("赵六"));
        f.addResult(draw, hidden, QStringLiteral("1003"), QStringLiteral("王五"));
        QSignalSpy started(&m_server, &PhoneServer::started);
        m_server.start(f.path, draw, QHostAddress(QHostAddress::LocalHost), 0);
        QVERIFY(started.wait(10000));
        m_token = m_server.checkInUrl().path().section(u'/', 1, 1).toLatin1();
        QVERIFY(m_token.size() >= 22); // 128 bits in base64
    }

    void rules_data()
    {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("path"); // after the token; "!" puts a wrong token in front
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("times");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("shows");
        QTest::addColumn<QString>("hides");
        QTest::addColumn<QByteArray>("sameAnswerAs");
        QTest::addColumn<int>("checkedIn");

        const QByteArray zhang = "number=1001&name=" + QStringLiteral("张三").toUtf8().toPercentEncoding();
        const QByteArray wrongName = "number=1002&name=" + QStringLiteral("李五").toUtf8().toPercentEncoding();
        const QByteArray unknown = "number=9999&name=" + QStringLiteral("李四").toUtf8().toPercentEncoding();
        QTest::newRow("form") << QByteArray("127.0.0.2") << QByteArray("GET") << QByteArray() << QByteArray() << 1
                              << 200 << QStringLiteral("抽奖号码") << QStringLiteral("李四") << QByteArray() << 0;
        QTest::newRow("check-in") << QByteArray("127.0.0.3") << QByteArray("POST") << QByteArray() << zhang << 1
                                  << 200 << QStringLiteral("张三，签到成功") << QString() << QByteArray() << 1;
        QTest::newRow("twice") << QByteArray("127.0.0.3") << QByteArray("POST") << QByteArray() << zhang << 1 << 200
                               << QStringLiteral("已经签到过了") << QString() << QByteArray() << 1;
        QTest::newRow("wrong name") << QByteArray("127.0.0.4") << QByteArray("POST") << QByteArray() << wrongName << 1
                                    << 200 << QStringLiteral("号码或姓名与名单不符") << QStringLiteral("李四")
                                    << QByteArray() << 1;
        QTest::newRow("unknown number") << QByteArray("127.0.0.5") << QByteArray("POST") << QByteArray() << unknown
                                        << 1 << 200 << QString() << QString() << QByteArray("wrong name") << 1;
        QTest::newRow("wrong token") << QByteArray("127.0.0.6") << QByteArray("POST") << QByteArray("!")
                                     << QByteArray("number=1002&name=%E6%9D%8E%E5%9B%9B") << 1 << 404 << QString()
                                     << QString() << QByteArray() << 1;
        QTest::newRow("unknown path") << QByteArray("127.0.0.7") << QByteArray("GET") << QByteArray("admin")
                                      << QByteArray() << 1 << 404 << QString() << QString() << QByteArray() << 1;
        QTest::newRow("10 MB body") << QByteArray("127.0.0.8") << QByteArray("POST") << QByteArray()
                                    << "number=1002&name=" + QByteArray(10 << 20, 'x') << 1 << 413 << QString()
                                    << QString() << QByteArray() << 1;
        QTest::newRow("bad UTF-8") << QByteArray("127.0.0.9") << QByteArray("POST") << QByteArray()
                                   << QByteArray("number=1002&name=%C0%AF%FF") << 1 << 400 << QString() << QString()
                                   << QByteArray() << 1;
        QTest::newRow("flood") << QByteArray("127.0.0.10") << QByteArray("POST") << QByteArray() << unknown << 11
                               << 429 << QString() << QString() << QByteArray() << 1;
        // Past its tries, even the right number and name change nothing.
        QTest::newRow("after the flood")
            << QByteArray("127.0.0.10") << QByteArray("POST") << QByteArray()
            << "number=1002&name=" + QStringLiteral("李四").toUtf8().toPercentEncoding() << 1 << 429 << QString()
            << QString() << QByteArray() << 1;
        QTest::newRow("results masked") << QByteArray("127.0.0.11") << QByteArray("GET") << QByteArray("results")
                                        << QByteArray() << 1 << 200 << QStringLiteral("138****5678(赵六)")
                                        << QStringLiteral("王五") << QByteArray() << 1;
        QTest::newRow("beside a slow client")
            << QByteArray("127.0.0.12") << QByteArray("POST") << QByteArray()
            << "number=1002&name=" + QStringLiteral("李四").toUtf8().toPercentEncoding() << 1 << 200
            << QStringLiteral("李四，签到成功") << QString() << QByteArray() << 2;
    }

    void rules()
    {
        QFETCH(QByteArray, source);
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, body);
        QFETCH(int, times);
        QFETCH(int, status);
        QFETCH(QString, shows);
        QFETCH(QString, hides);
        QFETCH(QByteArray, sameAnswerAs);
        QFETCH(int, checkedIn);

        // Someone trickling a request a byte at a time holds a connection all along.
        QTcpSocket slow;
        slow.connectToHost(QHostAddress::LocalHost, m_server.checkInUrl().port());
        QVERIFY(slow.waitForConnected(3000));
        slow.write("P");
        slow.flush();

        const QString before = presenceRows();
        const QByteArray token = path.startsWith('!') ? QByteArray("AAAAAAAAAAAAAAAAAAAAAA") : m_token;
        const QByteArray target = '/' + token + '/' + path.mid(path.startsWith('!') ? 1 : 0);
        const QByteArray request = method + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                                   (method == "POST" ? "Content-Type: application/x-www-form-urlencoded\r\n" : "") +
                                   "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
        QElapsedTimer clock;
        clock.start();
        Reply reply;
        for (int i = 0; i < times; ++i)
            reply = exchange(source, request);
        QCOMPARE(reply.status, status);
        QVERIFY2(clock.elapsed() < 5000 * times, "the server kept a client waiting");
        const QString page = QString::fromUtf8(reply.body);
        if (!shows.isEmpty())
            QVERIFY2(page.contains(shows), qPrintable(page));
        if (!hides.isEmpty())
            QVERIFY2(!page.contains(hides), qPrintable(page));
        m_answers.insert(QTest::currentDataTag(), answerOf(reply.body));
        if (!sameAnswerAs.isEmpty())
            QCOMPARE(answerOf(reply.body), m_answers.value(sameAnswerAs));
        QCOMPARE(checkedInCount(m_fixture->db, m_fixture->db.openQuery(Sql("SELECT ID FROM 奖次表")).number(u"ID")),
                 qint64(checkedIn));
        if (status >= 400 || (checkedIn == 1 && method == "POST" && QByteArray(QTest::currentDataTag()) != "check-in"))
            QCOMPARE(presenceRows(), before);
        QCOMPARE(slow.state(), QAbstractSocket::ConnectedState);
    }

    // A new token at each start, the old address dead; a client too slow is cut off.
    void restart()
    {
        const QUrl first = m_server.checkInUrl();
        QSignalSpy started(&m_server, &PhoneServer::started);
        m_server.setLimits({10, 4096, 1});
        m_server.start(m_fixture->path, 1, QHostAddress(QHostAddress::LocalHost), first.port());
        QVERIFY(started.wait(10000));
        QCOMPARE(m_server.checkInUrl().port(), first.port());
        QVERIFY(m_server.checkInUrl().path() != first.path());
        QCOMPARE(exchange("127.0.0.13", "GET " + first.path().toLatin1() + " HTTP/1.1\r\n\r\n").status, 404);
        QTcpSocket slow;
        slow.connectToHost(QHostAddress::LocalHost, first.port());
        QVERIFY(slow.waitForConnected(3000));
        slow.write("GET /");
        QVERIFY(slow.waitForDisconnected(3000));
        m_server.stop();
        QVERIFY(m_server.checkInUrl().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPhoneServer)
#include "tst_phoneserver.moc"
