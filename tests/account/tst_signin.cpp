#include "apiclient.h"
#include "authclient.h"
#include "client.h"
#include "filetokenstore.h"
#include "testserver.h"
#include "testsupport.h"
#include "testtokens.h"
#include "tokenmanager.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMessageAuthenticationCode>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>

using namespace OmbrAccount;

namespace {

const QString email = QStringLiteral("ada@example.com");
const QString password = QStringLiteral("correct horse battery staple");

struct HttpResult
{
    int status = 0;
    QByteArray body;
    QUrl location;
};

// One HTTP exchange, waited for in a local loop so that the application's listener in
// this same thread keeps answering meanwhile. Redirects are not followed.
HttpResult fetch(QNetworkAccessManager &network, const QUrl &url, const QByteArray &formBody = {})
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(30000);
    QNetworkReply *reply = nullptr;
    if (formBody.isNull()) {
        reply = network.get(request);
    } else {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
        reply = network.post(request, formBody);
    }
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    HttpResult result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    const QByteArray location = reply->rawHeader("Location");
    if (!location.isEmpty())
        result.location = url.resolved(QUrl::fromEncoded(location, QUrl::StrictMode));
    reply->deleteLater();
    return result;
}

QString htmlUnescape(QString text)
{
    text.replace(QLatin1String("&quot;"), QLatin1String("\""));
    text.replace(QLatin1String("&#39;"), QLatin1String("'"));
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    text.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return text;
}

// What a browser does with the sign-in page: read the form, fill it in, post it, and
// follow the redirect to the application's listener, running the listener's relay
// script by hand when the tokens arrive in the fragment.
struct FormBrowser
{
    QNetworkAccessManager network;
    HttpResult lastPost;
    QByteArray listenerAnswer;

