#include "application.h"
#include "appstate.h"
#include "findbar.h"
#include "movetonotebookdialog.h"
#include "mainwindow.h"
#include "notebookrepository.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "notelistwidget.h"
#include "welcomescreen.h"
#include "noterepository.h"
#include "notewindow.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUuid>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

#include <sys/types.h>
#include <sys/wait.h>

namespace {

// A screen shorter than the main window's default height, as on many laptops.
constexpr int ScreenWidth = 1100;
constexpr int ScreenHeight = 700;

// An X server and window manager of the test's own, so that placement, frames and
// activation are those of a real desktop; the offscreen platform has none of them.
class XServer
{
public:
    ~XServer() { stop(); }

    bool start()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty()) {
            m_reason = QStringLiteral("Xvfb is not installed");
            return false;
        }
        for (int display = 200 + int(QCoreApplication::applicationPid() % 400); display < 1000; display += 7) {
            if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(display)))
                continue;
            qint64 pid = 0;
            const QStringList arguments{QStringLiteral(":%1").arg(display), QStringLiteral("-screen"),
                                        QStringLiteral("0"),
                                        QStringLiteral("%1x%2x24").arg(ScreenWidth).arg(ScreenHeight),
                                        QStringLiteral("-nolisten"), QStringLiteral("tcp")};
            if (!startQuietly(xvfb, arguments, &pid))
                continue;
            const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(display);
            for (int i = 0; i < 100 && !QFile::exists(socket); ++i)
                QThread::msleep(50);
            if (!QFile::exists(socket) || !alive(pid)) {
                terminate(pid);
                continue;
            }
            m_xvfb = pid;
            m_display = QStringLiteral(":%1").arg(display);
            break;
        }
        if (m_display.isEmpty()) {
            m_reason = QStringLiteral("no X server could be started");
            return false;
        }
        qputenv("DISPLAY", m_display.toLatin1());
        const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        if (!openbox.isEmpty()) {
            qint64 pid = 0;
            if (startQuietly(openbox, {}, &pid))
                m_windowManager = pid;
            QThread::msleep(500);
        }
        return true;
    }

    void stop()
    {
        terminate(m_windowManager);
        terminate(m_xvfb);
        m_windowManager = 0;
        m_xvfb = 0;
    }

    bool hasWindowManager() const { return m_windowManager > 0; }
    QString reason() const { return m_reason; }

private:
    // Detached children must not hold the test's output open: if the test dies before
    // stopping them, the runner would wait on that output until its timeout.
    static bool startQuietly(const QString &program, const QStringList &arguments, qint64 *pid)
    {
        QProcess process;
        process.setProgram(program);
        process.setArguments(arguments);
        process.setStandardInputFile(QProcess::nullDevice());
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        return process.startDetached(pid);
    }

    static bool alive(qint64 pid) { return pid > 0 && ::kill(pid_t(pid), 0) == 0; }

    static void terminate(qint64 pid)
    {
        if (pid <= 0)
            return;
        ::kill(pid_t(pid), SIGTERM);
        for (int i = 0; i < 40 && alive(pid); ++i)
            QThread::msleep(50);
        if (alive(pid))
            ::kill(pid_t(pid), SIGKILL);
    }

    qint64 m_xvfb = 0;
    qint64 m_windowManager = 0;
    QString m_display;
    QString m_reason;
};

QString textBody(const QString &text)
{
    return QStringLiteral("[{\"insert\":\"%1\\n\"}]").arg(text);
}

QString rectText(const QRect &rect)
{
    return QStringLiteral("%1,%2 %3x%4").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

} // namespace

// Window sizes, places and keyboard focus on a real X display with a window manager.
class TestMainWindowXServer : public QObject
{
    Q_OBJECT

public:
    explicit TestMainWindowXServer(bool hasWindowManager)
        : m_hasWindowManager(hasWindowManager)
    {
    }

private Q_SLOTS:
    void initTestCase()
    {
        OmbrelTest::initTestEnvironment();
        QVERIFY(m_settingsDir.isValid());
        OmbrelTest::isolateSettings(m_settingsDir.path());
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    }

    void init()
    {
        QSettings(QStringLiteral("Ombrel"), QStringLiteral("Notes")).clear();
        m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>();
        m_state = std::make_unique<AppState>();
        QVERIFY(m_state->initialize());
        m_state->setNoteWindowFactory([](AppState *state, const QString &noteId) -> QWidget * {
            auto *window = new NoteWindow(state, noteId);
            QObject::connect(window, &NoteWindow::windowClosed, state, &AppState::noteWindowClosed);
            return window;
        });
    }

    void cleanup()
    {
        m_window.reset();
        m_state.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_dataDir.reset();
    }

    void firstStartFitsTheScreen()
    {
        openMainWindow();
        const QRect available = m_window->screen()->availableGeometry();
        QVERIFY2(available.contains(m_window->frameGeometry()),
                 qPrintable(rectText(m_window->frameGeometry()) + QLatin1String(" outside ") + rectText(available)));
        // The status bar is on the screen, not below it.
        const QRect statusBar(m_window->statusBar()->mapToGlobal(QPoint(0, 0)), m_window->statusBar()->size());
        QVERIFY(available.contains(statusBar));
        screenshot(QStringLiteral("main-window-first-start"));
    }

