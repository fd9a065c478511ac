#include "notewindow.h"

#include "appstate.h"
#include "deltarender.h"
#include "findbar.h"
#include "notebookrepository.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "noteexportflow.h"
#include "noterepository.h"
#include "recentnotebooks.h"
#include "versionhistorydialog.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>

void NoteWindow::createMenuBar()
{
    QMenuBar *bar = menuBar();

    QMenu *file = bar->addMenu(tr("&File"));
    QAction *saveAction = file->addAction(tr("Save Snapshot"), this, &NoteWindow::save);
    saveAction->setShortcut(QKeySequence::Save);
    QAction *exportAction = file->addAction(tr("Export..."), this, &NoteWindow::exportNote);
    exportAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+E")));
    file->addSeparator();
    QAction *closeAction = file->addAction(tr("Close"), this, &NoteWindow::close);
    closeAction->setShortcut(QKeySequence::Close);

    QMenu *edit = bar->addMenu(tr("&Edit"));
    QAction *undoAction = edit->addAction(tr("Undo"), m_editor, &NoteEditor::undo);
    undoAction->setShortcut(QKeySequence::Undo);
    QAction *redoAction = edit->addAction(tr("Redo"), m_editor, &NoteEditor::redo);
    redoAction->setShortcut(QKeySequence::Redo);
    edit->addSeparator();
    QAction *findAction = edit->addAction(tr("Find in Note..."), m_findBar, &FindBar::activate);
    findAction->setShortcut(QKeySequence::Find);

    m_formatMenu = bar->addMenu(tr("F&ormat"));
    const auto addFormat = [this](const QString &text, const QKeySequence &shortcut, auto command) {
        QAction *action = m_formatMenu->addAction(text, m_editor, command);
        action->setShortcut(shortcut);
        return action;
    };
    addFormat(tr("Bold"), QKeySequence::Bold, &NoteEditor::toggleBold);
    addFormat(tr("Italic"), QKeySequence::Italic, &NoteEditor::toggleItalic);
    addFormat(tr("Underline"), QKeySequence::Underline, &NoteEditor::toggleUnderline);
    addFormat(tr("Strikethrough"), QKeySequence(QStringLiteral("Ctrl+Shift+X")), &NoteEditor::toggleStrikethrough);
    m_formatMenu->addSeparator();
    const QString headingNames[] = {tr("Normal Text"), tr("Heading 1"), tr("Heading 2"), tr("Heading 3")};
    for (int level : {1, 2, 3, 0}) {
        QAction *action = m_formatMenu->addAction(headingNames[level], m_editor, [this, level] {
            m_editor->setHeading(level);
        });
        action->setShortcut(QKeySequence(QStringLiteral("Ctrl+%1").arg(level)));
    }
    m_formatMenu->addSeparator();
    addFormat(tr("Bullet List"), QKeySequence(QStringLiteral("Ctrl+Shift+8")), &NoteEditor::toggleBulletList);
    addFormat(tr("Numbered List"), QKeySequence(QStringLiteral("Ctrl+Shift+7")), &NoteEditor::toggleNumberedList);
    addFormat(tr("Checkbox List"), QKeySequence(QStringLiteral("Ctrl+Shift+9")), &NoteEditor::toggleCheckboxList);
    m_formatMenu->addSeparator();
    addFormat(tr("Code Block"), QKeySequence(QStringLiteral("Ctrl+Shift+`")), &NoteEditor::toggleCodeBlock);
    addFormat(tr("Blockquote"), QKeySequence(QStringLiteral("Ctrl+Shift+B")), &NoteEditor::toggleBlockquote);
    m_formatMenu->addSeparator();
    addFormat(tr("Insert Link..."), QKeySequence(QStringLiteral("Ctrl+K")), &NoteEditor::insertLink);
    addFormat(tr("Insert Divider"), QKeySequence(), &NoteEditor::insertDivider);
    QAction *tableAction = m_formatMenu->addAction(tr("Insert Table..."), this, &NoteWindow::insertTable);
    tableAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+T")));

    QMenu *note = bar->addMenu(tr("&Note"));
    QAction *trashAction = note->addAction(tr("Move to Trash"), this, &NoteWindow::moveToTrash);
    trashAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+Backspace")));

    QMenu *help = bar->addMenu(tr("&Help"));
    help->addAction(tr("About Ombrel Notes"), this, &NoteWindow::showAbout);
}

