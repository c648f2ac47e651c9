// Check-in by phone under load: 1 000 people check in from 50 phones at once
// (each phone two loopback addresses, so the limit of 10 tries a minute per
// address holds), first spread over about a minute, then as fast as they can.
// Meanwhile this thread plays the stage, starting and stopping rounds on its own
// connection. Prints lost and doubled check-ins, answer times, the stage's stop
// times, the server thread's CPU and the pages' sizes.
//   bench_phone [seconds]   (the spread run's length, 50 by default)
#include "BenchPrompt.h"
#include "data/Database.h"
#include "engine/DrawEngine.h"
#include "engine/Presence.h"
#include "phone/PhoneServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

#include <unistd.h>

using namespace quilla;

namespace {

constexpr int Phones = 50;
constexpr int People = 1000;

qint64 addRow(Database &db, const char *table, const QList<std::pair<const char16_t *, QVariant>> &values)
{
    Query rs = db.openQuery(Sql("SELECT * FROM ") + QString::fromUtf8(table) + Sql(" WHERE FALSE"));
    rs.addNew();
    for (const auto &[column, value] : values)
        rs.setValue(QStringView(column), value);
    return rs.save() ? rs.number(u"ID") : -1;
}

QString numberOf(int i)
{
    return QStringLiteral("139%1").arg(i, 8, 10, QLatin1Char('0'));
}

QString nameOf(int i)
{
    return QStringLiteral("员工%1").arg(i);
}

struct Reply
{
    int status = 0;
    QByteArray body;
};

Reply request(const QByteArray &source, quint16 port, const QByteArray &text)
{
    QTcpSocket socket;
    socket.bind(QHostAddress(QString::fromLatin1(source)));
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(10000))
        return {};
    socket.write(text);
    QByteArray data;
    while (socket.waitForReadyRead(30000)) {
        data += socket.readAll();
        const qsizetype head = data.indexOf("\r\n\r\n");
        const qsizetype at = data.toLower().indexOf("content-length:");
        if (head < 0 || at < 0)
            continue;
        const qsizetype length = data.mid(at + 15, data.indexOf("\r\n", at) - at - 15).trimmed().toLongLong();
        if (data.size() >= head + 4 + length)
            return {data.mid(9, 3).toInt(), data.mid(head + 4, length)};
    }
    return {};
}

QByteArray get(quint16 port, const QByteArray &path)
{
    return request("127.0.0.1", port, "GET " + path + " HTTP/1.1\r\nHost: x\r\n\r\n").body;
}

// CPU seconds of this process's thread named name.
double threadCpu(const QByteArray &name)
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name)
            continue;
        QFile stat(tasks.filePath(task + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly))
            return -1;
        const QList<QByteArray> fields = stat.readAll().split(')').value(1).split(' ');
        // After the command: state is field 3, utime 14 and stime 15.
        return (fields.value(12).toDouble() + fields.value(13).toDouble()) / double(sysconf(_SC_CLK_TCK));
    }
    return -1;
}

double percentile(QList<double> values, double p)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(std::min<qsizetype>(values.size() - 1, qsizetype(p * values.size())));
}

bool startServer(PhoneServer &server, const QString &path, qint64 drawId)
{
    QEventLoop wait;
    QObject::connect(&server, &PhoneServer::started, &wait, &QEventLoop::quit);
    QObject::connect(&server, &PhoneServer::failed, &wait, &QEventLoop::quit);
    server.start(path, drawId, QHostAddress(QHostAddress::LocalHost), 0);
    wait.exec();
    return server.isRunning();
}

