#include "secrets.h"
#include "servertestclient.h"
#include "testserver.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMessageAuthenticationCode>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

using namespace OmbrelTest;

namespace {
const QString kPassword = QStringLiteral("correct horse battery");

// A token with our claims, signed with the given key and alg header.
QString forgeToken(const QJsonObject &claims, const QByteArray &secret, const QByteArray &alg = "HS256")
{
    const QByteArray input = OmbrServer::base64UrlEncode("{\"alg\":\"" + alg + "\",\"typ\":\"JWT\"}") + '.'
                             + OmbrServer::base64UrlEncode(QJsonDocument(claims).toJson(QJsonDocument::Compact));
    const QByteArray signature =
        alg == "none" ? QByteArray() : QMessageAuthenticationCode::hash(input, secret, QCryptographicHash::Sha256);
    return QString::fromLatin1(input + '.' + OmbrServer::base64UrlEncode(signature));
}

QJsonObject payloadOf(const QString &jwt)
{
    QByteArray bytes;
    OmbrServer::base64UrlDecode(jwt.section(QLatin1Char('.'), 1, 1).toLatin1(), &bytes);
    return QJsonDocument::fromJson(bytes).object();
}

HttpReply refresh(const TestServer &server, const QString &token)
{
    return apiRequest(server, "POST", "/auth/token/refresh", {{"refresh_token", token}});
}
} // namespace

class TestAuthApi : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void refreshRotatesTheRefreshToken();
    void reusedRefreshTokenRevokesTheSession();
    void concurrentRefreshesWithOneTokenLetOnlyOneThrough();
    void logoutEndsTheSession();
    void forgedAccessTokensAreRefused_data();
    void forgedAccessTokensAreRefused();
    void expiredAccessTokenIsRefused();
    void profileUpdateValidatesDisplayName_data();
    void profileUpdateValidatesDisplayName();
    void passwordChangeChecksAndSignsOutOtherSessions();
    void sessionsListMarksTheCallerAndCanBeRevoked();
    void errorsAreJson_data();
    void errorsAreJson();

private:
    SignInResult freshSession(const QString &email);
    TestServer m_server;
};

void TestAuthApi::initTestCase()
{
    initTestEnvironment();
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
    for (const char *email : {"ada@example.com", "bob@example.com", "cy@example.com"})
        QVERIFY2(m_server.addUser(QString::fromLatin1(email), kPassword), qPrintable(m_server.errorString()));
}

SignInResult TestAuthApi::freshSession(const QString &email)
{
    const SignInResult result = signIn(m_server, email, kPassword);
    if (result.reply.status != 303 || result.accessToken.isEmpty())
        qWarning() << "sign-in failed" << result.reply.status << result.reply.body.left(300);
    return result;
}

void TestAuthApi::refreshRotatesTheRefreshToken()
{
    const SignInResult session = freshSession(QStringLiteral("ada@example.com"));
    const HttpReply first = refresh(m_server, session.refreshToken);
    QCOMPARE(first.status, 200);
    const QString access = first.json.value("access_token").toString();
    const QString next = first.json.value("refresh_token").toString();
    QVERIFY(!access.isEmpty());
    QVERIFY(next != session.refreshToken);
    QCOMPARE(first.json.value("expires_in").toInt(), 900);
    QCOMPARE(payloadOf(access).value("sid"), payloadOf(session.accessToken).value("sid"));
    QCOMPARE(apiRequest(m_server, "GET", "/users/me", {}, access).status, 200);
    QCOMPARE(refresh(m_server, next).status, 200);
    QCOMPARE(refresh(m_server, QStringLiteral("never-issued")).status, 401);
}

