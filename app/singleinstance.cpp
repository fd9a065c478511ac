#include "singleinstance.h"

#include "applog.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QThread>
#include <QTimer>

#include <memory>

namespace {
constexpr qint64 maxMessageBytes = 4096;
constexpr int lockRetryMs = 200;
}

SingleInstance::SingleInstance(const QString &serverName, QObject *parent)
    : QObject(parent)
    , m_serverName(serverName)
{
}

SingleInstance::~SingleInstance() = default;

void SingleInstance::setLockFile(const QString &path)
{
    m_lockPath = path;
}

bool SingleInstance::isListening() const
{
    return m_server && m_server->isListening();
}

bool SingleInstance::forward(const QString &message)
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName, QIODevice::ReadWrite);
    if (!socket.waitForConnected(ConnectTimeoutMs))
        return false;
    if (!message.isEmpty()) {
        socket.write(message.toUtf8());
        socket.flush();
        socket.waitForBytesWritten(WriteTimeoutMs);
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(WriteTimeoutMs);
    return true;
}

namespace {

constexpr qint64 OwnerlessLockAgeMs = 2000;

bool lockFileNamesNoOwner(const QLockFile &lock, const QString &path)
{
    qint64 pid = 0;
    QString host, application;
    if (lock.getLockInfo(&pid, &host, &application) && pid > 0)
        return false;
    const QDateTime modified = QFileInfo(path).lastModified();
    return modified.isValid() && modified.msecsTo(QDateTime::currentDateTime()) > OwnerlessLockAgeMs;
}

} // namespace

bool SingleInstance::tryRun(const QString &message)
{
    m_forwarded = false;
    if (!m_lockPath.isEmpty() && !m_lock) {
        m_lock = std::make_unique<QLockFile>(m_lockPath);
        // Held for the whole run: only a dead owner makes it stale, never its age.
        m_lock->setStaleLockTime(0);
    }

    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (forward(message)) {
            m_forwarded = true;
            return false;
        }
        if (!m_lock || m_lock->tryLock(0))
            break;
        if (m_lock->error() != QLockFile::LockFailedError) {
            // No lock can be made here at all; opening the database will say why.
            qCWarning(lcApp) << "SingleInstance: cannot create the lock file" << m_lockPath;
            break;
        }
        // A process killed between creating the lock file and writing its id into it leaves
        // a file naming no one; with no age limit it would lock the library out for good.
        // The id is written right after creation, so one that is still missing after a
        // moment never will be.
        if (lockFileNamesNoOwner(*m_lock, m_lockPath) && m_lock->removeStaleLockFile())
            continue;
        // A live process holds the library: it is starting, or its socket is stalled or
        // gone. Its socket is not ours to remove.
        if (waited.elapsed() > LockWaitMs) {
            qint64 pid = 0;
            QString host, application;
            m_lock->getLockInfo(&pid, &host, &application);
            qCWarning(lcApp) << "SingleInstance: another instance holds the library; process" << pid;
            return false;
        }
        QThread::msleep(lockRetryMs);
    }

    // Holding the lock, any server of this name is a dead instance's leftover.
    QLocalServer::removeServer(m_serverName);
    if (!listen())
        return true;
    m_listenCheck = new QTimer(this);
    m_listenCheck->setInterval(ListenCheckMs);
    connect(m_listenCheck, &QTimer::timeout, this, [this] {
        if (isListening())
            return;
        qCWarning(lcApp) << "SingleInstance: the server stopped listening; listening again";
        QLocalServer::removeServer(m_serverName);
        if (!m_server->listen(m_serverName))
            qCWarning(lcApp) << "SingleInstance: failed to start server:" << m_server->errorString();
    });
    m_listenCheck->start();
    return true;
}

bool SingleInstance::listen()
{
    m_server = new QLocalServer(this);
    // Only this user's processes may talk to the running instance.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Bounds the connections accepted but not yet served; the rest wait in the kernel.
    m_server->setMaxPendingConnections(MaxConnections);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::handleNewConnection);
    if (!m_server->listen(m_serverName)) {
        qCWarning(lcApp) << "SingleInstance: failed to start server:" << m_server->errorString();
        return false;
    }
    qCInfo(lcApp) << "SingleInstance: listening on" << m_server->fullServerName();
    return true;
}

void SingleInstance::handleNewConnection()
{
    while (m_server && m_activeConnections < MaxConnections && m_server->hasPendingConnections()) {
        if (QLocalSocket *socket = m_server->nextPendingConnection())
            serve(socket);
    }
}

// A message is whatever the client writes before it hangs up, in as many pieces as it
// likes; a connection that stays open past the read timeout or sends too much is
// dropped without a message.
void SingleInstance::serve(QLocalSocket *socket)
{
    ++m_activeConnections;
    struct Pending
    {
        QByteArray bytes;
        bool finished = false;
    };
    auto pending = std::make_shared<Pending>();
    auto *timeout = new QTimer(socket);
    timeout->setSingleShot(true);

    const auto finish = [this, socket, pending, timeout](bool deliver) {
        if (pending->finished)
            return;
        pending->finished = true;
        timeout->stop();
        --m_activeConnections;
        socket->disconnect(this);
        socket->deleteLater();
        if (deliver)
            Q_EMIT messageReceived(QString::fromUtf8(pending->bytes));
        // A slot is free: serve whoever waits.
        QMetaObject::invokeMethod(this, &SingleInstance::handleNewConnection, Qt::QueuedConnection);
    };
    const auto read = [socket, pending, finish] {
        pending->bytes += socket->read(maxMessageBytes + 1 - pending->bytes.size());
        if (pending->bytes.size() > maxMessageBytes) {
            qCWarning(lcApp) << "SingleInstance: dropped an oversized message";
            finish(false);
            socket->abort();
            return false;
        }
        return true;
    };

    connect(socket, &QLocalSocket::readyRead, this, [read] { read(); });
    connect(socket, &QLocalSocket::disconnected, this, [read, finish] {
        if (read())
            finish(true);
    });
    connect(timeout, &QTimer::timeout, this, [socket, finish] {
        qCInfo(lcApp) << "SingleInstance: dropped a connection that sent no complete message";
        finish(false);
        socket->abort();
    });
    timeout->start(ReadTimeoutMs);

    // The client may have written and hung up before it was served.
    if (socket->state() == QLocalSocket::UnconnectedState && read())
        finish(true);
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
