#include "HttpServerStandIn.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

using StatusCode = QHttpServerResponder::StatusCode;

namespace {

// A request's line and headers; the phone pages' are a few hundred bytes.
constexpr qsizetype MostHead = 16 * 1024;
// The listener refuses far smaller bodies as they arrive; this bounds memory without one.
constexpr qint64 MostBody = 8 * 1024 * 1024;

QByteArray reasonOf(StatusCode status)
{
    switch (status) {
    case StatusCode::Ok: return "OK";
    case StatusCode::Created: return "Created";
    case StatusCode::NoContent: return "No Content";
    case StatusCode::MovedPermanently: return "Moved Permanently";
    case StatusCode::Found: return "Found";
    case StatusCode::SeeOther: return "See Other";
    case StatusCode::NotModified: return "Not Modified";
    case StatusCode::BadRequest: return "Bad Request";
    case StatusCode::Forbidden: return "Forbidden";
    case StatusCode::NotFound: return "Not Found";
    case StatusCode::MethodNotAllowed: return "Method Not Allowed";
    case StatusCode::RequestTimeout: return "Request Timeout";
    case StatusCode::LengthRequired: return "Length Required";
    case StatusCode::PayloadTooLarge: return "Payload Too Large";
    case StatusCode::UriTooLong: return "URI Too Long";
    case StatusCode::UnsupportedMediaType: return "Unsupported Media Type";
    case StatusCode::TooManyRequests: return "Too Many Requests";
    case StatusCode::RequestHeaderFieldsTooLarge: return "Request Header Fields Too Large";
    case StatusCode::InternalServerError: return "Internal Server Error";
    case StatusCode::NotImplemented: return "Not Implemented";
    case StatusCode::ServiceUnavailable: return "Service Unavailable";
    case StatusCode::HttpVersionNotSupported: return "HTTP Version Not Supported";
    }
    return "Unknown";
}

void answerAndClose(QTcpSocket *socket, const QByteArray &body, QHttpServerResponder::HeaderList headers,
                    StatusCode status)
{
    QByteArray answer = "HTTP/1.1 " + QByteArray::number(int(status)) + ' ' + reasonOf(status) + "\r\n";
    for (const auto &[name, value] : headers)
        answer += name + ": " + value + "\r\n";
    answer += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    socket->write(answer);
    // Closes once the answer is out.
    socket->disconnectFromHost();
}

QHttpServerRequest::Method methodOf(const QByteArray &name)
{
    using Method = QHttpServerRequest::Method;
    static const std::pair<const char *, Method> methods[] = {
        {"GET", Method::Get},         {"POST", Method::Post},       {"PUT", Method::Put},
        {"DELETE", Method::Delete},   {"HEAD", Method::Head},       {"OPTIONS", Method::Options},
        {"PATCH", Method::Patch},     {"CONNECT", Method::Connect}, {"TRACE", Method::Trace},
    };
    for (const auto &[text, method] : methods)
        if (name == text)
            return method;
    return Method::Unknown;
}

// One connection's request as it arrives.
struct Incoming
{
    QByteArray data;
    qsizetype bodyAt = -1; // where the body starts, once the head is read
    qint64 length = 0;
    bool done = false; // read, and handed on: whatever follows is dropped
};

} // namespace

QByteArray QHttpServerRequest::value(const QByteArray &name) const
{
    const QByteArray key = name.toLower();
    for (const auto &[header, value] : m_headers)
        if (header == key)
            return value;
    return {};
}

QHttpServerResponder::QHttpServerResponder(QTcpSocket *socket) : m_socket(socket) {}

QHttpServerResponder::QHttpServerResponder(QHttpServerResponder &&other) noexcept
    : m_socket(std::exchange(other.m_socket, nullptr))
{
}

QHttpServerResponder::~QHttpServerResponder() = default;

void QHttpServerResponder::write(const QByteArray &data, HeaderList headers, StatusCode status)
{
    if (m_socket)
        answerAndClose(m_socket, data, headers, status);
    m_socket = nullptr; // one answer per request
}

