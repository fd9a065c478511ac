#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QUrl>

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace OmbrAccount {

// The one-shot HTTP listener on the loopback interface that receives the browser's
// redirect after sign-in. Only "GET /callback" counts; anything else is answered 404
// and the listener keeps waiting.
class WebAuthHandler : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 preferredPort = 19876;
    // How long a sign-in may take before the listener gives up.
    static constexpr int listenTimeoutMs = 10 * 60 * 1000;

    explicit WebAuthHandler(QObject *parent = nullptr);
    ~WebAuthHandler() override;

    // The redirect URI "http://localhost:<port>/callback"; empty when no port could be opened.
    QString start();
    void stop();
    bool isListening() const;
    quint16 port() const { return m_port; }

    // Before start(); the default is listenTimeoutMs.
    void setListenTimeout(int ms);

    // The state the callback must carry; empty accepts any.
    void setExpectedState(const QString &state) { m_expectedState = state; }

    struct CallbackTokens
    {
        QString accessToken;
        QString refreshToken;
        QString state;
    };
    // The tokens of a callback URL: from its fragment, else from its query.
    static CallbackTokens tokensFrom(const QUrl &url);

Q_SIGNALS:
    void callbackReceived(const QUrl &url);
    // Nothing arrived within the time limit; the listener has stopped.
    void timedOut();

private:
    void acceptConnections();
    void readRequest(QTcpSocket *socket);
    void respond(QTcpSocket *socket, const QByteArray &status, const QByteArray &html);

    QTcpServer *m_server = nullptr;
    QTimer *m_timeout = nullptr;
    quint16 m_port = 0;
    QString m_expectedState;
    QHash<QTcpSocket *, QByteArray> m_pending;
};

} // namespace OmbrAccount
