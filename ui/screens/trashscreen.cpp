#include "trashscreen.h"

#include "appstate.h"
#include "note.h"
#include "notelistwidget.h"
#include "noterepository.h"

#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

TrashScreen::TrashScreen(AppState *appState, QWidget *parent)
    : QWidget(parent)
    , m_appState(appState)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);

    auto *row = new QHBoxLayout;
    m_restoreButton = new QPushButton(tr("Restore"), this);
    m_restoreButton->setObjectName(QStringLiteral("restoreButton"));
    m_restoreButton->setEnabled(false);
    m_deleteButton = new QPushButton(tr("Delete Permanently"), this);
    m_deleteButton->setObjectName(QStringLiteral("deletePermanentlyButton"));
    m_deleteButton->setEnabled(false);
    m_emptyButton = new QPushButton(tr("Empty Trash"), this);
    m_emptyButton->setObjectName(QStringLiteral("emptyTrashButton"));
    row->addWidget(m_restoreButton);
    row->addWidget(m_deleteButton);
    row->addStretch(1);
    row->addWidget(m_emptyButton);
    layout->addLayout(row);

    m_list = new NoteListWidget(this);
    m_list->setObjectName(QStringLiteral("trashList"));
    layout->addWidget(m_list);

    m_question = [this](const QString &title, const QString &text) {
        return QMessageBox::question(this, title, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };

    connect(m_list, &NoteListWidget::noteSelected, this, [this](const QString &noteId) {
        m_restoreButton->setEnabled(!noteId.isEmpty());
        m_deleteButton->setEnabled(!noteId.isEmpty());
    });
    connect(m_restoreButton, &QPushButton::clicked, this, &TrashScreen::restoreSelected);
    connect(m_deleteButton, &QPushButton::clicked, this, &TrashScreen::deleteSelected);
    connect(m_emptyButton, &QPushButton::clicked, this, &TrashScreen::emptyTrash);
    if (m_appState)
        connect(m_appState, &AppState::notesChanged, this, &TrashScreen::onNotesChanged);
}

void TrashScreen::setQuestion(Question question)
{
    m_question = std::move(question);
}

void TrashScreen::reload()
{
    fill(false);
}

void TrashScreen::fill(bool keepSelection)
{
    QList<Note> trashed;
    if (m_appState && m_appState->notes()) {
        m_seenSerial = m_appState->notes()->changeSerial();
        trashed = m_appState->notes()->trashedNotes();
    }
    m_listedIds.clear();
    for (const Note &note : std::as_const(trashed))
        m_listedIds.insert(note.id);

    const QString current = m_list->currentNoteId();
    // The list keeps a still-listed note current; emptying it first drops the selection.
    if (!keepSelection)
        m_list->setNotes({});
    m_list->setNotes(trashed);
    const bool selected = keepSelection && !current.isEmpty() && m_list->currentNoteId() == current;
    m_restoreButton->setEnabled(selected);
    m_deleteButton->setEnabled(selected);
    m_emptyButton->setEnabled(!trashed.isEmpty());
}

void TrashScreen::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Changes made while hidden were not followed.
    if (m_appState && m_appState->notes() && m_appState->notes()->changeSerial() != m_seenSerial)
        fill(true);
}

void TrashScreen::onNotesChanged()
{
    if (m_writing || !isVisible() || !m_appState || !m_appState->notes())
        return;
    NoteRepository *notes = m_appState->notes();
    const NoteChanges changes = notes->changesSince(m_seenSerial);
    m_seenSerial = notes->changeSerial();
    bool touchesTrash = !changes.complete;
    for (auto it = changes.ids.cbegin(); !touchesTrash && it != changes.ids.cend(); ++it) {
        if (m_listedIds.contains(*it)) {
            touchesTrash = true;
            break;
        }
        const std::optional<NoteListEntry> entry = notes->listEntry(*it);
        touchesTrash = entry && entry->isTrashed;
    }
    if (touchesTrash)
        fill(true);
}

void TrashScreen::restoreSelected()
{
    const QString noteId = m_list->currentNoteId();
    if (noteId.isEmpty() || !m_appState)
        return;
    m_writing = true;
    m_appState->notes()->restore(noteId);
    m_writing = false;
    reload();
}

void TrashScreen::deleteSelected()
{
    const QString noteId = m_list->currentNoteId();
    if (noteId.isEmpty() || !m_appState || !m_question)
        return;
    if (!m_question(tr("Delete Permanently"),
                    tr("This note will be permanently deleted. This cannot be undone.")))
        return;
    m_writing = true;
    m_appState->notes()->deletePermanently(noteId);
    m_writing = false;
    reload();
}

void TrashScreen::emptyTrash()
{
    if (!m_appState || !m_appState->notes() || !m_question)
        return;
    const QList<Note> trashed = m_appState->notes()->trashedNotes();
    if (trashed.isEmpty())
        return;
    if (!m_question(tr("Empty Trash"),
                    tr("Permanently delete all %1 notes in trash? This cannot be undone.").arg(trashed.size())))
        return;
    m_writing = true;
    for (const Note &note : trashed)
        m_appState->notes()->deletePermanently(note.id);
    m_writing = false;
    reload();
}