void TestAuthApi::reusedRefreshTokenRevokesTheSession()
{
    const SignInResult session = freshSession(QStringLiteral("ada@example.com"));
    const HttpReply rotated = refresh(m_server, session.refreshToken);
    QCOMPARE(rotated.status, 200);

    const HttpReply replay = refresh(m_server, session.refreshToken);
    QCOMPARE(replay.status, 401);
    QVERIFY(replay.json.value("error").toString().contains("revoked"));
    // Neither the thief's nor the owner's tokens work any more.
    QCOMPARE(refresh(m_server, rotated.json.value("refresh_token").toString()).status, 401);
    QCOMPARE(apiRequest(m_server, "GET", "/users/me", {}, rotated.json.value("access_token").toString()).status, 401);
    QCOMPARE(apiRequest(m_server, "GET", "/users/me", {}, session.accessToken).status, 401);
}

void TestAuthApi::concurrentRefreshesWithOneTokenLetOnlyOneThrough()
{
    const SignInResult session = freshSession(QStringLiteral("cy@example.com"));
    constexpr int kClients = 6;
    std::atomic<int> ok{0};
    std::atomic<int> refused{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kClients; ++i) {
        threads.emplace_back([&] {
            const int status = refresh(m_server, session.refreshToken).status;
            (status == 200 ? ok : refused)++;
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    QCOMPARE(ok.load(), 1);
    QCOMPARE(refused.load(), kClients - 1);
}

void TestAuthApi::logoutEndsTheSession()
{
    const SignInResult session = freshSession(QStringLiteral("bob@example.com"));
    const SignInResult other = freshSession(QStringLiteral("bob@example.com"));
    QCOMPARE(apiRequest(m_server, "POST", "/auth/logout", {}, session.accessToken).status, 200);
    QCOMPARE(apiRequest(m_server, "GET", "/users/me", {}, session.accessToken).status, 401);
    QCOMPARE(refresh(m_server, session.refreshToken).status, 401);
    QCOMPARE(apiRequest(m_server, "GET", "/users/me", {}, other.accessToken).status, 200);
    // Signed out already, or never signed in: refused, nothing breaks.
    QCOMPARE(apiRequest(m_server, "POST", "/auth/logout", {}, session.accessToken).status, 401);
    QCOMPARE(apiRequest(m_server, "POST", "/auth/logout").status, 401);
}

void TestAuthApi::forgedAccessTokensAreRefused_data()
{
    QTest::addColumn<QString>("token");
    const SignInResult session = freshSession(QStringLiteral("ada@example.com"));
    const QJsonObject claims = payloadOf(session.accessToken);
    QVERIFY(!claims.isEmpty());
    QTest::newRow("other-secret") << forgeToken(claims, QByteArray(64, 'k'));
    QTest::newRow("alg-none") << forgeToken(claims, {}, "none");
    QJsonObject longer = claims;
    longer["exp"] = claims.value("exp").toInteger() + 86400;
    const QStringList parts = session.accessToken.split(QLatin1Char('.'));
    QTest::newRow("payload-extended-keeping-signature")
        << parts[0] + QLatin1Char('.')
               + QString::fromLatin1(OmbrServer::base64UrlEncode(QJsonDocument(longer).toJson(QJsonDocument::Compact)))
               + QLatin1Char('.') + parts[2];
}

void TestAuthApi::forgedAccessTokensAreRefused()
{
    QFETCH(QString, token);
    const HttpReply reply = apiRequest(m_server, "GET", "/users/me", {}, token);
    QCOMPARE(reply.status, 401);
    QCOMPARE(reply.header("WWW-Authenticate"), QByteArray("Bearer"));
    QVERIFY(!reply.json.value("error").toString().isEmpty());
}

void TestAuthApi::expiredAccessTokenIsRefused()
{
    TestServer shortLived;
    QVERIFY2(shortLived.start({QStringLiteral("--access-token-ttl"), QStringLiteral("1")}),
             qPrintable(shortLived.errorString()));
    QVERIFY(shortLived.addUser(QStringLiteral("eve@example.com"), kPassword));
    const SignInResult session = signIn(shortLived, QStringLiteral("eve@example.com"), kPassword);
    QCOMPARE(session.reply.status, 303);
    QThread::msleep(2100);
    QCOMPARE(apiRequest(shortLived, "GET", "/users/me", {}, session.accessToken).status, 401);
    // The refresh token outlives it and brings a working one.
    const HttpReply renewed = refresh(shortLived, session.refreshToken);
    QCOMPARE(renewed.status, 200);
    QCOMPARE(apiRequest(shortLived, "GET", "/users/me", {}, renewed.json.value("access_token").toString()).status, 200);
}

void TestAuthApi::profileUpdateValidatesDisplayName_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("stored");
    QTest::newRow("plain") << QByteArray(R"({"display_name":"Ada L."})") << 200 << QStringLiteral("Ada L.");
    QTest::newRow("emoji-sequence") << QByteArray(R"({"display_name":"Ada 👩‍💻"})") << 200
                                    << QStringLiteral("Ada 👩‍💻");
    QTest::newRow("empty-allowed") << QByteArray(R"({"display_name":""})") << 200 << QString();
    QTest::newRow("number") << QByteArray(R"({"display_name":42})") << 400 << QString();
    QTest::newRow("missing") << QByteArray(R"({"name":"x"})") << 400 << QString();
    QTest::newRow("control-characters") << QByteArray(R"({"display_name":"a\u0000b"})") << 400 << QString();
    QTest::newRow("too-long") << QByteArray(R"({"display_name":")" + QByteArray(101, 'x') + R"("})") << 400
                              << QString();
}

void TestAuthApi::profileUpdateValidatesDisplayName()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QString, stored);
    static const SignInResult session = freshSession(QStringLiteral("cy@example.com"));
    const QByteArray auth = "Bearer " + session.accessToken.toLatin1();
    QCOMPARE(apiRequest(m_server, "PATCH", "/users/me", {{"display_name", "before"}}, session.accessToken).status, 200);
    const HttpReply reply = httpRequest(m_server, "PATCH", m_server.realmApiUrl().path().toLatin1() + "/users/me", body,
                                        "application/json", {{"Authorization", auth}});
    QCOMPARE(reply.status, status);
    const QString expected = status == 200 ? stored : QStringLiteral("before");
    if (status == 200)
        QCOMPARE(reply.json.value("display_name").toString(), expected);
    else
        QVERIFY(!reply.json.value("error").toString().isEmpty());
    QCOMPARE(apiRequest(m_server, "GET", "/users/me", {}, session.accessToken).json.value("display_name").toString(),
             expected);
}

