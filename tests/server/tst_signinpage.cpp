#include "servertestclient.h"
#include "testserver.h"
#include "testsupport.h"

#include <QJsonDocument>
#include <QTest>
#include <QThread>
#include <QUrlQuery>

using namespace OmbrelTest;

namespace {
const QString kEmail = QStringLiteral("ada@example.com");
const QString kPassword = QStringLiteral("correct horse battery");

QByteArray loginPath(const QString &redirectUri, const QString &clientId, const QString &state = {})
{
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("client_id"), QString::fromLatin1(QUrl::toPercentEncoding(clientId)));
    query.addQueryItem(QStringLiteral("redirect_uri"), QString::fromLatin1(QUrl::toPercentEncoding(redirectUri)));
    if (!state.isEmpty())
        query.addQueryItem(QStringLiteral("state"), QString::fromLatin1(QUrl::toPercentEncoding(state)));
    return "/ombrel/account/login?" + query.toString(QUrl::FullyEncoded).toLatin1();
}

QJsonObject payloadOf(const QString &jwt)
{
    const auto bytes = QByteArray::fromBase64Encoding(jwt.section(QLatin1Char('.'), 1, 1).toLatin1(),
                                                      QByteArray::Base64UrlEncoding);
    return bytes ? QJsonDocument::fromJson(*bytes).object() : QJsonObject();
}
} // namespace

class TestSignInPage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void pageAcceptsOnlyLoopbackRedirects_data();
    void pageAcceptsOnlyLoopbackRedirects();
    void pageRefusesUnknownClient();
    void pageEscapesWhatItEchoes();
    void signInRedirectsWithTokensAndState_data();
    void signInRedirectsWithTokensAndState();
    void postedFormCannotRedirectElsewhere();
    void wrongPasswordShowsTheFormAgain_data();
    void wrongPasswordShowsTheFormAgain();
    void repeatedFailuresAreSlowedEvenForTheRightPassword();
    void signupIsOffByDefault();
    void signupCreatesAccountAndSignsIn();

private:
    TestServer m_server;
};

void TestSignInPage::initTestCase()
{
    initTestEnvironment();
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
    QVERIFY2(m_server.addUser(kEmail, kPassword, QStringLiteral("Ada")), qPrintable(m_server.errorString()));
    QVERIFY2(m_server.addUser(QStringLiteral("slow@example.com"), kPassword), qPrintable(m_server.errorString()));
}

void TestSignInPage::pageAcceptsOnlyLoopbackRedirects_data()
{
    QTest::addColumn<QString>("uri");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("localhost") << QStringLiteral("http://localhost:19876/callback") << true;
    QTest::newRow("ipv4-loopback") << QStringLiteral("http://127.0.0.1:1234/callback") << true;
    QTest::newRow("ipv6-loopback") << QStringLiteral("http://[::1]:1234/callback") << true;
    QTest::newRow("other-host") << QStringLiteral("http://evil.example/callback") << false;
    QTest::newRow("localhost-subdomain") << QStringLiteral("http://localhost.evil.example/cb") << false;
    QTest::newRow("loopback-prefix-domain") << QStringLiteral("http://127.0.0.1.evil.example/cb") << false;
    QTest::newRow("userinfo-trick") << QStringLiteral("http://localhost@evil.example/cb") << false;
    QTest::newRow("other-loopback-range") << QStringLiteral("http://127.0.0.2/cb") << false;
    QTest::newRow("relative") << QStringLiteral("/callback") << false;
    QTest::newRow("with-fragment") << QStringLiteral("http://localhost/cb#x") << false;
    QTest::newRow("backslash-trick") << QStringLiteral("http://evil.example\\@localhost/cb") << false;
}


