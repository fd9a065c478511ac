#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>

class QTcpServer;
class QTcpSocket;

namespace OmbrelTest {

// A scripted HTTP/1.1 server on a free loopback port: records every request and
// answers each through the handler, so a test can shape the service's replies.
class LoopbackHttpServer : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QByteArray method;
        QByteArray target;
        QHash<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
        QByteArray header(const QByteArray &name) const { return headers.value(name.toLower()); }
        QList<QByteArray> headerOrder;
    };
    struct Response
    {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
        // Answer only after this many milliseconds (requests that wait together).
        int delayMs = 0;
    };
    using Handler = std::function<Response(const Request &)>;

    explicit LoopbackHttpServer(QObject *parent = nullptr);
    ~LoopbackHttpServer() override;

    bool start();
    quint16 port() const;
    QUrl url(const QString &path = QString()) const;
    void setHandler(Handler handler) { m_handler = std::move(handler); }

    QList<Request> requests;
    int countFor(const QByteArray &method, const QByteArray &targetPrefix) const;

Q_SIGNALS:
    void requestReceived();

private:
    void read(QTcpSocket *socket);

    QTcpServer *m_server = nullptr;
    Handler m_handler;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

} // namespace OmbrelTest