void TestAuthApi::passwordChangeChecksAndSignsOutOtherSessions()
{
    TestServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(server.addUser(QStringLiteral("pat@example.com"), kPassword));
    const SignInResult here = signIn(server, QStringLiteral("pat@example.com"), kPassword);
    const SignInResult elsewhere = signIn(server, QStringLiteral("pat@example.com"), kPassword);
    const QString newPassword = QStringLiteral("a much better passphrase");

    auto change = [&](const QString &current, const QString &next) {
        return apiRequest(server, "POST", "/users/me/password",
                          {{"current_password", current}, {"new_password", next}}, here.accessToken);
    };
    QCOMPARE(change(QStringLiteral("wrong"), newPassword).status, 403);
    QCOMPARE(change(kPassword, QStringLiteral("short")).status, 400);
    QCOMPARE(apiRequest(server, "POST", "/users/me/password", {{"current_password", 5}, {"new_password", newPassword}},
                        here.accessToken)
                 .status,
             400);
    QCOMPARE(change(kPassword, newPassword).status, 200);

    QCOMPARE(apiRequest(server, "GET", "/users/me", {}, here.accessToken).status, 200);
    QCOMPARE(apiRequest(server, "GET", "/users/me", {}, elsewhere.accessToken).status, 401);
    QCOMPARE(refresh(server, elsewhere.refreshToken).status, 401);
    QCOMPARE(signIn(server, QStringLiteral("pat@example.com"), kPassword).reply.status, 401);
    QCOMPARE(signIn(server, QStringLiteral("pat@example.com"), newPassword).reply.status, 303);
}

