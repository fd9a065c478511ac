#include "application.h"

#include "applog.h"
#include "appstate.h"
#include "firstpaintprobe.h"
#include "mainwindow.h"
#include "noterepository.h"
#include "notewindow.h"
#include "paths.h"
#include "preferencesrepository.h"
#include "singleinstance.h"

#include <QDir>
#include <QFontDatabase>
#include <QIcon>
#include <QMessageBox>

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setOrganizationName(QStringLiteral("Ombrel"));
    setOrganizationDomain(QStringLiteral("ombrel.app"));
    setApplicationName(QStringLiteral("Notes"));
    setApplicationVersion(QStringLiteral("1.0.3"));

    // The weights beyond regular keep 500/600/700 text (titles, headings) from being
    // drawn as synthesised or plain regular.
    for (const char *font : {":/fonts/IBMPlexSans.ttf", ":/fonts/IBMPlexSans-Italic.ttf",
                             ":/fonts/IBMPlexSans-Medium.ttf", ":/fonts/IBMPlexSans-SemiBold.ttf",
                             ":/fonts/IBMPlexSans-Bold.ttf", ":/fonts/IBMPlexMono-Medium.ttf",
                             ":/fonts/MaterialIcons-Regular.otf"}) {
        if (QFontDatabase::addApplicationFont(QLatin1String(font)) < 0)
            qCWarning(lcApp) << "Could not load font" << font;
    }
    // Menus, dialogs and note text use the bundled face; the platform size stays.
    QFont interfaceFont = QApplication::font();
    interfaceFont.setFamilies({QStringLiteral("IBM Plex Sans")});
    setFont(interfaceFont);
    setWindowIcon(QIcon(QStringLiteral(":/icons/app-icon.png")));
}

// The windows go before the state they point into, and while the application object
// still exists.
Application::~Application()
{
    delete m_mainWindow.data();
    delete m_appState;
    m_appState = nullptr;
}

MainWindow *Application::mainWindow() const
{
    return m_mainWindow.data();
}

int Application::run()
{
    m_singleInstance = new SingleInstance(QLatin1String(InstanceServerName), this);
    m_singleInstance->setLockFile(dataDirectory() + QLatin1String("/ombrel_notes.lock"));
    if (!m_singleInstance->tryRun(buildInstanceMessage(arguments()))) {
        if (m_singleInstance->forwarded())
            return 0;
        QMessageBox::warning(nullptr, tr("Ombrel Notes"),
                             tr("Another instance of Ombrel Notes is using the library in %1 but does "
                                "not answer.\n\nClose it, or wait until it responds, and try again.")
                                 .arg(QDir::toNativeSeparators(dataDirectory())),
                             QMessageBox::Ok);
        return 1;
    }

    m_appState = new AppState(this);
    if (!m_appState->initialize()) {
        showDatabaseError();
        return 1;
    }

    m_appState->setNoteWindowFactory([](AppState *state, const QString &noteId) -> QWidget * {
        auto *window = new NoteWindow(state, noteId);
        connect(window, &NoteWindow::windowClosed, state, &AppState::noteWindowClosed);
        return window;
    });

    connect(m_singleInstance, &SingleInstance::messageReceived, this, &Application::handleInstanceMessage);

    // Windows asked for on the command line open before the main window exists.
    const LaunchRequest request = parseLaunchRequest(arguments());
    if (request.newNote)
        m_appState->openNewNoteWindow();
    else if (!request.noteId.isEmpty())
        m_appState->openNoteWindow(request.noteId);

    m_mainWindow = new MainWindow(m_appState);
    PreferencesRepository *preferences = m_appState->preferences();
    const bool noteRequested = request.newNote || !request.noteId.isEmpty();
    const bool startMinimized = preferences->getBool(QStringLiteral("start_minimized"), false);
    if (FirstPaintProbe::requested())
        FirstPaintProbe::watch(m_mainWindow);
    if (!noteRequested && !startMinimized)
        m_mainWindow->show();

    restoreWindowsOfLastRun();

    // Queued: the notice must not open inside the save that found the file read-only.
    connect(m_appState, &AppState::readOnlyChanged, this, &Application::showReadOnlyNotice, Qt::QueuedConnection);
    if (m_appState->isReadOnly())
        QMetaObject::invokeMethod(this, &Application::showReadOnlyNotice, Qt::QueuedConnection);

    int visibleWindows = 0;
    const QWidgetList windows = topLevelWidgets();
    for (const QWidget *window : windows)
        visibleWindows += window->isVisible() && window->isWindow() ? 1 : 0;
    qCInfo(lcApp) << "Start-up complete; main window visible:" << m_mainWindow->isVisible()
                  << "visible windows:" << visibleWindows;

    return exec();
}

