#include "mainwindow.h"

#include "appstate.h"
#include "authclient.h"
#include "client.h"
#include "deltadocument.h"
#include "editortoolbar.h"
#include "findbar.h"
#include "notebooklistwidget.h"
#include "notebookrepository.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "notelistwidget.h"
#include "noterepository.h"
#include "preferencesrepository.h"
#include "recentnotebooks.h"
#include "statusbar.h"
#include "thememanager.h"
#include "uilog.h"
#include "welcomescreen.h"
#include "windowplacement.h"

#include <QAction>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr int SearchDebounceMs = 300;
constexpr int DefaultSidebarWidth = 200;
constexpr int DefaultListWidth = 260;
constexpr int DefaultEditorWidth = 800;
constexpr int MinimumEditorWidth = 100;

const QString settingsGroup = QStringLiteral("mainWindow");
const QString geometryKey = QStringLiteral("geometry");
const QString windowStateKey = QStringLiteral("windowState");
const QString splitterSizesKey = QStringLiteral("normalSplitterSizes");
const QString focusModeKey = QStringLiteral("focusMode");
const QString sidebarVisibleKey = QStringLiteral("notebookSidebarVisible");

QSettings windowSettings()
{
    return QSettings(QStringLiteral("Ombrel"), QStringLiteral("Notes"));
}

// "200,260,800"; anything but three non-negative base-10 integers is ignored.
QList<int> parseSplitterSizes(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 3)
        return {};
    QList<int> sizes;
    for (const QString &part : parts) {
        bool ok = false;
        const int value = part.toInt(&ok, 10);
        if (!ok || value < 0)
            return {};
        sizes.append(value);
    }
    return sizes;
}

} // namespace

MainWindow::MainWindow(AppState *appState, QWidget *parent)
    : QMainWindow(parent)
    , m_appState(appState)
    , m_trayProbe([] { return QSystemTrayIcon::isSystemTrayAvailable(); })
{
    setWindowTitle(tr("Ombrel Notes"));

    createMenuBar();
    createUI();
    wireSignals();
    restoreWindowState();

    {
        QSettings settings = windowSettings();
        settings.beginGroup(settingsGroup);
        m_sidebarVisible = settings.value(sidebarVisibleKey, true).toBool();
        m_focusMode = settings.value(focusModeKey, false).toBool();
    }
    {
        const QSignalBlocker focusBlocker(m_focusModeAction);
        const QSignalBlocker sidebarBlocker(m_sidebarAction);
        m_focusModeAction->setChecked(m_focusMode);
        m_sidebarAction->setChecked(m_sidebarVisible);
    }
    applyPaneLayout();

    // The font size and the list pane's order are settled before the first fill, so
    // start-up reads the list once and loads the last note once.
    if (m_appState->preferences()) {
        connect(m_appState->preferences(), &PreferencesRepository::changed, this,
                &MainWindow::onPreferenceChanged);
    }
    applyEditorFontSize();
    reloadNotebookNames();
    reloadTrashedIds();
    m_seenSerial = m_appState->notes()->changeSerial();
    applyStenoMode();
    refreshNotebookList();

    const QString lastNoteId = m_appState->currentNoteId();
    if (!lastNoteId.isEmpty()) {
        if (m_noteList->rowOf(lastNoteId) >= 0) {
            const QSignalBlocker blocker(m_noteList);
            m_noteList->selectNote(lastNoteId);
        } else if (m_fill.active) {
            // Not on the first screen: selected when the fill reaches it.
            m_fill.pendingSelection = lastNoteId;
        }
        openNote(lastNoteId, false);
    }

    updateNoteActions();
    setupTray();
    m_constructing = false;
    updateCentralPage();
    startTextIndexBuild();
}