void TestSignInPage::pageAcceptsOnlyLoopbackRedirects()
{
    QFETCH(QString, uri);
    QFETCH(bool, accepted);
    const HttpReply reply = httpRequest(m_server, "GET", loginPath(uri, m_server.clientId()));
    QCOMPARE(reply.status, accepted ? 200 : 400);
    QCOMPARE(reply.body.contains("<form"), accepted);
    QVERIFY(reply.header("Content-Type").startsWith("text/html"));
}

void TestSignInPage::pageRefusesUnknownClient()
{
    const HttpReply reply = httpRequest(m_server, "GET", loginPath(QStringLiteral("http://localhost:1/cb"),
                                                                   QStringLiteral("someone-else")));
    QCOMPARE(reply.status, 400);
    QVERIFY(!reply.body.contains("<form"));
}

void TestSignInPage::pageEscapesWhatItEchoes()
{
    const QString state = QStringLiteral("\"><script>alert(1)</script>");
    const HttpReply reply =
        httpRequest(m_server, "GET", loginPath(QStringLiteral("http://localhost:1/cb"), m_server.clientId(), state));
    QCOMPARE(reply.status, 200);
    QVERIFY(!reply.body.contains("<script>"));
    QVERIFY(reply.body.contains("&lt;script&gt;"));
    QVERIFY(reply.header("Content-Security-Policy").contains("default-src 'none'"));
}

void TestSignInPage::signInRedirectsWithTokensAndState_data()
{
    QTest::addColumn<QString>("responseMode");
    QTest::addColumn<QString>("redirectUri");
    QTest::addColumn<QString>("state");
    QTest::newRow("query") << QString() << QStringLiteral("http://localhost:19876/callback") << QStringLiteral("s1");
    QTest::newRow("fragment") << QStringLiteral("fragment") << QStringLiteral("http://127.0.0.1:5555/callback")
                              << QStringLiteral("s2");
    QTest::newRow("state-with-delimiters") << QString() << QStringLiteral("http://localhost:1/cb?keep=1")
                                           << QStringLiteral("a&b=c#d e+f");
}

void TestSignInPage::signInRedirectsWithTokensAndState()
{
    QFETCH(QString, responseMode);
    QFETCH(QString, redirectUri);
    QFETCH(QString, state);
    QList<QPair<QString, QString>> fields{{QStringLiteral("redirect_uri"), redirectUri},
                                          {QStringLiteral("state"), state},
                                          {QStringLiteral("email"), QStringLiteral("  ADA@example.com ")}};
    if (!responseMode.isEmpty())
        fields.append({QStringLiteral("response_mode"), responseMode});
    const SignInResult result = signIn(m_server, kEmail, kPassword, fields);
    QCOMPARE(result.reply.status, 303);
    const QUrl expectedBase(redirectUri);
    QCOMPARE(result.location.host(), expectedBase.host());
    QCOMPARE(result.location.port(), expectedBase.port());
    QCOMPARE(result.location.path(), expectedBase.path());
    QVERIFY2(result.location.hasFragment() == (responseMode == QLatin1String("fragment")), result.reply.header("Location").constData());
    if (expectedBase.hasQuery())
        QVERIFY(result.location.query().startsWith(expectedBase.query()));
    QCOMPARE(result.state, state);
    QVERIFY(!result.refreshToken.isEmpty());

    const QJsonObject claims = payloadOf(result.accessToken);
    QCOMPARE(claims.value("email").toString(), kEmail);
    QVERIFY(claims.value("exp").toInteger() > QDateTime::currentSecsSinceEpoch() + 800);
    QVERIFY(claims.value("custom").toObject().value("omb").isObject());
    QCOMPARE(apiRequest(m_server, "GET", "/users/me", {}, result.accessToken).json.value("display_name").toString(),
             QStringLiteral("Ada"));
}

void TestSignInPage::postedFormCannotRedirectElsewhere()
{
    // The form's hidden fields are checked again on submit, not only when the page is shown.
    const SignInResult result = signIn(m_server, kEmail, kPassword,
                                       {{QStringLiteral("redirect_uri"), QStringLiteral("http://evil.example/cb")}});
    QCOMPARE(result.reply.status, 400);
    QVERIFY(result.reply.header("Location").isEmpty());
    QVERIFY(!result.reply.body.contains("access_token"));
}