void TestAuthApi::sessionsListMarksTheCallerAndCanBeRevoked()
{
    TestServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(server.addUser(QStringLiteral("sam@example.com"), kPassword));
    const SignInResult laptop = signIn(server, QStringLiteral("sam@example.com"), kPassword);
    const SignInResult phone = signIn(server, QStringLiteral("sam@example.com"), kPassword);

    const HttpReply list = apiRequest(server, "GET", "/users/me/sessions", {}, laptop.accessToken);
    QCOMPARE(list.status, 200);
    const QJsonArray sessions = list.json.value("sessions").toArray();
    QCOMPARE(sessions.size(), 2);
    QString phoneSession;
    int current = 0;
    for (const QJsonValue &value : sessions) {
        const QJsonObject session = value.toObject();
        QCOMPARE(session.value("ip_address").toString(), QStringLiteral("127.0.0.1"));
        QVERIFY(QDateTime::fromString(session.value("created_at").toString(), Qt::ISODateWithMs).isValid());
        QVERIFY(QDateTime::fromString(session.value("last_active_at").toString(), Qt::ISODateWithMs).isValid());
        QVERIFY(session.contains("user_agent"));
        if (session.value("is_current").toBool())
            ++current;
        else
            phoneSession = session.value("id").toString();
    }
    QCOMPARE(current, 1);
    QCOMPARE(phoneSession, payloadOf(phone.accessToken).value("sid").toString());

    // Another user cannot end it; its owner can, once.
    QVERIFY(server.addUser(QStringLiteral("mallory@example.com"), kPassword));
    const SignInResult mallory = signIn(server, QStringLiteral("mallory@example.com"), kPassword);
    const QByteArray path = "/users/me/sessions/" + phoneSession.toLatin1();
    QCOMPARE(apiRequest(server, "DELETE", path, {}, mallory.accessToken).status, 404);
    QCOMPARE(apiRequest(server, "GET", "/users/me", {}, phone.accessToken).status, 200);
    QCOMPARE(apiRequest(server, "DELETE", path, {}, laptop.accessToken).status, 200);
    QCOMPARE(apiRequest(server, "DELETE", path, {}, laptop.accessToken).status, 404);
    QCOMPARE(apiRequest(server, "GET", "/users/me", {}, phone.accessToken).status, 401);
    QCOMPARE(apiRequest(server, "GET", "/users/me/sessions", {}, laptop.accessToken).json.value("sessions").toArray().size(),
             1);
}

void TestAuthApi::errorsAreJson_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    const QByteArray api = "/api/v1/realms/ombrel";
    QTest::newRow("unknown-path") << QByteArray("GET") << api + "/nothing/here" << QByteArray() << 404;
    QTest::newRow("unknown-realm") << QByteArray("GET") << QByteArray("/api/v1/realms/other/users/me") << QByteArray() << 404;
    QTest::newRow("refresh-without-token") << QByteArray("POST") << api + "/auth/token/refresh" << QByteArray("{}") << 400;
    QTest::newRow("refresh-truncated-json") << QByteArray("POST") << api + "/auth/token/refresh"
                                            << QByteArray(R"({"refresh_token":")") << 400;
    QTest::newRow("refresh-body-over-a-megabyte")
        << QByteArray("POST") << api + "/auth/token/refresh"
        << QByteArray(R"({"refresh_token":")") + QByteArray(1024 * 1024, 'a') + QByteArray(R"("})") << 413;
    QTest::newRow("me-without-token") << QByteArray("GET") << api + "/users/me" << QByteArray() << 401;
}

void TestAuthApi::errorsAreJson()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    const HttpReply reply = httpRequest(m_server, method, path, body);
    QCOMPARE(reply.status, status);
    QVERIFY(reply.header("Content-Type").startsWith("application/json"));
    QVERIFY2(!reply.json.value("error").toString().isEmpty(), reply.body.left(200).constData());
}

QTEST_GUILESS_MAIN(TestAuthApi)
#include "tst_authapi.moc"
