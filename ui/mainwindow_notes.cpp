#include "mainwindow.h"

#include "appstate.h"
#include "deltadocument.h"
#include "database.h"
#include "deltarender.h"
#include "editortoolbar.h"
#include "notebooklistwidget.h"
#include "notebookrepository.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "notelistmodel.h"
#include "notelistwidget.h"
#include "noterepository.h"
#include "notesearcher.h"
#include "notetextindex.h"
#include "preferencesrepository.h"
#include "relativetime.h"
#include "database.h"
#include "snapshotrepository.h"
#include "statusbar.h"
#include "uilog.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QElapsedTimer>
#include <QSignalBlocker>
#include <QSemaphore>
#include <QThreadPool>
#include <QTimer>
#include <QUuid>

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>

namespace {

// Up to this many search hits are read one row each when the window holds no cache of
// every live row; more build the cache, once, by one pass over the list index.
constexpr qsizetype PerIdLookupLimit = 200;

// After start-up has painted, the search cache is built from the list already read.
constexpr int FullListIdleMs = 1000;

// Up to this many hits are gathered on the UI thread (a few milliseconds, less than the
// trip to another thread costs on a busy machine); more go to a pool thread.
constexpr qsizetype InlineGatherLimit = 5000;

// While the cache is not built yet, up to this many hits are found by one pass over that
// list; more build the cache on the way.
constexpr qsizetype ListScanLimit = 2000;

// The search cache: every live row by rowid, and each note's rowid.
struct EntryCache {
    QHash<qint64, NoteListEntry> byRowid;
    QHash<QString, qint64> rowids;
};

EntryCache buildEntryCache(const QList<NoteListEntry> &all)
{
    EntryCache cache;
    cache.byRowid.reserve(all.size());
    cache.rowids.reserve(all.size());
    for (const NoteListEntry &entry : all) {
        cache.byRowid.insert(entry.rowid, entry);
        cache.rowids.insert(entry.id, entry.rowid);
    }
    return cache;
}

// Rows for ranked rowids, in rank order, with their id hashes; hits the cache lacks (purged
// or trashed since the rank was computed) are left out. Called off the UI thread; a large
// result is gathered by two threads, since the UI thread is idle meanwhile.
NoteListRows gatherRows(const QList<qint64> &rowids, const std::function<const NoteListEntry *(qsizetype)> &lookup)
{
    const qsizetype count = rowids.size();
    NoteListRows rows;
    rows.entries.resize(count);
    rows.idHashes.resize(size_t(count));
    std::vector<char> found(size_t(count), 0);
    NoteListEntry *out = rows.entries.data();
    const auto gather = [&](qsizetype begin, qsizetype end) {
        for (qsizetype i = begin; i < end; ++i) {
            if (const NoteListEntry *entry = lookup(i)) {
                out[i] = *entry;
                rows.idHashes[size_t(i)] = NoteListModel::idHash(entry->id);
                found[size_t(i)] = 1;
            }
        }
    };
    constexpr qsizetype SplitFrom = 4096;
    QSemaphore otherHalf;
    const qsizetype half = count / 2;
    if (count >= SplitFrom && QThreadPool::globalInstance()->tryStart([&] {
            gather(half, count);
            otherHalf.release();
        })) {
        gather(0, half);
        otherHalf.acquire();
    } else {
        gather(0, count);
    }

    if (std::find(found.cbegin(), found.cend(), 0) != found.cend()) {
        qsizetype kept = 0;
        for (qsizetype i = 0; i < count; ++i) {
            if (!found[size_t(i)])
                continue;
            if (kept != i) {
                out[kept] = std::move(out[i]);
                rows.idHashes[size_t(kept)] = rows.idHashes[size_t(i)];
            }
            ++kept;
        }
        rows.entries.resize(kept);
        rows.idHashes.resize(size_t(kept));
    }
    return rows;
}

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

bool isEditable(const Note &note)
{
    return note.ownerId.isEmpty() || note.permission == QLatin1String("edit");
}

} // namespace