// One run: every phone checks its 20 people in, spread over seconds (0: at once),
// while this thread starts and stops rounds. Returns false when a check-in was lost or doubled.
bool run(Database &db, const QString &path, qint64 drawId, qint64 prizeId, double seconds)
{
    PhoneServer server;
    if (!startServer(server, path, drawId))
        return false;
    const quint16 port = server.checkInUrl().port();
    const QByteArray home = server.checkInUrl().path().toLatin1();
    const double cpuBefore = threadCpu("phone server");

    std::mutex lock;
    QList<double> answers;
    std::atomic<int> done{0}, succeeded{0}, refused{0};
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> phones;
    for (int phone = 0; phone < Phones; ++phone)
        phones.emplace_back([&, phone] {
            constexpr int Each = People / Phones;
            for (int k = 0; k < Each; ++k) {
                if (seconds > 0) { // evenly, the phones out of step with one another
                    const qint64 due = qint64((k + double(phone) / Phones) * seconds * 1000 / Each);
                    while (clock.elapsed() < due)
                        QThread::msleep(5);
                }
                const int person = phone * Each + k;
                const QByteArray source = "127.0.0." + QByteArray::number(2 + 2 * phone + k % 2);
                const QByteArray body = "number=" + numberOf(person).toUtf8() +
                                        "&name=" + nameOf(person).toUtf8().toPercentEncoding();
                QElapsedTimer one;
                one.start();
                const Reply reply = request(source, port,
                                            "POST " + home + " HTTP/1.1\r\nHost: x\r\nContent-Type: "
                                            "application/x-www-form-urlencoded\r\nContent-Length: " +
                                                QByteArray::number(body.size()) + "\r\n\r\n" + body);
                const double ms = one.nsecsElapsed() / 1e6;
                if (reply.status == 200 && reply.body.contains(QStringLiteral("签到成功").toUtf8()))
                    ++succeeded;
                else
                    ++refused;
                std::lock_guard guard(lock);
                answers.append(ms);
                ++done;
            }
        });

    // The stage: a round started and stopped every 300 ms, on its own connection.
    DrawEngine engine(db);
    engine.CurrentDraw.Id = drawId;
    engine.loadDraw();
    QList<double> starts, stops;
    while (done < People) {
        QList<Candidate> picks;
        QElapsedTimer step;
        step.start();
        if (engine.startRound(picks) == 0)
            break;
        starts.append(step.nsecsElapsed() / 1e6);
        QThread::msleep(100);
        step.restart();
        engine.recordRound(drawId, prizeId, picks);
        stops.append(step.nsecsElapsed() / 1e6);
        QCoreApplication::processEvents();
        QThread::msleep(200);
    }
    for (std::thread &phone : phones)
        phone.join();
    const double wall = clock.nsecsElapsed() / 1e9;
    const double cpu = threadCpu("phone server") - cpuBefore;

    const qint64 stored = checkedInCount(db, drawId);
    const qint64 byPhone = db.countRows(QStringLiteral("号码表"), Sql("CID=") + Sql::number(drawId) +
                                                                   Sql(" AND 签到=1 AND 签到方式=") + Sql::text(SetByPhone));
    std::printf("  %d check-ins in %.1f s: %d answered 签到成功, %d not; stored %lld (by phone %lld)\n", People, wall,
                int(succeeded), int(refused), stored, byPhone);
    std::printf("  answer ms: p50 %.1f  p95 %.1f  max %.1f\n", percentile(answers, 0.5), percentile(answers, 0.95),
                percentile(answers, 1.0));
    std::printf("  stage meanwhile (%lld rounds): start p95 %.1f ms, stop p50 %.1f  p95 %.1f  max %.1f ms\n",
                qint64(stops.size()), percentile(starts, 0.95), percentile(stops, 0.5), percentile(stops, 0.95),
                percentile(stops, 1.0));
    std::printf("  server thread CPU: %.2f s of %.1f s = %.1f %% of a core\n", cpu, wall, 100 * cpu / wall);
    return succeeded == People && stored == People && byPhone == People;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? QByteArray(argv[1]).toDouble() : 50;
    QTemporaryDir dir;
    BenchPrompt prompt;
    Database db(prompt);
    const QString path = dir.filePath(QStringLiteral("Data.mdb"));
    if (!db.openDatabase(path))
        return 1;

    // The draw the phones check in to, and one with 1 000 winners for the results page.
    const qint64 draw = addRow(db, "奖次表", {{u"抽奖内容", QStringLiteral("年会")}, {u"速度", 400}});
    const qint64 prize = addRow(db, "奖项表", {{u"CID", draw}, {u"顺序", 1}, {u"名称", QStringLiteral("纪念奖")},
                                              {u"数量", 100000}, {u"同时", 5}, {u"显示", true}});
    const qint64 shown = addRow(db, "奖次表", {{u"抽奖内容", QStringLiteral("已抽完")}, {u"屏蔽", QStringLiteral("???****????")}});
    {
        Database::Transaction transaction(db);
        for (int i = 0; i < People; ++i)
            addRow(db, "号码表", {{u"CID", draw}, {u"号码", numberOf(i)}, {u"姓名", nameOf(i)}});
        for (int p = 0; p < 10; ++p) {
            const qint64 id = addRow(db, "奖项表", {{u"CID", shown}, {u"顺序", p}, {u"名称", QStringLiteral("%1等奖").arg(p + 1)},
                                                   {u"奖品", QStringLiteral("礼品卡")}, {u"数量", 100}, {u"显示", true}});
            for (int i = 0; i < 100; ++i)
                addRow(db, "结果表", {{u"CID", shown}, {u"WID", id}, {u"号码", numberOf(p * 100 + i)},
                                     {u"姓名", nameOf(p * 100 + i)}});
        }
        if (!transaction.commit())
            return 1;
    }

    bool whole = true;
    std::printf("spread over %.0f s:\n", seconds);
    whole = run(db, path, draw, prize, seconds) && whole;
    db.executeSql(Sql("UPDATE 号码表 SET 签到=0,签到时间=NULL,签到方式=NULL"));
    db.executeSql(Sql("DELETE FROM 结果表 WHERE CID=") + Sql::number(draw));
    std::printf("at once:\n");
    whole = run(db, path, draw, prize, 0) && whole;

    PhoneServer server;
    if (!startServer(server, path, shown))
        return 1;
    const quint16 port = server.checkInUrl().port();
    const QByteArray home = server.checkInUrl().path().toLatin1();
    const QByteArray results = get(port, home + "results");
    std::printf("pages: check-in form %lld bytes; results page with 1 000 winners %lld bytes (list alone %lld)%s\n",
                qint64(get(port, home).size()), qint64(results.size()), qint64(get(port, home + "results/list").size()),
                results.contains("139****0999") && !results.contains("13900000999") ? ", numbers masked" : ", NOT MASKED");
    std::printf("%s\n", whole ? "none lost, none doubled" : "CHECK-INS LOST OR DOUBLED");
    return whole ? 0 : 1;
}
