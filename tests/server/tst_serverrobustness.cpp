#include "servertestclient.h"
#include "testserver.h"
#include "testsupport.h"

#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTest>

using namespace OmbrelTest;

namespace {

// Sends raw bytes and returns whatever comes back before the server closes or goes quiet.
QByteArray rawExchange(quint16 port, const QByteArray &bytes, int quietMs = 1500)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(3000))
        return "NO CONNECTION";
    socket.write(bytes);
    socket.waitForBytesWritten(3000);
    QByteArray reply;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(quietMs))
        reply += socket.readAll();
    return reply + socket.readAll();
}

const QByteArray kApi = "/api/v1/realms/ombrel";

} // namespace

class TestServerRobustness : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void malformedRequestsGetAnErrorNotACrash_data();
    void malformedRequestsGetAnErrorNotACrash();
    void randomBytesNeverStopTheServer();
    void jsonHandlersSurviveHostileBodies_data();
    void jsonHandlersSurviveHostileBodies();
    void hostileFormsOnTheSignInPage_data();
    void hostileFormsOnTheSignInPage();
    void hostileBearerHeaders_data();
    void hostileBearerHeaders();

private:
    void verifyStillServing();
    TestServer m_server;
    QString m_accessToken;
};

void TestServerRobustness::initTestCase()
{
    initTestEnvironment();
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
    QVERIFY(m_server.addUser(QStringLiteral("ada@example.com"), QStringLiteral("correct horse")));
    const SignInResult session = signIn(m_server, QStringLiteral("ada@example.com"), QStringLiteral("correct horse"));
    QCOMPARE(session.reply.status, 303);
    m_accessToken = session.accessToken;
}

void TestServerRobustness::init()
{
    QVERIFY(m_server.isRunning());
}

void TestServerRobustness::cleanup()
{
    verifyStillServing();
}

void TestServerRobustness::verifyStillServing()
{
    QVERIFY2(m_server.isRunning(), m_server.log().right(2000).constData());
    QCOMPARE(httpRequest(m_server, "GET", "/health").status, 200);
    QCOMPARE(apiRequest(m_server, "GET", "/users/me", {}, m_accessToken).status, 200);
}

void TestServerRobustness::malformedRequestsGetAnErrorNotACrash_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("expectedStatus"); // empty: the server may just close
    QTest::newRow("garbage-line") << QByteArray("HELLO\r\n\r\n") << QByteArray("400");
    QTest::newRow("unknown-method") << QByteArray("BREW /health HTTP/1.1\r\nHost: x\r\n\r\n") << QByteArray("400");
    QTest::newRow("path-over-limit") << "GET /" + QByteArray(9000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n" << QByteArray();
    QTest::newRow("long-path-under-uri-limit") << "GET /" + QByteArray(8000, '/') + " HTTP/1.1\r\nHost: x\r\n\r\n"
                                               << QByteArray("414");
    QTest::newRow("header-over-limit") << "GET /health HTTP/1.1\r\nX-Big: " + QByteArray(10000, 'x') + "\r\n\r\n"
                                       << QByteArray();
    QTest::newRow("negative-content-length")
        << "POST " + kApi + "/auth/token/refresh HTTP/1.1\r\nHost: x\r\nContent-Length: -5\r\n\r\n{}" << QByteArray();
    QTest::newRow("content-length-over-limit")
        << "POST " + kApi + "/auth/token/refresh HTTP/1.1\r\nHost: x\r\nContent-Length: 2000000\r\n\r\n{}"
        << QByteArray(); // refused once the announced body has arrived or the read times out
    QTest::newRow("bad-chunk-size")
        << "POST " + kApi + "/auth/token/refresh HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\nZZ\r\n{}\r\n0\r\n\r\n"
        << QByteArray();
    QTest::newRow("endless-chunks-over-limit")
        << "POST " + kApi + "/auth/token/refresh HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
               + QByteArray("100000\r\n") + QByteArray(0x100000, 'a') + "\r\n" + QByteArray("100000\r\n")
               + QByteArray(0x100000, 'a') + "\r\n0\r\n\r\n"
        << QByteArray();
    QTest::newRow("percent-nul-in-path") << QByteArray("GET /%00/users/me HTTP/1.1\r\nHost: x\r\n\r\n") << QByteArray("404");
    QTest::newRow("bad-percent-escape") << QByteArray("GET /%zz%/health HTTP/1.1\r\nHost: x\r\n\r\n") << QByteArray();
    QTest::newRow("dot-segments") << QByteArray("GET /../../../etc/passwd HTTP/1.1\r\nHost: x\r\n\r\n") << QByteArray("404");
}

void TestServerRobustness::malformedRequestsGetAnErrorNotACrash()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, expectedStatus);
    const QByteArray reply = rawExchange(m_server.port(), request);
    QVERIFY(reply != "NO CONNECTION");
    if (!expectedStatus.isEmpty())
        QVERIFY2(reply.startsWith("HTTP/1.1 " + expectedStatus), reply.left(200).constData());
    else if (!reply.isEmpty())
        QVERIFY2(reply.startsWith("HTTP/1.1 "), reply.left(200).constData());
}