void MainWindow::openNote(const QString &noteId, bool forceReload)
{
    const std::optional<Note> note = noteId.isEmpty() ? std::nullopt : m_appState->notes()->findById(noteId);
    // A note in the trash is not edited here; the Trash screen shows it.
    if (note && !note->deletedAt)
        showNote(*note, forceReload);
    else
        clearEditor();
    updateCentralPage();
}

void MainWindow::showNote(const Note &note, bool forceReload)
{
    // A change report about other notes, or our own save coming back, must neither reload
    // the editor (cursor and scroll would jump) nor move the snapshot baseline.
    const bool storedChanged = note.id != m_editor->currentNoteId() || note.body != m_loadedBody;
    if (storedChanged || forceReload)
        m_editor->loadNote(note.id, note.body, forceReload);
    if (storedChanged) {
        m_loadedBody = note.body;
        m_snapshotBaseline = note.body;
        m_editedSinceBaseline = false;
    }
    const bool editable = isEditable(note) && !m_appState->isReadOnly();
    m_editor->setReadOnly(!editable);
    m_toolbar->setToolbarActive(editable);
    m_headerBar->setNoteEditable(editable);
    m_headerBar->setNotebookName(notebookName(note.notebookId));
    m_headerBar->setIncludeInTodos(m_appState->notes()->includeInTodos(note.id));
    m_headerBar->setShared(note.isShared);
    m_headerBar->setInfoText(noteInfoText(note.updatedAt));
    updateNoteActions();
}

QString MainWindow::noteInfoText(const QDateTime &updatedAt) const
{
    const int words = m_editor->wordCount();
    if (words < 1)
        return tr("Updated %1").arg(formatRelativeTime(updatedAt));
    return tr("Updated %1 · %2 words").arg(formatRelativeTime(updatedAt)).arg(words);
}

void MainWindow::clearEditor()
{
    m_editor->clearNote();
    m_toolbar->setToolbarActive(false);
    m_headerBar->setNoteEditable(false);
    m_snapshotBaseline.clear();
    m_editedSinceBaseline = false;
    m_loadedBody.clear();
    updateNoteActions();
}

void MainWindow::switchToNote(const QString &noteId)
{
    if (noteId == m_editor->currentNoteId())
        return;
    if (!m_editor->isLoading()) {
        if (!settleUnsavedNote()) {
            selectInList(m_editor->currentNoteId());
            return;
        }
        snapshotIfChanged();
    }
    m_appState->setCurrentNoteId(noteId);
    openNote(noteId, false);
}

void MainWindow::createNote()
{
    if (!settleUnsavedNote())
        return;
    snapshotIfChanged();

    Note note;
    note.id = newId();
    note.notebookId = m_appState->currentNotebookId();
    note.body = Note::emptyBody();
    note.createdAt = QDateTime::currentDateTimeUtc();
    note.updatedAt = note.createdAt;
    note.modifiedAt = note.createdAt;
    if (!m_appState->notes()->insert(note))
        return;

    // Selecting emits noteSelected, which opens the note; a note the current search does
    // not list is opened directly.
    m_noteList->selectNote(note.id);
    m_appState->setCurrentNoteId(note.id);
    openNote(note.id, false);
    // Typing starts at once, in the new note's empty first line, even when the command
    // came from a note window.
    if (!isActiveWindow() && isVisible()) {
        raise();
        activateWindow();
    }
    m_editor->moveCursor(QTextCursor::Start);
    m_editor->setFocus(Qt::OtherFocusReason);
}

