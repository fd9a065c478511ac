#include "mainwindow.h"

#include "appstate.h"
#include "notebooklistwidget.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "searchscreen.h"
#include "todosscreen.h"
#include "trashscreen.h"
#include "versionhistorydialog.h"

namespace {

// Titled and, while not yet on screen, sized before every show.
void present(QWidget *screen, const QString &title, const QSize &size)
{
    screen->setWindowTitle(title);
    if (!screen->isVisible())
        screen->resize(size);
    screen->show();
    screen->raise();
    screen->activateWindow();
}

} // namespace

// The screens are top-level windows without a parent that outlive any one use; they
// point into the application state, so they go with the window that made them.
MainWindow::~MainWindow()
{
    delete m_todosScreen.data();
    delete m_searchScreen.data();
    delete m_trashScreen.data();
}

TodosScreen *MainWindow::todosScreen() const
{
    return m_todosScreen.data();
}

SearchScreen *MainWindow::searchScreen() const
{
    return m_searchScreen.data();
}

TrashScreen *MainWindow::trashScreen() const
{
    return m_trashScreen.data();
}

void MainWindow::wireScreenEntries()
{
    // The Trash row opens the Trash screen; the middle pane keeps showing the notebook
    // it showed, and the sidebar selection goes back to that notebook.
    connect(m_notebookList, &NotebookListWidget::trashSelected, this, [this] {
        refreshNotebookList();
        showTrashScreen();
    });
    connect(m_headerBar, &NoteHeaderBar::historyRequested, this, &MainWindow::showVersionHistory);
}

void MainWindow::showTodosScreen()
{
    if (!m_todosScreen)
        m_todosScreen = new TodosScreen(m_appState);
    m_todosScreen->refresh();
    present(m_todosScreen, tr("To-Dos — Ombrel Notes"), QSize(600, 500));
}

void MainWindow::showSearchScreen()
{
    if (!m_searchScreen)
        m_searchScreen = new SearchScreen(m_appState);
    m_searchScreen->runSearch();
    m_searchScreen->focusSearch();
    present(m_searchScreen, tr("Search — Ombrel Notes"), QSize(600, 500));
}

void MainWindow::showTrashScreen()
{
    if (!m_trashScreen)
        m_trashScreen = new TrashScreen(m_appState);
    m_trashScreen->reload();
    present(m_trashScreen, tr("Trash — Ombrel Notes"), QSize(500, 400));
}

void MainWindow::showVersionHistory()
{
    const QString noteId = m_editor->currentNoteId();
    if (noteId.isEmpty())
        return;
    // The history's "now" is the stored note: an edit waiting for the idle save goes first.
    saveCurrentNote();
    auto *dialog = new VersionHistoryDialog(m_appState, noteId, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(false);
    dialog->show();
}