void TestServerRobustness::randomBytesNeverStopTheServer()
{
    QRandomGenerator random(12345); // fixed seed: a failure replays
    const QList<QByteArray> prefixes{"", "GET / HTTP/1.1\r\n", "POST " + kApi + "/auth/token/refresh HTTP/1.1\r\n",
                                     "PATCH " + kApi + "/users/me HTTP/1.1\r\nContent-Length: 64\r\n"};
    for (int round = 0; round < 60; ++round) {
        QByteArray bytes = prefixes.at(round % prefixes.size());
        const int length = int(random.bounded(1, 2048));
        for (int i = 0; i < length; ++i)
            bytes.append(char(random.bounded(256)));
        rawExchange(m_server.port(), bytes, 300);
        QVERIFY2(m_server.isRunning(), qPrintable(QStringLiteral("round %1").arg(round)));
    }
}

void TestServerRobustness::jsonHandlersSurviveHostileBodies_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("deep-nesting") << QByteArray(100000, '[');
    QTest::newRow("invalid-utf8") << QByteArray("{\"display_name\":\"\xff\xfe\xc0\x80\",\"refresh_token\":\"\xed\xa0\x80\"}");
    QTest::newRow("lone-surrogate-escape") << QByteArray(R"({"display_name":"\ud800","refresh_token":"\udfff"})");
    QTest::newRow("nul-bytes") << QByteArray("{\"refresh_token\":\"a\0b\"}", 22);
    QTest::newRow("huge-number") << QByteArray(R"({"refresh_token":1e999999,"display_name":-1e999999})");
    QTest::newRow("wrong-types") << QByteArray(R"({"refresh_token":{},"display_name":[],"current_password":true,"new_password":null})");
    QTest::newRow("long-strings") << QByteArray(R"({"refresh_token":")") + QByteArray(500000, 'r') + R"(","display_name":")"
                                         + QByteArray(400000, 'd') + "\"}";
}

void TestServerRobustness::jsonHandlersSurviveHostileBodies()
{
    QFETCH(QByteArray, body);
    const QList<QPair<QByteArray, QByteArray>> routes{
        {"POST", "/auth/token/refresh"}, {"POST", "/auth/logout"},      {"PATCH", "/users/me"},
        {"POST", "/users/me/password"},  {"GET", "/users/me/sessions"}, {"DELETE", "/users/me/sessions/xyz"},
    };
    for (const auto &[method, path] : routes) {
        for (const bool authenticated : {false, true}) {
            if (authenticated && path == "/auth/logout")
                continue; // would end the session the other checks rely on
            QList<QPair<QByteArray, QByteArray>> headers;
            if (authenticated)
                headers.append({"Authorization", "Bearer " + m_accessToken.toLatin1()});
            const HttpReply reply = httpRequest(m_server, method, kApi + path, body, "application/json", headers);
            const QByteArray where = method + ' ' + path + (authenticated ? " (signed in)" : "");
            QVERIFY2(reply.status >= 200 && reply.status < 500, (where + ": " + QByteArray::number(reply.status)).constData());
            if (reply.status >= 400)
                QVERIFY2(reply.json.contains("error"), where.constData());
        }
    }
    // The profile is still readable and its name a string, whatever was sent.
    const HttpReply me = apiRequest(m_server, "GET", "/users/me", {}, m_accessToken);
    QVERIFY(me.json.value("display_name").isString());
}

void TestServerRobustness::hostileFormsOnTheSignInPage_data()
{
    QTest::addColumn<QByteArray>("form");
    QTest::addColumn<int>("status");
    QTest::newRow("empty") << QByteArray() << 400;
    QTest::newRow("not-a-form") << QByteArray("\x00\x01\x02\xff", 4) << 400;
    QTest::newRow("repeated-fields") << QByteArray("client_id=a&client_id=0f1e2d3c4b5a69788796a5b4c3d2e1f0").repeated(1000) << 413;
    QTest::newRow("invalid-utf8-fields") << QByteArray("email=%ff%fe&password=%c0%80&redirect_uri=%ed%a0%80") << 400;
    QTest::newRow("huge-state") << "client_id=0f1e2d3c4b5a69788796a5b4c3d2e1f0&redirect_uri=http%3A%2F%2Flocalhost%2Fcb&state="
                                       + QByteArray(500000, 's') << 413;
}

void TestServerRobustness::hostileFormsOnTheSignInPage()
{
    QFETCH(QByteArray, form);
    QFETCH(int, status);
    const HttpReply reply = httpRequest(m_server, "POST", "/ombrel/account/login", form, "application/x-www-form-urlencoded");
    QCOMPARE(reply.status, status);
    QVERIFY(reply.header("Location").isEmpty());
}

void TestServerRobustness::hostileBearerHeaders_data()
{
    QTest::addColumn<QByteArray>("authorization");
    QTest::newRow("scheme-only") << QByteArray("Bearer");
    QTest::newRow("basic") << QByteArray("Basic YWRhOnB3");
    QTest::newRow("long") << "Bearer " + QByteArray(7000, 'a') + "." + QByteArray(500, 'b') + ".c";
    QTest::newRow("binary") << QByteArray("Bearer \x01\x02\x7f\xff.\x80.\x81");
}

void TestServerRobustness::hostileBearerHeaders()
{
    QFETCH(QByteArray, authorization);
    const HttpReply reply = httpRequest(m_server, "GET", kApi + "/users/me", {}, "application/json",
                                        {{"Authorization", authorization}});
    QCOMPARE(reply.status, 401);
}

QTEST_GUILESS_MAIN(TestServerRobustness)
#include "tst_serverrobustness.moc"
