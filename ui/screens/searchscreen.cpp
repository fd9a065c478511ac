#include "searchscreen.h"

#include "appstate.h"
#include "notelistwidget.h"
#include "noterepository.h"

#include <QHash>
#include <QLineEdit>
#include <QMenu>
#include <QVBoxLayout>

namespace {

constexpr int DebounceMs = 300;

} // namespace

SearchScreen::SearchScreen(AppState *appState, QWidget *parent)
    : QWidget(parent)
    , m_appState(appState)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);

    m_queryField = new QLineEdit(this);
    m_queryField->setObjectName(QStringLiteral("searchQueryField"));
    m_queryField->setPlaceholderText(tr("Search all notes..."));
    m_queryField->setClearButtonEnabled(true);
    layout->addWidget(m_queryField);

    m_list = new NoteListWidget(this);
    m_list->setObjectName(QStringLiteral("searchResultList"));
    // Hits carry no bodies; a row reads its own when it is first painted.
    m_list->setBodyProvider([this](const QString &noteId) {
        return m_appState ? m_appState->notes()->bodyOf(noteId).value_or(QString()) : QString();
    });
    layout->addWidget(m_list);

    m_debounce.setSingleShot(true);
    m_debounce.setInterval(DebounceMs);
    connect(m_queryField, &QLineEdit::textChanged, this, [this] { m_debounce.start(); });
    connect(&m_debounce, &QTimer::timeout, this, &SearchScreen::runSearch);

    connect(m_list, &NoteListWidget::noteSelected, this, [this](const QString &noteId) {
        if (!noteId.isEmpty())
            m_appState->setCurrentNoteId(noteId);
    });
    connect(m_list, &NoteListWidget::noteDoubleClicked, this, [this](const QString &noteId) {
        if (!noteId.isEmpty())
            m_appState->openNoteWindow(noteId);
    });
    connect(m_list, &NoteListWidget::noteContextMenuRequested, this,
            [this](const QString &noteId, const QPoint &globalPos) {
                if (noteId.isEmpty())
                    return;
                m_list->selectNote(noteId);
                onContextMenu(globalPos);
            });
}

// A common word matches tens of thousands of notes: the hits are mapped onto body-free
// rows rather than read whole.
void SearchScreen::runSearch()
{
    m_debounce.stop();
    const QString query = m_queryField->text().trimmed();
    if (query.isEmpty() || !m_appState || !m_appState->notes()) {
        m_list->setEntries({});
        return;
    }
    NoteRepository *notes = m_appState->notes();
    const QStringList ids = notes->searchIds(query);
    QList<NoteListEntry> hits;
    hits.reserve(ids.size());
    if (ids.size() <= 64) {
        for (const QString &id : ids) {
            if (std::optional<NoteListEntry> entry = notes->listEntry(id))
                hits.append(std::move(*entry));
        }
    } else {
        QHash<QString, NoteListEntry> rows;
        const QList<NoteListEntry> all = notes->listEntries();
        rows.reserve(all.size());
        for (const NoteListEntry &entry : all)
            rows.insert(entry.id, entry);
        for (const QString &id : ids) {
            const auto it = rows.constFind(id);
            if (it != rows.constEnd())
                hits.append(*it);
        }
    }
    m_list->setEntries(hits);
}

void SearchScreen::focusSearch()
{
    m_queryField->setFocus(Qt::OtherFocusReason);
    m_queryField->selectAll();
}

void SearchScreen::onContextMenu(const QPoint &globalPos)
{
    const QString noteId = m_list->currentNoteId();
    if (noteId.isEmpty() || !m_appState)
        return;
    QMenu menu(this);
    connect(menu.addAction(tr("Open in New Window")), &QAction::triggered, this,
            [this, noteId] { m_appState->openNoteWindow(noteId); });
    menu.exec(globalPos);
}
