#include "serverconfig.h"
#include "testsupport.h"

#include <QTest>

using namespace OmbrServer;

class TestServerConfig : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void defaultsServeLoopbackOnThePublishedPort();
    void environmentFillsWhatTheCommandLineLeavesOut();
    void invalidOptionsAreRefused_data();
    void invalidOptionsAreRefused();
};

namespace {
ParsedCommand parse(const QStringList &arguments, const QProcessEnvironment &environment = QProcessEnvironment())
{
    return parseCommandLine(QStringList{QStringLiteral("ombrel-server")} + arguments, environment);
}
} // namespace

void TestServerConfig::defaultsServeLoopbackOnThePublishedPort()
{
    const ParsedCommand command = parse({QStringLiteral("--data-dir"), QStringLiteral("/tmp/x/../y")});
    QCOMPARE(int(command.kind), int(ParsedCommand::Kind::Serve));
    QCOMPARE(command.config.listenAddress, QStringLiteral("127.0.0.1"));
    QCOMPARE(command.config.port, 8787);
    QCOMPARE(command.config.dataDir, QStringLiteral("/tmp/y"));
    QCOMPARE(command.config.realm, QStringLiteral("ombrel"));
    QCOMPARE(command.config.accessTokenTtl, 900);
    QVERIFY(!command.config.allowSignup);
}

void TestServerConfig::environmentFillsWhatTheCommandLineLeavesOut()
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("OMBREL_SERVER_PORT"), QStringLiteral("9000"));
    environment.insert(QStringLiteral("OMBREL_SERVER_REALM"), QStringLiteral("team"));
    environment.insert(QStringLiteral("OMBREL_SERVER_ACCESS_TOKEN_TTL"), QStringLiteral("60"));
    environment.insert(QStringLiteral("OMBREL_SERVER_ALLOW_SIGNUP"), QStringLiteral("1"));
    const ParsedCommand command = parse({QStringLiteral("--port"), QStringLiteral("0")}, environment);
    QCOMPARE(int(command.kind), int(ParsedCommand::Kind::Serve));
    QCOMPARE(command.config.port, 0);
    QCOMPARE(command.config.realm, QStringLiteral("team"));
    QCOMPARE(command.config.accessTokenTtl, 60);
    QVERIFY(command.config.allowSignup);
}

void TestServerConfig::invalidOptionsAreRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("port-too-large") << QStringList{"--port", "65536"};
    QTest::newRow("listen-hostname") << QStringList{"--listen", "example.com"};
    QTest::newRow("realm-with-slash") << QStringList{"--realm", "a/b"};
    QTest::newRow("realm-regex") << QStringList{"--realm", "(.*)"};
    QTest::newRow("ttl-zero") << QStringList{"--access-token-ttl", "0"};
    QTest::newRow("public-url-ftp") << QStringList{"--public-url", "ftp://example.com"};
    QTest::newRow("unknown-command") << QStringList{"delete-everything"};
}

void TestServerConfig::invalidOptionsAreRefused()
{
    QFETCH(QStringList, arguments);
    const ParsedCommand command = parse(arguments);
    QCOMPARE(int(command.kind), int(ParsedCommand::Kind::Error));
    QVERIFY(!command.message.isEmpty());
}

QTEST_GUILESS_MAIN(TestServerConfig)
#include "tst_serverconfig.moc"
