#pragma once

// The part of Qt HTTP Server 6.4's API that the phone pages use, with its names, for
// builds that lack the module. One request per connection, answered with
// "Connection: close"; a body only by Content-Length (no chunked uploads, which a
// phone's form never sends). Limits on time and size are the listener's.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QUrl>

#include <initializer_list>
#include <utility>

class QTcpServer;

class QHttpServerRequest
{
  public:
    enum class Method {
        Unknown = 0x0000,
        Get = 0x0001,
        Put = 0x0002,
        Delete = 0x0004,
        Post = 0x0008,
        Head = 0x0010,
        Options = 0x0020,
        Patch = 0x0040,
        Connect = 0x0080,
        Trace = 0x0100,
    };

    QUrl url() const { return m_url; }
    Method method() const { return m_method; }
    QByteArray body() const { return m_body; }
    QHostAddress remoteAddress() const { return m_remoteAddress; }
    // A header's value by its name, in any case; empty when it is absent.
    QByteArray value(const QByteArray &name) const;

  private:
    friend class QAbstractHttpServer;
    QUrl m_url;
    Method m_method = Method::Unknown;
    QList<std::pair<QByteArray, QByteArray>> m_headers; // names in lower case
    QByteArray m_body;
    QHostAddress m_remoteAddress;
};

class QHttpServerResponder
{
  public:
    // Qt's names, each worth its HTTP code.
    enum class StatusCode {
        Ok = 200,
        Created = 201,
        NoContent = 204,
        MovedPermanently = 301,
        Found = 302,
        SeeOther = 303,
        NotModified = 304,
        BadRequest = 400,
        Forbidden = 403,
        NotFound = 404,
        MethodNotAllowed = 405,
        RequestTimeout = 408,
        LengthRequired = 411,
        PayloadTooLarge = 413,
        UriTooLong = 414,
        UnsupportedMediaType = 415,
        TooManyRequests = 429,
        RequestHeaderFieldsTooLarge = 431,
        InternalServerError = 500,
        NotImplemented = 501,
        ServiceUnavailable = 503,
        HttpVersionNotSupported = 505,
    };
    using HeaderList = std::initializer_list<std::pair<QByteArray, QByteArray>>;

    QHttpServerResponder(QHttpServerResponder &&other) noexcept;
    ~QHttpServerResponder();

    // The whole answer, then the connection closes.
    void write(const QByteArray &data, HeaderList headers, StatusCode status = StatusCode::Ok);
    void write(StatusCode status = StatusCode::Ok);
    QTcpSocket *socket() const { return m_socket; }

  private:
    friend class QAbstractHttpServer;
    explicit QHttpServerResponder(QTcpSocket *socket);
    QPointer<QTcpSocket> m_socket;
};

class QAbstractHttpServer : public QObject
{
    Q_OBJECT

  public:
    explicit QAbstractHttpServer(QObject *parent = nullptr);
    ~QAbstractHttpServer() override;

    // Serves the connections the listener accepts from now on.
    void bind(QTcpServer *server);

  protected:
    virtual bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) = 0;
    virtual void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) = 0;
    static QHttpServerResponder makeResponder(const QHttpServerRequest &request, QTcpSocket *socket);

  private:
    void serve(QTcpSocket *socket);
};
