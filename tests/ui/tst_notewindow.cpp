#include "appstate.h"
#include "editortoolbar.h"
#include "findbar.h"
#include "mainwindow.h"
#include "notebookrepository.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "noteprinting.h"
#include "noterepository.h"
#include "notewindow.h"
#include "preferencesrepository.h"
#include "snapshotrepository.h"
#include "statusbar.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QUuid>

namespace {

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString textBody(const QString &text)
{
    return QStringLiteral("[{\"insert\":\"%1\\n\"}]").arg(text);
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void typeAtEnd(NoteEditor *editor, const QString &text)
{
    QTextCursor cursor = editor->textCursor();
    cursor.movePosition(QTextCursor::End);
    editor->setTextCursor(cursor);
    editor->insertPlainText(text);
}

} // namespace

class TestNoteWindow : public QObject
{
    Q_OBJECT

private:
    Note addNote(const QString &body, SyncStatus status = SyncStatus::Pending, const QString &notebookId = {})
    {
        Note note;
        note.id = newId();
        note.notebookId = notebookId;
        note.body = body;
        note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
        note.syncStatus = status;
        m_state->notes()->insert(note);
        return note;
    }

    NoteWindow *windowFor(const QString &noteId) const
    {
        return qobject_cast<NoteWindow *>(m_state->noteWindow(noteId));
    }

    QList<NoteWindow *> openWindows() const
    {
        QList<NoteWindow *> windows;
        const QWidgetList widgets = QApplication::topLevelWidgets();
        for (QWidget *widget : widgets) {
            if (auto *window = qobject_cast<NoteWindow *>(widget); window && window->isVisible())
                windows.append(window);
        }
        return windows;
    }

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }

    void init()
    {
        m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>();
        m_state = std::make_unique<AppState>();
        QVERIFY(m_state->initialize());
        m_state->setNoteWindowFactory([](AppState *state, const QString &noteId) -> QWidget * {
            auto *window = new NoteWindow(state, noteId);
            QObject::connect(window, &NoteWindow::windowClosed, state, &AppState::noteWindowClosed);
            return window;
        });
    }

    void cleanup()
    {
        m_state.reset();
        flushDeletes();
        m_dataDir.reset();
    }

    void openingTwiceRaisesOneWindow()
    {
        const Note note = addNote(textBody(QStringLiteral("Twice")));
        m_state->openNoteWindow(note.id);
        QPointer<NoteWindow> first = windowFor(note.id);
        QVERIFY(first);
        m_state->openNoteWindow(note.id);
        QCOMPARE(windowFor(note.id), first.data());
        QCOMPARE(openWindows().size(), 1);
        QCOMPARE(m_state->openNoteWindowIds(), QStringList{note.id});

        first->close();
        flushDeletes();
        QVERIFY(!first);
        QVERIFY(m_state->openNoteWindowIds().isEmpty());

        m_state->openNoteWindow(note.id);
        QVERIFY(windowFor(note.id));
        QCOMPARE(openWindows().size(), 1);
    }

    void newNoteWindowShowsAnEmptyEditableNote()
    {
        auto *window = qobject_cast<NoteWindow *>(m_state->openNewNoteWindow());
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QVERIFY(!window->editor()->isReadOnly());
        QVERIFY(window->editorToolbar()->isEnabled());
        QCOMPARE(window->windowTitle(), QStringLiteral("Untitled — Ombrel Notes"));
        QCOMPARE(window->statusBarWidget()->captionText(), QStringLiteral("Notes"));
        QVERIFY(window->screen()->availableGeometry().contains(window->frameGeometry()));
    }

    // What closing leaves behind, by the note's content, sync status and ownership.
    void closeKeepsOrRemovesTheNote_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<SyncStatus>("status");
        QTest::addColumn<QString>("ownerId");
        QTest::addColumn<QString>("outcome"); // "gone", "trashed" or "kept"
        QTest::addColumn<bool>("geometryStored");

