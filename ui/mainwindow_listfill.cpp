#include "mainwindow.h"

#include "appstate.h"
#include "notelistwidget.h"
#include "noterepository.h"
#include "uilog.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace {

// A tall screen shows about 25 cards; the first read covers a few screens more so that
// the first page-downs never wait.
constexpr int DefaultFirstScreenRows = 96;
// Each later read aims at this much of one event-loop turn (reading and adding rows),
// well inside a frame.
constexpr qint64 ChunkBudgetNs = 6'000'000;
constexpr int DefaultChunkRows = 1000;
constexpr int MinChunkRows = 200;
constexpr int MaxChunkRows = 20000;
constexpr int UnpaintedFillDelayMs = 500;

int s_firstScreenRows = DefaultFirstScreenRows;
int s_fixedChunkRows = 0; // 0: sized by time

} // namespace

void MainWindow::setListPaging(int firstScreenRows, int chunkRows)
{
    s_firstScreenRows = firstScreenRows > 0 ? firstScreenRows : DefaultFirstScreenRows;
    s_fixedChunkRows = std::max(0, chunkRows);
}

int MainWindow::firstScreenRows()
{
    return s_firstScreenRows;
}

void MainWindow::startListFill(const QString &notebookId, bool reversed, const NoteListCursor &after, int total)
{
    m_fill = ListFill();
    m_fill.active = true;
    m_fill.notebookId = notebookId;
    m_fill.reversed = reversed;
    m_fill.cursor = after;
    m_fill.total = total;
    m_fill.serial = m_appState->notes()->changeSerial();
    m_fill.collect = notebookId.isNull() && !m_entryCacheValid;
    m_fill.chunkRows = s_fixedChunkRows > 0 ? s_fixedChunkRows : DefaultChunkRows;
    // At start-up the first frame goes first; a window never shown fills a moment later.
    if (m_painted)
        m_fillTimer.start();
    else
        QTimer::singleShot(UnpaintedFillDelayMs, this, &MainWindow::resumeListFill);
}

void MainWindow::resumeListFill()
{
    if (m_fill.active && !m_fillTimer.isActive())
        m_fillTimer.start();
}

void MainWindow::fillListChunk()
{
    if (!m_fill.active) {
        m_fillTimer.stop();
        return;
    }
    QElapsedTimer timer;
    timer.start();
    const NoteListPage page =
        m_appState->notes()->listEntriesPage(m_fill.notebookId, m_fill.reversed, m_fill.cursor, m_fill.chunkRows);
    m_fill.cursor = page.next;
    takeFillRows(page.entries, m_appState->notes()->changeSerial() != m_fill.serial);
    if (page.complete) {
        completeListFill(false);
        return;
    }
    if (s_fixedChunkRows == 0) {
        const qint64 spent = std::max<qint64>(1, timer.nsecsElapsed());
        const qint64 rows = qint64(m_fill.chunkRows) * ChunkBudgetNs / spent;
        // Halfway towards the estimate: one slow turn (a busy machine) must not swing it.
        m_fill.chunkRows = std::clamp(int((m_fill.chunkRows + rows) / 2), MinChunkRows, MaxChunkRows);
    }
}

void MainWindow::finishListFill(bool acrossChange)
{
    if (!m_fill.active)
        return;
    // Rows read now may already show changes that the rows shown before do not; the change
    // report that follows moves those, and rows listed twice are dropped here.
    const bool changed = m_appState->notes()->changeSerial() != m_fill.serial;
    const NoteListPage rest = m_appState->notes()->listEntriesPage(m_fill.notebookId, m_fill.reversed, m_fill.cursor,
                                                                   std::numeric_limits<int>::max());
    takeFillRows(rest.entries, changed);
    completeListFill(acrossChange);
}

void MainWindow::cancelListFill()
{
    if (!m_fill.active)
        return;
    if (m_fill.collect)
        m_fullList.clear();
    m_fill = ListFill();
    m_fillTimer.stop();
}

void MainWindow::takeFillRows(QList<NoteListEntry> rows, bool dedupe)
{
    if (m_fill.collect)
        m_fullList += rows;
    if (!m_fill.appendToList)
        return;
    if (dedupe) {
        rows.erase(std::remove_if(rows.begin(), rows.end(),
                                  [this](const NoteListEntry &entry) { return m_noteList->rowOf(entry.id) >= 0; }),
                   rows.end());
    }
    m_noteList->appendEntries(rows);
    if (m_fill.pendingSelection.isEmpty())
        return;
    // The user's own choice made in the meantime stands.
    if (!m_noteList->currentNoteId().isEmpty()) {
        m_fill.pendingSelection.clear();
    } else if (m_noteList->rowOf(m_fill.pendingSelection) >= 0) {
        // Selected where it is, without scrolling the view away from what the user reads.
        const bool autoScroll = m_noteList->hasAutoScroll();
        m_noteList->setAutoScroll(false);
        {
            const QSignalBlocker blocker(m_noteList);
            m_noteList->selectNote(m_fill.pendingSelection);
        }
        m_noteList->setAutoScroll(autoScroll);
        m_fill.pendingSelection.clear();
    }
}

void MainWindow::completeListFill(bool acrossChange)
{
    const bool collected = m_fill.collect;
    const quint64 serial = m_fill.serial;
    m_fill = ListFill();
    m_fillTimer.stop();
    if (!collected)
        return;
    m_fullListSerial = serial;
    if (!acrossChange && serial != m_appState->notes()->changeSerial()) {
        // Read across a change nobody corrects: not a picture of any one moment.
        m_fullList.clear();
        m_notebookCountsValid = false;
    }
}

// Selecting a note the fill has not reached reads the rest of the list first.
void MainWindow::selectInList(const QString &noteId)
{
    if (m_fill.active && m_fill.appendToList && m_noteList->rowOf(noteId) < 0)
        finishListFill();
    m_noteList->selectNote(noteId);
}

void MainWindow::onListScrolled(int value)
{
    if (!m_fill.active || !m_fill.appendToList)
        return;
    QScrollBar *bar = m_noteList->verticalScrollBar();
    if (value < bar->maximum() - bar->pageStep())
        return;
    // Near the end of what is read: the end the user is heading for is the real one.
    const bool atEnd = value >= bar->maximum();
    finishListFill();
    if (atEnd)
        m_noteList->scrollToBottom();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == this && event->type() == QEvent::Paint && !m_painted) {
        m_painted = true;
        QMetaObject::invokeMethod(this, &MainWindow::resumeListFill, Qt::QueuedConnection);
    }
    // Focus coming into a list without a current row makes its first row current, which
    // would open that note instead of the one being reopened.
    if (watched == m_noteList && event->type() == QEvent::FocusIn && !m_fill.pendingSelection.isEmpty())
        finishListFill();
    if (watched == m_noteList && event->type() == QEvent::KeyPress && m_fill.active && m_fill.appendToList) {
        const auto *key = static_cast<const QKeyEvent *>(event);
        bool needsAll = !m_fill.pendingSelection.isEmpty() || key->key() == Qt::Key_End;
        if (!needsAll && (key->key() == Qt::Key_Down || key->key() == Qt::Key_PageDown)) {
            const int rowHeight = std::max(1, m_noteList->sizeHintForRow(0));
            const int pageRows = std::max(1, m_noteList->viewport()->height() / rowHeight);
            needsAll = m_noteList->rowOf(m_noteList->currentNoteId()) + 2 * pageRows >= m_noteList->count();
        }
        if (needsAll)
            finishListFill();
    }
    return QMainWindow::eventFilter(watched, event);
}
