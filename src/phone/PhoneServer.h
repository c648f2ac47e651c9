#pragma once

#include <QHostAddress>
#include <QObject>
#include <QUrl>

class QThread;

namespace quilla {

class PhoneService;

// The check-in page and the results page for phones on the local network.
// The server runs on a thread of its own with its own connection to the draw
// database, so the draw screen never waits for a phone; a check-in is one
// transaction there (those arriving within a moment share it, each whole), and
// the draw sees it at its next start.
//
// What it serves, under a random token made new at every start:
//   /<token>/               a form for number and name; POST checks the person in
//   /<token>/results        the winners as the board shows them, refreshed every few seconds
//   /<token>/results/list   the list alone, for that refresh
// Anything else, a wrong token, a body over 4 KiB or text that is not UTF-8 gets a 4xx
// and changes nothing; each address may try at most 10 check-ins a minute.
class PhoneServer : public QObject
{
    Q_OBJECT

  public:
    // Tried first, so that the address stays the same from one start to the next;
    // any free port when another program holds it.
    static constexpr quint16 PreferredPort = 8686;

    struct Limits
    {
        int triesPerMinute = 10;  // check-in posts per client address
        qsizetype maxBody = 4096; // bytes
        int connectionSeconds = 30; // a connection is closed after this, finished or not
        // The least time between two writes: check-ins arriving meanwhile wait and are
        // stored together, so that a rush of phones leaves the file free for the stage.
        int writeGapMs = 200;
    };

    explicit PhoneServer(QObject *parent = nullptr);
    ~PhoneServer() override;

    void setLimits(const Limits &limits) { m_limits = limits; }
    // Opens the database file and listens on address; started or failed follows.
    // A running server is stopped first.
    void start(const QString &databasePath, qint64 drawId, const QHostAddress &address,
               quint16 port = PreferredPort);
    void stop();
    bool isRunning() const { return m_running; }
    // The page to open on a phone (what the QR code holds); empty while stopped.
    QUrl checkInUrl() const { return m_url; }
    QUrl resultsUrl() const;
    qint64 checkInCount() const { return m_count; }

    // The address a phone most likely reaches this computer on: the one the
    // default route leaves from, else the first private IPv4 address, else loopback.
    static QHostAddress defaultAddress();
    // The IPv4 addresses of the interfaces that are up, the default one first.
    static QList<QHostAddress> localAddresses();

  Q_SIGNALS:
    void started(const QUrl &checkInUrl);
    void failed(const QString &why);
    void stopped();
    // Phone check-ins stored since the start.
    void checkedIn(qint64 count);

  private:
    void serviceReady(const QUrl &url);
    void serviceFailed(const QString &why);

    Limits m_limits;
    QThread *m_thread = nullptr;
    PhoneService *m_service = nullptr; // lives on m_thread
    QUrl m_url;
    qint64 m_count = 0;
    bool m_running = false;
};

} // namespace quilla
