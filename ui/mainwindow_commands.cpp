#include "mainwindow.h"

#include "appstate.h"
#include "authclient.h"
#include "client.h"
#include "findbar.h"
#include "movetonotebookdialog.h"
#include "notebookdialog.h"
#include "notebookrepository.h"
#include "noteheaderbar.h"
#include "noteeditor.h"
#include "notelistwidget.h"
#include "noterepository.h"
#include "preferencesrepository.h"
#include "recentnotebooks.h"
#include "samplenotes.h"
#include "statusbar.h"
#include "todosscreen.h"
#include "welcomescreen.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStackedWidget>
#include <QUuid>

namespace {

QAction *addEntry(QMenu *menu, const QString &objectName, const QString &text,
                  const QKeySequence &shortcut = QKeySequence(),
                  Qt::ShortcutContext context = Qt::WindowShortcut)
{
    QAction *action = menu->addAction(text);
    action->setObjectName(objectName);
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
        action->setShortcutContext(context);
    }
    return action;
}

} // namespace

void MainWindow::createMenuBar()
{
    QMenu *fileMenu = menuBar()->addMenu(tr("&File"));
    connect(addEntry(fileMenu, QStringLiteral("newNoteAction"), tr("New Note"),
                     QKeySequence(QStringLiteral("Ctrl+N")), Qt::ApplicationShortcut),
            &QAction::triggered, this, &MainWindow::createNote);
    connect(addEntry(fileMenu, QStringLiteral("newNoteWindowAction"), tr("New Note in Window"),
                     QKeySequence(QStringLiteral("Ctrl+Shift+N")), Qt::ApplicationShortcut),
            &QAction::triggered, this, [this] {
                saveCurrentNote();
                m_appState->openNewNoteWindow();
            });
    QAction *saveAction = addEntry(fileMenu, QStringLiteral("saveSnapshotAction"), tr("Save Snapshot"),
                                   QKeySequence::Save);
    connect(saveAction, &QAction::triggered, this, &MainWindow::saveCurrentNote);
    fileMenu->addSeparator();
    addImportExportEntries(fileMenu);
    if (auto *exportAction = findChild<QAction *>(QStringLiteral("exportAction")))
        m_noteActions << exportAction;
    fileMenu->addSeparator();
    QAction *printAction = addEntry(fileMenu, QStringLiteral("printAction"), tr("Print..."), QKeySequence::Print);
    connect(printAction, &QAction::triggered, this, &MainWindow::printNote);
    QAction *previewAction = addEntry(fileMenu, QStringLiteral("printPreviewAction"), tr("Print Preview..."),
                                      QKeySequence(QStringLiteral("Ctrl+Shift+P")));
    connect(previewAction, &QAction::triggered, this, &MainWindow::printPreview);
    m_noteActions << saveAction << printAction << previewAction;
    fileMenu->addSeparator();
    addBackupEntries(fileMenu);
    fileMenu->addSeparator();
    // Shown by updateAuthUI() according to the account state.
    m_signInAction = addEntry(fileMenu, QStringLiteral("signInAction"), tr("Sign &In…"));
    connect(m_signInAction, &QAction::triggered, this, [this] {
        if (m_centralStack)
            m_centralStack->setCurrentWidget(welcomeScreen());
    });
    m_signOutAction = addEntry(fileMenu, QStringLiteral("signOutAction"), tr("Sign &Out"));
    connect(m_signOutAction, &QAction::triggered, this, [this] {
        if (OmbrAccount::Client *account = m_appState->account())
            account->authClient()->logout();
    });
    fileMenu->addSeparator();
    QAction *quitAction = addEntry(fileMenu, QStringLiteral("quitAction"), tr("Quit"), QKeySequence::Quit);
    quitAction->setMenuRole(QAction::QuitRole);
    connect(quitAction, &QAction::triggered, this, &MainWindow::quitApplication);

    QMenu *editMenu = menuBar()->addMenu(tr("&Edit"));
    connect(addEntry(editMenu, QStringLiteral("undoAction"), tr("Undo"), QKeySequence::Undo),
            &QAction::triggered, this, [this] { m_editor->undo(); });
    connect(addEntry(editMenu, QStringLiteral("redoAction"), tr("Redo"), QKeySequence::Redo),
            &QAction::triggered, this, [this] { m_editor->redo(); });
    editMenu->addSeparator();
    QAction *findInNote = addEntry(editMenu, QStringLiteral("findInNoteAction"), tr("Find in Note..."),
                                   QKeySequence::Find);
    connect(findInNote, &QAction::triggered, this, [this] {
        if (!m_editor->currentNoteId().isEmpty())
            m_findBar->activate();
    });
    m_noteActions << findInNote;

    createFormatMenu();

    QMenu *noteMenu = menuBar()->addMenu(tr("&Note"));
    QAction *moveAction = addEntry(noteMenu, QStringLiteral("moveToNotebookAction"), tr("Move to Notebook..."),
                                   QKeySequence(QStringLiteral("Ctrl+M")));
    connect(moveAction, &QAction::triggered, this, &MainWindow::moveOpenNoteToNotebook);
    QAction *historyAction = addEntry(noteMenu, QStringLiteral("versionHistoryAction"), tr("Version History..."),
                                      QKeySequence(QStringLiteral("Ctrl+H")));
    connect(historyAction, &QAction::triggered, this, &MainWindow::showVersionHistory);
    QAction *windowAction = addEntry(noteMenu, QStringLiteral("openInWindowAction"), tr("Open in New Window"),
                                     QKeySequence(QStringLiteral("Ctrl+Shift+O")));
    connect(windowAction, &QAction::triggered, this, &MainWindow::openCurrentNoteInWindow);
    noteMenu->addSeparator();
    QAction *trashAction = addEntry(noteMenu, QStringLiteral("moveToTrashAction"), tr("Move to Trash…"),
                                    QKeySequence(QStringLiteral("Ctrl+D")), Qt::ApplicationShortcut);
    connect(trashAction, &QAction::triggered, this, [this] { moveCurrentNoteToTrash(true); });
    m_noteActions << moveAction << historyAction << windowAction << trashAction;

    QMenu *viewMenu = menuBar()->addMenu(tr("&View"));
    connect(addEntry(viewMenu, QStringLiteral("todosAction"), tr("To-Dos"), QKeySequence(QStringLiteral("Ctrl+Alt+T"))),
            &QAction::triggered, this, &MainWindow::showTodosScreen);
    connect(addEntry(viewMenu, QStringLiteral("findAction"), tr("Find"), QKeySequence(Qt::Key_F3)),
            &QAction::triggered, this, &MainWindow::focusSearchField);
    connect(addEntry(viewMenu, QStringLiteral("searchAllAction"), tr("Search All Notes..."),
                     QKeySequence(QStringLiteral("Ctrl+Shift+F"))),
            &QAction::triggered, this, &MainWindow::showSearchScreen);
    connect(addEntry(viewMenu, QStringLiteral("trashAction"), tr("Trash"), QKeySequence(QStringLiteral("Ctrl+Alt+D"))),
            &QAction::triggered, this, &MainWindow::showTrashScreen);
    viewMenu->addSeparator();
    m_focusModeAction = addEntry(viewMenu, QStringLiteral("focusModeAction"), tr("Focus Mode"),
                                 QKeySequence(QStringLiteral("Ctrl+\\")));
    m_focusModeAction->setCheckable(true);
    m_focusModeAction->setToolTip(tr("Hide the notebook and note lists to write without distractions"));
    connect(m_focusModeAction, &QAction::triggered, this, [this] { setFocusMode(!m_focusMode); });
    m_sidebarAction = addEntry(viewMenu, QStringLiteral("sidebarAction"), tr("Show Notebook Sidebar"),
                               QKeySequence(QStringLiteral("Ctrl+Alt+B")));
    m_sidebarAction->setCheckable(true);
    m_sidebarAction->setChecked(true);
    connect(m_sidebarAction, &QAction::triggered, this, [this] { setSidebarVisible(!m_sidebarVisible); });

    QMenu *helpMenu = menuBar()->addMenu(tr("&Help"));
    QAction *aboutAction = addEntry(helpMenu, QStringLiteral("aboutAction"), tr("About Ombrel Notes"));
    aboutAction->setMenuRole(QAction::AboutRole);
    connect(aboutAction, &QAction::triggered, this, &MainWindow::showAbout);
    if (qgetenv("NOTES_DEV") == "1") {
        helpMenu->addSeparator();
        connect(addEntry(helpMenu, QStringLiteral("loadSampleNotesAction"), tr("Load &Sample Notes")),
                &QAction::triggered, this, &MainWindow::loadSampleNotes);
    }
    helpMenu->addSeparator();
    QAction *aboutQtAction = addEntry(helpMenu, QStringLiteral("aboutQtAction"), tr("About Qt"));
    aboutQtAction->setMenuRole(QAction::AboutQtRole);
    connect(aboutQtAction, &QAction::triggered, this, [this] { QMessageBox::aboutQt(this); });

    // In no menu: trashes without asking. A window shortcut, not an application-wide
    // one: note windows bind the same key to trashing their own note, and Qt fires
    // neither of two ambiguous shortcuts.
    auto *quickTrash = new QAction(tr("Move to Trash"), this);
    quickTrash->setObjectName(QStringLiteral("quickTrashAction"));
    quickTrash->setShortcut(QKeySequence(QStringLiteral("Ctrl+Backspace")));
    quickTrash->setShortcutContext(Qt::WindowShortcut);
    connect(quickTrash, &QAction::triggered, this, [this] { moveCurrentNoteToTrash(false); });
    addAction(quickTrash);
    m_noteActions << quickTrash;
}

