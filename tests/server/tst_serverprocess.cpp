#include "servertestclient.h"
#include "testserver.h"
#include "testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace OmbrelTest;

namespace {
const QString kPassword = QStringLiteral("correct horse battery");

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run runServer(const QStringList &arguments, const QByteArray &input = {}, const QString &tmp = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!tmp.isEmpty()) {
        env.insert(QStringLiteral("TMPDIR"), tmp);
        env.insert(QStringLiteral("XDG_DATA_HOME"), tmp);
    }
    process.setProcessEnvironment(env);
    process.start(TestServer::executable(), arguments);
    Run run;
    if (!process.waitForStarted(10000))
        return run;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}
} // namespace

class TestServerProcess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { initTestEnvironment(); }
    void init();
    void stopsCleanlyOnSigterm();
    void logsOneLinePerRequestWithoutSecrets();
    void dataStaysPrivateAndTokensSurviveARestart();
    void takenPortIsReportedNotIgnored();
    void addUserValidatesItsInput_data();
    void addUserValidatesItsInput();
    void addUserRefusesADuplicate();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestServerProcess::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestServerProcess::stopsCleanlyOnSigterm()
{
    TestServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(server.port() > 0);
    QVERIFY(server.stop());
    QVERIFY(server.log().contains("stopped"));
    QVERIFY(!server.isRunning());
}

void TestServerProcess::logsOneLinePerRequestWithoutSecrets()
{
    TestServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(server.addUser(QStringLiteral("ada@example.com"), kPassword));
    const SignInResult session = signIn(server, QStringLiteral("ada@example.com"), kPassword,
                                        {{QStringLiteral("state"), QStringLiteral("state-secret")}});
    QCOMPARE(session.reply.status, 303);
    const HttpReply renewed = apiRequest(server, "POST", "/auth/token/refresh", {{"refresh_token", session.refreshToken}});
    QCOMPARE(renewed.status, 200);
    QCOMPARE(apiRequest(server, "GET", "/users/me", {}, renewed.json.value("access_token").toString()).status, 200);
    httpRequest(server, "GET", "/ombrel/account/login?client_id=x&redirect_uri=http%3A%2F%2Flocalhost%2Fcb&token=query-secret");
    QVERIFY(server.stop());

    const QByteArray log = server.log();
    QVERIFY(log.contains("POST /ombrel/account/login 303"));
    QVERIFY(log.contains("POST /api/v1/realms/ombrel/auth/token/refresh 200"));
    QVERIFY(log.contains("GET /api/v1/realms/ombrel/users/me 200"));
    QVERIFY(log.contains("GET /ombrel/account/login 400"));
    QVERIFY(QRegularExpression(QStringLiteral("users/me 200 \\d+\\.\\d ms")).match(QString::fromUtf8(log)).hasMatch());
    for (const QString &secret : {session.accessToken, session.refreshToken, renewed.json.value("access_token").toString(),
                                  renewed.json.value("refresh_token").toString(), kPassword,
                                  QStringLiteral("query-secret"), QStringLiteral("state-secret")})
        QVERIFY2(!log.contains(secret.toUtf8()), qPrintable(secret));
}

void TestServerProcess::dataStaysPrivateAndTokensSurviveARestart()
{
    TestServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(server.addUser(QStringLiteral("ada@example.com"), kPassword));
    const SignInResult session = signIn(server, QStringLiteral("ada@example.com"), kPassword);
    QCOMPARE(session.reply.status, 303);
    QVERIFY(server.stop());

    const QDir data(server.dataDir());
    QCOMPARE(QFileInfo(server.dataDir()).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::ExeOther),
             QFile::Permissions());
    for (const QString &name : {QStringLiteral("jwt_secret"), QStringLiteral("ombrel-server.db")}) {
        QVERIFY2(data.exists(name), qPrintable(name));
        QCOMPARE(QFileInfo(data.filePath(name)).permissions() & (QFile::ReadGroup | QFile::ReadOther),
                 QFile::Permissions());
    }
    // No refresh token is stored in a form that could be replayed.
    QVERIFY(!readAll(data.filePath(QStringLiteral("ombrel-server.db"))).contains(session.refreshToken.toLatin1()));

    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QCOMPARE(apiRequest(server, "GET", "/users/me", {}, session.accessToken).status, 200);
    QCOMPARE(apiRequest(server, "POST", "/auth/token/refresh", {{"refresh_token", session.refreshToken}}).status, 200);
}

void TestServerProcess::takenPortIsReportedNotIgnored()
{
    QTcpServer occupant;
    QVERIFY(occupant.listen(QHostAddress::LocalHost, 0));
    const Run run = runServer({QStringLiteral("--port"), QString::number(occupant.serverPort()), QStringLiteral("--data-dir"),
                               m_dir->filePath(QStringLiteral("data"))},
                              {}, m_dir->path());
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("Cannot listen"), run.err.constData());
}

void TestServerProcess::addUserValidatesItsInput_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("created") << QStringLiteral("Ada@Example.com") << QByteArray("correct horse\n") << 0;
    QTest::newRow("no-line-end") << QStringLiteral("eof@example.com") << QByteArray("correct horse") << 0;
    QTest::newRow("short-password") << QStringLiteral("ada@example.com") << QByteArray("short\n") << 2;
    QTest::newRow("not-an-address") << QStringLiteral("ada") << QByteArray("correct horse\n") << 2;
}

void TestServerProcess::addUserValidatesItsInput()
{
    QFETCH(QString, email);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    const QString dataDir = m_dir->filePath(QStringLiteral("data"));
    const Run run = runServer({QStringLiteral("add-user"), email, QStringLiteral("--data-dir"), dataDir}, input, m_dir->path());
    QCOMPARE(run.exitCode, exitCode);
    if (exitCode != 0) {
        QVERIFY(!run.err.isEmpty());
        return;
    }
    QVERIFY(run.out.contains(email.toLower().toUtf8()));
    // The password is the line without its line break: signing in with it works.
    TestServer server;
    QVERIFY2(server.start({QStringLiteral("--data-dir"), dataDir}), qPrintable(server.errorString()));
    QCOMPARE(signIn(server, email, QStringLiteral("correct horse")).reply.status, 303);
}

void TestServerProcess::addUserRefusesADuplicate()
{
    const QString dataDir = m_dir->filePath(QStringLiteral("data"));
    const QStringList arguments{QStringLiteral("add-user"), QStringLiteral("ada@example.com"), QStringLiteral("--data-dir"), dataDir};
    QCOMPARE(runServer(arguments, "first password\n", m_dir->path()).exitCode, 0);
    const Run again = runServer({QStringLiteral("add-user"), QStringLiteral("ADA@example.com"), QStringLiteral("--data-dir"),
                                 dataDir},
                                "second password\n", m_dir->path());
    QCOMPARE(again.exitCode, 1);
    QVERIFY(again.err.contains("already exists"));
}

QTEST_GUILESS_MAIN(TestServerProcess)
#include "tst_serverprocess.moc"