void MainWindow::createUI()
{
    m_sidebarPane = new QWidget(this);
    m_sidebarPane->setObjectName(QStringLiteral("sidebarPane"));
    auto *sidebarLayout = new QVBoxLayout(m_sidebarPane);
    sidebarLayout->setContentsMargins(0, 0, 0, 0);
    sidebarLayout->setSpacing(0);
    m_notebookList = new NotebookListWidget(m_sidebarPane);
    sidebarLayout->addWidget(m_notebookList);

    m_listPane = new QWidget(this);
    m_listPane->setObjectName(QStringLiteral("listPane"));
    m_listLayout = new QVBoxLayout(m_listPane);
    m_listLayout->setContentsMargins(0, 0, 0, 0);
    m_listLayout->setSpacing(0);
    m_searchContainer = new QWidget(m_listPane);
    m_searchContainer->setObjectName(QStringLiteral("searchContainer"));
    auto *searchLayout = new QHBoxLayout(m_searchContainer);
    searchLayout->setContentsMargins(8, 8, 8, 8);
    m_searchField = new QLineEdit(m_searchContainer);
    m_searchField->setObjectName(QStringLiteral("searchField"));
    m_searchField->setPlaceholderText(tr("Search..."));
    m_searchField->setClearButtonEnabled(true);
    searchLayout->addWidget(m_searchField);
    m_noteList = new NoteListWidget(m_listPane);
    m_noteList->setNotebookNameResolver([this](const QString &notebookId) {
        return notebookName(notebookId);
    });
    NoteRepository *notes = m_appState->notes();
    m_noteList->setBodyProvider([notes](const QString &noteId) {
        return notes ? notes->bodyOf(noteId).value_or(QString()) : QString();
    });
    m_listLayout->addWidget(m_searchContainer);
    m_listLayout->addWidget(m_noteList);

    m_editorPane = new QWidget(this);
    m_editorPane->setObjectName(QStringLiteral("editorPane"));
    m_editorPane->setMinimumWidth(MinimumEditorWidth);
    auto *editorPaneLayout = new QVBoxLayout(m_editorPane);
    editorPaneLayout->setContentsMargins(0, 0, 0, 0);
    editorPaneLayout->setSpacing(0);
    m_centralStack = new QStackedWidget(m_editorPane);
    editorPaneLayout->addWidget(m_centralStack);

    m_editorPage = new QWidget(m_centralStack);
    m_editorPage->setObjectName(QStringLiteral("editorPage"));
    auto *pageLayout = new QVBoxLayout(m_editorPage);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(0);
    m_headerBar = new NoteHeaderBar(m_editorPage);
    m_toolbar = new EditorToolbar(m_editorPage);
    m_editor = new NoteEditor(m_editorPage);
    m_editor->setAttachmentRepository(m_appState->attachments());
    m_editor->setFrameShape(QFrame::NoFrame);
    m_findBar = new FindBar(m_editor, m_editorPage);
    m_toolbar->bindEditor(m_editor);
    m_toolbar->setToolbarActive(false);
    m_headerBar->setNoteEditable(false);
    pageLayout->addWidget(m_headerBar);
    pageLayout->addWidget(m_toolbar);
    pageLayout->addWidget(m_editor, 1);
    pageLayout->addWidget(m_findBar);
    m_centralStack->addWidget(m_editorPage);

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("mainSplitter"));
    m_splitter->setHandleWidth(1);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(m_sidebarPane);
    m_splitter->addWidget(m_listPane);
    m_splitter->addWidget(m_editorPane);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 0);
    m_splitter->setStretchFactor(2, 1);
    m_splitter->setSizes({DefaultSidebarWidth, DefaultListWidth, DefaultEditorWidth});
    setCentralWidget(m_splitter);

    m_statusBar = new StatusBar(this);
    setStatusBar(m_statusBar);

    m_searchTimer.setSingleShot(true);
    m_searchTimer.setInterval(SearchDebounceMs);

    wireAccount();
}

// Made when first shown: a library that reopens its last note never needs it, and its
// construction is a good part of start-up.
WelcomeScreen *MainWindow::welcomeScreen()
{
    if (m_welcomeScreen)
        return m_welcomeScreen;
    m_welcomeScreen = new WelcomeScreen(m_appState, m_centralStack);
    m_centralStack->insertWidget(0, m_welcomeScreen);
    connect(m_welcomeScreen, &WelcomeScreen::dismissRequested, this, [this] {
        m_centralStack->setCurrentWidget(m_editorPage);
    });
    m_welcomeScreen->setSignedInProbe([this] { return isSignedIn(); });
    if (OmbrAccount::Client *account = m_appState->account()) {
        OmbrAccount::AuthClient *auth = account->authClient();
        connect(m_welcomeScreen, &WelcomeScreen::signInRequested, auth, &OmbrAccount::AuthClient::login);
        connect(m_welcomeScreen, &WelcomeScreen::signOutRequested, auth, &OmbrAccount::AuthClient::logout);
    }
    m_welcomeScreen->refreshAuthState();
    return m_welcomeScreen;
}