    void noteWindowsOpenCascadedBesideTheMainWindow()
    {
        openMainWindow();
        QStringList ids;
        for (const QString &text : {QStringLiteral("First window"), QStringLiteral("Second window")}) {
            Note note;
            note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
            note.body = textBody(text);
            note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
            QVERIFY(m_state->notes()->insert(note));
            ids.append(note.id);
        }
        QList<QPointer<QWidget>> windows;
        for (const QString &id : std::as_const(ids)) {
            m_state->openNoteWindow(id);
            windows.append(m_state->noteWindow(id));
            QVERIFY(windows.last());
            QVERIFY(QTest::qWaitForWindowExposed(windows.last()));
        }
        QTest::qWait(200);
        const QRect available = m_window->screen()->availableGeometry();
        const QRect main = m_window->frameGeometry();
        const QRect first = windows.at(0)->frameGeometry();
        const QRect second = windows.at(1)->frameGeometry();
        for (const QRect &frame : {first, second})
            QVERIFY2(available.contains(frame), qPrintable(rectText(frame) + QLatin1String(" outside ") + rectText(available)));
        // Below the main window's title and menu bar, and a step apart from each other.
        QVERIFY2(first.top() > main.top() && first.left() > main.left(),
                 qPrintable(rectText(first) + QLatin1String(" over ") + rectText(main)));
        QVERIFY((first.topLeft() - main.topLeft()).manhattanLength() < 200);
        QVERIFY(second.top() > first.top() && second.left() > first.left());
        screenshot(QStringLiteral("note-windows-cascaded"));
    }

