#include "PhoneServer.h"

#include "PhonePages.h"
#include "PhoneService.h"

#include "data/Database.h"
#include "engine/DrawEngine.h"
#include "engine/NumberDisplay.h"
#include "engine/Presence.h"
#include "engine/ScreenSettings.h"
#include "engine/WinnersBoard.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

namespace quilla {

namespace {

using Status = QHttpServerResponder::StatusCode;

// The server's connection speaks to no one: what it would say shows as the page's answer.
class QuietPrompt : public Prompt
{
  public:
    void message(const QString &, Icon) override {}
    bool question(const QString &, Icon, Default) override { return false; }
};

// The pages run their own inline script and style only, and never tell another site the token.
const char *const ContentSecurity = "default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; "
                                    "connect-src 'self'; form-action 'self'";
const QByteArray SafetyHeaders = QByteArray("Content-Type: text/html; charset=utf-8\r\n"
                                            "Cache-Control: no-store\r\n"
                                            "X-Content-Type-Options: nosniff\r\n"
                                            "Referrer-Policy: no-referrer\r\n"
                                            "Content-Security-Policy: ") +
                                 ContentSecurity + "\r\n";

// A whole answer written straight to the socket, for the answers not given while the
// request is handled: the connection is closed after it.
QByteArray rawAnswer(const QByteArray &statusLine, const QByteArray &body)
{
    return "HTTP/1.1 " + statusLine + "\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\n" + SafetyHeaders + "\r\n" + body;
}

// A listener that guards each connection before the HTTP server reads it: closed after a
// while, finished or not, so that clients sending a byte now and then cannot hold sockets
// for ever; and refused once it has sent more than a few pages' requests, so that a huge
// body is dropped as it arrives instead of being gathered in memory.
class GuardedListener : public QTcpServer
{
  public:
    GuardedListener(const PhoneServer::Limits &limits, QObject *parent) : QTcpServer(parent), m_limits(limits) {}

  protected:
    void incomingConnection(qintptr handle) override
    {
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(handle)) {
            delete socket;
            return;
        }
        QTimer::singleShot(m_limits.connectionSeconds * 1000, socket, [socket] { socket->abort(); });
        // Connected before the HTTP server's own reader, so it sees each piece first.
        const qint64 most = m_limits.maxBody + 60 * 1024;
        connect(socket, &QTcpSocket::readyRead, socket, [socket, most, received = qint64(0), refused = false]() mutable {
            if (refused) {
                socket->readAll();
                return;
            }
            received += socket->bytesAvailable();
            if (received <= most)
                return;
            refused = true;
            socket->readAll();
            // The client may still be sending: it reads the answer when done, and the
            // connection ends with its lifetime.
            socket->write(rawAnswer("413 Payload Too Large", notePage(QStringLiteral("提交的内容太长"))));
        });
        addPendingConnection(socket);
    }

  private:
    PhoneServer::Limits m_limits;
};

// "number=…&name=…" as a form posts it; false when a field is not UTF-8.
bool readForm(const QByteArray &body, QHash<QString, QString> &fields)
{
    for (const QByteArray &pair : body.split('&')) {
        const qsizetype equals = pair.indexOf('=');
        if (equals <= 0)
            continue;
        const auto decode = [](QByteArray part, QString &text) {
            part.replace('+', ' ');
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            text = utf8.decode(QByteArray::fromPercentEncoding(part));
            return !utf8.hasError();
        };
        QString key, value;
        if (!decode(pair.left(equals), key) || !decode(pair.mid(equals + 1), value))
            return false;
        fields.insert(key, value);
    }
    return true;
}

} // namespace

// ---------------------------------------------------------------- the service, on its thread

PhoneService::PhoneService(const QByteArray &token, const PhoneServer::Limits &limits)
    : m_token(token), m_limits(limits), m_prompt(std::make_unique<QuietPrompt>()), m_writeTimer(new QTimer(this))
{
    m_clock.start();
    m_writeTimer->setSingleShot(true);
    connect(m_writeTimer, &QTimer::timeout, this, &PhoneService::storeWaiting);
}

