#include "apiclient.h"
#include "authclient.h"
#include "client.h"
#include "loopbackhttpserver.h"
#include "memorytokenstore.h"
#include "testsupport.h"
#include "testtokens.h"
#include "tokenmanager.h"
#include "webauthhandler.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUrlQuery>

using namespace OmbrAccount;
using OmbrelTest::LoopbackHttpServer;
using OmbrelTest::tokenExpiringIn;

namespace {

// Sends raw bytes to the listener like a browser would and returns its whole answer.
QByteArray rawRequest(quint16 port, const QByteArray &bytes)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(3000))
        return {};
    socket.write(bytes);
    QByteArray answer;
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() && socket.state() == QAbstractSocket::ConnectedState) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        socket.waitForReadyRead(20);
        answer += socket.readAll();
    }
    answer += socket.readAll();
    return answer;
}

QByteArray get(quint16 port, const QByteArray &target)
{
    return rawRequest(port, "GET " + target + " HTTP/1.1\r\nHost: localhost\r\n\r\n");
}

bool accepts(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(1000);
}

} // namespace

class TestAuthClient : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<LoopbackHttpServer> m_server;
    OmbrelTest::MemoryTokenStore *m_store = nullptr;
    std::unique_ptr<Client> m_client;
    QList<QUrl> m_opened;

    AuthClient *auth() const { return m_client->authClient(); }

    // Starts a sign-in and returns the listener's port and the state it expects.
    std::pair<quint16, QByteArray> startLogin()
    {
        m_opened.clear();
        auth()->login();
        if (m_opened.size() != 1)
            return {};
        const QUrlQuery query(m_opened.first());
        const QUrl redirect(query.queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded));
        return {quint16(redirect.port()), query.queryItemValue(QStringLiteral("state")).toLatin1()};
    }

    void serveRefresh(bool succeed)
    {
        m_server->setHandler([succeed](const LoopbackHttpServer::Request &request) {
            if (request.target.endsWith("/auth/token/refresh") && succeed)
                return LoopbackHttpServer::Response{
                    200, QJsonDocument(QJsonObject{{"access_token", tokenExpiringIn(900)}, {"refresh_token", "r2"}})
                             .toJson(QJsonDocument::Compact)};
            if (request.target.endsWith("/auth/token/refresh"))
                return LoopbackHttpServer::Response{401, R"({"error":"invalid refresh token"})"};
            return LoopbackHttpServer::Response{200, "{}"};
        });
    }

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }

    void init()
    {
        m_server = std::make_unique<LoopbackHttpServer>();
        QVERIFY(m_server->start());
        ClientConfig config;
        config.authBaseUrl = m_server->url().toString();
        config.realmSlug = QStringLiteral("ombrel");
        config.clientId = QStringLiteral("0f1e2d3c4b5a69788796a5b4c3d2e1f0");
        config.appId = QStringLiteral("app.ombrel.notes.test");
        auto store = std::make_unique<OmbrelTest::MemoryTokenStore>();
        m_store = store.get();
        m_client = std::make_unique<Client>(config, std::move(store));
        auth()->setUrlOpener([this](const QUrl &url) {
            m_opened.append(url);
            return true;
        });
    }
    void cleanup()
    {
        m_client.reset();
        m_server.reset();
    }

    void loginUrlEncodesRedirectAndCarriesRandomState()
    {
        const auto [port, state] = startLogin();
        QVERIFY(port != 0);
        const QString text = m_opened.first().toString(QUrl::FullyEncoded);
        QVERIFY2(text.startsWith(m_server->url().toString() + QStringLiteral("/ombrel/account/login?client_id=0f1e2d3c4b5a69788796a5b4c3d2e1f0&redirect_uri=http%3A%2F%2Flocalhost%3A")),
                 qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("%2Fcallback&state=")));
        QCOMPARE(state.size(), 32);
        const auto [port2, state2] = startLogin();
        QVERIFY(state2 != state);
    }

    void callbackSignsIn_data()
    {
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<bool>("signsIn");
        QTest::newRow("fragment") << QByteArray("/callback#access_token=%A&refresh_token=R1&state=%S") << true;
        QTest::newRow("query") << QByteArray("/callback?access_token=%A&refresh_token=R1&state=%S") << true;
        QTest::newRow("access-only") << QByteArray("/callback?access_token=%A&state=%S") << false;
        QTest::newRow("wrong-state") << QByteArray("/callback?access_token=%A&refresh_token=R1&state=forged") << false;
        QTest::newRow("no-state") << QByteArray("/callback?access_token=%A&refresh_token=R1") << false;
        QTest::newRow("empty-values") << QByteArray("/callback?access_token=&refresh_token=&state=%S") << false;
    }
    void callbackSignsIn()
    {
        QFETCH(QByteArray, pattern);
        QFETCH(bool, signsIn);
        QSignalSpy succeeded(auth(), &AuthClient::loginSucceeded);
        QSignalSpy failed(auth(), &AuthClient::loginFailed);
        QSignalSpy changed(m_client.get(), &Client::authStateChanged);
        const auto [port, state] = startLogin();
        const QString access = tokenExpiringIn(900);
        QByteArray target = pattern;
        target.replace("%A", access.toLatin1()).replace("%S", state);

        const QByteArray answer = get(port, target);
        if (signsIn) {
            QVERIFY(answer.startsWith("HTTP/1.1 200 OK"));
            QVERIFY(answer.contains("Authentication complete!"));
            QCOMPARE(succeeded.count(), 1);
            QVERIFY(m_client->isAuthenticated());
            QCOMPARE(changed.count(), 1);
            QCOMPARE(m_store->values.value(QLatin1String(AccessTokenKey)), access);
            QCOMPARE(m_store->values.value(QLatin1String(RefreshTokenKey)), QStringLiteral("R1"));
            // One sign-in per listener. The port itself is not probed: another test process
            // may take it the moment it is free.
            QTRY_VERIFY(!auth()->pendingLogin());
        } else {
            QVERIFY(answer.startsWith("HTTP/1.1 400"));
            QCOMPARE(failed.count(), 1);
            QCOMPARE(failed.first().first().toString(), QStringLiteral("No tokens received"));
            QVERIFY(!m_client->isAuthenticated());
            QVERIFY(m_store->values.isEmpty());
            // A refused callback does not end the wait for the real one.
            QVERIFY(auth()->pendingLogin() && auth()->pendingLogin()->isListening());
            QVERIFY(accepts(port));
        }
    }

    void listenerAnswersOnlyGetCallback_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("status");
        QTest::newRow("post-callback") << QByteArray("POST /callback?access_token=a&refresh_token=b HTTP/1.1\r\n\r\n") << QByteArray("404");
        QTest::newRow("root") << QByteArray("GET / HTTP/1.1\r\n\r\n") << QByteArray("404");
        QTest::newRow("favicon") << QByteArray("GET /favicon.ico HTTP/1.1\r\n\r\n") << QByteArray("404");
        QTest::newRow("longer-path") << QByteArray("GET /callbackx?access_token=a HTTP/1.1\r\n\r\n") << QByteArray("404");
        QTest::newRow("absolute-target") << QByteArray("GET http://evil/callback?x=1 HTTP/1.1\r\n\r\n") << QByteArray("404");
        QTest::newRow("garbage") << QByteArray("\x01\x02\xff\r\n\r\n") << QByteArray("404");
        QTest::newRow("no-target") << QByteArray("GET\r\n\r\n") << QByteArray("404");
        QTest::newRow("oversized") << QByteArray("GET /callback?") + QByteArray(40000, 'a') << QByteArray("431");
        QTest::newRow("bare-callback-relays-fragment") << QByteArray("GET /callback HTTP/1.1\r\n\r\n") << QByteArray("200");
    }
    void listenerAnswersOnlyGetCallback()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, status);
        QSignalSpy succeeded(auth(), &AuthClient::loginSucceeded);
        QSignalSpy failed(auth(), &AuthClient::loginFailed);
        const auto [port, state] = startLogin();
        const QByteArray answer = rawRequest(port, request);
        QVERIFY2(answer.startsWith("HTTP/1.1 " + status), answer.left(80).constData());
        QCOMPARE(failed.count(), 0);
        if (status == "200")
            QVERIFY(answer.contains("location.hash"));
        // Still waiting: the real callback afterwards signs in.
        get(port, "/callback?access_token=" + tokenExpiringIn(900).toLatin1() + "&refresh_token=r&state=" + state);
        QCOMPARE(succeeded.count(), 1);
    }

    void silentConnectionDoesNotBlockCallback()
    {
        QSignalSpy succeeded(auth(), &AuthClient::loginSucceeded);
        const auto [port, state] = startLogin();
        QTcpSocket idle;
        idle.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(idle.waitForConnected(1000));
        idle.write("GET /callb");
        idle.flush();
        get(port, "/callback?access_token=" + tokenExpiringIn(900).toLatin1() + "&refresh_token=r&state=" + state);
        QCOMPARE(succeeded.count(), 1);
    }

    void newLoginStopsPreviousListener()
    {
        const auto [first, firstState] = startLogin();
        QPointer<WebAuthHandler> firstListener = auth()->pendingLogin();
        const auto [second, secondState] = startLogin();
        QVERIFY(second != 0);
        QVERIFY(!firstListener || !firstListener->isListening());
        QTRY_VERIFY(!firstListener);
        QSignalSpy succeeded(auth(), &AuthClient::loginSucceeded);
        // The first sign-in's state is no longer good.
        get(second, "/callback?access_token=" + tokenExpiringIn(900).toLatin1() + "&refresh_token=r&state=" + firstState);
        QCOMPARE(succeeded.count(), 0);
        get(second, "/callback?access_token=" + tokenExpiringIn(900).toLatin1() + "&refresh_token=r&state=" + secondState);
        QCOMPARE(succeeded.count(), 1);
    }

    void listenerGivesUpAfterTimeout()
    {
        WebAuthHandler handler;
        handler.setListenTimeout(200);
        QSignalSpy timedOut(&handler, &WebAuthHandler::timedOut);
        const QUrl redirect(handler.start());
        QVERIFY(redirect.isValid());
        QVERIFY(timedOut.wait(3000));
        QVERIFY(!handler.isListening());
    }

    void takenPreferredPortFallsBack()
    {
        QTcpServer squatter;
        const bool squatted = squatter.listen(QHostAddress::LocalHost, WebAuthHandler::preferredPort);
        WebAuthHandler handler;
        const QUrl redirect(handler.start());
        QCOMPARE(redirect.path(), QStringLiteral("/callback"));
        QCOMPARE(redirect.host(), QStringLiteral("localhost"));
        // Taken by us or by someone else: either way it is not ours to use.
        QVERIFY(squatted || !squatter.isListening());
        QVERIFY(redirect.port() != WebAuthHandler::preferredPort);
        QCOMPARE(quint16(redirect.port()), handler.port());
        QVERIFY(accepts(handler.port()));
    }

    void initializeRestoresSession_data()
    {
        QTest::addColumn<QString>("access");
        QTest::addColumn<QString>("refresh");
        QTest::addColumn<bool>("refreshWorks");
        QTest::addColumn<int>("expectedState");
        QTest::addColumn<int>("refreshRequests");
        const int in = int(AuthState::Authenticated);
        const int out = int(AuthState::Unauthenticated);
        QTest::newRow("valid-access") << tokenExpiringIn(900) << "r" << false << in << 0;
        QTest::newRow("expired-access-valid-refresh") << tokenExpiringIn(-60) << "r" << true << in << 1;
        QTest::newRow("expired-access-revoked-refresh") << tokenExpiringIn(-60) << "r" << false << out << 1;
        QTest::newRow("refresh-only") << QString() << "r" << true << in << 1;
        QTest::newRow("nothing") << QString() << QString() << true << out << 0;
    }
    void initializeRestoresSession()
    {
        QFETCH(QString, access);
        QFETCH(QString, refresh);
        QFETCH(bool, refreshWorks);
        QFETCH(int, expectedState);
        QFETCH(int, refreshRequests);
        serveRefresh(refreshWorks);
        if (!access.isEmpty())
            m_store->values.insert(QLatin1String(AccessTokenKey), access);
        if (!refresh.isEmpty())
            m_store->values.insert(QLatin1String(RefreshTokenKey), refresh);
        QSignalSpy changed(m_client.get(), &Client::authStateChanged);
        QSignalSpy claims(m_client.get(), &Client::claimsUpdated);
        m_client->initialize();
        QTRY_COMPARE(changed.count(), 1);
        QCOMPARE(int(changed.first().first().value<AuthState>()), expectedState);
        QCOMPARE(claims.count(), expectedState == int(AuthState::Authenticated) ? 1 : 0);
        QCOMPARE(m_server->countFor("POST", "/api/v1/realms/ombrel/auth/token/refresh"), refreshRequests);
    }

    void logoutWhileSignedOutOnlyCompletes()
    {
        serveRefresh(false);
        m_client->initialize();
        QCOMPARE(auth()->state(), AuthState::Unauthenticated);
        QSignalSpy changed(auth(), &AuthClient::stateChanged);
        QSignalSpy completed(auth(), &AuthClient::logoutCompleted);
        auth()->logout();
        QCOMPARE(completed.count(), 1);
        QCOMPARE(changed.count(), 0);
        QTest::qWait(50);
        QVERIFY(m_server->requests.isEmpty());
    }

    void logoutRevokesWithCurrentTokenThenForgets()
    {
        serveRefresh(true);
        const QString access = tokenExpiringIn(900);
        m_store->values.insert(QLatin1String(AccessTokenKey), access);
        m_store->values.insert(QLatin1String(RefreshTokenKey), QStringLiteral("r"));
        m_client->initialize();
        QVERIFY(m_client->isAuthenticated());
        auth()->logout();
        QVERIFY(m_store->values.isEmpty());
        QCOMPARE(auth()->state(), AuthState::Unauthenticated);
        QTRY_COMPARE(m_server->requests.size(), 1);
        QCOMPARE(m_server->requests.at(0).target, QByteArray("/api/v1/realms/ombrel/auth/logout"));
        QCOMPARE(m_server->requests.at(0).header("authorization"), "Bearer " + access.toLatin1());
    }

    void failedExplicitRefreshSignsOut()
    {
        serveRefresh(false);
        m_store->values.insert(QLatin1String(AccessTokenKey), tokenExpiringIn(900));
        m_store->values.insert(QLatin1String(RefreshTokenKey), QStringLiteral("r"));
        m_client->initialize();
        QVERIFY(m_client->isAuthenticated());
        bool done = false;
        bool result = true;
        auth()->refreshToken([&](bool ok) {
            done = true;
            result = ok;
        });
        QTRY_VERIFY(done);
        QVERIFY(!result);
        QVERIFY(m_store->values.isEmpty());
        QCOMPARE(auth()->state(), AuthState::Unauthenticated);
    }

    void refreshAnswerWithoutTokensIsFailure()
    {
        m_server->setHandler([](const auto &) { return LoopbackHttpServer::Response{200, R"({"access_token":""})"}; });
        m_store->values.insert(QLatin1String(RefreshTokenKey), QStringLiteral("r"));
        m_client->initialize();
        QTRY_COMPARE(auth()->state(), AuthState::Unauthenticated);
        QCOMPARE(m_store->values.value(QLatin1String(RefreshTokenKey)), QStringLiteral("r"));
    }

    void userAndSessionsParse()
    {
        m_server->setHandler([](const LoopbackHttpServer::Request &request) {
            if (request.target.endsWith("/users/me/sessions"))
                return LoopbackHttpServer::Response{200, R"({"sessions":[
                    {"id":"s1","user_agent":"UA","ip_address":"127.0.0.1","created_at":"2026-01-02T03:04:05.006Z",
                     "last_active_at":"2026-01-03T00:00:00Z","is_current":true},
                    {"id":"s2"}, 7]})"};
            return LoopbackHttpServer::Response{200, R"({"id":"u1","email":"a@b.c","display_name":"Ann",
                "created_at":"not a date"})"};
        });
        m_store->values.insert(QLatin1String(AccessTokenKey), tokenExpiringIn(900));
        QList<Session> sessions;
        bool listed = false;
        auth()->listSessions([&](const QList<Session> &list) {
            sessions = list;
            listed = true;
        });
        m_client->tokenManager()->loadTokens();
        QTRY_VERIFY(listed);
        QCOMPARE(sessions.size(), 3);
        QCOMPARE(sessions.at(0).ipAddress, QStringLiteral("127.0.0.1"));
        QCOMPARE(sessions.at(0).createdAt, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5, 6), Qt::UTC));
        QVERIFY(sessions.at(0).isCurrent);
        QVERIFY(!sessions.at(1).isCurrent);
        QVERIFY(!sessions.at(1).createdAt.isValid());
        QVERIFY(sessions.at(2).id.isEmpty());

        User user;
        bool fetched = false;
        auth()->fetchCurrentUser([&](const User &u) {
            user = u;
            fetched = true;
        });
        QTRY_VERIFY(fetched);
        QCOMPARE(user.displayName, QStringLiteral("Ann"));
        QVERIFY(!user.createdAt.isValid());
        QCOMPARE(auth()->currentUser(), user);

        // A failed update leaves the known user as it was.
        m_server->setHandler([](const auto &) { return LoopbackHttpServer::Response{500, R"({"error":"x"})"}; });
        bool updated = false;
        auth()->updateProfile(QStringLiteral("Bob"), [&](const User &u) {
            updated = true;
            QCOMPARE(u.displayName, QStringLiteral("Ann"));
        });
        QTRY_VERIFY(updated);
    }
};

QTEST_GUILESS_MAIN(TestAuthClient)
#include "tst_authclient.moc"