void MainWindow::wireAccount()
{
    OmbrAccount::Client *account = m_appState->account();
    const auto showAuthState = [this] {
        m_statusBar->setStatusText(isSignedIn() ? tr("Signed in") : tr("Not signed in"));
        updateAuthUI();
    };
    showAuthState();
    if (!account)
        return;
    OmbrAccount::AuthClient *auth = account->authClient();
    connect(account, &OmbrAccount::Client::authStateChanged, this, showAuthState);
    connect(auth, &OmbrAccount::AuthClient::loginFailed, this, [this](const QString &error) {
        m_statusBar->showToast(tr("Sign-in failed: %1").arg(error), 5000);
    });
}

void MainWindow::wireSignals()
{
    connect(m_searchField, &QLineEdit::textChanged, this, [this] { m_searchTimer.start(); });
    connect(&m_searchTimer, &QTimer::timeout, this, &MainWindow::refreshNoteList);
    connect(&m_fillTimer, &QTimer::timeout, this, &MainWindow::fillListChunk);
    m_noteList->installEventFilter(this);
    installEventFilter(this);
    connect(m_noteList->verticalScrollBar(), &QScrollBar::valueChanged, this, &MainWindow::onListScrolled);
    connect(m_splitter, &QSplitter::splitterMoved, this, &MainWindow::captureSplitterSizes);

    connect(m_notebookList, &NotebookListWidget::allNotesSelected, this, [this] {
        m_appState->setCurrentNotebookId(QString());
        refreshNoteList();
    });
    connect(m_notebookList, &NotebookListWidget::notebookSelected, this, [this](const QString &id) {
        RecentNotebooks::touch(m_appState->preferences(), id);
        m_appState->setCurrentNotebookId(id);
        refreshNoteList();
    });
    connect(m_notebookList, &NotebookListWidget::newNotebookRequested, this, &MainWindow::createNotebook);
    connect(m_notebookList, &NotebookListWidget::notebookContextMenuRequested, this,
            &MainWindow::showNotebookContextMenu);
    connect(m_notebookList, &NotebookListWidget::noteDroppedOnNotebook, this,
            [this](const QString &noteId, const QString &notebookId) {
                RecentNotebooks::touch(m_appState->preferences(), notebookId);
                m_appState->notes()->moveToNotebook(noteId, notebookId);
            });

    connect(m_noteList, &NoteListWidget::noteSelected, this, &MainWindow::switchToNote);
    connect(m_noteList, &NoteListWidget::noteDoubleClicked, this, [this](const QString &noteId) {
        m_appState->openNoteWindow(noteId);
    });
    connect(m_noteList, &NoteListWidget::noteActivated, this, [this] { m_editor->setFocus(); });
    connect(m_noteList, &NoteListWidget::noteDeleteRequested, this, [this] { moveCurrentNoteToTrash(false); });
    connect(m_noteList, &NoteListWidget::noteContextMenuRequested, this, &MainWindow::showNoteContextMenu);

    connect(m_editor, &NoteEditor::noteModified, this, &MainWindow::saveCurrentNote);
    connect(m_appState, &AppState::readOnlyChanged, this, &MainWindow::applyReadOnly);
    connect(m_editor, &NoteEditor::wordCountChanged, m_statusBar, &StatusBar::setWordCount);
    connect(m_editor, &NoteEditor::savedStateChanged, m_statusBar, &StatusBar::setSaved);
    connect(m_editor, &NoteEditor::savedStateChanged, this, [this](bool saved) {
        if (!saved)
            m_editedSinceBaseline = true;
    });

    connect(m_appState, &AppState::notesChanged, this, &MainWindow::onNotesChanged);
    connect(m_appState, &AppState::notebooksChanged, this, [this] {
        reloadNotebookNames();
        refreshNotebookList();
        m_noteList->refreshNotebookNames();
        updateNoteCount();
        reloadOpenNote();
    });
    connect(m_appState, &AppState::noteUpdatedExternally, this, [this](const QString &noteId, QObject *source) {
        if (source != this && !noteId.isEmpty() && noteId == m_editor->currentNoteId())
            openNote(noteId, false);
    });
    connect(m_appState, &AppState::noteDeletedExternally, this, [this](const QString &noteId) {
        if (!noteId.isEmpty() && noteId == m_editor->currentNoteId()) {
            // Trashed elsewhere: what was typed here goes to the trash with it.
            saveCurrentNote();
            clearEditor();
            updateCentralPage();
        }
    });
    connect(m_appState, &AppState::canShareChanged, m_headerBar, &NoteHeaderBar::setShareAvailable);
    m_headerBar->setShareAvailable(m_appState->canShare());

    connect(m_headerBar, &NoteHeaderBar::focusToggleClicked, this, [this] { setFocusMode(!m_focusMode); });
    connect(m_headerBar, &NoteHeaderBar::notebookChipClicked, this, [this] {
        const auto note = m_appState->notes()->findById(m_editor->currentNoteId());
        if (!note)
            return;
        m_appState->setCurrentNotebookId(note->notebookId);
        refreshNoteList();
        refreshNotebookList();
    });
    connect(m_headerBar, &NoteHeaderBar::copyAsPlainTextRequested, this, [this] { copyOpenNote(-1); });
    connect(m_headerBar, &NoteHeaderBar::copyAsMarkdownRequested, this, [this] { copyOpenNote(0); });
    connect(m_headerBar, &NoteHeaderBar::copyAsHtmlRequested, this, [this] { copyOpenNote(1); });
    connect(m_headerBar, &NoteHeaderBar::includeInTodosToggled, this, [this](bool enabled) {
        const QString noteId = m_editor->currentNoteId();
        if (!noteId.isEmpty())
            m_appState->notes()->setIncludeInTodos(noteId, enabled);
    });
    connect(m_headerBar, &NoteHeaderBar::moveToNotebookRequested, this, &MainWindow::moveOpenNoteToNotebook);
    connect(m_headerBar, &NoteHeaderBar::printRequested, this, &MainWindow::printNote);
    connect(m_headerBar, &NoteHeaderBar::exportRequested, this, [this] { exportOpenNote(true); });
    connect(m_headerBar, &NoteHeaderBar::deleteRequested, this, [this] { moveCurrentNoteToTrash(false); });
    wireScreenEntries();
    // Sharing is wired once its screen exists.
}