PhoneService::~PhoneService() = default;

void PhoneService::open(const QString &databasePath, qint64 drawId, const QHostAddress &address, quint16 port)
{
    m_drawId = drawId;
    m_db = std::make_unique<Database>(*m_prompt);
    if (!m_db->openDatabase(databasePath) || m_db->isReadOnly()) {
        m_db.reset();
        Q_EMIT failed(QStringLiteral("无法打开数据库文件，签到无法保存"));
        return;
    }
    m_listener = new GuardedListener(m_limits, this);
    if (!m_listener->listen(address, port) && !m_listener->listen(address, 0)) {
        Q_EMIT failed(QStringLiteral("无法在 %1 上接受连接（%2）").arg(address.toString(), m_listener->errorString()));
        return;
    }
    bind(m_listener);
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(address.toString());
    url.setPort(m_listener->serverPort());
    url.setPath(u'/' + QString::fromLatin1(m_token) + u'/');
    Q_EMIT ready(url);
}

static void reply(QHttpServerResponder &&responder, const QByteArray &body, Status status)
{
    responder.write(body,
                    {{"Content-Type", "text/html; charset=utf-8"},
                     {"Cache-Control", "no-store"},
                     {"X-Content-Type-Options", "nosniff"},
                     {"Referrer-Policy", "no-referrer"},
                     {"Content-Security-Policy", ContentSecurity}},
                    status);
}

bool PhoneService::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    if (request.body().size() > m_limits.maxBody) {
        reply(makeResponder(request, socket), notePage(QStringLiteral("提交的内容太长")), Status::PayloadTooLarge);
        return true;
    }
    const QByteArray path = request.url().path(QUrl::FullyEncoded).toLatin1();
    const QByteArray home = '/' + m_token + '/';
    if (!m_db || !path.startsWith(home))
        return false;
    const QByteArray rest = path.mid(home.size());
    const auto method = request.method();
    if (rest.isEmpty() && method == QHttpServerRequest::Method::Post) {
        checkIn(request, socket);
        return true;
    }
    if (method != QHttpServerRequest::Method::Get)
        return false;
    if (rest.isEmpty())
        reply(makeResponder(request, socket), checkInPage(), Status::Ok);
    else if (rest == "results")
        reply(makeResponder(request, socket), resultsPage(results()), Status::Ok);
    else if (rest == "results/list")
        reply(makeResponder(request, socket), results(), Status::Ok);
    else
        return false;
    return true;
}

void PhoneService::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    reply(makeResponder(request, socket), notePage(QStringLiteral("没有这个页面，请重新扫描二维码")), Status::NotFound);
}

bool PhoneService::mayTry(const QHostAddress &address)
{
    const qint64 now = m_clock.elapsed();
    const qint64 minuteAgo = now - 60000;
    // Addresses quiet for a minute are forgotten, so the table stays small.
    if (m_tries.size() > 4096)
        m_tries.removeIf([&](const auto &entry) { return entry.value().isEmpty() || entry.value().last() < minuteAgo; });
    QList<qint64> &tries = m_tries[address.toString().toLatin1()];
    while (!tries.isEmpty() && tries.first() < minuteAgo)
        tries.removeFirst();
    if (tries.size() >= m_limits.triesPerMinute)
        return false;
    tries.append(now);
    return true;
}

void PhoneService::checkIn(const QHttpServerRequest &request, QTcpSocket *socket)
{
    if (!mayTry(request.remoteAddress())) {
        reply(makeResponder(request, socket), notePage(QStringLiteral("尝试次数太多，请一分钟后再试，或到签到台签到")),
              Status::TooManyRequests);
        return;
    }
    QHash<QString, QString> fields;
    if (!readForm(request.body(), fields) || !fields.contains(QStringLiteral("number")) ||
        !fields.contains(QStringLiteral("name"))) {
        reply(makeResponder(request, socket), notePage(QStringLiteral("提交的内容无法识别")), Status::BadRequest);
        return;
    }
    m_waiting.append({socket, fields.value(QStringLiteral("number")).left(64),
                      fields.value(QStringLiteral("name")).left(64)});
    if (!m_writeTimer->isActive())
        m_writeTimer->start(int(std::clamp<qint64>(m_lastWrite + m_limits.writeGapMs - m_clock.elapsed(), 0,
                                                  m_limits.writeGapMs)));
}

