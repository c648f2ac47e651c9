#pragma once

#include "PhoneServer.h"

#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QTimer>

#include <memory>

class QTcpServer;

namespace quilla {

class Database;
class Prompt;

// The server's half on its own thread: its connection to the database, the
// routes and the rules. Made, used and deleted on that thread.
class PhoneService : public QAbstractHttpServer
{
    Q_OBJECT

  public:
    PhoneService(const QByteArray &token, const PhoneServer::Limits &limits);
    ~PhoneService() override;

    // Opens the database and listens; ready or failed follows.
    Q_INVOKABLE void open(const QString &databasePath, qint64 drawId, const QHostAddress &address, quint16 port);

  Q_SIGNALS:
    void ready(const QUrl &checkInUrl);
    void failed(const QString &why);
    void checkedIn();

  protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

  private:
    void checkIn(const QHttpServerRequest &request, QTcpSocket *socket);
    // Stores the waiting check-ins in one transaction, then answers each phone.
    void storeWaiting();
    // Another try from this address; false when it has used up the minute's tries.
    bool mayTry(const QHostAddress &address);
    // The winners list, read again only when the file changed.
    QByteArray results();

    QByteArray m_token;
    PhoneServer::Limits m_limits;
    std::unique_ptr<Prompt> m_prompt;
    std::unique_ptr<Database> m_db;
    QTcpServer *m_listener = nullptr;
    qint64 m_drawId = 0;
    QElapsedTimer m_clock;
    QHash<QByteArray, QList<qint64>> m_tries; // address → times of its tries in the last minute
    std::pair<qint64, qint64> m_resultsStamp{-1, -1};
    qint64 m_resultsChecked = -1; // when the stamp was last read
    QByteArray m_results;

    struct Waiting
    {
        QPointer<QTcpSocket> socket;
        QString number;
        QString name;
    };
    QList<Waiting> m_waiting;
    QTimer *m_writeTimer; // a child, so that it moves to the thread with the service
    qint64 m_lastWrite = -1000000;
};

} // namespace quilla