bool MainWindow::saveCurrentNote()
{
    const QString noteId = m_editor->currentNoteId();
    // Only edits are written: the editor's JSON of an untouched note may still differ in
    // form from a body it did not write (imported, synced), and rewriting it would bump
    // the version and reorder the list merely for viewing it.
    if (noteId.isEmpty() || m_editor->isLoading() || m_editor->isSaved())
        return true;
    if (m_editor->isReadOnly()) {
        // Text typed before the library turned read-only cannot be stored: say so.
        if (!m_appState->isReadOnly())
            return true;
        m_editor->reportSaveFailed();
        m_statusBar->setSaveError(notSavedText(tr("the database is read-only")));
        return false;
    }
    std::optional<Note> note = m_appState->notes()->findById(noteId);
    if (!note)
        return true;
    const QString body = m_editor->toDeltaJson();
    if (body == note->body)
        return true;
    note->body = body;
    note->updatedAt = QDateTime::currentDateTimeUtc();
    note->modifiedAt = note->updatedAt;
    note->version += 1;
    note->syncStatus = SyncStatus::Pending;
    if (!m_appState->notes()->update(*note)) {
        // The text stays in the editor, unsaved, and the editor retries on idle.
        const QSqlError error = m_appState->notes()->lastError();
        m_editor->reportSaveFailed();
        m_statusBar->setSaveError(notSavedText(Database::describeWriteError(error)));
        m_appState->reportWriteFailure(error);
        return false;
    }
    m_loadedBody = body;
    m_headerBar->setInfoText(noteInfoText(note->updatedAt));
    return true;
}

bool MainWindow::settleUnsavedNote()
{
    if (m_editor->isSaved() || saveCurrentNote())
        return true;
    const QString reason = m_appState->isReadOnly() ? tr("the database is read-only")
                                                    : Database::describeWriteError(m_appState->notes()->lastError());
    if (!resolveUnsavedNote(this, m_editor, m_unsavedNotePrompt, reason))
        return false;
    // Discarded: the editor goes back to what is stored.
    openNote(m_editor->currentNoteId(), true);
    return true;
}

// Edits that could not be stored are not accepted; what the editor holds stays visible.
void MainWindow::applyReadOnly()
{
    if (!m_appState->isReadOnly())
        return;
    m_editor->setReadOnly(true);
    m_toolbar->setToolbarActive(false);
    m_headerBar->setNoteEditable(false);
    m_statusBar->setStatusText(tr("Read-only"));
}

void MainWindow::setUnsavedNotePrompt(UnsavedNotePrompt prompt)
{
    m_unsavedNotePrompt = std::move(prompt);
}

void MainWindow::snapshotIfChanged()
{
    const QString noteId = m_editor->currentNoteId();
    if (noteId.isEmpty() || m_editor->isReadOnly() || m_snapshotBaseline.isEmpty() || !m_editedSinceBaseline)
        return;
    const QString body = m_editor->toDeltaJson();
    if (body.isEmpty() || body == m_snapshotBaseline)
        return;
    const std::optional<Note> note = m_appState->notes()->findById(noteId);
    if (!note)
        return;
    Snapshot snapshot;
    snapshot.id = newId();
    snapshot.noteId = note->id;
    snapshot.version = note->version;
    snapshot.body = body;
    snapshot.createdAt = QDateTime::currentDateTimeUtc();
    if (m_appState->snapshots()->insert(snapshot)) {
        m_snapshotBaseline = body;
        m_editedSinceBaseline = false;
    }
}