void MainWindow::createFormatMenu()
{
    QMenu *menu = menuBar()->addMenu(tr("F&ormat"));
    // Commands run only on an open, writable note: the empty editor is read-only but its
    // document would still take programmatic edits.
    const auto command = [this](QAction *action, auto apply) {
        m_formatActions.append(action);
        connect(action, &QAction::triggered, this, [this, apply] {
            if (!m_editor->currentNoteId().isEmpty() && !m_editor->isReadOnly())
                apply(m_editor);
        });
    };
    const auto key = [](const char *sequence) { return QKeySequence(QString::fromLatin1(sequence)); };

    command(addEntry(menu, QStringLiteral("boldAction"), tr("Bold"), QKeySequence::Bold),
            [](NoteEditor *e) { e->toggleBold(); });
    command(addEntry(menu, QStringLiteral("italicAction"), tr("Italic"), QKeySequence::Italic),
            [](NoteEditor *e) { e->toggleItalic(); });
    command(addEntry(menu, QStringLiteral("underlineAction"), tr("Underline"), QKeySequence::Underline),
            [](NoteEditor *e) { e->toggleUnderline(); });
    command(addEntry(menu, QStringLiteral("strikethroughAction"), tr("Strikethrough"), key("Ctrl+Shift+X")),
            [](NoteEditor *e) { e->toggleStrikethrough(); });
    command(addEntry(menu, QStringLiteral("inlineCodeAction"), tr("Code"), key("Ctrl+`")),
            [](NoteEditor *e) { e->toggleInlineCode(); });
    menu->addSeparator();
    command(addEntry(menu, QStringLiteral("heading1Action"), tr("Heading 1"), key("Ctrl+1")),
            [](NoteEditor *e) { e->setHeading(1); });
    command(addEntry(menu, QStringLiteral("heading2Action"), tr("Heading 2"), key("Ctrl+2")),
            [](NoteEditor *e) { e->setHeading(2); });
    command(addEntry(menu, QStringLiteral("heading3Action"), tr("Heading 3"), key("Ctrl+3")),
            [](NoteEditor *e) { e->setHeading(3); });
    command(addEntry(menu, QStringLiteral("normalTextAction"), tr("Normal Text"), key("Ctrl+0")),
            [](NoteEditor *e) { e->setHeading(0); });
    menu->addSeparator();
    command(addEntry(menu, QStringLiteral("bulletListAction"), tr("Bullet List"), key("Ctrl+Shift+8")),
            [](NoteEditor *e) { e->toggleBulletList(); });
    command(addEntry(menu, QStringLiteral("numberedListAction"), tr("Numbered List"), key("Ctrl+Shift+7")),
            [](NoteEditor *e) { e->toggleNumberedList(); });
    command(addEntry(menu, QStringLiteral("checkboxListAction"), tr("Checkbox List"), key("Ctrl+Shift+9")),
            [](NoteEditor *e) { e->toggleCheckboxList(); });
    menu->addSeparator();
    command(addEntry(menu, QStringLiteral("codeBlockAction"), tr("Code Block"), key("Ctrl+Shift+`")),
            [](NoteEditor *e) { e->toggleCodeBlock(); });
    command(addEntry(menu, QStringLiteral("blockquoteAction"), tr("Blockquote"), key("Ctrl+Shift+B")),
            [](NoteEditor *e) { e->toggleBlockquote(); });
    menu->addSeparator();
    command(addEntry(menu, QStringLiteral("alignLeftAction"), tr("Align Left"), key("Ctrl+Shift+L")),
            [](NoteEditor *e) { e->setAlignment(Qt::AlignLeft); });
    command(addEntry(menu, QStringLiteral("alignCenterAction"), tr("Align Center"), key("Ctrl+Shift+E")),
            [](NoteEditor *e) { e->setAlignment(Qt::AlignHCenter); });
    command(addEntry(menu, QStringLiteral("alignRightAction"), tr("Align Right"), key("Ctrl+Shift+R")),
            [](NoteEditor *e) { e->setAlignment(Qt::AlignRight); });
    menu->addSeparator();
    command(addEntry(menu, QStringLiteral("insertLinkAction"), tr("Insert Link..."), key("Ctrl+K")),
            [](NoteEditor *e) { e->insertLink(); });
    command(addEntry(menu, QStringLiteral("insertDividerAction"), tr("Insert Divider")),
            [](NoteEditor *e) { e->insertDivider(); });
    command(addEntry(menu, QStringLiteral("insertTableAction"), tr("Insert Table..."), key("Ctrl+T")),
            [](NoteEditor *e) {
                const NoteEditor::TableSize size = NoteEditor::askTableSize(e);
                if (size.accepted)
                    e->insertTable(size.rows, size.columns, size.header);
            });
}

