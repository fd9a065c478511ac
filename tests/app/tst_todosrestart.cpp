#include "appstate.h"
#include "application.h"
#include "launch.h"
#include "mainwindow.h"
#include "preferencesrepository.h"
#include "testsupport.h"
#include "todosscreen.h"

#include <QAction>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstring>

namespace {

const QString binary = QStringLiteral(OMBREL_NOTES_BINARY);
const char quitFlag[] = "--quit-from-menu";
const char withTodosFlag[] = "--with-todos";
const QString restoredLine = QStringLiteral("Restored the To-Dos window");
const QString startedLine = QStringLiteral("Start-up complete");

// The first run: the real application object, started as the executable starts it,
// whose user opens the To-Dos window (or not) and chooses Quit from the File menu.
int runApplicationAndQuit(int argc, char **argv, bool openTodos)
{
    Application app(argc, argv);
    QTimer::singleShot(0, &app, [&app, openTodos] {
        MainWindow *window = app.mainWindow();
        if (!window) {
            QCoreApplication::exit(3);
            return;
        }
        if (openTodos)
            window->findChild<QAction *>(QStringLiteral("todosAction"))->trigger();
        window->findChild<QAction *>(QStringLiteral("quitAction"))->trigger();
    });
    return app.run();
}

} // namespace

// Quitting with the To-Dos window open brings it back at the next start, once; real
// processes on both sides of the restart.
class TestTodosRestart : public QObject
{
    Q_OBJECT

private:
    // Runs this test program as the application for one session that ends with Quit.
    bool quitSession(bool openTodos)
    {
        QProcess first;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("NOTES_DATA_DIR"), m_data->path());
        environment.insert(QStringLiteral("TMPDIR"), m_sockets->path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_sockets->path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        first.setProcessEnvironment(environment);
        first.setProcessChannelMode(QProcess::MergedChannels);
        QStringList arguments{QLatin1String(quitFlag)};
        if (openTodos)
            arguments.append(QLatin1String(withTodosFlag));
        first.start(QCoreApplication::applicationFilePath(), arguments);
        if (!first.waitForFinished(30000)) {
            first.kill();
            first.waitForFinished(5000);
            qWarning() << "The first session did not quit:" << first.readAll();
            return false;
        }
        // A sanitizer build may end with its own exit code after a clean quit; what the
        // session recorded is checked by the caller.
        if (first.exitStatus() != QProcess::NormalExit) {
            qWarning() << "The first session crashed:" << first.readAll();
            return false;
        }
        if (first.exitCode() != 0)
            qWarning() << "The first session exited with" << first.exitCode() << first.readAll();
        return true;
    }

    std::optional<QString> preference(const QString &key)
    {
        AppState state;
        if (!state.initialize())
            return QStringLiteral("<database failed>");
        return state.preferences()->find(key);
    }

    std::unique_ptr<OmbrelTest::ScopedDataDir> m_data;
    std::unique_ptr<QTemporaryDir> m_sockets;

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

    void todosWindowComesBackOnce_data()
    {
        QTest::addColumn<bool>("openTodos");
        QTest::newRow("open-at-quit") << true;
        QTest::newRow("not-open-at-quit") << false;
    }

    void todosWindowComesBackOnce()
    {
        QFETCH(bool, openTodos);
        QVERIFY(quitSession(openTodos));
        QCOMPARE(preference(QStringLiteral("restore_todos_window")).value_or(QStringLiteral("<absent>")),
                 openTodos ? QStringLiteral("1") : QStringLiteral("0"));

        {
            OmbrelTest::Launch second(binary, m_data->path(), m_sockets->path());
            QVERIFY2(second.waitForOutput(startedLine), qPrintable(second.output));
            QCOMPARE(second.output.contains(restoredLine), openTodos);
            QVERIFY(second.output.contains(openTodos ? QStringLiteral("visible windows: 2")
                                                     : QStringLiteral("visible windows: 1")));
        }
        QVERIFY(!preference(QStringLiteral("restore_todos_window")));

        // The process above was killed, not quit: nothing asks for the window again.
        OmbrelTest::Launch third(binary, m_data->path(), m_sockets->path());
        QVERIFY2(third.waitForOutput(startedLine), qPrintable(third.output));
        QVERIFY(!third.output.contains(restoredLine));
    }
};

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], quitFlag) == 0) {
        const bool openTodos = argc > 2 && std::strcmp(argv[2], withTodosFlag) == 0;
        int appArgc = 1;
        return runApplicationAndQuit(appArgc, argv, openTodos);
    }
    QApplication app(argc, argv);
    TestTodosRestart test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_todosrestart.moc"
