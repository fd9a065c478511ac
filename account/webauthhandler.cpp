#include "webauthhandler.h"

#include "accountlog.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

namespace OmbrAccount {

namespace {

// A request line and headers from a browser fit easily; more is not a browser.
constexpr qsizetype maxRequestBytes = 16 * 1024;
constexpr int maxPendingConnections = 16;
// A client that opens a connection and says nothing is dropped after this.
constexpr int requestTimeoutMs = 10000;

const QByteArray completePage =
    "<html><body style='font-family: sans-serif; text-align: center; padding: 40px;'>"
    "<h2>Authentication complete!</h2>"
    "<p>You can close this tab and return to the application.</p></body></html>";

const QByteArray failedPage =
    "<html><body style='font-family: sans-serif; text-align: center; padding: 40px;'>"
    "<h2>Sign-in failed</h2>"
    "<p>Return to the application and try again.</p></body></html>";

// Browsers never send the fragment, where the tokens arrive: this page hands it back
// to the listener as a query. It runs only on a bare "/callback" without query.
const QByteArray relayPage =
    "<html><head><meta name='referrer' content='no-referrer'></head>"
    "<body style='font-family: sans-serif; text-align: center; padding: 40px;'>"
    "<p>Completing sign-in…</p><script>"
    "if (location.hash.length > 1)"
    " location.replace('/callback?' + location.hash.substring(1));"
    "</script></body></html>";

QUrlQuery queryOf(const QString &text)
{
    return QUrlQuery(text);
}

} // namespace

WebAuthHandler::WebAuthHandler(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
    , m_timeout(new QTimer(this))
{
    m_server->setMaxPendingConnections(maxPendingConnections);
    connect(m_server, &QTcpServer::newConnection, this, &WebAuthHandler::acceptConnections);
    m_timeout->setSingleShot(true);
    m_timeout->setInterval(listenTimeoutMs);
    connect(m_timeout, &QTimer::timeout, this, [this] {
        qCInfo(lcAccount) << "Sign-in listener timed out";
        stop();
        Q_EMIT timedOut();
    });
}

WebAuthHandler::~WebAuthHandler()
{
    stop();
}

QString WebAuthHandler::start()
{
    if (!m_server->isListening()) {
        if (!m_server->listen(QHostAddress::LocalHost, preferredPort)
            && !m_server->listen(QHostAddress::LocalHost, 0)) {
            qCWarning(lcAccount) << "WebAuthHandler::start failed:" << m_server->errorString();
            return {};
        }
        m_port = m_server->serverPort();
        m_timeout->start();
    }
    return QStringLiteral("http://localhost:%1/callback").arg(m_port);
}

void WebAuthHandler::stop()
{
    m_timeout->stop();
    if (m_server->isListening())
        m_server->close();
    const auto sockets = m_pending.keys();
    m_pending.clear();
    for (QTcpSocket *socket : sockets) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

void WebAuthHandler::setListenTimeout(int ms)
{
    m_timeout->setInterval(ms);
}

bool WebAuthHandler::isListening() const
{
    return m_server->isListening();
}

WebAuthHandler::CallbackTokens WebAuthHandler::tokensFrom(const QUrl &url)
{
    auto read = [](const QUrlQuery &query) {
        CallbackTokens tokens;
        tokens.accessToken = query.queryItemValue(QStringLiteral("access_token"), QUrl::FullyDecoded);
        tokens.refreshToken = query.queryItemValue(QStringLiteral("refresh_token"), QUrl::FullyDecoded);
        tokens.state = query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded);
        return tokens;
    };
    CallbackTokens tokens = read(queryOf(url.fragment(QUrl::FullyEncoded)));
    if (tokens.accessToken.isEmpty())
        tokens = read(queryOf(url.query(QUrl::FullyEncoded)));
    return tokens;
}

void WebAuthHandler::acceptConnections()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        if (m_pending.size() >= maxPendingConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_pending.insert(socket, {});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
        QTimer::singleShot(requestTimeoutMs, this, [this, guard = QPointer<QTcpSocket>(socket)] {
            if (guard && m_pending.remove(guard))
                guard->abort();
        });
    }
}

void WebAuthHandler::readRequest(QTcpSocket *socket)
{
    auto it = m_pending.find(socket);
    if (it == m_pending.end())
        return;
    it->append(socket->readAll());
    if (it->size() > maxRequestBytes) {
        m_pending.erase(it);
        respond(socket, "431 Request Header Fields Too Large", {});
        return;
    }
    // Only the request line matters; wait until it is complete.
    const qsizetype lineEnd = it->indexOf("\r\n");
    if (lineEnd < 0)
        return;
    const QByteArray line = it->left(lineEnd);
    m_pending.erase(it);

    const QList<QByteArray> parts = line.split(' ');
    const QByteArray method = parts.value(0);
    const QByteArray target = parts.value(1);
    const QUrl url(QStringLiteral("http://localhost:%1").arg(m_port) + QString::fromUtf8(target),
                   QUrl::StrictMode);
    if (method != "GET" || !target.startsWith('/') || !url.isValid()
        || url.path() != QLatin1String("/callback")) {
        respond(socket, "404 Not Found", {});
        return;
    }
    if (!url.hasQuery() && !url.hasFragment()) {
        respond(socket, "200 OK", relayPage);
        return;
    }

    const CallbackTokens tokens = tokensFrom(url);
    const bool accepted = !tokens.accessToken.isEmpty() && !tokens.refreshToken.isEmpty()
        && (m_expectedState.isEmpty() || tokens.state == m_expectedState);
    respond(socket, accepted ? "200 OK" : "400 Bad Request", accepted ? completePage : failedPage);
    // Only a sign-in that worked ends the wait: a stray or forged request to the
    // callback must not cut off the real one.
    if (accepted)
        stop();
    Q_EMIT callbackReceived(url);
}

void WebAuthHandler::respond(QTcpSocket *socket, const QByteArray &status, const QByteArray &html)
{
    QByteArray response = "HTTP/1.1 " + status + "\r\nContent-Type: text/html; charset=utf-8\r\n"
                          "Content-Length: " + QByteArray::number(html.size())
        + "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + html;
    // The answer must reach the browser even when this handler is deleted right after
    // the callback, so the socket leaves the server and looks after itself.
    socket->disconnect(this);
    socket->setParent(nullptr);
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(requestTimeoutMs, socket, &QObject::deleteLater);
    socket->write(response);
    socket->flush();
    socket->disconnectFromHost();
}

} // namespace OmbrAccount