void MainWindow::moveCurrentNoteToTrash(bool confirm)
{
    // The open note's row may not have been read yet.
    if (!m_fill.pendingSelection.isEmpty())
        finishListFill();
    const QString noteId = m_noteList->currentNoteId();
    if (noteId.isEmpty())
        return;

    if (confirm) {
        const std::optional<Note> note = m_appState->notes()->findById(noteId);
        QString title = note ? note->title() : QString();
        if (title.isEmpty())
            title = tr("this note");
        const auto answer = QMessageBox::question(this, tr("Move to Trash"),
                                                  tr("Move \"%1\" to Trash?").arg(title),
                                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
    }

    const int row = m_noteList->rowOf(noteId);
    if (noteId == m_editor->currentNoteId()) {
        // The trashed note keeps what was typed in the second before; text that cannot
        // be stored is not dropped without asking.
        if (!settleUnsavedNote())
            return;
        clearEditor();
    }

    // The change report removes the row before the next line runs.
    if (!m_appState->notes()->moveToTrash(noteId))
        return;

    const int count = m_noteList->count();
    if (count == 0) {
        updateCentralPage();
        return;
    }
    const QString nextId = m_noteList->noteIdAt(std::clamp(row, 0, count - 1));
    m_noteList->selectNote(nextId);
    openNote(nextId, false);
    m_appState->setCurrentNoteId(nextId);
}

void MainWindow::reloadOpenNote()
{
    const QString noteId = m_editor->currentNoteId();
    // An edit waiting for the idle save wins over what is stored.
    if (noteId.isEmpty() || !m_editor->isSaved() || m_editor->isLoading())
        return;
    const std::optional<Note> note = m_appState->notes()->findById(noteId);
    if (note && !note->deletedAt) {
        showNote(*note, false);
    } else {
        // Deleted or trashed elsewhere (a note window, sync): nothing left to edit here.
        clearEditor();
        updateCentralPage();
    }
}

void MainWindow::onNotesChanged()
{
    if (m_deferNoteChanges)
        return;
    NoteRepository *notes = m_appState->notes();
    if (m_fill.active) {
        // Placing the changed rows needs the whole list. Rows read from here on already
        // show the change: the cache built from the list is corrected below, note by note,
        // but the counts cannot be, and are read again.
        const bool collected = m_fill.collect;
        finishListFill(true);
        if (collected && !m_entryCacheValid && !m_fullList.isEmpty())
            ensureEntryCache(m_fullList);
        m_notebookCountsValid = false;
    }
    // The rows before this change are what the counts are adjusted from; the list read at
    // start-up still describes them when nothing else changed since.
    if (!m_entryCacheValid && !m_fullList.isEmpty() && m_fullListSerial == m_seenSerial)
        ensureEntryCache(m_fullList);
    const NoteChanges changes = notes->changesSince(m_seenSerial);
    m_seenSerial = notes->changeSerial();
    if (!changes.complete) {
        m_entryCache.clear();
        m_cachedRowids.clear();
        m_entryCacheValid = false;
        m_notebookCountsValid = false;
        reloadTrashedIds();
        refreshNoteList();
    } else {
        QHash<QString, std::optional<NoteListEntry>> changed;
        changed.reserve(changes.ids.size());
        for (const QString &id : changes.ids) {
            std::optional<NoteListEntry> entry = notes->listEntry(id);
            if (entry && entry->isTrashed)
                m_trashedIds.insert(id);
            else
                m_trashedIds.remove(id);
            if (m_entryCacheValid) {
                adjustNotebookCounts(id, entry);
                if (entry && !entry->isTrashed)
                    cacheEntry(*entry);
                else
                    uncacheEntry(id);
            } else {
                m_notebookCountsValid = false;
            }
            changed.insert(id, std::move(entry));
        }
        applyNoteChanges(changed);
        // Ranks computed before this write may miss or keep the notes it touched.
        if (m_searchGeneration != 0)
            refreshNoteList();
    }
    if (!notebookListIsCurrent())
        refreshNotebookList();
    reloadOpenNote();
}

void MainWindow::refreshNoteList()
{
    NoteRepository *notes = m_appState->notes();
    const QString query = m_searchField->text().trimmed();
    if (query.isEmpty()) {
        if (m_searcher)
            m_searcher->cancel();
        m_searchGeneration = 0;
        cancelListFill();
        // The first screen now, the rest from the idle loop: 100,000 rows take a tenth of a
        // second to read and more to add.
        const QString notebookId = m_appState->currentNotebookId();
        const bool all = notebookId.isEmpty();
        const NoteListPage first =
            notes->listEntriesPage(all ? QString() : notebookId, stenoMode(), {}, firstScreenRows());
        if (!first.complete) {
            ensureNotebookCounts();
            int total = 0;
            if (all) {
                for (const int count : std::as_const(m_notebookCounts))
                    total += count;
            } else {
                total = m_notebookCounts.value(notebookId);
            }
            startListFill(all ? QString() : notebookId, stenoMode(), first.next, total);
        }
        // The full list is every live row: the cache that maps search hits comes from it
        // later, without reading the table again.
        if (all && !m_entryCacheValid) {
            m_fullList = first.entries;
            m_fullListSerial = notes->changeSerial();
            QTimer::singleShot(FullListIdleMs, this, &MainWindow::buildEntryCacheInBackground);
        }
        showListEntries(first.entries, query);
        return;
    }

    // Results replace the list; a fill of all notes goes on for the cache only.
    if (m_fill.collect)
        m_fill.appendToList = false;
    else
        cancelListFill();

    if (notes->textIndexComplete()) {
        if (!m_searcher) {
            m_searcher = new NoteSearcher(m_appState->database()->handle().databaseName(), this);
            connect(m_searcher, &NoteSearcher::resultsReady, this, &MainWindow::applySearchResults);
        }
        m_searchGeneration = m_searcher->search(query);
        return;
    }
    showListEntries(searchEntriesHere(query), query);
}

void MainWindow::applySearchResults(quint64 generation, const QString &text, const QList<qint64> &rowids, bool ok)
{
    if (generation != m_searchGeneration || text != m_searchField->text().trimmed())
        return;
    if (!ok) {
        m_searchGeneration = 0;
        showListEntries(searchEntriesHere(text), text);
        return;
    }
    // A common word matches a third of a large library, and gathering that many rows
    // would hold the UI thread for longer than a frame: a pool thread gathers them from a
    // shared copy of the cache (or builds the cache from the list read at start-up), and
    // the UI thread only swaps them in. A write meanwhile starts a new search, whose
    // generation retires this one.
    const bool fromList = !m_entryCacheValid && fullListIsFresh();
    if (!fromList)
        ensureEntryCache();
    if (!fromList && rowids.size() <= InlineGatherLimit) {
        // A handful of hits costs less than the trip to another thread.
        m_searchGeneration = 0;
        showListRows(gatherRows(rowids,
                                [this, &rowids](qsizetype i) -> const NoteListEntry * {
                                    const auto it = m_entryCache.constFind(rowids.at(i));
                                    return it != m_entryCache.cend() ? &*it : nullptr;
                                }),
                     text);
        return;
    }
    QPointer<MainWindow> window(this);
    QThreadPool::globalInstance()->start([window, generation, text, rowids, serial = m_fullListSerial,
                                          cache = fromList ? QHash<qint64, NoteListEntry>() : m_entryCache,
                                          list = fromList ? m_fullList : QList<NoteListEntry>()]() mutable {
        NoteListRows rows;
        std::optional<EntryCache> built;
        if (!list.isEmpty() && rowids.size() <= ListScanLimit) {
            // A few hits: one pass over the list finds them; the cache is built later.
            QHash<qint64, const NoteListEntry *> hits;
            hits.reserve(rowids.size());
            for (const qint64 rowid : std::as_const(rowids))
                hits.insert(rowid, nullptr);
            for (const NoteListEntry &entry : std::as_const(list)) {
                const auto it = hits.find(entry.rowid);
                if (it != hits.end())
                    *it = &entry;
            }
            rows = gatherRows(rowids, [&](qsizetype i) { return hits.value(rowids.at(i)); });
        } else {
            // Released before the rows are handed back, so that the UI thread's next
            // change to the cache does not have to copy it.
            QHash<qint64, NoteListEntry> held = std::move(cache);
            if (!list.isEmpty()) {
                built = buildEntryCache(list);
                held = built->byRowid;
            }
            rows = gatherRows(rowids, [&](qsizetype i) -> const NoteListEntry * {
                const auto it = held.constFind(rowids.at(i));
                return it != held.cend() ? &*it : nullptr;
            });
        }
        list = {};
        QMetaObject::invokeMethod(
            qApp,
            [window, generation, text, serial, rows = std::move(rows), built = std::move(built)]() mutable {
                if (!window)
                    return;
                if (built)
                    window->adoptEntryCache(serial, std::move(built->byRowid), std::move(built->rowids));
                window->showSearchRows(generation, text, std::move(rows));
            },
            Qt::QueuedConnection);
    });
}

bool MainWindow::fullListIsFresh() const
{
    return !m_fullList.isEmpty() && !(m_fill.active && m_fill.collect)
        && m_fullListSerial == m_appState->notes()->changeSerial();
}

// The cache built off the UI thread from the list read at start-up; good only while no
// change has been reported since that list was read.
void MainWindow::buildEntryCacheInBackground()
{
    if (m_fill.active && m_fill.collect) {
        QTimer::singleShot(FullListIdleMs, this, &MainWindow::buildEntryCacheInBackground);
        return;
    }
    if (m_entryCacheValid || !fullListIsFresh())
        return;
    QPointer<MainWindow> window(this);
    QThreadPool::globalInstance()->start([window, serial = m_fullListSerial, list = m_fullList]() mutable {
        EntryCache built = buildEntryCache(std::exchange(list, {}));
        QMetaObject::invokeMethod(
            qApp,
            [window, serial, built = std::move(built)]() mutable {
                if (window)
                    window->adoptEntryCache(serial, std::move(built.byRowid), std::move(built.rowids));
            },
            Qt::QueuedConnection);
    });
}

void MainWindow::adoptEntryCache(quint64 serial, QHash<qint64, NoteListEntry> byRowid, QHash<QString, qint64> rowids)
{
    if (m_entryCacheValid || serial != m_fullListSerial || !fullListIsFresh())
        return;
    m_entryCache = std::move(byRowid);
    m_cachedRowids = std::move(rowids);
    m_entryCacheValid = true;
    m_fullList.clear();
}

void MainWindow::showSearchRows(quint64 generation, const QString &text, NoteListRows rows)
{
    if (generation != m_searchGeneration || text != m_searchField->text().trimmed())
        return;
    m_searchGeneration = 0;
    showListRows(std::move(rows), text);
}

// The synchronous path: the text index is still being filled, or the search thread
// could not open the database.
QList<NoteListEntry> MainWindow::searchEntriesHere(const QString &query)
{
    NoteRepository *notes = m_appState->notes();
    const QStringList ids = notes->searchIds(query);
    QList<NoteListEntry> entries;
    entries.reserve(ids.size());
    if (!m_entryCacheValid && ids.size() <= PerIdLookupLimit) {
        for (const QString &id : ids) {
            if (std::optional<NoteListEntry> entry = notes->listEntry(id))
                entries.append(std::move(*entry));
        }
        return entries;
    }
    ensureEntryCache();
    for (const QString &id : ids) {
        const auto rowid = m_cachedRowids.constFind(id);
        if (rowid != m_cachedRowids.cend())
            entries.append(m_entryCache.value(*rowid));
    }
    return entries;
}

void MainWindow::ensureEntryCache()
{
    if (m_fill.collect)
        finishListFill();
    if (m_entryCacheValid)
        return;
    ensureEntryCache(fullListIsFresh() ? m_fullList : m_appState->notes()->listEntries());
}

void MainWindow::ensureEntryCache(QList<NoteListEntry> all)
{
    m_fullList.clear();
    EntryCache built = buildEntryCache(all);
    m_entryCache = std::move(built.byRowid);
    m_cachedRowids = std::move(built.rowids);
    m_entryCacheValid = true;
}

void MainWindow::cacheEntry(const NoteListEntry &entry)
{
    m_entryCache.insert(entry.rowid, entry);
    m_cachedRowids.insert(entry.id, entry.rowid);
}

void MainWindow::uncacheEntry(const QString &noteId)
{
    const auto it = m_cachedRowids.constFind(noteId);
    if (it == m_cachedRowids.cend())
        return;
    m_entryCache.remove(*it);
    m_cachedRowids.erase(it);
}

void MainWindow::showListEntries(const QList<NoteListEntry> &entries, const QString &query)
{
    showListRows(NoteListModel::prepareRows(entries), query);
}

void MainWindow::showListRows(NoteListRows rows, const QString &query)
{
    m_listQuery = query;
    m_listReversed = query.isEmpty() && stenoMode();
    const bool empty = rows.entries.isEmpty();
    m_noteList->setRows(std::move(rows));
    // Back from a search that did not list it, the open note is the selected row again.
    const QString openId = m_editor->currentNoteId();
    if (m_noteList->currentNoteId().isEmpty() && !openId.isEmpty()) {
        if (m_noteList->rowOf(openId) >= 0) {
            const QSignalBlocker blocker(m_noteList);
            m_noteList->selectNote(openId);
        } else if (m_fill.active && m_fill.appendToList) {
            m_fill.pendingSelection = openId;
        }
    }
    const bool inNotebook = query.isEmpty() && !m_appState->currentNotebookId().isEmpty();
    m_noteList->setPlaceholderText(inNotebook ? tr("No notes in this notebook") : QString());
    // An empty notebook shows no note of another notebook in the editor.
    if (inNotebook && empty && !openId.isEmpty() && settleUnsavedNote()) {
        snapshotIfChanged();
        clearEditor();
        updateCentralPage();
    }
    updateNoteCount();
}

void MainWindow::startTextIndexBuild()
{
    if (m_appState->notes()->textIndexComplete())
        return;
    m_textIndex = new NoteTextIndex(m_appState->database()->connectionName(), this);
    // The status bar shows the fill only once it lasts longer than a moment.
    auto *shown = new QElapsedTimer;
    shown->start();
    connect(m_textIndex, &NoteTextIndex::buildProgress, this, [this, shown](int percent) {
        if (shown->isValid() && shown->elapsed() > 500)
            m_statusBar->showActivity(tr("Indexing notes for search… %1%").arg(percent));
    });
    connect(m_textIndex, &NoteTextIndex::buildFinished, this, [this, shown](bool) {
        delete shown;
        m_statusBar->hideActivity();
        m_textIndex->deleteLater();
        m_textIndex = nullptr;
        if (!m_searchField->text().trimmed().isEmpty())
            refreshNoteList();
    });
    // After the first paint: start-up does not wait for the fill.
    QTimer::singleShot(0, m_textIndex, &NoteTextIndex::startBuild);
}

bool MainWindow::belongsInList(const NoteListEntry &entry) const
{
    if (entry.isTrashed)
        return false;
    const QString notebookId = m_appState->currentNotebookId();
    return notebookId.isEmpty() || entry.notebookId == notebookId;
}

void MainWindow::applyNoteChanges(const QHash<QString, std::optional<NoteListEntry>> &changed)
{
    for (auto it = changed.cbegin(); it != changed.cend(); ++it) {
        const std::optional<NoteListEntry> &entry = it.value();
        if (!m_listQuery.isEmpty()) {
            // A result list keeps its rank order: rows are refreshed in place, never re-ranked.
            const int row = m_noteList->rowOf(it.key());
            if (row < 0)
                continue;
            if (!entry || entry->isTrashed)
                m_noteList->removeEntry(it.key());
            else
                m_noteList->placeEntry(*entry, row);
            continue;
        }
        if (!entry || !belongsInList(*entry)) {
            if (m_noteList->rowOf(it.key()) >= 0)
                m_noteList->removeEntry(it.key());
            continue;
        }
        m_noteList->placeEntry(*entry, orderedRowFor(*entry));
    }
    updateNoteCount();
}

int MainWindow::orderedRowFor(const NoteListEntry &entry) const
{
    // Binary search over the list as it would be without this entry; the rest of the
    // list is ordered by updatedAt, then id, newest first (oldest first in steno mode), as
    // the list is read.
    const int self = m_noteList->rowOf(entry.id);
    const int count = m_noteList->count() - (self >= 0 ? 1 : 0);
    const auto entryAt = [this, self](int index) -> const NoteListEntry & {
        return m_noteList->entryAt(self >= 0 && index >= self ? index + 1 : index);
    };
    // The entry goes before the first row that sorts after it.
    int low = 0;
    int high = count;
    while (low < high) {
        const int mid = low + (high - low) / 2;
        const NoteListEntry &other = entryAt(mid);
        const bool newer = other.updatedAt == entry.updatedAt ? other.id > entry.id : other.updatedAt > entry.updatedAt;
        const bool goesBefore = m_listReversed ? newer : !newer;
        if (goesBefore)
            high = mid;
        else
            low = mid + 1;
    }
    return low;
}

void MainWindow::updateNoteCount()
{
    QString caption = tr("All Notes");
    const QString notebookId = m_appState->currentNotebookId();
    if (!notebookId.isEmpty()) {
        if (const auto notebook = m_appState->notebooks()->findById(notebookId))
            caption = notebook->name;
    }
    const bool filling = m_fill.active && m_fill.appendToList;
    m_statusBar->setNoteCount(caption, filling ? m_fill.total : m_noteList->count());
}

void MainWindow::ensureNotebookCounts()
{
    if (m_notebookCountsValid)
        return;
    if (fullListIsFresh()) {
        m_notebookCounts.clear();
        for (const NoteListEntry &entry : std::as_const(m_fullList))
            ++m_notebookCounts[entry.notebookId];
    } else {
        m_notebookCounts = m_appState->notes()->liveCountsByNotebook();
    }
    m_notebookCountsValid = true;
}

void MainWindow::refreshNotebookList()
{
    ensureNotebookCounts();
    m_notebookList->setNotebooks(m_appState->notebooks()->allNotebooks(), m_notebookCounts,
                                 m_appState->currentNotebookId(), int(m_trashedIds.size()));
    m_shownNotebookCounts = m_notebookCounts;
    m_shownTrashCount = m_trashedIds.size();
}

// Whether the sidebar already shows the current counts with the current notebook's row
// selected; most saves change neither, and rebuilding it costs a read of every notebook.
bool MainWindow::notebookListIsCurrent() const
{
    if (!m_notebookCountsValid || m_shownTrashCount != m_trashedIds.size() || m_shownNotebookCounts != m_notebookCounts)
        return false;
    const QListWidgetItem *current = m_notebookList->currentItem();
    if (!current)
        return false;
    const QString notebookId = m_appState->currentNotebookId();
    const int kind = current->data(NotebookListWidget::KindRole).toInt();
    if (notebookId.isEmpty())
        return kind == NotebookListWidget::AllNotesRow;
    return kind == NotebookListWidget::NotebookRow
        && current->data(NotebookListWidget::NotebookIdRole).toString() == notebookId;
}

// The counts follow the change reports: the cached row is the note before the change,
// the entry after it. Counting every live note again costs a scan per save.
void MainWindow::adjustNotebookCounts(const QString &noteId, const std::optional<NoteListEntry> &after)
{
    if (!m_notebookCountsValid)
        return;
    const auto rowid = m_cachedRowids.constFind(noteId);
    if (rowid != m_cachedRowids.cend()) {
        const QString before = m_entryCache.value(*rowid).notebookId;
        if (--m_notebookCounts[before] <= 0)
            m_notebookCounts.remove(before);
    }
    if (after && !after->isTrashed)
        ++m_notebookCounts[after->notebookId];
}

void MainWindow::reloadNotebookNames()
{
    m_notebookNames.clear();
    const QList<Notebook> notebooks = m_appState->notebooks()->allNotebooks();
    for (const Notebook &notebook : notebooks)
        m_notebookNames.insert(notebook.id, notebook.name);
}

void MainWindow::reloadTrashedIds()
{
    const QStringList trashed = m_appState->notes()->trashedIds();
    m_trashedIds = QSet<QString>(trashed.cbegin(), trashed.cend());
}

QString MainWindow::notebookName(const QString &notebookId) const
{
    if (notebookId.isEmpty())
        return QString();
    return m_notebookNames.value(notebookId);
}

void MainWindow::copyOpenNote(int format)
{
    const QString noteId = m_editor->currentNoteId();
    if (noteId.isEmpty())
        return;
    if (format < 0) {
        QApplication::clipboard()->setText(m_editor->deltaDocument()->toPlainText());
        return;
    }
    saveCurrentNote();
    const std::optional<Note> note = m_appState->notes()->findById(noteId);
    if (!note)
        return;
    const QString markdown = renderDelta(note->body, RenderMarkdown);
    if (format == RenderMarkdown) {
        QApplication::clipboard()->setText(markdown);
        return;
    }
    auto *mime = new QMimeData;
    mime->setHtml(renderDelta(note->body, RenderHtml));
    mime->setText(markdown);
    QApplication::clipboard()->setMimeData(mime);
}