    void newNoteWindowTakesTheKeyboard()
    {
        openMainWindow();
        QWidget *created = m_state->openNewNoteWindow();
        QVERIFY(created);
        auto *window = qobject_cast<NoteWindow *>(created);
        if (m_hasWindowManager)
            QVERIFY(QTest::qWaitForWindowActive(window));
        else
            QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->focusWidget(), window->editor());
        QTest::keyClicks(window->focusWidget(), QStringLiteral("Typed at once"));
        QCOMPARE(window->editor()->toPlainText(), QStringLiteral("Typed at once"));
        screenshot(QStringLiteral("new-note-window-focus"));
    }

    // Ctrl+F while typing, and the Edit menu clicked with the mouse, open the find bar.
    void findInNote_data()
    {
        QTest::addColumn<bool>("inNoteWindow");
        QTest::addColumn<bool>("byMenu");
        QTest::newRow("main-window-typing") << false << false;
        QTest::newRow("main-window-menu") << false << true;
        QTest::newRow("note-window-typing") << true << false;
        QTest::newRow("note-window-menu") << true << true;
    }

    void findInNote()
    {
        QFETCH(bool, inNoteWindow);
        QFETCH(bool, byMenu);
        const QString id = addNote(QStringLiteral("needle and another needle"));
        m_state->setCurrentNoteId(id);
        openMainWindow();
        QMainWindow *window = m_window.get();
        NoteEditor *editor = m_window->editor();
        FindBar *findBar = m_window->findBar();
        if (inNoteWindow) {
            m_state->openNoteWindow(id);
            auto *noteWindow = qobject_cast<NoteWindow *>(m_state->noteWindow(id));
            QVERIFY(noteWindow);
            window = noteWindow;
            editor = noteWindow->editor();
            findBar = noteWindow->findBar();
        }
        if (m_hasWindowManager)
            QVERIFY(QTest::qWaitForWindowActive(window));
        editor->setFocus();
        QTest::keyClicks(editor, QStringLiteral("typing "));

        if (byMenu) {
            QMenuBar *bar = window->menuBar();
            QAction *editMenu = nullptr;
            for (QAction *action : bar->actions()) {
                if (action->text() == QLatin1String("&Edit"))
                    editMenu = action;
            }
            QVERIFY(editMenu);
            QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(editMenu).center());
            QTRY_VERIFY(editMenu->menu()->isVisible());
            QAction *find = nullptr;
            for (QAction *action : editMenu->menu()->actions()) {
                if (action->text() == QLatin1String("Find in Note..."))
                    find = action;
            }
            QVERIFY(find);
            QTest::mouseClick(editMenu->menu(), Qt::LeftButton, {},
                              editMenu->menu()->actionGeometry(find).center());
        } else {
            QTest::keyClick(editor, Qt::Key_F, Qt::ControlModifier);
        }
        QTRY_VERIFY(findBar->isVisible());
        QTRY_VERIFY(findBar->isAncestorOf(QApplication::focusWidget()));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("needle"));
        QCOMPARE(findBar->matchCount(), 2);
        screenshot(QStringLiteral("find-bar-") + QLatin1String(QTest::currentDataTag()));
    }

    // Menus and dialogs are set in the application's face, not the platform's default.
    void menusAndDialogsUseTheApplicationFont()
    {
        openMainWindow();
        const QString family = QStringLiteral("IBM Plex Sans");
        QCOMPARE(QFontInfo(m_window->menuBar()->font()).family(), family);

        QMenu menu(m_window.get());
        menu.addAction(QStringLiteral("Move to Trash"));
        menu.popup(m_window->mapToGlobal(QPoint(200, 200)));
        QVERIFY(QTest::qWaitForWindowExposed(&menu));
        QCOMPARE(QFontInfo(menu.font()).family(), family);
        screenshot(QStringLiteral("context-menu-font"));
        menu.close();

        QMessageBox box(QMessageBox::Question, QStringLiteral("Move to Trash"),
                        QStringLiteral("Move \"Groceries\" to Trash?"), QMessageBox::Yes | QMessageBox::No,
                        m_window.get());
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        for (QWidget *child : box.findChildren<QWidget *>()) {
            if (qobject_cast<QLabel *>(child) || qobject_cast<QAbstractButton *>(child))
                QCOMPARE(QFontInfo(child->font()).family(), family);
        }
        screenshot(QStringLiteral("message-box-font"));
        box.close();

        MoveToNotebookDialog dialog({}, QString(), m_window.get());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(QFontInfo(dialog.font()).family(), family);
        QCOMPARE(QFontInfo(dialog.notebookList()->font()).family(), family);
    }

    void headerBarIsInertWithoutANote()
    {
        openMainWindow();
        Q_EMIT m_window->welcomeScreen()->dismissRequested();
        QVERIFY(m_window->headerBar()->isVisible());
        for (const char *name : {"notebookChip", "copyButton", "historyButton", "moreButton"})
            QVERIFY2(!m_window->headerBar()->findChild<QWidget *>(QLatin1String(name))->isEnabled(), name);
        QVERIFY(!m_window->headerBar()->findChild<QWidget *>(QStringLiteral("notebookChip"))->isVisible());
        screenshot(QStringLiteral("header-bar-without-a-note"));
    }

    // Two hundred notebooks: the submenu opens as a short list inside the screen, not as
    // columns across it.
    void longNotebookListKeepsTheMoveMenuOnScreen()
    {
        for (int i = 0; i < 200; ++i) {
            Notebook notebook;
            notebook.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
            notebook.name = QStringLiteral("Notebook %1").arg(i, 3, 10, QLatin1Char('0'));
            notebook.createdAt = notebook.updatedAt = QDateTime::currentDateTimeUtc();
            QVERIFY(m_state->notebooks()->insert(notebook));
        }
        const QString id = addNote(QStringLiteral("Filed somewhere"));
        m_state->setCurrentNoteId(id);
        openMainWindow();

        QRect submenu;
        QTimer::singleShot(300, this, [this, &submenu] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction *action : menu->actions()) {
                if (action->menu()) {
                    menu->setActiveAction(action);
                    action->menu()->popup(menu->mapToGlobal(menu->actionGeometry(action).topRight()));
                    QTest::qWait(300);
                    submenu = action->menu()->frameGeometry();
                    screenshot(QStringLiteral("move-submenu-two-hundred-notebooks"));
                    action->menu()->close();
                }
            }
            menu->close();
        });
        const QRect row = m_window->noteList()->visualRect(m_window->noteList()->indexOfRow(0));
        Q_EMIT m_window->noteList()->noteContextMenuRequested(
            id, m_window->noteList()->viewport()->mapToGlobal(row.center()));
        const QRect available = m_window->screen()->availableGeometry();
        QVERIFY(submenu.isValid());
        QVERIFY2(available.contains(submenu), qPrintable(rectText(submenu)));
        QVERIFY(submenu.width() < available.width() / 3);
    }

private:
    QString addNote(const QString &text)
    {
        Note note;
        note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        note.body = textBody(text);
        note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
        return m_state->notes()->insert(note) ? note.id : QString();
    }

    void openMainWindow()
    {
        m_window = std::make_unique<MainWindow>(m_state.get());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        if (m_hasWindowManager) {
            // The frame arrives with the window manager's first configure.
            QTRY_VERIFY(m_window->frameGeometry() != m_window->geometry());
        }
    }

    // For a person to look at: set OMBREL_SCREENSHOT_DIR to keep the screen as a PNG.
    void screenshot(const QString &name)
    {
        const QString directory = qEnvironmentVariable("OMBREL_SCREENSHOT_DIR");
        if (directory.isEmpty())
            return;
        QTest::qWait(300);
        QDir().mkpath(directory);
        QGuiApplication::primaryScreen()->grabWindow(0).save(directory + QLatin1Char('/') + name
                                                             + QLatin1String(".png"));
    }

    const bool m_hasWindowManager;
    QTemporaryDir m_settingsDir;
    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_window;
};

int main(int argc, char **argv)
{
    XServer server;
    if (!server.start()) {
        std::printf("SKIP: real-window tests need an X server (%s)\n", qPrintable(server.reason()));
        return 77;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    int status = 0;
    {
        // The application object itself, for the fonts it installs.
        Application app(argc, argv);
        TestMainWindowXServer test(server.hasWindowManager());
        status = QTest::qExec(&test, argc, argv);
    }
    server.stop();
    return status;
}

#include "tst_mainwindow_xserver.moc"