        const QString empty = Note::emptyBody();
        QTest::newRow("never-synced-empty-is-deleted") << empty << SyncStatus::Pending << "" << "gone" << false;
        QTest::newRow("synced-empty-is-trashed") << empty << SyncStatus::Synced << "" << "trashed" << false;
        QTest::newRow("conflict-empty-is-trashed") << empty << SyncStatus::Conflict << "" << "trashed" << false;
        QTest::newRow("blank-lines-count-as-empty") << QStringLiteral("[{\"insert\":\"  \\n\\t\\n\"}]")
                                                    << SyncStatus::Pending << "" << "gone" << false;
        QTest::newRow("content-is-kept") << textBody(QStringLiteral("Keep me")) << SyncStatus::Pending << ""
                                         << "kept" << true;
        QTest::newRow("read-only-shared-empty-is-kept") << empty << SyncStatus::Synced << "someone-else" << "kept"
                                                        << true;
    }

    void closeKeepsOrRemovesTheNote()
    {
        QFETCH(QString, body);
        QFETCH(SyncStatus, status);
        QFETCH(QString, ownerId);
        QFETCH(QString, outcome);
        QFETCH(bool, geometryStored);

        Note note = addNote(body, status);
        if (!ownerId.isEmpty()) {
            note.ownerId = ownerId;
            note.permission = QStringLiteral("view");
            QVERIFY(m_state->notes()->update(note));
        }
        m_state->openNoteWindow(note.id);
        QPointer<NoteWindow> window = windowFor(note.id);
        QVERIFY(window);
        QCOMPARE(window->editor()->isReadOnly(), !ownerId.isEmpty());
        window->close();
        flushDeletes();
        QVERIFY(!window);

        const std::optional<Note> stored = m_state->notes()->findById(note.id);
        if (outcome == QLatin1String("gone")) {
            QVERIFY(!stored);
        } else {
            QVERIFY(stored);
            QCOMPARE(stored->deletedAt.has_value(), outcome == QLatin1String("trashed"));
        }
        QCOMPARE(m_state->preferences()->find(NoteWindow::geometryKey(note.id)).has_value(), geometryStored);
        QVERIFY(m_state->openNoteWindowIds().isEmpty());
    }

    void closingANeverTypedNewWindowDeletesItsNote()
    {
        QPointer<QWidget> window = m_state->openNewNoteWindow();
        QVERIFY(window);
        const QString id = m_state->openNoteWindowIds().value(0);
        QVERIFY(m_state->notes()->findById(id));
        window->close();
        flushDeletes();
        QVERIFY(!m_state->notes()->findById(id));
        QVERIFY(m_state->notes()->trashedNotes().isEmpty());
    }

    void aNoteTrashedElsewhereClosesItsWindow()
    {
        const Note note = addNote(textBody(QStringLiteral("Doomed")));
        m_state->openNoteWindow(note.id);
        QPointer<NoteWindow> window = windowFor(note.id);
        QVERIFY(window && window->isVisible());
        QVERIFY(m_state->notes()->moveToTrash(note.id));
        QVERIFY(!window || !window->isVisible());
        flushDeletes();
        QVERIFY(!window);
        QVERIFY(m_state->openNoteWindowIds().isEmpty());
        // Trashed, not deleted: the close must not purge it even though it is now pending.
        QVERIFY(m_state->notes()->findById(note.id)->deletedAt);
    }

    void ctrlBackspaceTrashesTheNoteInFrontWhileTheMainWindowExists()
    {
        const Note other = addNote(textBody(QStringLiteral("Open in the main window")));
        m_state->setCurrentNoteId(other.id);
        MainWindow mainWindow(m_state.get());
        mainWindow.show();
        const Note note = addNote(textBody(QStringLiteral("In front")));
        m_state->openNoteWindow(note.id);
        QPointer<NoteWindow> window = windowFor(note.id);
        QVERIFY(window);
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));

        // With the focus outside the editor, which keeps the key for deleting a word.
        auto *combo = window->editorToolbar()->findChild<QComboBox *>();
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Backspace, Qt::ControlModifier);
        flushDeletes();
        QVERIFY(m_state->notes()->findById(note.id)->deletedAt);
        QVERIFY(!m_state->notes()->findById(other.id)->deletedAt);
    }

    void geometryIsRestoredOnReopen()
    {
        const Note note = addNote(textBody(QStringLiteral("Placed")));
        m_state->openNoteWindow(note.id);
        QPointer<NoteWindow> window = windowFor(note.id);
        window->resize(640, 480);
        window->close();
        flushDeletes();
        const QString stored = m_state->preferences()->get(NoteWindow::geometryKey(note.id));
        QVERIFY(!stored.isEmpty());
        QVERIFY(!QByteArray::fromBase64(stored.toLatin1()).isEmpty());

        m_state->openNoteWindow(note.id);
        QCOMPARE(windowFor(note.id)->size(), QSize(640, 480));
    }

    // Note windows without a stored place open a step apart, near the main window and
    // inside the screen, never stacked on its menu bar at the corner.
    void noteWindowsCascadeNearTheMainWindow()
    {
        MainWindow mainWindow(m_state.get());
        mainWindow.setGeometry(60, 50, 500, 400);
        mainWindow.show();
        QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
        const Note first = addNote(textBody(QStringLiteral("First")));
        const Note second = addNote(textBody(QStringLiteral("Second")));
        m_state->openNoteWindow(first.id);
        m_state->openNoteWindow(second.id);
        NoteWindow *a = windowFor(first.id);
        NoteWindow *b = windowFor(second.id);
        QVERIFY(a && b);
        const QRect available = a->screen()->availableGeometry();
        for (NoteWindow *window : {a, b})
            QVERIFY(available.contains(window->frameGeometry()));
        const QPoint offset = a->frameGeometry().topLeft() - mainWindow.frameGeometry().topLeft();
        QVERIFY2(offset.x() > 0 && offset.y() > 0, "the first window covers the main window's menu bar");
        QVERIFY(offset.manhattanLength() < 200);
        QVERIFY(b->frameGeometry().left() > a->frameGeometry().left());
        QVERIFY(b->frameGeometry().top() > a->frameGeometry().top());
    }

    void noteWindowFitsTheScreen_data()
    {
        QTest::addColumn<bool>("storeLarge");
        QTest::newRow("first-open") << false;
        QTest::newRow("stored-larger-than-the-screen") << true;
    }

    void noteWindowFitsTheScreen()
    {
        QFETCH(bool, storeLarge);
        const Note note = addNote(textBody(QStringLiteral("Sized")));
        if (storeLarge) {
            QWidget probe;
            probe.setGeometry(0, 0, 2400, 1800);
            m_state->preferences()->set(NoteWindow::geometryKey(note.id),
                                        QString::fromLatin1(probe.saveGeometry().toBase64()));
        }
        m_state->openNoteWindow(note.id);
        NoteWindow *window = windowFor(note.id);
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(window->screen()->availableGeometry().contains(window->frameGeometry()));
    }

    void corruptStoredGeometryIsIgnored_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("not-base64") << "!!!*** not base64 ***";
        QTest::newRow("base64-of-garbage") << QString::fromLatin1(QByteArray("garbage bytes").toBase64());
        QTest::newRow("empty") << "";
    }

    void corruptStoredGeometryIsIgnored()
    {
        QFETCH(QString, stored);
        const Note note = addNote(textBody(QStringLiteral("Placed")));
        m_state->preferences()->set(NoteWindow::geometryKey(note.id), stored);
        m_state->openNoteWindow(note.id);
        const Note unplaced = addNote(textBody(QStringLiteral("Never placed")));
        m_state->openNoteWindow(unplaced.id);
        QCOMPARE(windowFor(note.id)->size(), windowFor(unplaced.id)->size());
    }

    void saveReloadsOtherWindowsButNotTheSource()
    {
        const Note note = addNote(textBody(QStringLiteral("Shared")));
        NoteWindow source(m_state.get(), note.id);
        NoteWindow other(m_state.get(), note.id);
        QSignalSpy updated(m_state.get(), &AppState::noteUpdatedExternally);

        typeAtEnd(source.editor(), QStringLiteral(" edit"));
        const int caret = source.editor()->textCursor().position();
        QVERIFY(!source.editor()->isSaved());
        source.save();

        QCOMPARE(updated.count(), 1);
        QCOMPARE(updated.first().at(0).toString(), note.id);
        QCOMPARE(qvariant_cast<QObject *>(updated.first().at(1)), static_cast<QObject *>(&source));
        QCOMPARE(other.editor()->toPlainText(), QStringLiteral("Shared edit"));
        // The source was not reloaded: caret and undo history survive.
        QCOMPARE(source.editor()->textCursor().position(), caret);
        QVERIFY(source.editor()->document()->isUndoAvailable());

        const std::optional<Note> stored = m_state->notes()->findById(note.id);
        QCOMPARE(stored->version, note.version + 1);
        QCOMPARE(stored->syncStatus, SyncStatus::Pending);
        QCOMPARE(source.windowTitle(), QStringLiteral("Shared edit — Ombrel Notes"));
    }

    void saveWritesNothingWithoutAnEdit()
    {
        const Note note = addNote(textBody(QStringLiteral("Still")), SyncStatus::Synced);
        NoteWindow window(m_state.get(), note.id);
        QSignalSpy changed(m_state.get(), &AppState::notesChanged);
        window.save();
        QCOMPARE(changed.count(), 0);
        QCOMPARE(m_state->notes()->findById(note.id)->syncStatus, SyncStatus::Synced);
    }

    void readOnlyNoteIsNeverSaved()
    {
        Note note = addNote(textBody(QStringLiteral("Theirs")), SyncStatus::Synced);
        note.ownerId = QStringLiteral("owner");
        note.permission = QStringLiteral("view");
        QVERIFY(m_state->notes()->update(note));
        NoteWindow window(m_state.get(), note.id);
        QVERIFY(window.editor()->isReadOnly());
        QVERIFY(!window.editorToolbar()->isEnabled());

        // Even a programmatic change is not written back.
        QTextCursor cursor(window.editor()->document());
        cursor.insertText(QStringLiteral("x"));
        window.save();
        QCOMPARE(m_state->notes()->findById(note.id)->body, note.body);
    }

    void editPermissionMakesASharedNoteWritable()
    {
        Note note = addNote(textBody(QStringLiteral("Ours")), SyncStatus::Synced);
        note.ownerId = QStringLiteral("owner");
        note.permission = QStringLiteral("edit");
        QVERIFY(m_state->notes()->update(note));
        NoteWindow window(m_state.get(), note.id);
        QVERIFY(!window.editor()->isReadOnly());
    }

    void snapshotOnCloseOnlyWhenChanged()
    {
        // Stored in the merged form other clients write, not the form this editor writes.
        const Note note = addNote(textBody(QStringLiteral("First")));
        m_state->openNoteWindow(note.id);
        windowFor(note.id)->close();
        flushDeletes();
        QVERIFY(m_state->snapshots()->snapshotsForNote(note.id).isEmpty());

        m_state->openNoteWindow(note.id);
        NoteWindow *window = windowFor(note.id);
        typeAtEnd(window->editor(), QStringLiteral(" second"));
        // After the idle save any change to the notes table reloads the saved window;
        // the baseline must survive that reload.
        QTRY_VERIFY_WITH_TIMEOUT(window->editor()->isSaved(), 5000);
        Q_EMIT m_state->notesChanged();
        window->close();
        flushDeletes();
        const QList<Snapshot> snapshots = m_state->snapshots()->snapshotsForNote(note.id);
        QCOMPARE(snapshots.size(), 1);
        QCOMPARE(NoteText::plainText(snapshots.first().body).trimmed(), QStringLiteral("First second"));
    }

    void idleSaveWritesTheEdit()
    {
        const Note note = addNote(textBody(QStringLiteral("Idle")));
        NoteWindow window(m_state.get(), note.id);
        typeAtEnd(window.editor(), QStringLiteral(" typed"));
        QCOMPARE(window.statusBarWidget()->wordText(), QStringLiteral("Words: 2"));
        QTRY_COMPARE_WITH_TIMEOUT(m_state->notes()->findById(note.id)->plainText().trimmed(), QStringLiteral("Idle typed"), 5000);
        QTRY_COMPARE(window.statusBarWidget()->wordText(), QStringLiteral("Words: 2 · Saved"));
    }

    void externalChangeWhileSavedIsShown()
    {
        Note note = addNote(textBody(QStringLiteral("Old")));
        NoteWindow window(m_state.get(), note.id);
        note.body = textBody(QStringLiteral("New from sync"));
        QVERIFY(m_state->notes()->update(note));
        QCOMPARE(window.editor()->toPlainText(), QStringLiteral("New from sync"));
        QCOMPARE(window.windowTitle(), QStringLiteral("New from sync — Ombrel Notes"));
    }

    void externalChangeNeverOverwritesAPendingEdit()
    {
        Note note = addNote(textBody(QStringLiteral("Mine")));
        NoteWindow window(m_state.get(), note.id);
        typeAtEnd(window.editor(), QStringLiteral(" typing"));
        Note other = addNote(textBody(QStringLiteral("Unrelated")));
        Q_UNUSED(other);
        QCOMPARE(window.editor()->toPlainText(), QStringLiteral("Mine typing"));
    }

    void captionAndHeaderShowTheNotebook_data()
    {
        QTest::addColumn<bool>("inNotebook");
        QTest::addColumn<QString>("caption");
        QTest::newRow("in-notebook") << true << "Projects";
        QTest::newRow("no-notebook") << false << "Notes";
    }

    void captionAndHeaderShowTheNotebook()
    {
        QFETCH(bool, inNotebook);
        QFETCH(QString, caption);
        Notebook notebook;
        notebook.id = newId();
        notebook.name = QStringLiteral("Projects");
        notebook.createdAt = notebook.updatedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(m_state->notebooks()->insert(notebook));
        const Note note = addNote(textBody(QStringLiteral("Filed")), SyncStatus::Pending,
                                  inNotebook ? notebook.id : QString());
        NoteWindow window(m_state.get(), note.id);
        QCOMPARE(window.statusBarWidget()->captionText(), caption);
    }

    void missingNoteShowsAnEmptyReadOnlyWindow()
    {
        const QString id = newId();
        {
            NoteWindow window(m_state.get(), id);
            QCOMPARE(window.windowTitle(), QStringLiteral("Ombrel Notes"));
            QVERIFY(window.editor()->isReadOnly());
            QVERIFY(!window.editorToolbar()->isEnabled());
            window.close();
        }
        QVERIFY(!m_state->preferences()->find(NoteWindow::geometryKey(id)));
        QVERIFY(!m_state->notes()->findById(id));
    }

    void cancellingTheMoveLeavesTheNote_data()
    {
        QTest::addColumn<bool>("choose");
        QTest::newRow("cancel") << false;
        QTest::newRow("choose") << true;
    }

    void cancellingTheMoveLeavesTheNote()
    {
        QFETCH(bool, choose);
        Notebook target;
        target.id = newId();
        target.name = QStringLiteral("Target");
        target.createdAt = target.updatedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(m_state->notebooks()->insert(target));
        const Note note = addNote(textBody(QStringLiteral("Mobile")));
        NoteWindow window(m_state.get(), note.id);
        QList<Notebook> offered;
        window.setMovePrompt([&](const QList<Notebook> &notebooks, const QString &current) {
            offered = notebooks;
            Q_UNUSED(current);
            return choose ? target.id : QString();
        });
        Q_EMIT window.headerBar()->moveToNotebookRequested();
        QVERIFY(!offered.isEmpty());
        QCOMPARE(m_state->notes()->findById(note.id)->notebookId, choose ? target.id : QString());
        QCOMPARE(window.statusBarWidget()->captionText(), choose ? QStringLiteral("Target") : QStringLiteral("Notes"));
    }

    void deleteAsksFirst_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("question");
        QTest::newRow("titled-yes") << textBody(QStringLiteral("Groceries")) << true << "Move \"Groceries\" to Trash?";
        QTest::newRow("titled-no") << textBody(QStringLiteral("Groceries")) << false << "Move \"Groceries\" to Trash?";
        QTest::newRow("untitled-yes") << QStringLiteral("[{\"insert\":\"\\nbody after a blank first line\\n\"}]")
                                      << true << "Move \"this note\" to Trash?";
    }

    void deleteAsksFirst()
    {
        QFETCH(QString, body);
        QFETCH(bool, answer);
        QFETCH(QString, question);
        const Note note = addNote(body);
        m_state->openNoteWindow(note.id);
        QPointer<NoteWindow> window = windowFor(note.id);
        QString asked;
        window->setConfirmPrompt([&](const QString &title, const QString &text) {
            asked = title + QLatin1Char('|') + text;
            return answer;
        });
        Q_EMIT window->headerBar()->deleteRequested();
        QCOMPARE(asked, QStringLiteral("Move to Trash|") + question);
        flushDeletes();
        QCOMPARE(bool(window), !answer);
        QCOMPARE(m_state->notes()->findById(note.id)->deletedAt.has_value(), answer);
    }

    void moveToTrashShortcutNeedsNoConfirmation()
    {
        const Note note = addNote(textBody(QStringLiteral("Quick")));
        m_state->openNoteWindow(note.id);
        QPointer<NoteWindow> window = windowFor(note.id);
        bool asked = false;
        window->setConfirmPrompt([&](const QString &, const QString &) { return asked = true; });
        QAction *trash = nullptr;
        for (QAction *action : window->findChildren<QAction *>()) {
            if (action->shortcut() == QKeySequence(QStringLiteral("Ctrl+Backspace")))
                trash = action;
        }
        QVERIFY(trash);
        trash->trigger();
        QVERIFY(!asked);
        flushDeletes();
        QVERIFY(!window);
        QVERIFY(m_state->notes()->findById(note.id)->deletedAt);
    }

    void copyAsRendersTheSavedBody()
    {
        const Note note = addNote(textBody(QStringLiteral("Copy")));
        NoteWindow window(m_state.get(), note.id);
        typeAtEnd(window.editor(), QStringLiteral(" me"));

        Q_EMIT window.headerBar()->copyAsMarkdownRequested();
        QCOMPARE(QApplication::clipboard()->text().trimmed(), QStringLiteral("Copy me"));
        // Copying saved the pending edit first.
        QCOMPARE(m_state->notes()->findById(note.id)->plainText().trimmed(), QStringLiteral("Copy me"));

        Q_EMIT window.headerBar()->copyAsHtmlRequested();
        const QMimeData *data = QApplication::clipboard()->mimeData();
        QVERIFY(data->hasHtml());
        QVERIFY(data->html().contains(QStringLiteral("Copy me")));
        QCOMPARE(data->text().trimmed(), QStringLiteral("Copy me"));

        Q_EMIT window.headerBar()->copyAsPlainTextRequested();
        QCOMPARE(QApplication::clipboard()->text().trimmed(), QStringLiteral("Copy me"));
    }

    void printSavesFirstAndNamesTheDocument_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("title");
        QTest::newRow("titled") << textBody(QStringLiteral("Report")) << "Report edited";
        QTest::newRow("untitled") << QStringLiteral("[{\"insert\":\"\\n\"}]") << "Untitled";
    }

    void printSavesFirstAndNamesTheDocument()
    {
        QFETCH(QString, body);
        QFETCH(QString, title);
        const Note note = addNote(body);
        NoteWindow window(m_state.get(), note.id);
        if (title != QLatin1String("Untitled"))
            typeAtEnd(window.editor(), QStringLiteral(" edited"));
        QString printedTitle;
        QTextDocument *printed = nullptr;
        window.setPrintHandler([&](QTextDocument *document, const QString &name) {
            printed = document;
            printedTitle = name;
        });
        Q_EMIT window.headerBar()->printRequested();
        QCOMPARE(printedTitle, title);
        QCOMPARE(printed, window.editor()->document());
        QCOMPARE(m_state->notes()->findById(note.id)->title(),
                 title == QLatin1String("Untitled") ? QString() : title);
    }

    void findInNoteOpensTheFindBar()
    {
        const Note note = addNote(textBody(QStringLiteral("needle in a haystack needle")));
        NoteWindow window(m_state.get(), note.id);
        window.show();
        QAction *find = nullptr;
        for (QAction *action : window.menuBar()->findChildren<QAction *>()) {
            if (action->shortcut() == QKeySequence(QKeySequence::Find))
                find = action;
        }
        QVERIFY(find);
        find->trigger();
        QVERIFY(window.findBar()->isVisible());
        window.findBar()->setSearchText(QStringLiteral("needle"));
        QCOMPARE(window.findBar()->matchCount(), 2);
    }

    void stateDestructionClosesEveryWindow()
    {
        const Note first = addNote(textBody(QStringLiteral("One")));
        const Note second = addNote(textBody(QStringLiteral("Two")));
        m_state->openNoteWindow(first.id);
        m_state->openNoteWindow(second.id);
        QPointer<NoteWindow> a = windowFor(first.id);
        QPointer<NoteWindow> b = windowFor(second.id);
        typeAtEnd(a->editor(), QStringLiteral(" more"));

        m_state.reset();
        QVERIFY(!a || !a->isVisible());
        QVERIFY(!b || !b->isVisible());
        flushDeletes();
        QVERIFY(!a && !b);

        // The pending edit was saved while the repositories still existed.
        AppState reopened;
        QVERIFY(reopened.initialize());
        QCOMPARE(reopened.notes()->findById(first.id)->plainText().trimmed(), QStringLiteral("One more"));
    }

    void printCopyUsesPointSizesAndMargin()
    {
        QTextDocument source;
        QFont font = source.defaultFont();
        font.setPixelSize(16);
        source.setDefaultFont(font);
        QTextCursor cursor(&source);
        QTextCharFormat big;
        big.setProperty(QTextFormat::FontPixelSize, 32);
        cursor.insertText(QStringLiteral("Heading"), big);
        cursor.insertText(QStringLiteral(" plain"), QTextCharFormat());

        std::unique_ptr<QTextDocument> copy(preparePrintDocument(&source));
        QVERIFY(copy);
        QCOMPARE(copy->documentMargin(), 36.0);
        QCOMPARE(copy->defaultFont().pointSizeF(), 12.0);
        QCOMPARE(copy->toPlainText(), source.toPlainText());

        QTextCursor probe(copy.get());
        probe.setPosition(1);
        QCOMPARE(probe.charFormat().fontPointSize(), 24.0);
        QVERIFY(!probe.charFormat().hasProperty(QTextFormat::FontPixelSize));
        probe.setPosition(10);
        QVERIFY(!probe.charFormat().hasProperty(QTextFormat::FontPixelSize));
        // The source is left alone.
        QCOMPARE(source.documentMargin(), QTextDocument().documentMargin());
        QCOMPARE(source.defaultFont().pixelSize(), 16);
    }

private:
    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    std::unique_ptr<AppState> m_state;
};

QTEST_MAIN(TestNoteWindow)
#include "tst_notewindow.moc"
