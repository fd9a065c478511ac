#include "notewindow.h"

#include "appstate.h"
#include "client.h"
#include "database.h"
#include "editortoolbar.h"
#include "findbar.h"
#include "mainwindow.h"
#include "notebookrepository.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "noteprinting.h"
#include "noterepository.h"
#include "movetonotebookdialog.h"
#include "preferencesrepository.h"
#include "relativetime.h"
#include "snapshotrepository.h"
#include "statusbar.h"
#include "uilog.h"
#include "windowplacement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QToolButton>
#include <QUuid>
#include <QVBoxLayout>

namespace {

const QString PermissionEdit = QStringLiteral("edit");

bool isEditable(const Note &note)
{
    return note.ownerId.isEmpty() || note.permission == PermissionEdit;
}

} // namespace

NoteWindow::NoteWindow(AppState *state, const QString &noteId, QWidget *parent)
    : QMainWindow(parent)
    , m_state(state)
    , m_noteId(noteId)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("noteWindow"));
    // On a small screen the window leaves room to see that it sits beside the main one.
    const QRect available = screen() ? screen()->availableGeometry() : QRect();
    resize(available.isValid() ? WindowPlacement::fittedSize(QSize(960, 760).boundedTo(available.size() * 3 / 4),
                                                             available, WindowPlacement::frameAllowance(this))
                               : QSize(960, 760));

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_headerBar = new NoteHeaderBar(central);
    if (auto *sidebarToggle = m_headerBar->findChild<QToolButton *>(QStringLiteral("sidebarToggle")))
        sidebarToggle->hide();
    m_toolbar = new EditorToolbar(central);
    m_editor = new NoteEditor(central);
    if (m_state)
        m_editor->setAttachmentRepository(m_state->attachments());
    m_toolbar->bindEditor(m_editor);
    m_findBar = new FindBar(m_editor, central);

    layout->addWidget(m_headerBar);
    layout->addWidget(m_toolbar);
    layout->addWidget(m_editor, 1);
    layout->addWidget(m_findBar);
    setCentralWidget(central);

    m_confirmPrompt = [this](const QString &title, const QString &text) {
        return QMessageBox::question(this, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes;
    };
    m_movePrompt = [this](const QList<Notebook> &notebooks, const QString &currentNotebookId) {
        return MoveToNotebookDialog::askMoveTarget(this, notebooks, currentNotebookId);
    };
    m_printHandler = [this](QTextDocument *document, const QString &title) {
        printNoteDocument(document, title, this, m_statusBar);
    };

    wireHeaderBar();
    m_statusBar = new StatusBar(this);
    setStatusBar(m_statusBar);
    createMenuBar();

    connect(m_editor, &NoteEditor::noteModified, this, &NoteWindow::save);
    connect(m_editor, &NoteEditor::wordCountChanged, m_statusBar, &StatusBar::setWordCount);
    connect(m_editor, &NoteEditor::savedStateChanged, m_statusBar, &StatusBar::setSaved);

    if (m_state) {
        connect(m_state, &AppState::noteUpdatedExternally, this, &NoteWindow::onNoteUpdatedExternally);
        connect(m_state, &AppState::noteDeletedExternally, this, &NoteWindow::onNoteDeletedExternally);
        connect(m_state, &AppState::notesChanged, this, &NoteWindow::onNotesChanged);
        connect(m_state, &AppState::readOnlyChanged, this, &NoteWindow::applyReadOnly);
        // The same account text as the main window's: no window may call a signed-in user
        // signed out.
        if (OmbrAccount::Client *account = m_state->account()) {
            const auto showAuthState = [this, account] {
                m_statusBar->setStatusText(account->isAuthenticated() ? tr("Signed in") : tr("Not signed in"));
            };
            showAuthState();
            connect(account, &OmbrAccount::Client::authStateChanged, this, showAuthState);
        }
    }

    if (!restoreStoredGeometry())
        placeBesideMainWindow();
    loadNote();

    // The first keystrokes belong in the note, at its start, not in the toolbar.
    m_editor->moveCursor(QTextCursor::Start);
    m_editor->setFocus(Qt::OtherFocusReason);
}

NoteWindow::~NoteWindow() = default;

QString NoteWindow::geometryKey(const QString &noteId)
{
    return QStringLiteral("note_window_geom/%1").arg(noteId);
}

void NoteWindow::setConfirmPrompt(ConfirmPrompt prompt)
{
    m_confirmPrompt = std::move(prompt);
}

void NoteWindow::setMovePrompt(MovePrompt prompt)
{
    m_movePrompt = std::move(prompt);
}

void NoteWindow::setPrintHandler(PrintHandler handler)
{
    m_printHandler = std::move(handler);
}

void NoteWindow::setUnsavedNotePrompt(UnsavedNotePrompt prompt)
{
    m_unsavedNotePrompt = std::move(prompt);
}