void PhoneService::storeWaiting()
{
    const QList<Waiting> waiting = std::exchange(m_waiting, {});
    QList<DoorCheckIn> done;
    bool stored = false;
    {
        // Each check-in is a transaction of its own inside this one: all land, each whole, or none.
        Database::Transaction transaction(*m_db);
        for (const Waiting &one : waiting)
            done.append(checkInPerson(*m_db, m_drawId, one.number, one.name, SetByPhone));
        stored = transaction.commit();
    }
    m_lastWrite = m_clock.elapsed();
    for (qsizetype i = 0; i < waiting.size(); ++i) {
        DoorCheckIn &one = done[i];
        if (!stored && one.outcome == DoorCheckIn::Outcome::CheckedIn)
            one.outcome = DoorCheckIn::Outcome::Failed;
        QString answer;
        Status status = Status::Ok;
        switch (one.outcome) {
        case DoorCheckIn::Outcome::CheckedIn:
            answer = QStringLiteral("%1，签到成功！").arg(one.names.value(0));
            Q_EMIT checkedIn();
            break;
        case DoorCheckIn::Outcome::AlreadyIn:
            answer = QStringLiteral("%1，您已经签到过了（%2）").arg(one.names.value(0), one.when);
            break;
        case DoorCheckIn::Outcome::Absent:
            answer = QStringLiteral("请到签到台办理签到");
            break;
        case DoorCheckIn::Outcome::Unknown:
        case DoorCheckIn::Outcome::Ambiguous: // a number and a name name one person: not reached
            // The same answer whether the number or only the name is wrong.
            answer = QStringLiteral("号码或姓名与名单不符，请核对后再试；如有疑问请到签到台");
            break;
        case DoorCheckIn::Outcome::Failed:
            answer = QStringLiteral("签到暂时未能保存，请稍后再试，或到签到台签到");
            status = Status::ServiceUnavailable;
            break;
        }
        QTcpSocket *socket = waiting.at(i).socket;
        if (!socket) // the phone gave up waiting; its check-in counts all the same
            continue;
        const bool in =
            one.outcome == DoorCheckIn::Outcome::CheckedIn || one.outcome == DoorCheckIn::Outcome::AlreadyIn;
        const QByteArray body = checkInPage(answer, in, waiting.at(i).number, waiting.at(i).name);
        // Answered here, after the commit, rather than through the request's responder,
        // which does not outlive the request's handling.
        socket->write(rawAnswer(status == Status::Ok ? "200 OK" : "503 Service Unavailable", body));
        socket->disconnectFromHost();
    }
}

QByteArray PhoneService::results()
{
    // Many phones refresh every few seconds: the file is asked whether it changed once a second at most.
    const qint64 now = m_clock.elapsed();
    if (m_resultsChecked >= 0 && now - m_resultsChecked < 1000)
        return m_results;
    const auto stamp = m_db->storedStamp();
    if (stamp == m_resultsStamp && stamp.second >= 0) {
        m_resultsChecked = now;
        return m_results;
    }
    // What the board on the stage shows: its order, its hidden prizes, its numbers as masked there.
    DrawEngine engine(*m_db);
    DrawSetting setting;
    const BoardOptions board = parseBoard(readScreenSetting(*m_db, m_drawId, QStringLiteral("BRD")));
    WinnersBoard winners;
    const bool read = engine.loadDrawSetting(m_drawId, setting) &&
                      winners.load(*m_db, m_drawId, [&setting](const QString &number) {
                          return displayNumber(number, setting.FixedLength, setting.Mask);
                      });
    if (!read)
        return resultsList(QString(), {}); // not kept: the next request reads again
    if (board.Hidden) {
        m_results = QStringLiteral("<p class=\"n\">中奖名单暂不公布。</p>\n").toUtf8();
    } else {
        const WinnersBoard::Options options{board.Reverse, false, 0};
        m_results = resultsList(winners.title(options), winners.lines(options, 0, winners.lineCount(options)));
    }
    m_resultsStamp = stamp;
    m_resultsChecked = now;
    return m_results;
}

