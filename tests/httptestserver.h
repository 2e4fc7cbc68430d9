#pragma once

#include <functional>
#include <memory>

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// A small HTTP/1.1 server on 127.0.0.1 for the download tests. It runs on
// the test's own thread: the downloads keep the event loop turning while
// they wait, so it answers them. Each path answers with its route; unknown
// paths get 404. Every connection is closed after its answer.
class HttpTestServer final
{
public:
    struct Route
    {
        int status = 200;
        QByteArray reason = "OK";
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        // Send only this much of the body and then nothing more, keeping the
        // connection open (-1: all of it).
        qsizetype stallAfter = -1;
        // Send the body in pieces of this size, one every `chunkDelayMs`
        // (0: at once).
        qsizetype chunkSize = 0;
        int chunkDelayMs = 0;
    };

    static Route file(const QByteArray &body)
    {
        Route route;
        route.body = body;
        route.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/octet-stream")));
        return route;
    }

    static Route redirect(const QByteArray &location, int status = 302)
    {
        Route route;
        route.status = status;
        route.reason = "Found";
        route.headers.append(qMakePair(QByteArray("Location"), location));
        return route;
    }

    HttpTestServer()
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { accept(); });
        m_server.listen(QHostAddress::LocalHost, 0);
    }

    bool isListening() const { return m_server.isListening(); }
    quint16 port() const { return m_server.serverPort(); }
    QString url(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path); }

    void setRoute(const QString &path, const Route &route) { m_routes.insert(path, route); }
    // Called with the path of every request as it arrives.
    std::function<void(const QString &path)> onRequest;

    // The paths asked for, in order.
    const QStringList &requests() const { return m_requests; }

    // A port on 127.0.0.1 where nobody listens.
    static quint16 closedPort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        return port;
    }

private:
    void accept()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void read(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray requestLine = buffer.left(buffer.indexOf("\r\n"));
        m_buffers.remove(socket);
        const QList<QByteArray> parts = requestLine.split(' ');
        const QString path = parts.size() > 1 ? QString::fromLatin1(parts.at(1)) : QString();
        m_requests.append(path);
        if (onRequest)
            onRequest(path);

        Route route;
        if (m_routes.contains(path)) {
            route = m_routes.value(path);
        } else {
            route.status = 404;
            route.reason = "Not Found";
            route.body = "<html><body>Not Found</body></html>";
        }
        QByteArray head = "HTTP/1.1 " + QByteArray::number(route.status) + ' ' + route.reason + "\r\n";
        for (const auto &header : std::as_const(route.headers))
            head += header.first + ": " + header.second + "\r\n";
        head += "Content-Length: " + QByteArray::number(route.body.size()) + "\r\n";
        head += "Connection: close\r\n\r\n";
        socket->write(head);

        QByteArray body = route.body;
        const bool stall = route.stallAfter >= 0;
        if (stall)
            body = body.left(route.stallAfter);
        if (route.chunkSize <= 0) {
            socket->write(body);
            if (!stall)
                socket->disconnectFromHost();
            return;
        }
        auto *timer = new QTimer(socket);
        auto sent = std::make_shared<qsizetype>(0);
        QPointer<QTcpSocket> guard(socket);
        QObject::connect(timer, &QTimer::timeout, socket, [guard, timer, body, sent, stall, chunk = route.chunkSize] {
            if (!guard)
                return;
            if (*sent >= body.size()) {
                timer->stop();
                if (!stall)
                    guard->disconnectFromHost();
                return;
            }
            guard->write(body.mid(*sent, chunk));
            *sent += chunk;
        });
        timer->start(route.chunkDelayMs);
    }

    QTcpServer m_server;
    QHash<QString, Route> m_routes;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QStringList m_requests;
};