    bool signIn(const QUrl &loginUrl, const QString &user, const QString &secret)
    {
        const HttpResult page = fetch(network, loginUrl);
        if (page.status != 200)
            return false;
        QUrlQuery form;
        static const QRegularExpression hidden(QStringLiteral(R"re(<input type="hidden" name="(\w+)" value="([^"]*)">)re"));
        for (const auto &match : hidden.globalMatch(QString::fromUtf8(page.body)))
            form.addQueryItem(match.captured(1), htmlUnescape(match.captured(2)));
        form.addQueryItem(QStringLiteral("email"), user);
        form.addQueryItem(QStringLiteral("password"), secret);
        static const QRegularExpression action(QStringLiteral(R"re(<form method="post" action="([^"]+)")re"));
        const QString target = action.match(QString::fromUtf8(page.body)).captured(1);
        if (target.isEmpty())
            return false;
        // Spaces and '+' must survive the form encoding.
        QByteArray body;
        for (const auto &[key, value] : form.queryItems(QUrl::FullyDecoded))
            body += (body.isEmpty() ? "" : "&") + QUrl::toPercentEncoding(key) + '=' + QUrl::toPercentEncoding(value);
        lastPost = fetch(network, loginUrl.resolved(QUrl(htmlUnescape(target))), body);
        if (lastPost.status != 303 || !lastPost.location.isValid())
            return false;
        QUrl redirect = lastPost.location;
        if (redirect.hasFragment()) {
            const QString fragment = redirect.fragment(QUrl::FullyEncoded);
            redirect.setFragment(QString());
            const HttpResult relay = fetch(network, redirect);
            if (relay.status != 200 || !relay.body.contains("location.hash"))
                return false;
            redirect.setQuery(fragment, QUrl::StrictMode);
        }
        const HttpResult callback = fetch(network, redirect);
        listenerAnswer = callback.body;
        return callback.status == 200;
    }
};

// A JWT with a chosen header and key, to present forged tokens to the service.
QString signJwt(const QJsonObject &header, const QJsonObject &payload, const QByteArray &key)
{
    const auto encode = [](const QByteArray &bytes) {
        return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    };
    const QByteArray input = encode(QJsonDocument(header).toJson(QJsonDocument::Compact)) + '.'
        + encode(QJsonDocument(payload).toJson(QJsonDocument::Compact));
    const QByteArray signature = key.isEmpty()
        ? QByteArray()
        : encode(QMessageAuthenticationCode::hash(input, key, QCryptographicHash::Sha256));
    return QString::fromLatin1(input + '.' + signature);
}

QJsonObject payloadOf(const QString &jwt)
{
    return QJsonDocument::fromJson(QByteArray::fromBase64(jwt.section(QLatin1Char('.'), 1, 1).toLatin1(),
                                                          QByteArray::Base64UrlEncoding))
        .object();
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

// Sign-in against the real service: the browser page, the loopback redirect, restarts,
// refresh rotation and the service's refusals.
class TestSignIn : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<OmbrelTest::TestServer> m_server;
    std::unique_ptr<QTemporaryDir> m_tokenDir;
    std::unique_ptr<Client> m_client;
    QUrl m_loginUrl;

    std::unique_ptr<Client> makeClient()
    {
        ClientConfig config;
        config.authBaseUrl = m_server->url().toString();
        config.realmSlug = m_server->realm();
        config.clientId = m_server->clientId();
        config.appId = QStringLiteral("app.ombrel.notes.test");
        config.appVersion = QStringLiteral("1.0.3");
        auto client = std::make_unique<Client>(
            config, std::make_unique<FileTokenStore>(FileTokenStore::pathIn(m_tokenDir->path())));
        client->authClient()->setUrlOpener([this](const QUrl &url) {
            m_loginUrl = url;
            return true;
        });
        return client;
    }
    bool startServer()
    {
        m_server = std::make_unique<OmbrelTest::TestServer>();
        if (!m_server->start()) {
            qWarning() << m_server->errorString();
            return false;
        }
        return m_server->addUser(email, password);
    }
    // Signs m_client in through the form; true when it ends Authenticated.
    bool signInThroughForm(const QString &responseMode = {})
    {
        m_loginUrl.clear();
        m_client->authClient()->login();
        if (!m_loginUrl.isValid())
            return false;
        QUrl url = m_loginUrl;
        if (!responseMode.isEmpty()) {
            QUrlQuery query(url);
            query.addQueryItem(QStringLiteral("response_mode"), responseMode);
            url.setQuery(query);
        }
        FormBrowser browser;
        return browser.signIn(url, email, password) && m_client->isAuthenticated();
    }

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void init()
    {
        m_tokenDir = std::make_unique<QTemporaryDir>();
        QVERIFY(startServer());
        m_client = makeClient();
    }
    void cleanup()
    {
        m_client.reset();
        m_server.reset();
        m_tokenDir.reset();
    }

    void signsInRestartsAndSignsOut_data()
    {
        QTest::addColumn<QString>("responseMode");
        QTest::newRow("query") << QString();
        QTest::newRow("fragment") << QStringLiteral("fragment");
    }
    void signsInRestartsAndSignsOut()
    {
        QFETCH(QString, responseMode);
        m_client->initialize();
        QCOMPARE(m_client->authClient()->state(), AuthState::Unauthenticated);
        QVERIFY(signInThroughForm(responseMode));
        QVERIFY(!m_client->tokenManager()->refreshToken().isEmpty());

        bool fetched = false;
        m_client->authClient()->fetchCurrentUser([&](const User &user) {
            fetched = user.email == email;
        });
        QTRY_VERIFY(fetched);

        // A restart reads the session back from the store.
        const QString refreshBefore = m_client->tokenManager()->refreshToken();
        m_client = makeClient();
        m_client->initialize();
        QVERIFY(m_client->isAuthenticated());
        QList<Session> sessions;
        bool listed = false;
        m_client->authClient()->listSessions([&](const QList<Session> &list) {
            sessions = list;
            listed = true;
        });
        QTRY_VERIFY(listed);
        QCOMPARE(sessions.size(), 1);
        QVERIFY(sessions.first().isCurrent);

        // Signing out revokes the session on the service, not only here.
        m_client->authClient()->logout();
        QVERIFY(!m_client->isAuthenticated());
        QTRY_VERIFY(m_server->log().contains("/auth/logout"));
        QTest::qWait(200);
        m_client = makeClient();
        m_client->tokenManager()->setTokens(QString(), refreshBefore);
        bool done = false;
        bool ok = true;
        m_client->authClient()->refreshToken([&](bool result) {
            done = true;
            ok = result;
        });
        QTRY_VERIFY(done);
        QVERIFY(!ok);
    }

    void expiredAccessTokenAtStartRefreshes()
    {
        m_client->initialize();
        QVERIFY(signInThroughForm());
        const QString refresh = m_client->tokenManager()->refreshToken();
        m_client->tokenManager()->setTokens(OmbrelTest::tokenExpiringIn(-600), refresh);

        m_client = makeClient();
        QSignalSpy changed(m_client.get(), &Client::authStateChanged);
        m_client->initialize();
        QTRY_COMPARE(changed.count(), 1);
        QCOMPARE(changed.first().first().value<AuthState>(), AuthState::Authenticated);
        QVERIFY(m_client->tokenManager()->refreshToken() != refresh);
        // The rotated pair was stored, so the next start needs no refresh.
        m_client = makeClient();
        m_client->initialize();
        QCOMPARE(m_client->authClient()->state(), AuthState::Authenticated);
    }

    void reusedRefreshTokenRevokesSession()
    {
        m_client->initialize();
        QVERIFY(signInThroughForm());
        const QString first = m_client->tokenManager()->refreshToken();
        bool done = false;
        m_client->authClient()->refreshToken([&](bool ok) { done = ok; });
        QTRY_VERIFY(done);
        const QString second = m_client->tokenManager()->refreshToken();
        QVERIFY(second != first);

        // Someone replays the rotated token: refused, and the whole session goes with it.
        int replayStatus = 0;
        m_client->authApi()->postPublic(QStringLiteral("/auth/token/refresh"), {{"refresh_token", first}},
                                        [&](bool, int status, const QJsonObject &) { replayStatus = status; });
        QTRY_VERIFY(replayStatus != 0);
        QCOMPARE(replayStatus, 401);

        bool finished = false;
        bool ok = true;
        m_client->authClient()->refreshToken([&](bool result) {
            finished = true;
            ok = result;
        });
        QTRY_VERIFY(finished);
        QVERIFY(!ok);
        QCOMPARE(m_client->authClient()->state(), AuthState::Unauthenticated);
        QCOMPARE(FileTokenStore(FileTokenStore::pathIn(m_tokenDir->path())).load(QLatin1String(RefreshTokenKey)),
                 std::nullopt);
    }

    void forgedTokensAreRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("other-secret") << QStringLiteral("other-secret");
        QTest::newRow("alg-none") << QStringLiteral("alg-none");
        QTest::newRow("alg-none-with-signature") << QStringLiteral("alg-none-signed");
    }
    void forgedTokensAreRefused()
    {
        QFETCH(QString, kind);
        m_client->initialize();
        QVERIFY(signInThroughForm());
        const QJsonObject payload = payloadOf(m_client->tokenManager()->accessToken());
        QVERIFY(payload.contains("sub"));
        QString forged;
        if (kind == QLatin1String("other-secret"))
            forged = signJwt({{"alg", "HS256"}, {"typ", "JWT"}}, payload, "not the server's secret");
        else if (kind == QLatin1String("alg-none"))
            forged = signJwt({{"alg", "none"}, {"typ", "JWT"}}, payload, {});
        else
            forged = signJwt({{"alg", "none"}, {"typ", "JWT"}}, payload, "x");

        // Straight to the service, without the client's retry.
        QNetworkAccessManager network;
        QNetworkRequest request(QUrl(m_server->realmApiUrl().toString() + QStringLiteral("/users/me")));
        request.setRawHeader("Authorization", "Bearer " + forged.toLatin1());
        QNetworkReply *reply = network.get(request);
        QSignalSpy finished(reply, &QNetworkReply::finished);
        QVERIFY(finished.wait(10000));
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 401);
        delete reply;

        // The client, holding a forged access token and its real refresh token, recovers
        // with one refresh and one repeat.
        m_client->tokenManager()->setTokens(forged, m_client->tokenManager()->refreshToken());
        bool fetched = false;
        m_client->authClient()->fetchCurrentUser([&](const User &user) { fetched = user.email == email; });
        QTRY_VERIFY(fetched);
        QVERIFY(m_client->tokenManager()->accessToken() != forged);
    }

    void nonLoopbackRedirectIsRefused_data()
    {
        QTest::addColumn<QString>("redirect");
        QTest::newRow("other-host") << QStringLiteral("http://evil.example/callback");
        QTest::newRow("userinfo-trick") << QStringLiteral("http://localhost@evil.example/callback");
        QTest::newRow("https-elsewhere") << QStringLiteral("https://evil.example:19876/callback");
        QTest::newRow("lookalike-host") << QStringLiteral("http://localhost.evil.example/callback");
    }
    void nonLoopbackRedirectIsRefused()
    {
        QFETCH(QString, redirect);
        QUrl url(m_server->url().toString() + QStringLiteral("/ombrel/account/login"));
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("client_id"), m_server->clientId());
        query.addQueryItem(QStringLiteral("redirect_uri"), QString::fromLatin1(QUrl::toPercentEncoding(redirect)));
        url.setQuery(query);
        QNetworkAccessManager network;
        const HttpResult page = fetch(network, url);
        QCOMPARE(page.status, 400);
        QVERIFY(!page.body.contains("<form"));
        // Nor will a posted form send tokens there.
        FormBrowser browser;
        QVERIFY(!browser.signIn(url, email, password));
        QVERIFY(!browser.lastPost.location.isValid() || browser.lastPost.location.host() != QLatin1String("evil.example"));
    }

    void wrongPasswordsAreSlowedAndNeverReachTheApplication()
    {
        m_client->initialize();
        QSignalSpy failed(m_client->authClient(), &AuthClient::loginFailed);
        m_client->authClient()->login();
        QVERIFY(m_loginUrl.isValid());
        FormBrowser browser;
        QList<int> statuses;
        for (int i = 0; i < 10; ++i) {
            QVERIFY(!browser.signIn(m_loginUrl, email, QStringLiteral("wrong %1").arg(i)));
            statuses.append(browser.lastPost.status);
            QVERIFY(browser.lastPost.body.contains("<form"));
        }
        QCOMPARE(statuses.first(), 401);
        QVERIFY2(statuses.contains(429), qPrintable(QString::number(statuses.last())));
        // Right after the guesses even the right password has to wait.
        QVERIFY(!browser.signIn(m_loginUrl, email, password));
        QCOMPARE(browser.lastPost.status, 429);
        QVERIFY(!m_client->isAuthenticated());
        QCOMPARE(failed.count(), 0);
        QVERIFY(m_client->authClient()->pendingLogin());
    }

    void signsInThroughHeadlessChromium()
    {
        const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        const QString driver = QStandardPaths::findExecutable(QStringLiteral("chromedriver"));
        if (chromium.isEmpty() || driver.isEmpty())
            QSKIP("chromium and chromedriver are not installed");

        QTemporaryDir profile;
        QProcess chromedriver;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), profile.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), profile.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), profile.filePath(QStringLiteral("cache")));
        chromedriver.setProcessEnvironment(environment);
        const quint16 port = freePort();
        chromedriver.start(driver, {QStringLiteral("--port=%1").arg(port)});
        QVERIFY(chromedriver.waitForStarted(10000));
        auto stopDriver = qScopeGuard([&] {
            chromedriver.terminate();
            if (!chromedriver.waitForFinished(5000))
                chromedriver.kill();
        });