void MainWindow::showNoteContextMenu(const QString &noteId, const QPoint &globalPos)
{
    if (noteId.isEmpty())
        return;

    QMenu menu(this);
    connect(menu.addAction(tr("Open in New Window")), &QAction::triggered, this, [this, noteId] {
        if (noteId == m_editor->currentNoteId())
            saveCurrentNote();
        m_appState->openNoteWindow(noteId);
    });
    QMenu *moveMenu = menu.addMenu(tr("Move to Notebook"));
    fillMoveMenu(moveMenu, noteId, globalPos);
    menu.addSeparator();
    connect(menu.addAction(tr("Move to Trash")), &QAction::triggered, this,
            [this, noteId] { trashNoteFromMenu(noteId); });
    menu.exec(globalPos);
}

void MainWindow::fillMoveMenu(QMenu *menu, const QString &noteId, const QPoint &globalPos)
{
    const std::optional<NoteListEntry> entry = m_appState->notes()->listEntry(noteId);
    const QString currentNotebookId = entry ? entry->notebookId : QString();
    const QList<Notebook> notebooks = m_appState->notebooks()->allNotebooks();
    const auto addNotebook = [this, menu, noteId, &currentNotebookId](const Notebook &notebook) {
        QAction *action = menu->addAction(notebook.name);
        action->setCheckable(true);
        action->setChecked(currentNotebookId == notebook.id);
        const QString notebookId = notebook.id;
        connect(action, &QAction::triggered, this, [this, noteId, notebookId] {
            RecentNotebooks::touch(m_appState->preferences(), notebookId);
            m_appState->notes()->moveToNotebook(noteId, notebookId);
        });
    };
    for (const Notebook &notebook : notebooks)
        addNotebook(notebook);
    menu->setEnabled(!notebooks.isEmpty());

    // Past a screenful Qt lays the entries out in columns across the screen: offer the
    // likely targets and the dialog, which can filter a long list.
    const QScreen *screen = QGuiApplication::screenAt(globalPos);
    if (!screen)
        screen = this->screen();
    const QList<QAction *> entries = menu->actions();
    const int rowHeight = entries.isEmpty() ? 0 : menu->actionGeometry(entries.first()).height();
    if (!screen || qint64(rowHeight) * entries.size() <= screen->availableGeometry().height())
        return;
    menu->clear();
    QList<const Notebook *> shown;
    const auto findNotebook = [&notebooks](const QString &id) -> const Notebook * {
        for (const Notebook &notebook : notebooks) {
            if (notebook.id == id)
                return &notebook;
        }
        return nullptr;
    };
    const QStringList recent = RecentNotebooks::ids(m_appState->preferences());
    for (const QString &id : recent) {
        if (const Notebook *notebook = findNotebook(id); notebook && !shown.contains(notebook))
            shown.append(notebook);
    }
    for (const Notebook &notebook : notebooks) {
        if (shown.size() >= RecentNotebooks::Limit)
            break;
        if (!shown.contains(&notebook))
            shown.append(&notebook);
    }
    for (const Notebook *notebook : std::as_const(shown))
        addNotebook(*notebook);
    menu->addSeparator();
    connect(menu->addAction(tr("Other Notebook…")), &QAction::triggered, this,
            [this, noteId] { moveNoteWithDialog(noteId); });
}