void QHttpServerResponder::write(StatusCode status)
{
    write(QByteArray(), {}, status);
}

QAbstractHttpServer::QAbstractHttpServer(QObject *parent) : QObject(parent) {}

QAbstractHttpServer::~QAbstractHttpServer() = default;

void QAbstractHttpServer::bind(QTcpServer *server)
{
    const auto takeAll = [this, server] {
        while (server->hasPendingConnections())
            serve(server->nextPendingConnection());
    };
    connect(server, &QTcpServer::newConnection, this, takeAll);
    takeAll();
}

QHttpServerResponder QAbstractHttpServer::makeResponder(const QHttpServerRequest &, QTcpSocket *socket)
{
    return QHttpServerResponder(socket);
}

void QAbstractHttpServer::serve(QTcpSocket *socket)
{
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    auto incoming = std::make_shared<Incoming>();
    const auto refuse = [socket, incoming](StatusCode status) {
        incoming->done = true;
        answerAndClose(socket, QByteArray(), {}, status);
    };
    const auto read = [this, socket, incoming, refuse] {
        if (incoming->done) {
            socket->readAll();
            return;
        }
        incoming->data += socket->readAll();
        if (incoming->bodyAt < 0) {
            const qsizetype headEnd = incoming->data.indexOf("\r\n\r\n");
            if (headEnd < 0) {
                if (incoming->data.size() > MostHead)
                    refuse(StatusCode::RequestHeaderFieldsTooLarge);
                return;
            }
            if (headEnd > MostHead)
                return refuse(StatusCode::RequestHeaderFieldsTooLarge);
            incoming->bodyAt = headEnd + 4;
        }
        const QList<QByteArray> lines = incoming->data.left(incoming->bodyAt - 4).split('\n');
        // The request line: method, target, version.
        const QList<QByteArray> parts = lines.first().trimmed().split(' ');
        if (parts.size() != 3 || !parts.at(1).startsWith('/'))
            return refuse(StatusCode::BadRequest);
        if (parts.at(2) != "HTTP/1.1" && parts.at(2) != "HTTP/1.0")
            return refuse(parts.at(2).startsWith("HTTP/") ? StatusCode::HttpVersionNotSupported
                                                          : StatusCode::BadRequest);
        QHttpServerRequest request;
        request.m_method = methodOf(parts.at(0));
        // The target is a path with a query: the host put in front is only there to make a URL.
        request.m_url = QUrl::fromEncoded("http://localhost" + parts.at(1), QUrl::StrictMode);
        if (!request.m_url.isValid())
            return refuse(StatusCode::BadRequest);
        request.m_url.setHost(socket->localAddress().toString());
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).endsWith('\r') ? lines.at(i).chopped(1) : lines.at(i);
            const qsizetype colon = line.indexOf(':');
            // No folded lines, no names with spaces: both have served to smuggle requests.
            if (colon <= 0 || line.startsWith(' ') || line.startsWith('\t') || line.left(colon).contains(' '))
                return refuse(StatusCode::BadRequest);
            request.m_headers.append({line.left(colon).toLower(), line.mid(colon + 1).trimmed()});
        }
        if (!request.value("transfer-encoding").isEmpty())
            return refuse(StatusCode::NotImplemented);
        qint64 length = 0;
        int lengths = 0;
        for (const auto &[name, value] : request.m_headers) {
            if (name != "content-length")
                continue;
            bool number = false;
            length = value.toLongLong(&number);
            if (!number || length < 0 || ++lengths > 1)
                return refuse(StatusCode::BadRequest);
        }
        if (length > MostBody)
            return refuse(StatusCode::PayloadTooLarge);
        if (incoming->data.size() - incoming->bodyAt < length)
            return; // the rest of the body is on its way
        request.m_body = incoming->data.mid(incoming->bodyAt, length);
        request.m_remoteAddress = socket->peerAddress();
        incoming->done = true;
        incoming->data.clear();
        if (!handleRequest(request, socket))
            missingHandler(request, socket);
    };
    connect(socket, &QTcpSocket::readyRead, this, read);
    if (socket->bytesAvailable() > 0)
        read();
}