QString NoteWindow::infoText(const Note &note, int wordCount)
{
    const QString when = formatRelativeTime(note.updatedAt);
    if (wordCount < 1)
        return tr("Updated %1").arg(when);
    return tr("Updated %1 · %2 words").arg(when).arg(wordCount);
}

bool NoteWindow::restoreStoredGeometry()
{
    if (!m_state || !m_state->preferences() || m_noteId.isEmpty())
        return false;
    const QString stored = m_state->preferences()->get(geometryKey(m_noteId));
    if (stored.isEmpty())
        return false;
    const QByteArray geometry = QByteArray::fromBase64(stored.toLatin1());
    if (geometry.isEmpty() || !restoreGeometry(geometry))
        return false;
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        WindowPlacement::fitToScreen(this);
    return true;
}

// Cascaded from the main window's corner, one step further for each note window already
// open, so a new window neither hides the main window's menu bar nor another note.
void NoteWindow::placeBesideMainWindow()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    QWidget *anchor = nullptr;
    int open = 0;
    for (QWidget *window : windows) {
        if (window == this || !window->isVisible())
            continue;
        if (qobject_cast<NoteWindow *>(window))
            ++open;
        else if (qobject_cast<MainWindow *>(window))
            anchor = window;
    }
    if (!anchor)
        return;
    const QScreen *anchorScreen = anchor->screen();
    if (!anchorScreen)
        return;
    const QRect available = anchorScreen->availableGeometry();
    const QSize size = WindowPlacement::fittedSize(this->size(), available, WindowPlacement::frameAllowance(this));
    const QPoint position = WindowPlacement::cascadePosition(anchor->geometry(), open, size, available,
                                                             WindowPlacement::frameAllowance(this));
    setGeometry(QRect(position, size));
}

void NoteWindow::loadNote()
{
    const std::optional<Note> note = m_state && m_state->notes() && !m_noteId.isEmpty()
        ? m_state->notes()->findById(m_noteId)
        : std::nullopt;
    if (!note) {
        showMissingNote();
        return;
    }

    // A reload that leaves the body as the editor shows it (after this window's own
    // save, or any unrelated change to the notes table) keeps the snapshot baseline:
    // otherwise the edits since the last snapshot would never reach the history.
    const bool sameBody = m_editor->currentNoteId() == m_noteId && !m_snapshotBaseline.isEmpty()
        && m_editor->isSaved() && m_editor->toDeltaJson() == note->body;

    const bool editable = isEditable(*note) && !m_state->isReadOnly();
    m_editor->loadNote(m_noteId, note->body, false);
    m_editor->setReadOnly(!editable);
    m_toolbar->setToolbarActive(editable);
    updateWindowTitle();

    QString notebookName;
    if (!note->notebookId.isEmpty() && m_state->notebooks()) {
        if (const auto notebook = m_state->notebooks()->findById(note->notebookId))
            notebookName = notebook->name;
    }
    m_statusBar->setNoteCount(notebookName.isEmpty() ? tr("Notes") : notebookName, -1);

    m_headerBar->setNoteEditable(editable);
    m_headerBar->setNotebookName(notebookName);
    m_headerBar->setInfoText(infoText(*note, m_editor->wordCount()));
    m_headerBar->setIncludeInTodos(m_state->notes()->includeInTodos(m_noteId));
    m_headerBar->setShared(note->isShared);
    if (m_formatMenu)
        m_formatMenu->setEnabled(editable);

    // The baseline is the body as the editor writes it: a stored body in another but
    // equivalent form (from sync or import) is not a change worth a snapshot.
    if (!sameBody)
        m_snapshotBaseline = m_editor->toDeltaJson();
}

void NoteWindow::showMissingNote()
{
    m_editor->clearNote();
    m_toolbar->setToolbarActive(false);
    m_headerBar->setNoteEditable(false);
    if (m_formatMenu)
        m_formatMenu->setEnabled(false);
    m_snapshotBaseline.clear();
    updateWindowTitle();
}

void NoteWindow::updateWindowTitle()
{
    const std::optional<Note> note = m_state && m_state->notes() && !m_noteId.isEmpty()
        ? m_state->notes()->findById(m_noteId)
        : std::nullopt;
    if (!note) {
        setWindowTitle(tr("Ombrel Notes"));
        return;
    }
    const QString title = note->title();
    setWindowTitle(tr("%1 — Ombrel Notes").arg(title.isEmpty() ? tr("Untitled") : title));
}

bool NoteWindow::isWritable() const
{
    return !m_editor->isReadOnly();
}

