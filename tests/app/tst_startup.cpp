#include "appstate.h"
#include "database.h"
#include "launch.h"
#include "noterepository.h"
#include "paths.h"
#include "preferencesrepository.h"
#include "smallfilesystem.h"
#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QLocalSocket>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <unistd.h>

namespace {

const QString binary = QStringLiteral(OMBREL_NOTES_BINARY);
const QString startedLine = QStringLiteral("Start-up complete");

} // namespace

// The start-up order seen from outside: which windows a real process opens for its
// command line, its preferences and the messages of later launches.
class TestStartup : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<OmbrelTest::Launch> launch(const QStringList &arguments = {})
    {
        auto process = std::make_unique<OmbrelTest::Launch>(binary, m_data->path(), m_sockets->path(), arguments);
        return process;
    }

    // Writes into the database the process will open, before it runs.
    QString addNote(const QString &text)
    {
        AppState state;
        if (!state.initialize())
            return {};
        Note note;
        note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        note.body = QStringLiteral("[{\"insert\":\"%1\\n\"}]").arg(text);
        note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
        return state.notes()->insert(note) ? note.id : QString();
    }

    void setPreference(const QString &key, const QString &value)
    {
        AppState state;
        QVERIFY(state.initialize());
        QVERIFY(state.preferences()->set(key, value));
    }

    std::optional<QString> preference(const QString &key)
    {
        AppState state;
        if (!state.initialize())
            return QStringLiteral("<database failed>");
        return state.preferences()->find(key);
    }

    int userNoteCount()
    {
        AppState state;
        if (!state.initialize())
            return -1;
        int count = 0;
        for (const Note &note : state.notes()->allNotes())
            count += note.isSample ? 0 : 1;
        return count;
    }

    // Read without AppState, which would write the welcome notes itself.
    int sampleNoteCount()
    {
        Database database;
        if (!database.open(databasePath()))
            return -1;
        QSqlQuery query(database.handle());
        if (!query.exec(QStringLiteral("PRAGMA quick_check")) || !query.next()
            || query.value(0).toString() != QLatin1String("ok"))
            return -2; // damaged
        if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM notes WHERE is_sample = 1")))
            return 0; // killed before the schema existed
        return query.next() ? query.value(0).toInt() : -1;
    }

    // Asks the running instance directly, as a later launch would.
    void sendMessage(const QByteArray &message)
    {
        qputenv("TMPDIR", m_sockets->path().toUtf8());
        QLocalSocket socket;
        socket.connectToServer(QStringLiteral("ombrel-notes-instance"));
        qunsetenv("TMPDIR");
        QVERIFY(socket.waitForConnected(2000));
        if (!message.isEmpty()) {
            socket.write(message);
            QVERIFY(socket.waitForBytesWritten(2000));
        }
        socket.disconnectFromServer();
        if (socket.state() != QLocalSocket::UnconnectedState)
            socket.waitForDisconnected(2000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        OmbrelTest::initTestEnvironment();
        QVERIFY2(QFile::exists(binary), qPrintable(binary));
    }

    void init()
    {
        m_data = std::make_unique<OmbrelTest::ScopedDataDir>();
        m_sockets = std::make_unique<QTemporaryDir>();
    }

    void cleanup()
    {
        m_data.reset();
        m_sockets.reset();
    }

    void plainStartShowsOnlyTheMainWindow()
    {
        auto app = launch();
        QVERIFY2(app->waitForOutput(startedLine), qPrintable(app->output));
        QVERIFY2(app->output.contains(QStringLiteral("main window visible: true visible windows: 1")),
                 qPrintable(app->output));
        QVERIFY(!app->output.contains(QStringLiteral("Opened note window:")));
    }

    void newNoteOpensAWindowAndHidesTheMainWindow()
    {
        auto app = launch({QStringLiteral("--new-note")});
        QVERIFY2(app->waitForOutput(startedLine), qPrintable(app->output));
        QVERIFY2(app->output.contains(QStringLiteral("main window visible: false visible windows: 1")),
                 qPrintable(app->output));
        QCOMPARE(app->output.count(QStringLiteral("Opened note window:")), 1);
        app.reset(); // killed: no close, so the empty note is still there
        QCOMPARE(userNoteCount(), 1);
    }

    void noteArgumentOpensThatNote_data()
    {
        QTest::addColumn<bool>("withNewNote");
        QTest::newRow("note-only") << false;
        QTest::newRow("new-note-wins") << true;
    }

    void noteArgumentOpensThatNote()
    {
        QFETCH(bool, withNewNote);
        const QString id = addNote(QStringLiteral("Opened from the command line"));
        QVERIFY(!id.isEmpty());
        QStringList arguments{QStringLiteral("--note"), id};
        if (withNewNote)
            arguments.append(QStringLiteral("--new-note"));
        auto app = launch(arguments);
        QVERIFY2(app->waitForOutput(startedLine), qPrintable(app->output));
        QCOMPARE(app->output.contains(QStringLiteral("Opened note window: ") + id), !withNewNote);
        QCOMPARE(app->output.count(QStringLiteral("Opened note window:")), 1);
        QVERIFY(app->output.contains(QStringLiteral("main window visible: false visible windows: 1")));
    }

    void startMinimizedShowsNoWindow()
    {
        setPreference(QStringLiteral("start_minimized"), QStringLiteral("true"));
        auto app = launch();
        QVERIFY2(app->waitForOutput(startedLine), qPrintable(app->output));
        QVERIFY2(app->output.contains(QStringLiteral("main window visible: false visible windows: 0")),
                 qPrintable(app->output));
    }

    void noteWindowsOfTheLastRunAreRestoredOnce()
    {
        const QString first = addNote(QStringLiteral("First"));
        const QString second = addNote(QStringLiteral("Second"));
        const QString trashed = addNote(QStringLiteral("Trashed since"));
        {
            AppState state;
            QVERIFY(state.initialize());
            QVERIFY(state.notes()->moveToTrash(trashed));
        }
        const QString missing = QUuid::createUuid().toString(QUuid::WithoutBraces);
        setPreference(QStringLiteral("restore_note_windows"),
                      QStringList{first, QString(), second, missing, trashed}.join(QLatin1Char(',')));
        setPreference(QStringLiteral("restore_todos_window"), QStringLiteral("true"));

        {
            auto app = launch();
            QVERIFY2(app->waitForOutput(startedLine), qPrintable(app->output));
            const qsizetype firstAt = app->output.indexOf(QStringLiteral("Restored note window: ") + first);
            const qsizetype secondAt = app->output.indexOf(QStringLiteral("Restored note window: ") + second);
            QVERIFY2(firstAt >= 0 && secondAt > firstAt, qPrintable(app->output));
            QCOMPARE(app->output.count(QStringLiteral("Restored note window:")), 2);
            // Restored windows and the To-Dos window sit beside the main window, which is
            // shown as usual.
            QVERIFY2(app->output.contains(QStringLiteral("Restored the To-Dos window")), qPrintable(app->output));
            QVERIFY(app->output.contains(QStringLiteral("main window visible: true visible windows: 4")));
        }
        QVERIFY(!preference(QStringLiteral("restore_note_windows")));
        QVERIFY(!preference(QStringLiteral("restore_todos_window")));

        auto again = launch();
        QVERIFY2(again->waitForOutput(startedLine), qPrintable(again->output));
        QVERIFY(!again->output.contains(QStringLiteral("Restored note window:")));
    }

    void messagesOfLaterLaunches_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("expected");
        QTest::newRow("focus") << QByteArray("focus") << "Main window focused";
        QTest::newRow("silent-connection-is-focus") << QByteArray() << "Main window focused";
        QTest::newRow("empty-note-id-is-focus") << QByteArray("note:") << "Main window focused";
        QTest::newRow("unknown-is-focus") << QByteArray("open-everything") << "Main window focused";
        QTest::newRow("new-note") << QByteArray("new-note") << "Opened note window:";
        QTest::newRow("note") << QByteArray("note:@ID@") << "Opened note window: @ID@";
    }

    void messagesOfLaterLaunches()
    {
        QFETCH(QByteArray, message);
        QFETCH(QString, expected);
        const QString id = addNote(QStringLiteral("Target"));
        message.replace("@ID@", id.toUtf8());
        expected.replace(QStringLiteral("@ID@"), id);
        // Started minimised, so that focusing has something to bring back.
        setPreference(QStringLiteral("start_minimized"), QStringLiteral("true"));

        auto app = launch();
        QVERIFY2(app->waitForOutput(startedLine), qPrintable(app->output));
        QVERIFY(!app->output.contains(expected));
        sendMessage(message);
        QVERIFY2(app->waitForOutput(expected), qPrintable(app->output));
    }

    void openingANoteTwiceRaisesOneWindow()
    {
        const QString id = addNote(QStringLiteral("Once"));
        auto app = launch({QStringLiteral("--note"), id});
        QVERIFY2(app->waitForOutput(startedLine), qPrintable(app->output));
        {
            OmbrelTest::Launch second(binary, m_data->path(), m_sockets->path(), {QStringLiteral("--note"), id});
            QVERIFY(second.process.waitForFinished(10000));
            QCOMPARE(second.process.exitCode(), 0);
        }
        QVERIFY(app->waitForOutput(QStringLiteral("Instance message received: \"note:") + id));
        app->drain();
        QCOMPARE(app->output.count(QStringLiteral("Opened note window: ") + id), 1);
    }

    // Killed at staggered moments of the very first start: the welcome notes are there
    // all three or not at all, and a later start completes them once.
    void killDuringFirstStartNeverDuplicatesWelcomeNotes()
    {
        constexpr int Rounds = 12;
        for (int round = 0; round < Rounds; ++round) {
            OmbrelTest::ScopedDataDir data;
            {
                OmbrelTest::Launch app(binary, data.path(), m_sockets->path());
                QVERIFY(app.process.waitForStarted(5000));
                QTest::qWait(40 + round * 30);
                app.process.kill();
                QVERIFY(app.process.waitForFinished(5000));
            }
            const int afterKill = sampleNoteCount();
            QVERIFY2(afterKill == 0 || afterKill == 3, qPrintable(QString::number(afterKill)));
            {
                OmbrelTest::Launch app(binary, data.path(), m_sockets->path());
                QVERIFY2(app.waitForOutput(startedLine), qPrintable(app.output));
            }
            QCOMPARE(sampleNoteCount(), 3);
        }
    }

    // A library on read-only media opens for reading, says so, and stores nothing.
    void readOnlyLibraryStartsWithANotice()
    {
        OmbrelTest::SmallFileSystem disk(QStringLiteral("4m"));
        if (!disk.isMounted())
            QSKIP("a tmpfs cannot be mounted here (needs root)");
        OmbrelTest::ScopedDataDir scoped;
        qputenv("NOTES_DATA_DIR", disk.path().toUtf8());
        const QString id = addNote(QStringLiteral("Kept safe"));
        QVERIFY(!id.isEmpty());
        setPreference(QStringLiteral("lastNoteId"), id);
        QVERIFY(disk.remountReadOnly());

        OmbrelTest::Launch app(binary, disk.path(), m_sockets->path());
        QVERIFY2(app.waitForOutput(startedLine), qPrintable(app.output));
        QVERIFY2(app.waitForOutput(QStringLiteral("Showing the read-only notice")), qPrintable(app.output));
        QVERIFY(app.output.contains(QStringLiteral("Opened read-only")));
        QVERIFY(!app.output.contains(QStringLiteral("Database Error")));
    }

    // The database file write-protected (mode 444) in a writable folder: it opens, says
    // it is read-only, and no edit is accepted. Root writes regardless of the mode, so as
    // root the application runs as "nobody".
    void writeProtectedDatabaseFileOpensReadOnly()
    {
        const bool root = ::geteuid() == 0;
        if (root && QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            QSKIP("running as root without setpriv to drop privileges");
        // Folders the unprivileged user can reach and write.
        QTemporaryDir parent(QDir::tempPath() + QStringLiteral("/ombrel-ro-XXXXXX"));
        QVERIFY(parent.isValid());
        const auto everyone = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                              | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther
                              | QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup;
        const QString data = parent.path() + QStringLiteral("/data");
        const QString sockets = parent.path() + QStringLiteral("/sockets");
        QVERIFY(QDir().mkpath(data) && QDir().mkpath(sockets));
        for (const QString &dir : {parent.path(), data, sockets})
            QVERIFY(QFile::setPermissions(dir, everyone));
        if (root && !QFileInfo(QDir::tempPath()).permissions().testFlag(QFileDevice::ExeOther))
            QSKIP("the temporary folder is closed to other users");

        qputenv("NOTES_DATA_DIR", data.toUtf8());
        const QString id = addNote(QStringLiteral("Read me"));
        QVERIFY(!id.isEmpty());
        setPreference(QStringLiteral("lastNoteId"), id);
        const QStringList files = QDir(data).entryList({QStringLiteral("ombrel_notes_*.db")});
        QCOMPARE(files.size(), 1);
        const QString database = data + QLatin1Char('/') + files.first();
        QVERIFY(QFile::setPermissions(database, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        QVERIFY(QFile::setPermissions(data + QStringLiteral("/client_id"), everyone & ~(QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther)));
        const QByteArray before = OmbrelTest::readAll(database);

        QProcess app;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("NOTES_DATA_DIR"), data);
        environment.insert(QStringLiteral("TMPDIR"), sockets);
        environment.insert(QStringLiteral("HOME"), sockets);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), sockets);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false;ombrel.*.info=true"));
        app.setProcessEnvironment(environment);
        app.setProcessChannelMode(QProcess::MergedChannels);
        if (root)
            app.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                                  QStringLiteral("--clear-groups"), binary});
        else
            app.start(binary);
        QString output;
        QElapsedTimer timer;
        timer.start();
        while (!output.contains(QStringLiteral("Showing the read-only notice")) && timer.elapsed() < 20000
               && app.state() != QProcess::NotRunning) {
            app.waitForReadyRead(100);
            output += QString::fromUtf8(app.readAll());
        }
        app.kill();
        app.waitForFinished(5000);
        output += QString::fromUtf8(app.readAll());
        qputenv("NOTES_DATA_DIR", m_data->path().toUtf8());

        QVERIFY2(output.contains(QStringLiteral("Opened read-only")), qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("Showing the read-only notice")), qPrintable(output));
        QVERIFY(!output.contains(QStringLiteral("Database Error")));
        QCOMPARE(OmbrelTest::readAll(database), before);
    }

    // The error box names the reason and the file and leaves every file as it was.
    void databaseErrorNamesReasonAndLeavesFilesAlone_data()
    {
        QTest::addColumn<QByteArray>("clientId");
        QTest::addColumn<bool>("garbageDatabase");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not-a-database") << QByteArray("abc-123") << true << "file is not a database";
        QTest::newRow("client-id-climbs-out") << QByteArray("../../x") << false << "not a plain id";
        QTest::newRow("client-id-control-character") << QByteArray("a\x07z") << false << "not a plain id";
    }

    void databaseErrorNamesReasonAndLeavesFilesAlone()
    {
        QFETCH(QByteArray, clientId);
        QFETCH(bool, garbageDatabase);
        QFETCH(QString, reason);
        const QString dir = m_data->path();
        QVERIFY(OmbrelTest::writeFile(dir + QStringLiteral("/client_id"), clientId));
        const QString database = dir + QStringLiteral("/ombrel_notes_") + QString::fromUtf8(clientId) + QStringLiteral(".db");
        const QByteArray garbage = QByteArray("plain text, not SQLite\n").repeated(300);
        if (garbageDatabase)
            QVERIFY(OmbrelTest::writeFile(database, garbage));
        // The instance lock is the process's own and comes and goes with it.
        const auto listing = [&dir] {
            QStringList entries = QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
            entries.removeAll(QStringLiteral("ombrel_notes.lock"));
            return entries;
        };
        const QStringList before = listing();

        {
            auto app = launch();
            // The box is modal; the log carries the same text.
            QVERIFY2(app->waitForOutput(QStringLiteral("Database Error:")), qPrintable(app->output));
            app->drain(300);
            QVERIFY2(app->output.contains(reason), qPrintable(app->output));
            if (garbageDatabase)
                QVERIFY2(app->output.contains(database), qPrintable(app->output));
            QVERIFY2(!app->output.contains(startedLine), qPrintable(app->output));
        }
        QCOMPARE(listing(), before);
        QCOMPARE(OmbrelTest::readAll(dir + QStringLiteral("/client_id")), clientId);
        if (garbageDatabase)
            QCOMPARE(OmbrelTest::readAll(database), garbage);
    }

private:
    std::unique_ptr<OmbrelTest::ScopedDataDir> m_data;
    std::unique_ptr<QTemporaryDir> m_sockets;
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