// ---------------------------------------------------------------- the operator's side

PhoneServer::PhoneServer(QObject *parent) : QObject(parent) {}

PhoneServer::~PhoneServer()
{
    stop();
}

void PhoneServer::start(const QString &databasePath, qint64 drawId, const QHostAddress &address, quint16 port)
{
    stop();
    // 128 random bits from the system's source, new at every start.
    QByteArray bits(16, '\0');
    QRandomGenerator::system()->generate(reinterpret_cast<quint32 *>(bits.data()),
                                         reinterpret_cast<quint32 *>(bits.data() + bits.size()));
    const QByteArray token = bits.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    m_count = 0;
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("phone server"));
    m_service = new PhoneService(token, m_limits);
    m_service->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_service, &QObject::deleteLater);
    connect(m_service, &PhoneService::ready, this, &PhoneServer::serviceReady);
    connect(m_service, &PhoneService::failed, this, &PhoneServer::serviceFailed);
    connect(m_service, &PhoneService::checkedIn, this, [this] { Q_EMIT checkedIn(++m_count); });
    m_thread->start();
    PhoneService *service = m_service;
    QMetaObject::invokeMethod(
        service, [=] { service->open(databasePath, drawId, address, port); }, Qt::QueuedConnection);
}

void PhoneServer::stop()
{
    if (!m_thread)
        return;
    m_thread->quit();
    m_thread->wait();
    delete m_thread; // the service went with the thread's end
    m_thread = nullptr;
    m_service = nullptr;
    m_url.clear();
    if (std::exchange(m_running, false))
        Q_EMIT stopped();
}

QUrl PhoneServer::resultsUrl() const
{
    return m_url.isEmpty() ? QUrl() : m_url.resolved(QUrl(QStringLiteral("results")));
}

void PhoneServer::serviceReady(const QUrl &url)
{
    m_url = url;
    m_running = true;
    Q_EMIT started(url);
}

void PhoneServer::serviceFailed(const QString &why)
{
    stop();
    Q_EMIT failed(why);
}

QList<QHostAddress> PhoneServer::localAddresses()
{
    QList<QHostAddress> addresses;
    const QHostAddress routed = defaultAddress();
    if (!routed.isLoopback())
        addresses.append(routed);
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || !flags.testFlag(QNetworkInterface::IsRunning) ||
            flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &entry : interface.addressEntries())
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol && !addresses.contains(entry.ip()))
                addresses.append(entry.ip());
    }
    addresses.append(QHostAddress(QHostAddress::LocalHost)); // for a try on this computer
    return addresses;
}

QHostAddress PhoneServer::defaultAddress()
{
    // A UDP "connection" sends nothing; it only asks the system which address the route leaves from.
    QUdpSocket probe;
    probe.connectToHost(QHostAddress(QStringLiteral("192.0.2.1")), 9);
    if (probe.waitForConnected(200)) {
        const QHostAddress local = probe.localAddress();
        if (local.protocol() == QAbstractSocket::IPv4Protocol && !local.isNull() && !local.isLoopback())
            return local;
    }
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        if (!interface.flags().testFlag(QNetworkInterface::IsUp) ||
            interface.flags().testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &entry : interface.addressEntries())
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                return entry.ip();
    }
    return QHostAddress(QHostAddress::LocalHost);
}

} // namespace quilla