void MainWindow::updateNoteActions()
{
    const bool open = !m_editor->currentNoteId().isEmpty();
    for (QAction *action : std::as_const(m_noteActions))
        action->setEnabled(open);
    m_headerBar->setNotebookChipVisible(open);
    const bool writable = open && !m_editor->isReadOnly();
    for (QAction *action : std::as_const(m_formatActions))
        action->setEnabled(writable);
}

void MainWindow::trashNoteFromMenu(const QString &noteId)
{
    if (noteId == m_editor->currentNoteId()) {
        saveCurrentNote();
        clearEditor();
        updateCentralPage();
    }
    m_appState->notes()->moveToTrash(noteId);
}

void MainWindow::moveOpenNoteToNotebook()
{
    moveNoteWithDialog(m_editor->currentNoteId());
}

void MainWindow::moveNoteWithDialog(const QString &noteId)
{
    if (noteId.isEmpty())
        return;
    const std::optional<Note> note = m_appState->notes()->findById(noteId);
    if (!note)
        return;
    const QString target = MoveToNotebookDialog::askMoveTarget(this, m_appState->notebooks()->allNotebooks(),
                                                               note->notebookId);
    if (target.isEmpty() || target == note->notebookId)
        return;
    RecentNotebooks::touch(m_appState->preferences(), target);
    m_appState->notes()->moveToNotebook(noteId, target);
}

