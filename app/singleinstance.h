#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;
class QTimer;

// Keeps one running instance per user: a later launch hands its command line to the
// running instance over a local socket and exits. A lock file in the data directory
// backs the socket up: whatever happens to the socket, a second process never opens
// the same library as a primary.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    static constexpr int ConnectTimeoutMs = 500;
    static constexpr int WriteTimeoutMs = 1000;
    // A client that neither finishes its message nor hangs up within this time is dropped.
    static constexpr int ReadTimeoutMs = 2000;
    // Connections served at once; more wait in the listen queue.
    static constexpr int MaxConnections = 8;
    // How long a launch keeps trying to reach an instance that holds the library.
    static constexpr int LockWaitMs = 5000;
    // How often the primary checks that it still listens (Qt closes a server whose
    // accept() failed, and removes its socket file).
    static constexpr int ListenCheckMs = 2000;

    explicit SingleInstance(const QString &serverName, QObject *parent = nullptr);
    ~SingleInstance() override;

    // The lock that guards the library; without one the socket alone decides.
    void setLockFile(const QString &path);

    // True when this process is the primary instance and should go on; false when it
    // should exit: either the running instance took the message (forwarded()) or
    // another process holds the library and does not answer.
    bool tryRun(const QString &message);
    bool forwarded() const { return m_forwarded; }

    QString serverName() const { return m_serverName; }
    bool isListening() const;
    int activeConnections() const { return m_activeConnections; }

Q_SIGNALS:
    void messageReceived(const QString &message);

private:
    bool forward(const QString &message);
    bool listen();
    void handleNewConnection();
    void serve(QLocalSocket *socket);

    QString m_serverName;
    QString m_lockPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
    QTimer *m_listenCheck = nullptr;
    int m_activeConnections = 0;
    bool m_forwarded = false;
};

// What a launch asks for on its command line ("--new-note", "--note <id>").
struct LaunchRequest
{
    bool newNote = false;
    QString noteId;
};

LaunchRequest parseLaunchRequest(const QStringList &arguments);
// "new-note", "note:<id>" or "focus" for the given command line (program name first).
QString buildInstanceMessage(const QStringList &arguments);
QString buildInstanceMessage();