void MainWindow::restoreWindowState()
{
    QSettings settings = windowSettings();
    settings.beginGroup(settingsGroup);
    const QByteArray geometry = settings.value(geometryKey).toByteArray();
    // Sizes from a larger screen, or the default on a small one, would put the status
    // bar out of reach.
    if (geometry.isEmpty() || !restoreGeometry(geometry)) {
        const QRect available = screen() ? screen()->availableGeometry() : QRect();
        resize(available.isValid() ? WindowPlacement::fittedSize(QSize(1280, 1024), available,
                                                                 WindowPlacement::frameAllowance(this))
                                   : QSize(1280, 1024));
    } else if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        WindowPlacement::fitToScreen(this);
    }
    const QByteArray state = settings.value(windowStateKey).toByteArray();
    if (!state.isEmpty())
        restoreState(state);
    m_normalSplitterSizes = parseSplitterSizes(settings.value(splitterSizesKey).toString());
}

void MainWindow::saveWindowState()
{
    captureSplitterSizes();
    QSettings settings = windowSettings();
    settings.beginGroup(settingsGroup);
    settings.setValue(geometryKey, saveGeometry());
    settings.setValue(windowStateKey, saveState());
    if (m_normalSplitterSizes.size() == 3) {
        QStringList parts;
        for (int size : std::as_const(m_normalSplitterSizes))
            parts.append(QString::number(size));
        settings.setValue(splitterSizesKey, parts.join(QLatin1Char(',')));
    }
}

void MainWindow::captureSplitterSizes()
{
    // Sizes seen while a pane is hidden would bring the pane back at width 0.
    if (m_focusMode || !m_sidebarVisible || !m_sidebarPane->isVisible() || !m_listPane->isVisible())
        return;
    m_normalSplitterSizes = m_splitter->sizes();
}

bool MainWindow::isSignedIn() const
{
    const OmbrAccount::Client *account = m_appState->account();
    return account && account->isAuthenticated();
}

void MainWindow::updateAuthUI()
{
    m_noteList->setPendingMarksShown(isSignedIn());
    const bool signedIn = isSignedIn();
    if (m_signInAction)
        m_signInAction->setVisible(!signedIn);
    if (m_signOutAction)
        m_signOutAction->setVisible(signedIn);
    if (m_welcomeScreen)
        m_welcomeScreen->refreshAuthState();
    updateCentralPage();
}