void MainWindow::showNotebookContextMenu(const QString &notebookId, const QPoint &globalPos)
{
    if (notebookId.isEmpty())
        return;
    QMenu menu(this);
    connect(menu.addAction(tr("Rename Notebook…")), &QAction::triggered, this,
            [this, notebookId] { renameNotebook(notebookId); });
    menu.addSeparator();
    connect(menu.addAction(tr("Delete Notebook")), &QAction::triggered, this,
            [this, notebookId] { deleteNotebook(notebookId); });
    menu.exec(globalPos);
}

void MainWindow::createNotebook()
{
    const QString name = NotebookDialog::askNewNotebookName(this);
    if (name.isEmpty()) {
        // The action row was clicked: put the selection back where it was.
        refreshNotebookList();
        return;
    }
    Notebook notebook;
    notebook.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    notebook.name = name;
    notebook.createdAt = QDateTime::currentDateTimeUtc();
    notebook.updatedAt = notebook.createdAt;
    if (!m_appState->notebooks()->insert(notebook)) {
        refreshNotebookList();
        return;
    }
    RecentNotebooks::touch(m_appState->preferences(), notebook.id);
    m_appState->setCurrentNotebookId(notebook.id);
    refreshNoteList();
    refreshNotebookList();
}

void MainWindow::renameNotebook(const QString &notebookId)
{
    std::optional<Notebook> notebook = m_appState->notebooks()->findById(notebookId);
    if (!notebook)
        return;
    const QString name = NotebookDialog::askNotebookRename(this, notebook->name);
    if (name.isEmpty() || name == notebook->name)
        return;
    notebook->name = name;
    notebook->updatedAt = QDateTime::currentDateTimeUtc();
    notebook->version += 1;
    notebook->syncStatus = SyncStatus::Pending;
    m_appState->notebooks()->update(*notebook);
}