// The driver's own reason and the file it concerns: "check permissions" alone sends the
// user looking in the wrong place when the file is damaged or not a database at all.
void Application::showDatabaseError()
{
    const QString reason = m_appState->initializationError().isEmpty() ? tr("Unknown error.")
                                                                       : m_appState->initializationError();
    QString text = tr("Failed to initialize the database.\n\n%1\n\n").arg(reason);
    if (!m_appState->databaseFile().isEmpty())
        text += tr("Database file: %1\n").arg(QDir::toNativeSeparators(m_appState->databaseFile()));
    text += tr("Data directory: %1").arg(QDir::toNativeSeparators(dataDirectory()));
    qCCritical(lcApp).noquote() << "Database Error:" << text;
    QMessageBox::critical(nullptr, tr("Database Error"), text, QMessageBox::Ok);
}

void Application::showReadOnlyNotice()
{
    qCWarning(lcApp) << "Showing the read-only notice";
    QMessageBox::warning(m_mainWindow && m_mainWindow->isVisible() ? m_mainWindow.data() : nullptr,
                         tr("Read-Only Library"),
                         tr("%1\n\nOmbrel Notes shows your notes but cannot store changes, so editing is "
                            "turned off. Check the permissions of the file and the free space of the "
                            "disk, then start Ombrel Notes again.")
                             .arg(m_appState->readOnlyReason()),
                         QMessageBox::Ok);
}

// Quit records the open note windows and the To-Dos window; they come back once.
void Application::restoreWindowsOfLastRun()
{
    PreferencesRepository *preferences = m_appState->preferences();
    const QString noteWindowsKey = QStringLiteral("restore_note_windows");
    const QString restore = preferences->get(noteWindowsKey);
    if (!restore.isEmpty()) {
        const QStringList ids = restore.split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (const QString &id : ids) {
            // A note deleted or trashed since (by sync, say) would open as an empty window.
            const std::optional<Note> note = m_appState->notes()->findById(id);
            if (!note || note->deletedAt) {
                qCInfo(lcApp) << "Not restoring the window of a missing or trashed note:" << id;
                continue;
            }
            m_appState->openNoteWindow(id);
            qCInfo(lcApp).noquote() << "Restored note window:" << id;
        }
        preferences->remove(noteWindowsKey);
    }

    const QString todosKey = QStringLiteral("restore_todos_window");
    if (preferences->find(todosKey)) {
        const bool reopen = preferences->getBool(todosKey, false);
        preferences->remove(todosKey);
        if (reopen) {
            m_mainWindow->showTodosScreen();
            qCInfo(lcApp) << "Restored the To-Dos window";
        }
    }
}

void Application::handleInstanceMessage(const QString &message)
{
    qCInfo(lcApp) << "Instance message received:" << message;
    if (!m_appState)
        return;
    const QString notePrefix = QStringLiteral("note:");
    if (message == QLatin1String("new-note")) {
        m_appState->openNewNoteWindow();
    } else if (message.startsWith(notePrefix) && message.size() > notePrefix.size()) {
        m_appState->openNoteWindow(message.mid(notePrefix.size()));
    } else {
        focusMainWindow();
    }
}

void Application::focusMainWindow()
{
    if (!m_mainWindow)
        return;
    if (m_mainWindow->isMinimized())
        m_mainWindow->showNormal();
    else
        m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
    qCInfo(lcApp) << "Main window focused";
}
