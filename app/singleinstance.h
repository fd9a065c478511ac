#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

// Keeps one running instance per user: a later launch hands its command line to the
// running instance over a local socket and exits.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    static constexpr int ConnectTimeoutMs = 500;
    static constexpr int WriteTimeoutMs = 1000;

    explicit SingleInstance(const QString &serverName, QObject *parent = nullptr);

    // True when this process is the primary instance and should go on; false when the
    // running instance took the message and this process should exit.
    bool tryRun(const QString &message);

    QString serverName() const { return m_serverName; }
    bool isListening() const;

Q_SIGNALS:
    void messageReceived(const QString &message);

private:
    void handleNewConnection();

    QString m_serverName;
    QLocalServer *m_server = nullptr;
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