bool NoteWindow::save()
{
    if (m_noteId.isEmpty() || !m_state || !m_state->notes() || m_editor->isSaved()
        || m_editor->currentNoteId() != m_noteId) {
        return true;
    }
    if (m_editor->isReadOnly()) {
        // Text typed before the library turned read-only cannot be stored: say so.
        if (!m_state->isReadOnly())
            return true;
        m_editor->reportSaveFailed();
        m_statusBar->setSaveError(notSavedText(tr("the database is read-only")));
        return false;
    }
    std::optional<Note> note = m_state->notes()->findById(m_noteId);
    if (!note)
        return true;
    const QString json = m_editor->toDeltaJson();
    if (json == note->body)
        return true;
    note->body = json;
    note->updatedAt = QDateTime::currentDateTimeUtc();
    note->modifiedAt = note->updatedAt;
    note->version += 1;
    note->syncStatus = SyncStatus::Pending;
    if (!m_state->notes()->update(*note)) {
        // The text stays in the editor, unsaved, and the editor retries on idle.
        const QSqlError error = m_state->notes()->lastError();
        m_editor->reportSaveFailed();
        m_statusBar->setSaveError(notSavedText(Database::describeWriteError(error)));
        m_state->reportWriteFailure(error);
        return false;
    }
    m_state->notifyNoteUpdated(m_noteId, this);
    updateWindowTitle();
    m_headerBar->setInfoText(infoText(*note, m_editor->wordCount()));
    return true;
}

// Edits that could not be stored are not accepted; what the editor holds stays visible.
void NoteWindow::applyReadOnly()
{
    if (!m_state || !m_state->isReadOnly())
        return;
    m_editor->setReadOnly(true);
    m_toolbar->setToolbarActive(false);
    m_headerBar->setNoteEditable(false);
    if (m_formatMenu)
        m_formatMenu->setEnabled(false);
}

void NoteWindow::snapshotIfChanged()
{
    if (m_noteId.isEmpty() || !m_state || !m_state->snapshots() || !isWritable() || m_snapshotBaseline.isEmpty()
        || m_editor->currentNoteId() != m_noteId) {
        return;
    }
    const QString json = m_editor->toDeltaJson();
    if (json.isEmpty() || json == m_snapshotBaseline)
        return;
    const std::optional<Note> note = m_state->notes()->findById(m_noteId);
    if (!note)
        return;
    Snapshot snapshot;
    snapshot.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    snapshot.noteId = m_noteId;
    snapshot.version = note->version;
    snapshot.body = json;
    snapshot.createdAt = QDateTime::currentDateTimeUtc();
    if (m_state->snapshots()->insert(snapshot))
        m_snapshotBaseline = json;
}

// An empty note the user leaves behind is not kept: never synced, it is deleted outright;
// known to the server, it goes to the trash so that the deletion syncs. A note already in
// the trash stays where the user put it.
bool NoteWindow::removeIfEmpty()
{
    if (m_noteId.isEmpty() || !m_state || !m_state->notes() || !isWritable())
        return false;
    const std::optional<Note> note = m_state->notes()->findById(m_noteId);
    if (!note || note->deletedAt || !note->isEmpty())
        return false;
    if (note->syncStatus == SyncStatus::Pending) {
        qCInfo(lcUi) << "Deleting empty note on close:" << m_noteId;
        m_state->notes()->deletePermanently(m_noteId);
    } else {
        qCInfo(lcUi) << "Moving empty synced note to the trash on close:" << m_noteId;
        m_state->notes()->moveToTrash(m_noteId);
    }
    return true;
}

void NoteWindow::closeEvent(QCloseEvent *event)
{
    if (m_closed) {
        event->accept();
        return;
    }
    const bool saved = save();
    if (!saved) {
        const QString reason = m_state->isReadOnly() ? tr("the database is read-only")
                                                     : Database::describeWriteError(m_state->notes()->lastError());
        if (!resolveUnsavedNote(this, m_editor, m_unsavedNotePrompt, reason)) {
            event->ignore();
            return;
        }
    }
    m_closed = true;
    m_findBar->deactivate();
    // Discarded text is not kept as a version either.
    if (saved)
        snapshotIfChanged();

    const bool removed = removeIfEmpty();
    if (!removed && !m_noteId.isEmpty() && m_state && m_state->preferences() && m_state->notes()
        && m_state->notes()->findById(m_noteId)) {
        m_state->preferences()->set(geometryKey(m_noteId), QString::fromLatin1(saveGeometry().toBase64()));
    }
    Q_EMIT windowClosed(m_noteId);
    event->accept();
}

void NoteWindow::onNoteUpdatedExternally(const QString &noteId, QObject *source)
{
    if (source != this && noteId == m_noteId && !m_closed)
        loadNote();
}

void NoteWindow::onNoteDeletedExternally(const QString &noteId)
{
    if (noteId == m_noteId && !m_closed)
        close();
}

void NoteWindow::onNotesChanged()
{
    if (m_noteId.isEmpty() || m_closed || !m_editor->isSaved() || !m_state || !m_state->notes())
        return;
    if (m_state->notes()->findById(m_noteId))
        loadNote();
}
