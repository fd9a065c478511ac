#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

namespace OmbrelTest {

// A real ombrel-server process on a free loopback port with a data directory of its own.
// start() returns once the server answers; the destructor stops it (SIGTERM, then kill).
//
//   OmbrelTest::TestServer server;
//   QVERIFY2(server.start(), qPrintable(server.errorString()));
//   QVERIFY(server.addUser("ada@example.com", "correct horse"));
//   client.setAuthBaseUrl(server.url());
class TestServer
{
public:
    TestServer();
    ~TestServer();
    TestServer(const TestServer &) = delete;
    TestServer &operator=(const TestServer &) = delete;

    // extraArguments go to the server, e.g. {"--access-token-ttl", "5"}.
    bool start(const QStringList &extraArguments = {});
    // SIGTERM and wait; true when the process ended by itself with exit code 0.
    bool stop();
    bool isRunning() const;

    // Runs "ombrel-server add-user" against this server's data directory.
    bool addUser(const QString &email, const QString &password, const QString &displayName = {});

    QUrl url() const; // service root, e.g. http://127.0.0.1:40123
    quint16 port() const { return m_port; }
    QString realm() const { return QStringLiteral("ombrel"); }
    QString clientId() const { return QStringLiteral("0f1e2d3c4b5a69788796a5b4c3d2e1f0"); }
    // "<root>/api/v1/realms/ombrel"
    QUrl realmApiUrl() const;
    QString dataDir() const;
    // Everything the server wrote to standard error so far (one line per request).
    QByteArray log() const;
    QString errorString() const { return m_error; }

    static QString executable();

private:
    bool waitUntilAnswering();
    QProcessEnvironment environment() const;

    QTemporaryDir m_root;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

} // namespace OmbrelTest
