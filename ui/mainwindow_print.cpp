#include "mainwindow.h"

#include "appstate.h"
#include "noteeditor.h"
#include "noteprinting.h"
#include "noterepository.h"
#include "statusbar.h"

namespace {

constexpr int MessageTimeoutMs = 3000;

} // namespace

bool MainWindow::prepareNoteForPrinting(QString *title)
{
    const QString noteId = m_editor->currentNoteId();
    if (noteId.isEmpty()) {
        m_statusBar->showToast(tr("No note selected"), MessageTimeoutMs);
        return false;
    }
    saveCurrentNote();
    const std::optional<Note> note = m_appState->notes()->findById(noteId);
    if (!note)
        return false;
    *title = note->title().isEmpty() ? tr("Untitled") : note->title();
    return true;
}

void MainWindow::printNote()
{
    QString title;
    if (prepareNoteForPrinting(&title))
        printNoteDocument(m_editor->document(), title, this, m_statusBar);
}

void MainWindow::printPreview()
{
    QString title;
    if (prepareNoteForPrinting(&title))
        previewNoteDocument(m_editor->document(), title, this);
}