void MainWindow::deleteNotebook(const QString &notebookId)
{
    const std::optional<Notebook> notebook = m_appState->notebooks()->findById(notebookId);
    if (!notebook)
        return;
    const auto answer = QMessageBox::question(
        this, tr("Delete Notebook"),
        tr("Delete \"%1\"? Its notes will move to All Notes.").arg(notebook->name),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;

    NoteRepository *notes = m_appState->notes();
    const QList<NoteListEntry> entries = notes->listEntriesInNotebook(notebookId);
    // One refresh for the whole batch instead of one per moved note.
    m_deferNoteChanges = true;
    for (const NoteListEntry &entry : entries)
        notes->moveToNotebook(entry.id, QString());
    m_deferNoteChanges = false;
    m_appState->notebooks()->moveToTrash(notebookId);
    m_appState->setCurrentNotebookId(QString());
    onNotesChanged();
    refreshNoteList();
    refreshNotebookList();
}

void MainWindow::openCurrentNoteInWindow()
{
    const QString noteId = m_editor->currentNoteId();
    if (noteId.isEmpty())
        return;
    // The window reads the stored body: an edit still waiting for the idle save goes first.
    saveCurrentNote();
    m_appState->openNoteWindow(noteId);
}

void MainWindow::focusSearchField()
{
    if (m_focusMode)
        setFocusMode(false);
    m_searchField->setFocus(Qt::ShortcutFocusReason);
    m_searchField->selectAll();
}

void MainWindow::quitApplication()
{
    if (PreferencesRepository *preferences = m_appState->preferences()) {
        preferences->set(QStringLiteral("restore_note_windows"),
                         m_appState->openNoteWindowIds().join(QLatin1Char(',')));
        preferences->setBool(QStringLiteral("restore_todos_window"), m_todosScreen && m_todosScreen->isVisible());
    }
    m_closeToTray = false;
    QApplication::closeAllWindows();
    // A window whose unsaved text the user chose to keep stays open, and so does the
    // application.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (const QWidget *window : windows) {
        if (window->isVisible() && window->isWindow() && !window->inherits("QMenu"))
            return;
    }
    QCoreApplication::quit();
}

void MainWindow::showAbout()
{
    QMessageBox::about(this, tr("About Ombrel Notes"),
                       tr("Ombrel Notes %1\n\nSearch-first, zero-friction note-taking.")
                           .arg(QCoreApplication::applicationVersion()));
}

void MainWindow::loadSampleNotes()
{
    const auto answer = QMessageBox::question(
        this, tr("Load Sample Notes"),
        tr("Insert 7 sample notes into this database?\n\nThey'll appear in the unorganized pool with "
           "staggered dates from today to 28 days ago. Existing notes are not modified."),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    m_deferNoteChanges = true;
    const int count = insertSampleNotes(*m_appState->notes());
    m_deferNoteChanges = false;
    onNotesChanged();
    m_statusBar->showToast(tr("Loaded %n sample note(s).", nullptr, count), 3000);
}
