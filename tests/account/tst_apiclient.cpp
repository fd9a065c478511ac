#include "apiclient.h"
#include "loopbackhttpserver.h"
#include "memorytokenstore.h"
#include "testsupport.h"
#include "testtokens.h"
#include "tokenmanager.h"

#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using namespace OmbrAccount;
using OmbrelTest::LoopbackHttpServer;
using OmbrelTest::tokenExpiringIn;

namespace {

struct Result
{
    bool done = false;
    bool ok = false;
    int status = -1;
    QJsonObject body;
};

ApiClient::Callback into(Result &result)
{
    return [&result](bool ok, int status, const QJsonObject &body) {
        result = {true, ok, status, body};
    };
}

QByteArray bearer(const QString &token)
{
    return "Bearer " + token.toUtf8();
}

} // namespace

class TestApiClient : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<LoopbackHttpServer> m_server;
    std::unique_ptr<TokenManager> m_tokens;
    std::unique_ptr<ApiClient> m_api;
    int m_refreshCalls = 0;
    QString m_issuedAccess;

    // The refresh exchange against the scripted service, as the sign-in client installs it.
    void installRefresh()
    {
        m_tokens->setRefreshCallback([this](const QString &refresh, TokenManager::OnSuccess success,
                                            TokenManager::OnFailure failure) {
            ++m_refreshCalls;
            m_api->postPublic(QStringLiteral("/auth/token/refresh"), {{"refresh_token", refresh}},
                              [success, failure](bool ok, int, const QJsonObject &body) {
                if (ok)
                    success(body.value("access_token").toString(), body.value("refresh_token").toString());
                else
                    failure();
            });
        });
    }

    // Refresh hands out a new token; /data accepts only the latest one.
    void serveRefreshingService(int refreshDelayMs = 0)
    {
        m_server->setHandler([this, refreshDelayMs](const LoopbackHttpServer::Request &request) {
            if (request.target.endsWith("/auth/token/refresh")) {
                m_issuedAccess = tokenExpiringIn(900, {{"n", m_refreshCalls}});
                return LoopbackHttpServer::Response{
                    200,
                    QJsonDocument(QJsonObject{{"access_token", m_issuedAccess}, {"refresh_token", "rotated"}})
                        .toJson(QJsonDocument::Compact),
                    "application/json", refreshDelayMs};
            }
            if (request.header("authorization") == bearer(m_issuedAccess))
                return LoopbackHttpServer::Response{200, "{}"};
            return LoopbackHttpServer::Response{401, R"({"error":"unauthorized"})"};
        });
    }

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }

    void init()
    {
        m_server = std::make_unique<LoopbackHttpServer>();
        QVERIFY(m_server->start());
        m_tokens = std::make_unique<TokenManager>(std::make_unique<OmbrelTest::MemoryTokenStore>());
        m_api = std::make_unique<ApiClient>(m_tokens.get());
        m_api->setBaseUrl(m_server->url(QStringLiteral("/api/v1/realms/ombrel")));
        m_api->setAppInfo(QStringLiteral("app.ombrel.notes"), QStringLiteral("1.0.3"), QStringLiteral("linux"));
        m_refreshCalls = 0;
        m_issuedAccess.clear();
        installRefresh();
    }
    void cleanup()
    {
        m_api.reset();
        m_tokens.reset();
        m_server.reset();
    }

    void composesUrlUnderBasePath_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("expected");
        QTest::newRow("realm-base") << "http://h/api/v1/realms/ombrel" << "/users/me" << ""
                                    << "http://h/api/v1/realms/ombrel/users/me";
        QTest::newRow("no-separator-added") << "http://h/notes/v1" << "sync/pull" << ""
                                            << "http://h/notes/v1sync/pull";
        QTest::newRow("trailing-slash-kept") << "http://h/notes/v1/" << "/sync" << ""
                                             << "http://h/notes/v1//sync";
        QTest::newRow("encoded-base-path") << "http://h/a%20b" << "/c" << "" << "http://h/a%20b/c";
        QTest::newRow("query") << "http://h:8/x" << "/y" << "since=5&limit=2" << "http://h:8/x/y?since=5&limit=2";
        QTest::newRow("empty-base") << "" << "/notebooks" << "" << "/notebooks";
    }
    void composesUrlUnderBasePath()
    {
        QFETCH(QString, base);
        QFETCH(QString, path);
        QFETCH(QString, query);
        QFETCH(QString, expected);
        m_api->setBaseUrl(QUrl(base));
        QCOMPARE(m_api->composeUrl(path, QUrlQuery(query)).toString(QUrl::FullyEncoded), expected);
    }

    void sendsAppHeadersAndBearer()
    {
        const QString access = tokenExpiringIn(900);
        m_tokens->setTokens(access, QStringLiteral("r"));
        m_server->setHandler([](const auto &) { return LoopbackHttpServer::Response{200, "{}"}; });
        Result result;
        m_api->get(QStringLiteral("/users/me"), into(result));
        QTRY_VERIFY(result.done);
        QVERIFY(result.ok);
        const auto &request = m_server->requests.at(0);
        QCOMPARE(request.target, QByteArray("/api/v1/realms/ombrel/users/me"));
        QCOMPARE(request.header("content-type"), QByteArray("application/json"));
        QCOMPARE(request.header("accept"), QByteArray("application/json"));
        QCOMPARE(request.header("x-app-id"), QByteArray("app.ombrel.notes"));
        QCOMPARE(request.header("x-app-version"), QByteArray("1.0.3"));
        QCOMPARE(request.header("x-platform"), QByteArray("linux"));
        QCOMPARE(request.header("authorization"), bearer(access));
    }

    void omitsEmptyAppHeaders()
    {
        m_api->setAppInfo(QString(), QString(), QString());
        m_server->setHandler([](const auto &) { return LoopbackHttpServer::Response{200, "{}"}; });
        Result result;
        m_api->post(QStringLiteral("/x"), {}, into(result));
        QTRY_VERIFY(result.done);
        const auto &request = m_server->requests.at(0);
        for (const char *name : {"x-app-id", "x-app-version", "x-platform", "authorization"})
            QVERIFY2(!request.headers.contains(name), name);
        // An empty object goes out as an empty body, still typed JSON.
        QVERIFY(request.body.isEmpty());
        QCOMPARE(request.header("content-type"), QByteArray("application/json"));
    }

    void tokenNearExpiryIsRefreshedFirst()
    {
        serveRefreshingService();
        m_tokens->setTokens(tokenExpiringIn(20), QStringLiteral("r"));
        Result result;
        m_api->get(QStringLiteral("/data"), into(result));
        QTRY_VERIFY(result.done);
        QVERIFY(result.ok);
        QCOMPARE(m_refreshCalls, 1);
        // The stale token never went out.
        QCOMPARE(m_server->requests.size(), 2);
        QVERIFY(m_server->requests.at(0).target.endsWith("/auth/token/refresh"));
        QCOMPARE(m_server->requests.at(1).header("authorization"), bearer(m_issuedAccess));
    }

    void unauthorizedRefreshesOnceAndRepeatsOnce()
    {
        serveRefreshingService();
        // Valid by its own expiry, but the service no longer accepts it.
        m_tokens->setTokens(tokenExpiringIn(900), QStringLiteral("r"));
        Result result;
        m_api->patch(QStringLiteral("/data"), {{"display_name", "A"}}, into(result));
        QTRY_VERIFY(result.done);
        QVERIFY(result.ok);
        QCOMPARE(m_refreshCalls, 1);
        QCOMPARE(m_server->countFor("PATCH", "/api/v1/realms/ombrel/data"), 2);
        // The repeat carries the same body.
        QCOMPARE(m_server->requests.last().body, QByteArray(R"({"display_name":"A"})"));
    }

    void secondUnauthorizedReachesCaller()
    {
        m_server->setHandler([](const LoopbackHttpServer::Request &request) {
            if (request.target.endsWith("/auth/token/refresh"))
                return LoopbackHttpServer::Response{
                    200, QJsonDocument(QJsonObject{{"access_token", tokenExpiringIn(900)}, {"refresh_token", "r2"}})
                             .toJson(QJsonDocument::Compact)};
            return LoopbackHttpServer::Response{401, R"({"error":"still no"})"};
        });
        m_tokens->setTokens(tokenExpiringIn(900), QStringLiteral("r"));
        QSignalSpy required(m_api.get(), &ApiClient::authenticationRequired);
        Result result;
        m_api->get(QStringLiteral("/data"), into(result));
        QTRY_VERIFY(result.done);
        QCOMPARE(result.status, 401);
        QVERIFY(!result.ok);
        QCOMPARE(result.body.value("error").toString(), QStringLiteral("still no"));
        QCOMPARE(m_refreshCalls, 1);
        QCOMPARE(m_server->countFor("GET", "/api/v1/realms/ombrel/data"), 2);
        QCOMPARE(required.count(), 0);
    }

    void requestsDuringRefreshShareOneExchange()
    {
        serveRefreshingService(300);
        m_tokens->setTokens(tokenExpiringIn(-60), QStringLiteral("r"));
        QList<int> order;
        for (int i = 0; i < 3; ++i) {
            m_api->get(QStringLiteral("/data"), [&order, i](bool ok, int, const QJsonObject &) {
                if (ok)
                    order.append(i);
            });
        }
        QTRY_COMPARE(order.size(), 3);
        QCOMPARE(m_refreshCalls, 1);
        QCOMPARE(m_server->countFor("POST", "/api/v1/realms/ombrel/auth/token/refresh"), 1);
        for (const auto &request : std::as_const(m_server->requests)) {
            if (request.target.endsWith("/data"))
                QCOMPARE(request.header("authorization"), bearer(m_issuedAccess));
        }
    }

    void publicCallsNeverCarryTokenNorRefresh_data()
    {
        QTest::addColumn<bool>("usePost");
        QTest::newRow("getPublic") << false;
        QTest::newRow("postPublic") << true;
    }
    void publicCallsNeverCarryTokenNorRefresh()
    {
        QFETCH(bool, usePost);
        serveRefreshingService();
        // Expired, so an authenticated call would refresh first.
        m_tokens->setTokens(tokenExpiringIn(-60), QStringLiteral("r"));
        Result result;
        if (usePost)
            m_api->postPublic(QStringLiteral("/data"), {{"a", 1}}, into(result));
        else
            m_api->getPublic(QStringLiteral("/data"), into(result));
        QTRY_VERIFY(result.done);
        QCOMPARE(result.status, 401);
        QCOMPARE(m_refreshCalls, 0);
        QCOMPARE(m_server->requests.size(), 1);
        QVERIFY(!m_server->requests.at(0).headers.contains("authorization"));
    }

    void errorStatusKeepsServerBody()
    {
        m_server->setHandler([](const auto &) { return LoopbackHttpServer::Response{404, R"({"error":"no such note"})"}; });
        m_tokens->setTokens(tokenExpiringIn(900), QStringLiteral("r"));
        Result result;
        m_api->deleteResource(QStringLiteral("/notes/1"), into(result));
        QTRY_VERIFY(result.done);
        QVERIFY(!result.ok);
        QCOMPARE(result.status, 404);
        QCOMPARE(result.body, (QJsonObject{{"error", "no such note"}}));
        QCOMPARE(m_server->requests.at(0).method, QByteArray("DELETE"));
    }

    void nonObjectBodiesReadAsEmpty_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("array") << QByteArray("[1,2]");
        QTest::newRow("html") << QByteArray("<html>oops</html>");
        QTest::newRow("truncated") << QByteArray(R"({"a":)");
        QTest::newRow("empty") << QByteArray();
    }
    void nonObjectBodiesReadAsEmpty()
    {
        QFETCH(QByteArray, body);
        m_server->setHandler([body](const auto &) { return LoopbackHttpServer::Response{200, body, "text/html"}; });
        Result result;
        m_api->getPublic(QStringLiteral("/x"), into(result));
        QTRY_VERIFY(result.done);
        QVERIFY(result.ok);
        QVERIFY(result.body.isEmpty());
    }

    void unauthorizedWithoutRefreshTokenNeedsSignIn()
    {
        m_server->setHandler([](const auto &) { return LoopbackHttpServer::Response{401, R"({"error":"x"})"}; });
        QSignalSpy required(m_api.get(), &ApiClient::authenticationRequired);
        Result result;
        m_api->get(QStringLiteral("/data"), into(result));
        QTRY_VERIFY(result.done);
        QCOMPARE(result.status, 401);
        QVERIFY(result.body.isEmpty());
        QCOMPARE(required.count(), 1);
        QCOMPARE(m_refreshCalls, 0);
    }

    void failedPreRefreshNeedsSignIn()
    {
        m_server->setHandler([](const auto &) { return LoopbackHttpServer::Response{400, R"({"error":"invalid_grant"})"}; });
        m_tokens->setTokens(tokenExpiringIn(-60), QStringLiteral("revoked"));
        QSignalSpy required(m_api.get(), &ApiClient::authenticationRequired);
        Result result;
        m_api->get(QStringLiteral("/data"), into(result));
        QTRY_VERIFY(result.done);
        QCOMPARE(result.status, 401);
        QCOMPARE(required.count(), 1);
        // Only the refresh went out; the request itself was not sent with a stale token.
        QCOMPARE(m_server->requests.size(), 1);
    }

    void transportFailureReportsStatusZero()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const quint16 port = closed.serverPort();
        closed.close();
        m_api->setBaseUrl(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port)));
        QSignalSpy networkError(m_api.get(), &ApiClient::networkError);
        Result result;
        m_api->getPublic(QStringLiteral("/x"), into(result));
        QTRY_VERIFY(result.done);
        QVERIFY(!result.ok);
        QCOMPARE(result.status, 0);
        QCOMPARE(networkError.count(), 1);
    }

    void binaryDownloadRetriesOnceOnUnauthorized()
    {
        m_server->setHandler([this](const LoopbackHttpServer::Request &request) {
            if (request.target.endsWith("/auth/token/refresh")) {
                m_issuedAccess = tokenExpiringIn(900, {{"n", 2}});
                return LoopbackHttpServer::Response{
                    200, QJsonDocument(QJsonObject{{"access_token", m_issuedAccess}, {"refresh_token", "r2"}})
                             .toJson(QJsonDocument::Compact)};
            }
            if (request.header("authorization") == bearer(m_issuedAccess))
                return LoopbackHttpServer::Response{200, QByteArray("\x00\x01\x02", 3), "application/octet-stream"};
            return LoopbackHttpServer::Response{401, {}};
        });
        m_tokens->setTokens(tokenExpiringIn(900), QStringLiteral("r"));
        bool done = false;
        QByteArray bytes;
        m_api->getBinary(QStringLiteral("/attachments/a"), [&](bool ok, int status, const QByteArray &data) {
            done = ok && status == 200;
            bytes = data;
        });
        QTRY_VERIFY(done);
        QCOMPARE(bytes, QByteArray("\x00\x01\x02", 3));
        const auto download = m_server->requests.last();
        QCOMPARE(download.header("accept"), QByteArray("*/*"));
        QVERIFY(!download.headers.contains("content-type"));
    }

    void multipartUploadIsNotRetried()
    {
        m_server->setHandler([](const auto &) { return LoopbackHttpServer::Response{401, R"({"error":"x"})"}; });
        m_tokens->setTokens(tokenExpiringIn(900), QStringLiteral("r"));
        auto *multiPart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
        QHttpPart part;
        part.setHeader(QNetworkRequest::ContentDispositionHeader, QStringLiteral("form-data; name=\"file\""));
        part.setBody("payload");
        multiPart->append(part);
        QPointer<QHttpMultiPart> watch(multiPart);
        Result result;
        m_api->postMultipart(QStringLiteral("/attachments"), multiPart, into(result));
        QTRY_VERIFY(result.done);
        QCOMPARE(result.status, 401);
        QCOMPARE(m_server->requests.size(), 1);
        QCOMPARE(m_refreshCalls, 0);
        QVERIFY(m_server->requests.at(0).body.contains("payload"));
        QTRY_VERIFY(!watch);

        Result none;
        m_api->postMultipart(QStringLiteral("/attachments"), nullptr, into(none));
        QVERIFY(none.done);
        QCOMPARE(none.status, 0);
    }

};

QTEST_GUILESS_MAIN(TestApiClient)
#include "tst_apiclient.moc"
