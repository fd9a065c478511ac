#include "singleinstance.h"

#include "applog.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QVariant>

namespace {
// Set once a connection has delivered its message, so that its disconnect does not
// also count as a bare "focus" request.
constexpr char deliveredProperty[] = "ombrelMessageDelivered";
constexpr qint64 maxMessageBytes = 4096;
}

SingleInstance::SingleInstance(const QString &serverName, QObject *parent)
    : QObject(parent)
    , m_serverName(serverName)
{
}

bool SingleInstance::isListening() const
{
    return m_server && m_server->isListening();
}

bool SingleInstance::tryRun(const QString &message)
{
    {
        QLocalSocket socket;
        socket.connectToServer(m_serverName, QIODevice::ReadWrite);
        if (socket.waitForConnected(ConnectTimeoutMs)) {
            if (!message.isEmpty()) {
                socket.write(message.toUtf8());
                socket.flush();
                socket.waitForBytesWritten(WriteTimeoutMs);
            }
            socket.disconnectFromServer();
            if (socket.state() != QLocalSocket::UnconnectedState)
                socket.waitForDisconnected(WriteTimeoutMs);
            return false;
        }
    }

    QLocalServer::removeServer(m_serverName);
    m_server = new QLocalServer(this);
    // Only this user's processes may talk to the running instance.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::handleNewConnection);
    if (!m_server->listen(m_serverName))
        qCWarning(lcApp) << "SingleInstance: failed to start server:" << m_server->errorString();
    else
        qCInfo(lcApp) << "SingleInstance: listening on" << m_server->fullServerName();
    return true;
}

void SingleInstance::handleNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            const QByteArray bytes = socket->read(maxMessageBytes);
            socket->setProperty(deliveredProperty, true);
            socket->deleteLater();
            Q_EMIT messageReceived(QString::fromUtf8(bytes));
        });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            const bool delivered = socket->property(deliveredProperty).toBool();
            socket->deleteLater();
            if (!delivered && socket->bytesAvailable() == 0)
                Q_EMIT messageReceived(QString());
        });
    }
}

LaunchRequest parseLaunchRequest(const QStringList &arguments)
{
    LaunchRequest request;
    request.newNote = arguments.contains(QLatin1String("--new-note"));
    for (qsizetype i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--note")) {
            request.noteId = arguments.at(i + 1);
            break;
        }
    }
    return request;
}

QString buildInstanceMessage(const QStringList &arguments)
{
    const LaunchRequest request = parseLaunchRequest(arguments);
    if (request.newNote)
        return QStringLiteral("new-note");
    if (!request.noteId.isEmpty())
        return QStringLiteral("note:%1").arg(request.noteId);
    return QStringLiteral("focus");
}

QString buildInstanceMessage()
{
    return buildInstanceMessage(QCoreApplication::arguments());
}
