#include "launch.h"
#include "singleinstance.h"
#include "testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

namespace {

const QString binary = QStringLiteral(OMBREL_NOTES_BINARY);
const QString serverName = QStringLiteral("ombrel-notes-instance");

class Launch : public OmbrelTest::Launch
{
public:
    Launch(const QString &dataDir, const QString &socketDir, const QStringList &arguments = {})
        : OmbrelTest::Launch(binary, dataDir, socketDir, arguments)
    {
    }
};

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        OmbrelTest::initTestEnvironment();
        QVERIFY2(QFile::exists(binary), qPrintable(binary));
    }

    void init()
    {
        m_data = std::make_unique<QTemporaryDir>();
        m_sockets = std::make_unique<QTemporaryDir>();
    }

    void cleanup()
    {
        m_data.reset();
        m_sockets.reset();
    }

    void buildInstanceMessage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("newNote");
        QTest::addColumn<QString>("noteId");

        const QString app = QStringLiteral("ombrel-notes");
        QTest::newRow("no-arguments") << QStringList{app} << "focus" << false << "";
        QTest::newRow("new-note") << QStringList{app, "--new-note"} << "new-note" << true << "";
        QTest::newRow("note-id") << QStringList{app, "--note", "abc"} << "note:abc" << false << "abc";
        QTest::newRow("new-note-wins-over-note") << QStringList{app, "--note", "abc", "--new-note"} << "new-note" << true << "abc";
        QTest::newRow("trailing-note-is-focus") << QStringList{app, "--note"} << "focus" << false << "";
        QTest::newRow("first-note-wins") << QStringList{app, "--note", "a", "--note", "b"} << "note:a" << false << "a";
        QTest::newRow("trailing-note-after-other") << QStringList{app, "--verbose", "--note"} << "focus" << false << "";
        QTest::newRow("note-takes-next-argument-whatever-it-is") << QStringList{app, "--note", "--note"} << "note:--note" << false << "--note";
        QTest::newRow("empty-note-id-is-focus") << QStringList{app, "--note", ""} << "focus" << false << "";
        QTest::newRow("case-sensitive") << QStringList{app, "--New-Note", "--NOTE", "x"} << "focus" << false << "";
        QTest::newRow("program-name-is-not-an-argument") << QStringList{"--note", "x"} << "focus" << false << "";
        QTest::newRow("unicode-id") << QStringList{app, "--note", "ü-ß"} << "note:ü-ß" << false << "ü-ß";
    }

    void buildInstanceMessage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        QFETCH(bool, newNote);
        QFETCH(QString, noteId);
        QCOMPARE(::buildInstanceMessage(arguments), message);
        const LaunchRequest request = parseLaunchRequest(arguments);
        QCOMPARE(request.newNote, newNote);
        QCOMPARE(request.noteId, noteId);
    }

    void inProcessGuardDeliversMessagesOnce()
    {
        qputenv("TMPDIR", m_sockets->path().toUtf8());
        SingleInstance primary(serverName);
        QVERIFY(primary.tryRun(QStringLiteral("focus")));
        QVERIFY(primary.isListening());
        QSignalSpy received(&primary, &SingleInstance::messageReceived);

        QLocalSocket client;
        client.connectToServer(serverName);
        QVERIFY(client.waitForConnected(1000));
        client.write("new-note");
        client.flush();
        // The message ends when the client hangs up.
        client.disconnectFromServer();
        QVERIFY(received.wait(2000));
        QTest::qWait(200);
        // The disconnect after a message is not a second, empty request.
        QCOMPARE(received.count(), 1);
        QCOMPARE(received.first().first().toString(), QStringLiteral("new-note"));

        QLocalSocket silent;
        silent.connectToServer(serverName);
        QVERIFY(silent.waitForConnected(1000));
        silent.disconnectFromServer();
        QVERIFY(received.wait(2000));
        QCOMPARE(received.last().first().toString(), QString());
        qunsetenv("TMPDIR");
    }

    void secondLaunchForwardsItsCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("focus") << QStringList{} << "\"focus\"";
        QTest::newRow("new-note") << QStringList{"--new-note"} << "\"new-note\"";
        QTest::newRow("note") << QStringList{"--note", "1b4e28ba-2fa1-11d2-883f-0016d3cca427"}
                              << "\"note:1b4e28ba-2fa1-11d2-883f-0016d3cca427\"";
    }

    void secondLaunchForwardsItsCommandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);

        Launch first(m_data->path(), m_sockets->path());
        QVERIFY2(first.waitForOutput(QStringLiteral("SingleInstance: listening")), qPrintable(first.output));

        Launch second(m_data->path(), m_sockets->path(), arguments);
        QVERIFY(second.process.waitForFinished(10000));
        QCOMPARE(second.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.process.exitCode(), 0);
        // It handed over and stopped before touching the database.
        QVERIFY2(!QString::fromUtf8(second.process.readAll()).contains(QStringLiteral("Opening database")),
                 "the second launch opened the database");

        QVERIFY2(first.waitForOutput(QStringLiteral("Instance message received: ") + message), qPrintable(first.output));
        QCOMPARE(first.process.state(), QProcess::Running);
    }

    void staleSocketOfADeadInstanceIsRecovered()
    {
        {
            Launch crashed(m_data->path(), m_sockets->path());
            QVERIFY(crashed.waitForOutput(QStringLiteral("SingleInstance: listening")));
            crashed.process.kill(); // no chance to remove its socket
            QVERIFY(crashed.process.waitForFinished(5000));
        }
        QVERIFY(QFile::exists(m_sockets->path() + QLatin1Char('/') + serverName));

        Launch successor(m_data->path(), m_sockets->path());
        QVERIFY2(successor.waitForOutput(QStringLiteral("SingleInstance: listening")), qPrintable(successor.output));
        QCOMPARE(successor.process.state(), QProcess::Running);

        Launch forwarded(m_data->path(), m_sockets->path(), {QStringLiteral("--new-note")});
        QVERIFY(forwarded.process.waitForFinished(10000));
        QCOMPARE(forwarded.process.exitCode(), 0);
        QVERIFY(successor.waitForOutput(QStringLiteral("Instance message received: \"new-note\"")));
    }

    void firstStartCreatesVersionTwoDatabaseWithWelcomeNotes()
    {
        Launch first(m_data->path(), m_sockets->path());
        QVERIFY2(first.waitForOutput(QStringLiteral("Database at version 2")), qPrintable(first.output));
        QVERIFY(first.waitForOutput(QStringLiteral("SingleInstance: listening")));

        const QStringList files = QDir(m_data->path()).entryList({QStringLiteral("ombrel_notes_*.db")});
        QCOMPARE(files.size(), 1);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("inspect"));
            db.setDatabaseName(m_data->path() + QLatin1Char('/') + files.first());
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec(QStringLiteral("SELECT version FROM schema_version")));
            QVERIFY(query.next());
            QCOMPARE(query.value(0).toInt(), 2);
            // The welcome notes are written right after the migrations; poll for them.
            const auto welcomeNotes = [&query] {
                if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM notes WHERE is_sample = 1")) || !query.next())
                    return -1;
                return query.value(0).toInt();
            };
            QTRY_COMPARE_WITH_TIMEOUT(welcomeNotes(), 3, 10000);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("inspect"));
    }

    // A message written in pieces is one message, not a bare focus request followed by
    // a fragment.
    void messageSplitAcrossWritesArrivesWhole()
    {
        qputenv("TMPDIR", m_sockets->path().toUtf8());
        SingleInstance primary(serverName);
        QVERIFY(primary.tryRun(QStringLiteral("focus")));
        QSignalSpy received(&primary, &SingleInstance::messageReceived);

        QLocalSocket client;
        client.connectToServer(serverName);
        QVERIFY(client.waitForConnected(1000));
        client.write("new-");
        QVERIFY(client.waitForBytesWritten(1000));
        QTest::qWait(300);
        QCOMPARE(received.count(), 0);
        client.write("note");
        QVERIFY(client.waitForBytesWritten(1000));
        client.disconnectFromServer();
        QVERIFY(received.wait(2000));
        QTest::qWait(100);
        QCOMPARE(received.count(), 1);
        QCOMPARE(received.first().first().toString(), QStringLiteral("new-note"));
        qunsetenv("TMPDIR");
    }

    void hostileConnectionsAreDroppedWithoutAMessage_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("idle") << QByteArray();
        QTest::newRow("unfinished") << QByteArray("new-no");
        QTest::newRow("oversized") << QByteArray(64 * 1024, 'x');
    }

    void hostileConnectionsAreDroppedWithoutAMessage()
    {
        QFETCH(QByteArray, bytes);
        qputenv("TMPDIR", m_sockets->path().toUtf8());
        SingleInstance primary(serverName);
        QVERIFY(primary.tryRun(QStringLiteral("focus")));
        QSignalSpy received(&primary, &SingleInstance::messageReceived);

        QLocalSocket hostile;
        hostile.connectToServer(serverName);
        QVERIFY(hostile.waitForConnected(1000));
        if (!bytes.isEmpty()) {
            hostile.write(bytes);
            hostile.waitForBytesWritten(1000);
        }
        // Dropped by the instance, which the client sees as a hang-up.
        QTRY_COMPARE_WITH_TIMEOUT(hostile.state(), QLocalSocket::UnconnectedState,
                                  SingleInstance::ReadTimeoutMs + 2000);
        QTRY_COMPARE(primary.activeConnections(), 0);
        QCOMPARE(received.count(), 0);
        qunsetenv("TMPDIR");
    }

    // Qt closes a server whose accept() failed and removes its socket file; the instance
    // notices and listens again.
    void closedServerListensAgain()
    {
        qputenv("TMPDIR", m_sockets->path().toUtf8());
        SingleInstance primary(serverName);
        QVERIFY(primary.tryRun(QStringLiteral("focus")));
        auto *server = primary.findChild<QLocalServer *>();
        QVERIFY(server);
        server->close();
        QVERIFY(!primary.isListening());
        QTRY_VERIFY_WITH_TIMEOUT(primary.isListening(), SingleInstance::ListenCheckMs * 3);

        QSignalSpy received(&primary, &SingleInstance::messageReceived);
        QLocalSocket client;
        client.connectToServer(serverName);
        QVERIFY(client.waitForConnected(1000));
        client.write("new-note");
        client.flush();
        client.disconnectFromServer();
        QVERIFY(received.wait(2000));
        QCOMPARE(received.first().first().toString(), QStringLiteral("new-note"));
        qunsetenv("TMPDIR");
    }

    // About a thousand idle connections used to exhaust the descriptors, after which the
    // server closed and the next launch became a second primary.
    void idleConnectionsNeverExhaustTheRunningInstance()
    {
        Launch first(m_data->path(), m_sockets->path());
        QVERIFY2(first.waitForOutput(QStringLiteral("SingleInstance: listening")), qPrintable(first.output));
        const QString fdDir = QStringLiteral("/proc/%1/fd").arg(first.process.processId());
        if (!QFileInfo(fdDir).isDir())
            QSKIP("no /proc to count the instance's descriptors");
        const auto descriptors = [&fdDir] { return QDir(fdDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size(); };
        first.drain(300);
        const qsizetype baseline = descriptors();

        qputenv("TMPDIR", m_sockets->path().toUtf8());
        constexpr int Idle = 300;
        std::vector<std::unique_ptr<QLocalSocket>> idle;
        for (int i = 0; i < Idle; ++i) {
            auto socket = std::make_unique<QLocalSocket>();
            socket->connectToServer(serverName);
            // Past the listen queue a connect may be refused; that is the queue doing its job.
            socket->waitForConnected(100);
            idle.push_back(std::move(socket));
        }
        qunsetenv("TMPDIR");
        first.drain(500);
        const qsizetype held = descriptors() - baseline;
        QVERIFY2(held <= 2 * SingleInstance::MaxConnections + 4, qPrintable(QString::number(held)));
        QCOMPARE(first.process.state(), QProcess::Running);
        idle.clear();

        Launch second(m_data->path(), m_sockets->path(), {QStringLiteral("--new-note")});
        QVERIFY(second.process.waitForFinished(20000));
        QCOMPARE(second.process.exitCode(), 0);
        QVERIFY2(first.waitForOutput(QStringLiteral("Instance message received: \"new-note\"")), qPrintable(first.output));
        QVERIFY(QFile::exists(m_sockets->path() + QLatin1Char('/') + serverName));
    }

    // With its socket gone (closed by Qt after a failed accept, or deleted), the running
    // instance still holds the library: a later launch does not open it as a second primary.
    void launchNeverOpensALibraryAnotherProcessHolds()
    {
        Launch first(m_data->path(), m_sockets->path());
        QVERIFY2(first.waitForOutput(QStringLiteral("SingleInstance: listening")), qPrintable(first.output));
        QVERIFY(QFile::remove(m_sockets->path() + QLatin1Char('/') + serverName));

        Launch second(m_data->path(), m_sockets->path(), {QStringLiteral("--new-note")});
        // The refusal is a modal box; the log says the same.
        QVERIFY2(second.waitForOutput(QStringLiteral("another instance holds the library"),
                                      SingleInstance::LockWaitMs + 10000),
                 qPrintable(second.output));
        QVERIFY2(!second.output.contains(QStringLiteral("Opening database")), qPrintable(second.output));
        QVERIFY(!second.output.contains(QStringLiteral("SingleInstance: listening")));
        QCOMPARE(first.process.state(), QProcess::Running);
    }

private:
    std::unique_ptr<QTemporaryDir> m_data;
    std::unique_ptr<QTemporaryDir> m_sockets;
};

QTEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