// The chip and the sidebar toggle do nothing here. Sharing has no screen to open yet.
void NoteWindow::wireHeaderBar()
{
    if (m_state) {
        m_headerBar->setShareAvailable(m_state->canShare());
        connect(m_state, &AppState::canShareChanged, m_headerBar, &NoteHeaderBar::setShareAvailable);
    }
    connect(m_headerBar, &NoteHeaderBar::copyAsPlainTextRequested, this, &NoteWindow::copyAsPlainText);
    connect(m_headerBar, &NoteHeaderBar::copyAsMarkdownRequested, this, [this] { copyAs(RenderMarkdown); });
    connect(m_headerBar, &NoteHeaderBar::copyAsHtmlRequested, this, [this] { copyAs(RenderHtml); });
    connect(m_headerBar, &NoteHeaderBar::includeInTodosToggled, this, [this](bool enabled) {
        if (m_state && m_state->notes() && !m_noteId.isEmpty())
            m_state->notes()->setIncludeInTodos(m_noteId, enabled);
    });
    connect(m_headerBar, &NoteHeaderBar::historyRequested, this, &NoteWindow::showVersionHistory);
    connect(m_headerBar, &NoteHeaderBar::moveToNotebookRequested, this, &NoteWindow::moveToNotebook);
    connect(m_headerBar, &NoteHeaderBar::printRequested, this, &NoteWindow::print);
    connect(m_headerBar, &NoteHeaderBar::exportRequested, this, &NoteWindow::exportNote);
    connect(m_headerBar, &NoteHeaderBar::deleteRequested, this, &NoteWindow::confirmAndTrash);
}

void NoteWindow::showVersionHistory()
{
    if (!m_state || m_noteId.isEmpty())
        return;
    save();
    auto *dialog = new VersionHistoryDialog(m_state, m_noteId, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(false);
    dialog->show();
}

void NoteWindow::copyAsPlainText()
{
    QString text = m_editor->toPlainText();
    text.remove(QChar::ObjectReplacementCharacter);
    QApplication::clipboard()->setText(text);
}

void NoteWindow::copyAs(int format)
{
    if (!m_state || !m_state->notes() || m_noteId.isEmpty())
        return;
    save();
    const std::optional<Note> note = m_state->notes()->findById(m_noteId);
    if (!note)
        return;
    const QString markdown = renderDelta(note->body, RenderMarkdown);
    if (format == RenderHtml) {
        auto *data = new QMimeData;
        data->setHtml(renderDelta(note->body, RenderHtml));
        data->setText(markdown);
        QApplication::clipboard()->setMimeData(data);
    } else {
        QApplication::clipboard()->setText(markdown);
    }
}

void NoteWindow::moveToNotebook()
{
    if (!m_state || !m_state->notes() || !m_state->notebooks() || m_noteId.isEmpty() || !m_movePrompt)
        return;
    const std::optional<Note> note = m_state->notes()->findById(m_noteId);
    if (!note)
        return;
    const QString target = m_movePrompt(m_state->notebooks()->allNotebooks(), note->notebookId);
    if (target.isEmpty() || target == note->notebookId)
        return;
    RecentNotebooks::touch(m_state->preferences(), target);
    m_state->notes()->moveToNotebook(m_noteId, target);
    loadNote();
}

void NoteWindow::print()
{
    if (!m_state || !m_state->notes() || m_noteId.isEmpty() || !m_printHandler)
        return;
    save();
    const std::optional<Note> note = m_state->notes()->findById(m_noteId);
    const QString title = note ? note->title() : QString();
    m_printHandler(m_editor->document(), title.isEmpty() ? tr("Untitled") : title);
}

void NoteWindow::confirmAndTrash()
{
    if (!m_state || !m_state->notes() || m_noteId.isEmpty())
        return;
    const std::optional<Note> note = m_state->notes()->findById(m_noteId);
    QString title = note ? note->title() : QString();
    if (title.isEmpty())
        title = tr("this note");
    if (!m_confirmPrompt || !m_confirmPrompt(tr("Move to Trash"), tr("Move \"%1\" to Trash?").arg(title)))
        return;
    moveToTrash();
}

void NoteWindow::moveToTrash()
{
    // Saved first, so the trashed note holds everything typed.
    save();
    if (m_state && m_state->notes() && !m_noteId.isEmpty())
        m_state->notes()->moveToTrash(m_noteId);
    close();
}

void NoteWindow::insertTable()
{
    if (m_editor->isReadOnly())
        return;
    const NoteEditor::TableSize size = NoteEditor::askTableSize(this);
    if (size.accepted)
        m_editor->insertTable(size.rows, size.columns, size.header);
}

void NoteWindow::showAbout()
{
    QMessageBox::about(this, tr("About"), tr("Ombrel Notes %1").arg(QCoreApplication::applicationVersion()));
}

void NoteWindow::exportNote()
{
    runNoteExport(this, m_state, m_noteId, m_statusBar, m_ioPrompts);
}