void TestSignInPage::wrongPasswordShowsTheFormAgain_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("password");
    QTest::newRow("wrong-password") << kEmail << QStringLiteral("nope");
    QTest::newRow("unknown-account") << QStringLiteral("nobody@example.com") << kPassword;
}

void TestSignInPage::wrongPasswordShowsTheFormAgain()
{
    QFETCH(QString, email);
    QFETCH(QString, password);
    const SignInResult result = signIn(m_server, email, password);
    QCOMPARE(result.reply.status, 401);
    QVERIFY(result.reply.header("Location").isEmpty());
    QVERIFY(result.reply.body.contains("<form"));
    QVERIFY(result.reply.body.contains("role=\"alert\""));
    QVERIFY(result.reply.body.contains("Incorrect e-mail or password."));
}

void TestSignInPage::repeatedFailuresAreSlowedEvenForTheRightPassword()
{
    const QString email = QStringLiteral("slow@example.com");
    QList<int> statuses;
    for (int attempt = 0; attempt < 10; ++attempt)
        statuses.append(signIn(m_server, email, QStringLiteral("guess-%1").arg(attempt)).reply.status);
    QCOMPARE(statuses.count(401), 5);
    QCOMPARE(statuses.mid(5), QList<int>(5, 429));

    const SignInResult throttled = signIn(m_server, email, kPassword);
    QCOMPARE(throttled.reply.status, 429);
    QVERIFY(throttled.accessToken.isEmpty());
    const int retryAfter = throttled.reply.header("Retry-After").toInt();
    QVERIFY2(retryAfter >= 1 && retryAfter <= 2, throttled.reply.header("Retry-After").constData());
    QVERIFY(throttled.reply.body.contains("Too many failed sign-in attempts"));

    QThread::msleep(retryAfter * 1000 + 100);
    QCOMPARE(signIn(m_server, email, kPassword).reply.status, 303);
}

void TestSignInPage::signupIsOffByDefault()
{
    const HttpReply reply = httpRequest(m_server, "GET", "/ombrel/account/register?client_id=x");
    QCOMPARE(reply.status, 404);
    QVERIFY(!httpRequest(m_server, "GET", loginPath(QStringLiteral("http://localhost:1/cb"), m_server.clientId()))
                 .body.contains("register"));
}

void TestSignInPage::signupCreatesAccountAndSignsIn()
{
    TestServer server;
    QVERIFY2(server.start({QStringLiteral("--allow-signup")}), qPrintable(server.errorString()));
    const QByteArray path = "/ombrel/account/register";
    auto submit = [&](const QString &email, const QString &password) {
        return httpRequest(server, "POST", path,
                           formEncode({{QStringLiteral("client_id"), server.clientId()},
                                       {QStringLiteral("redirect_uri"), QStringLiteral("http://localhost:1/cb")},
                                       {QStringLiteral("email"), email},
                                       {QStringLiteral("display_name"), QStringLiteral("New Person")},
                                       {QStringLiteral("password"), password}}),
                           "application/x-www-form-urlencoded");
    };
    QCOMPARE(submit(QStringLiteral("not-an-address"), kPassword).status, 400);
    QCOMPARE(submit(QStringLiteral("new@example.com"), QStringLiteral("short")).status, 400);
    const HttpReply created = submit(QStringLiteral("new@example.com"), kPassword);
    QCOMPARE(created.status, 303);
    QVERIFY(created.header("Location").contains("access_token="));
    QCOMPARE(submit(QStringLiteral("NEW@example.com"), kPassword).status, 409);
    QCOMPARE(signIn(server, QStringLiteral("new@example.com"), kPassword).reply.status, 303);
}

QTEST_GUILESS_MAIN(TestSignInPage)
#include "tst_signinpage.moc"