void MainWindow::updateCentralPage()
{
    // Until construction has opened the last note, which page to show is not known.
    if (!m_centralStack || !m_editorPage || m_constructing)
        return;
    const bool noteOpen = !m_editor->currentNoteId().isEmpty();
    m_centralStack->setCurrentWidget(noteOpen || isSignedIn() ? m_editorPage
                                                              : static_cast<QWidget *>(welcomeScreen()));
}

void MainWindow::setFocusMode(bool on)
{
    m_focusMode = on;
    {
        const QSignalBlocker blocker(m_focusModeAction);
        m_focusModeAction->setChecked(on);
    }
    applyPaneLayout();
    QSettings settings = windowSettings();
    settings.beginGroup(settingsGroup);
    settings.setValue(focusModeKey, on);
}

void MainWindow::setSidebarVisible(bool on)
{
    m_sidebarVisible = on;
    {
        const QSignalBlocker blocker(m_sidebarAction);
        m_sidebarAction->setChecked(on);
    }
    applyPaneLayout();
    QSettings settings = windowSettings();
    settings.beginGroup(settingsGroup);
    settings.setValue(sidebarVisibleKey, on);
}

void MainWindow::applyPaneLayout()
{
    const bool showSidebar = !m_focusMode && m_sidebarVisible;
    m_sidebarPane->setVisible(showSidebar);
    m_listPane->setVisible(!m_focusMode);
    m_headerBar->setFocusMode(m_focusMode);
    if (m_splitter->count() != 3)
        return;

    const int windowWidth = width();
    const QList<int> base = m_normalSplitterSizes.size() == 3
        ? m_normalSplitterSizes
        : QList<int>{DefaultSidebarWidth, DefaultListWidth, std::max(400, windowWidth - 460)};
    const int first = showSidebar ? base.at(0) : 0;
    const int second = m_focusMode ? 0 : base.at(1);
    int third = windowWidth - first - second;
    if (third < MinimumEditorWidth + 1)
        third = MinimumEditorWidth;
    m_splitter->setSizes({first, second, third});
}

bool MainWindow::stenoMode() const
{
    return m_appState->preferences() && m_appState->preferences()->getBool(QStringLiteral("steno_mode"), false);
}

void MainWindow::applyStenoMode()
{
    // Steno writers keep their eyes low: the search field moves under the list.
    m_listLayout->removeWidget(m_searchContainer);
    m_listLayout->removeWidget(m_noteList);
    if (stenoMode()) {
        m_listLayout->addWidget(m_noteList, 1);
        m_listLayout->addWidget(m_searchContainer);
    } else {
        m_listLayout->addWidget(m_searchContainer);
        m_listLayout->addWidget(m_noteList, 1);
    }
    refreshNoteList();
}

void MainWindow::applyEditorFontSize()
{
    const int points = m_appState->preferences()
        ? m_appState->preferences()->getInt(QStringLiteral("editor_body_pt"), 12)
        : 12;
    const int pixels = int(std::lround(double(points) * 96.0 / 72.0));
    DeltaDocument::setBodyPixelSize(pixels);
    QFont font = m_editor->font();
    font.setPixelSize(pixels < 1 ? 16 : pixels);
    m_editor->setFont(font);
}

void MainWindow::onPreferenceChanged(const QString &key)
{
    if (key == QLatin1String("theme_mode")) {
        if (ThemeManager *theme = m_appState->themeManager())
            theme->setTheme(m_appState->preferences()->get(key, QStringLiteral("system")));
        m_noteList->viewport()->update();
        m_notebookList->viewport()->update();
    } else if (key == QLatin1String("steno_mode")) {
        applyStenoMode();
    } else if (key == QLatin1String("close_to_tray") || key == QLatin1String("start_minimized")) {
        setupTray();
    } else if (key == QLatin1String("editor_body_pt")) {
        applyEditorFontSize();
        const QString noteId = m_editor->currentNoteId();
        if (!noteId.isEmpty()) {
            saveCurrentNote();
            openNote(noteId, true);
        }
        refreshNoteList();
        refreshNotebookList();
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    saveWindowState();
    if (m_closeToTray && m_trayIcon && m_trayIcon->isVisible()) {
        // Still running: a failed save keeps retrying in the background.
        saveCurrentNote();
        snapshotIfChanged();
        event->ignore();
        hide();
        return;
    }
    if (!settleUnsavedNote()) {
        event->ignore();
        return;
    }
    snapshotIfChanged();
    QMainWindow::closeEvent(event);
}