        QNetworkAccessManager network;
        const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);
        auto call = [&](const QByteArray &verb, const QString &path, const QJsonObject &body = {}) {
            QNetworkRequest request{QUrl(base + path)};
            request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
            request.setTransferTimeout(60000);
            QNetworkReply *reply = network.sendCustomRequest(request, verb, verb == "GET" ? QByteArray()
                                                                     : QJsonDocument(body).toJson(QJsonDocument::Compact));
            QEventLoop loop;
            QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
            loop.exec();
            const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
            reply->deleteLater();
            return answer.value(QLatin1String("value"));
        };
        // Bounded wait for the driver to answer.
        bool ready = false;
        for (int i = 0; i < 50 && !ready; ++i) {
            ready = call("GET", QStringLiteral("/status")).toObject().value(QLatin1String("ready")).toBool();
            if (!ready)
                QTest::qWait(200);
        }
        QVERIFY2(ready, chromedriver.readAllStandardError().constData());

        const QJsonObject options{
            {"binary", chromium},
            {"args", QJsonArray{"--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                                "--no-first-run", "--user-data-dir=" + profile.filePath(QStringLiteral("profile"))}}};
        const QJsonObject capabilities{
            {"capabilities", QJsonObject{{"alwaysMatch", QJsonObject{{"browserName", "chrome"},
                                                                     {"goog:chromeOptions", options}}}}}};
        const QString session = call("POST", QStringLiteral("/session"), capabilities)
                                    .toObject().value(QLatin1String("sessionId")).toString();
        QVERIFY(!session.isEmpty());
        auto endSession = qScopeGuard([&] { call("DELETE", QStringLiteral("/session/") + session); });

        m_client->initialize();
        m_client->authClient()->login();
        QVERIFY(m_loginUrl.isValid());
        // The fragment answer makes the page's relay script do its work in a real browser.
        QUrl url = m_loginUrl;
        QUrlQuery query(url);
        query.addQueryItem(QStringLiteral("response_mode"), QStringLiteral("fragment"));
        url.setQuery(query);
        const QString prefix = QStringLiteral("/session/") + session;
        call("POST", prefix + QStringLiteral("/url"), {{"url", url.toString(QUrl::FullyEncoded)}});
        auto element = [&](const QString &css) {
            const QJsonObject found = call("POST", prefix + QStringLiteral("/element"),
                                           {{"using", "css selector"}, {"value", css}}).toObject();
            return found.value(QLatin1String("element-6066-11e4-a52e-4f735466cecf")).toString();
        };
        const QString emailField = element(QStringLiteral("#email"));
        const QString passwordField = element(QStringLiteral("#password"));
        const QString submit = element(QStringLiteral("button[type=submit]"));
        QVERIFY(!emailField.isEmpty() && !passwordField.isEmpty() && !submit.isEmpty());
        call("POST", prefix + QStringLiteral("/element/%1/value").arg(emailField), {{"text", email}});
        call("POST", prefix + QStringLiteral("/element/%1/value").arg(passwordField), {{"text", password}});
        call("POST", prefix + QStringLiteral("/element/%1/click").arg(submit));

        QTRY_VERIFY_WITH_TIMEOUT(m_client->isAuthenticated(), 30000);
        QTRY_VERIFY(call("GET", prefix + QStringLiteral("/source")).toString().contains("Authentication complete!"));
        QVERIFY(!m_client->authClient()->pendingLogin());
    }
};

QTEST_GUILESS_MAIN(TestSignIn)
#include "tst_signin.moc"
