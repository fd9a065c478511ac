#include "appstate.h"
#include "editortoolbar.h"
#include "findbar.h"
#include "mainwindow.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "notelistwidget.h"
#include "noterepository.h"
#include "notewindow.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QUuid>

#include <functional>
#include <memory>

namespace {

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

// What the keyboard reaches in the main window and in note windows: which widget has the
// focus when a window opens, and which keys the editor keeps for itself.
class TestMainWindowFocus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        OmbrelTest::initTestEnvironment();
        QVERIFY(m_settingsDir.isValid());
        OmbrelTest::isolateSettings(m_settingsDir.path());
    }

    void init()
    {
        QSettings(QStringLiteral("Ombrel"), QStringLiteral("Notes")).clear();
        m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>();
        m_state = std::make_unique<AppState>();
        QVERIFY(m_state->initialize());
        m_state->setNoteWindowFactory([](AppState *state, const QString &noteId) -> QWidget * {
            auto *window = new NoteWindow(state, noteId);
            QObject::connect(window, &NoteWindow::windowClosed, state, &AppState::noteWindowClosed);
            return window;
        });
        for (const Note &note : m_state->notes()->allNotes())
            m_state->notes()->deletePermanently(note.id);
        m_ids.clear();
        const QDateTime base = QDateTime::currentDateTimeUtc().addSecs(-600);
        for (int i = 0; i < 3; ++i)
            m_ids.append(addNote(QStringLiteral("Note %1 alpha beta").arg(i), base.addSecs(60 * i)));
    }

    void cleanup()
    {
        m_window.reset();
        m_state.reset();
        flushDeletes();
        m_dataDir.reset();
    }

    // The editor keeps its delete-previous-word key; only with the focus elsewhere does
    // the key trash the note.
    void ctrlBackspace_data()
    {
        QTest::addColumn<bool>("inNoteWindow");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<bool>("trashed");
        QTest::newRow("main-editor-deletes-word") << false << "editor" << false;
        QTest::newRow("main-note-list-trashes") << false << "list" << true;
        QTest::newRow("note-window-editor-deletes-word") << true << "editor" << false;
        QTest::newRow("note-window-toolbar-trashes") << true << "toolbar" << true;
    }

    void ctrlBackspace()
    {
        QFETCH(bool, inNoteWindow);
        QFETCH(QString, focus);
        QFETCH(bool, trashed);
        const QString id = m_ids.at(2);
        openMainWindow(id);
        QPointer<QWidget> window = m_window.get();
        NoteEditor *editor = m_window->editor();
        QWidget *elsewhere = m_window->noteList();
        if (inNoteWindow) {
            m_state->openNoteWindow(id);
            auto *noteWindow = qobject_cast<NoteWindow *>(m_state->noteWindow(id));
            QVERIFY(noteWindow);
            window = noteWindow;
            editor = noteWindow->editor();
            elsewhere = noteWindow->editorToolbar()->findChild<QComboBox *>();
            QVERIFY(elsewhere);
        }
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTextCursor cursor = editor->textCursor();
        cursor.movePosition(QTextCursor::End);
        editor->setTextCursor(cursor);
        QWidget *target = focus == QLatin1String("editor") ? static_cast<QWidget *>(editor) : elsewhere;
        target->setFocus();
        QCOMPARE(QApplication::focusWidget(), target);

        QTest::keyClick(target, Qt::Key_Backspace, Qt::ControlModifier);
        flushDeletes();
        QCOMPARE(m_state->notes()->findById(id)->deletedAt.has_value(), trashed);
        if (!trashed) {
            QCOMPARE(editor->toPlainText(), QStringLiteral("Note 2 alpha "));
            QTRY_COMPARE(m_state->notes()->findById(id)->plainText().trimmed(), QStringLiteral("Note 2 alpha"));
        }
    }

    // Whatever command trashes the open note, the last second of typing goes with it.
    void trashKeepsPendingEdits_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("menu-with-confirmation") << "menu";
        QTest::newRow("quick-trash-shortcut") << "shortcut";
        QTest::newRow("note-list-delete-key") << "delete-key";
        QTest::newRow("note-context-menu") << "context-menu";
        QTest::newRow("header-bar") << "header";
        QTest::newRow("note-window-shortcut") << "window-shortcut";
        QTest::newRow("note-window-header-bar") << "window-header";
        QTest::newRow("main-window-edit-trashed-from-a-note-window") << "trashed-elsewhere";
    }

    void trashKeepsPendingEdits()
    {
        QFETCH(QString, command);
        const QString id = m_ids.at(1);
        openMainWindow(id);
        NoteEditor *editor = m_window->editor();
        NoteWindow *noteWindow = nullptr;
        if (command.startsWith(QLatin1String("window-"))) {
            m_state->openNoteWindow(id);
            noteWindow = qobject_cast<NoteWindow *>(m_state->noteWindow(id));
            QVERIFY(noteWindow);
            noteWindow->setConfirmPrompt([](const QString &, const QString &) { return true; });
            editor = noteWindow->editor();
        }
        typeAtEnd(editor, QStringLiteral(" last words"));
        QVERIFY(!editor->isSaved());

        if (command == QLatin1String("menu")) {
            answerNextMessageBox();
            action("moveToTrashAction")->trigger();
        } else if (command == QLatin1String("shortcut")) {
            m_window->noteList()->setFocus();
            action("quickTrashAction")->trigger();
        } else if (command == QLatin1String("delete-key")) {
            QTest::keyClick(m_window->noteList(), Qt::Key_Delete);
        } else if (command == QLatin1String("context-menu")) {
            chooseFromPopup(QStringLiteral("Move to Trash"));
            Q_EMIT m_window->noteList()->noteContextMenuRequested(id, QPoint(10, 10));
        } else if (command == QLatin1String("header")) {
            Q_EMIT m_window->headerBar()->deleteRequested();
        } else if (command == QLatin1String("window-shortcut")) {
            for (QAction *action : noteWindow->findChildren<QAction *>()) {
                if (action->shortcut() == QKeySequence(QStringLiteral("Ctrl+Backspace")))
                    action->trigger();
            }
        } else if (command == QLatin1String("trashed-elsewhere")) {
            m_state->openNoteWindow(id);
            auto *other = qobject_cast<NoteWindow *>(m_state->noteWindow(id));
            QVERIFY(other);
            for (QAction *action : other->findChildren<QAction *>()) {
                if (action->shortcut() == QKeySequence(QStringLiteral("Ctrl+Backspace")))
                    action->trigger();
            }
        } else {
            Q_EMIT noteWindow->headerBar()->deleteRequested();
        }
        flushDeletes();

        const std::optional<Note> note = m_state->notes()->findById(id);
        QVERIFY(note);
        QVERIFY(note->deletedAt);
        QCOMPARE(note->plainText().trimmed(), QStringLiteral("Note 1 alpha beta last words"));
    }

    void noteWindowOpensWithTheEditorFocused_data()
    {
        QTest::addColumn<bool>("newNote");
        QTest::newRow("new-note") << true;
        QTest::newRow("existing-note") << false;
    }

    void noteWindowOpensWithTheEditorFocused()
    {
        QFETCH(bool, newNote);
        QString id = m_ids.at(0);
        if (newNote) {
            QWidget *created = m_state->openNewNoteWindow();
            QVERIFY(created);
            id = qobject_cast<NoteWindow *>(created)->noteId();
        } else {
            m_state->openNoteWindow(id);
        }
        auto *window = qobject_cast<NoteWindow *>(m_state->noteWindow(id));
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        QCOMPARE(QApplication::focusWidget(), window->editor());
        QCOMPARE(window->editor()->textCursor().blockNumber(), 0);
        QCOMPARE(window->editor()->textCursor().positionInBlock(), 0);

        // The first keystrokes land in the note, not in a combo box.
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Hi "));
        QVERIFY(window->editor()->document()->firstBlock().text().startsWith(QStringLiteral("Hi ")));
    }

    void newNoteInTheMainWindowFocusesTheEditor()
    {
        openMainWindow(m_ids.at(2));
        m_window->searchField()->setFocus();
        action("newNoteAction")->trigger();
        QCOMPARE(QApplication::focusWidget(), m_window->editor());
        QVERIFY(m_window->editor()->toPlainText().isEmpty());
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Fresh"));
        QCOMPARE(m_window->editor()->toPlainText(), QStringLiteral("Fresh"));
    }

    // Ctrl+F opens the in-note find bar whichever widget has the focus, and so does the menu.
    void findInNote_data()
    {
        QTest::addColumn<bool>("inNoteWindow");
        QTest::addColumn<QString>("focus");
        QTest::newRow("main-editor") << false << "editor";
        QTest::newRow("main-note-list") << false << "list";
        QTest::newRow("main-search-field") << false << "search";
        QTest::newRow("main-menu") << false << "menu";
        QTest::newRow("note-window-editor") << true << "editor";
        QTest::newRow("note-window-toolbar") << true << "toolbar";
        QTest::newRow("note-window-menu") << true << "menu";
    }

    void findInNote()
    {
        QFETCH(bool, inNoteWindow);
        QFETCH(QString, focus);
        const QString id = m_ids.at(2);
        openMainWindow(id);
        QMainWindow *window = m_window.get();
        NoteEditor *editor = m_window->editor();
        FindBar *findBar = m_window->findBar();
        QWidget *other = focus == QLatin1String("search") ? static_cast<QWidget *>(m_window->searchField())
                                                          : m_window->noteList();
        if (inNoteWindow) {
            m_state->openNoteWindow(id);
            auto *noteWindow = qobject_cast<NoteWindow *>(m_state->noteWindow(id));
            QVERIFY(noteWindow);
            window = noteWindow;
            editor = noteWindow->editor();
            findBar = noteWindow->findBar();
            other = noteWindow->editorToolbar()->findChild<QComboBox *>();
        }
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QWidget *target = focus == QLatin1String("editor") ? static_cast<QWidget *>(editor) : other;
        target->setFocus();
        QVERIFY(!findBar->isVisible());

        if (focus == QLatin1String("menu")) {
            QAction *find = nullptr;
            for (QAction *action : window->findChildren<QAction *>()) {
                if (action->text() == QLatin1String("Find in Note..."))
                    find = action;
            }
            QVERIFY(find);
            QVERIFY(find->isEnabled());
            find->trigger();
        } else {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier);
        }
        QVERIFY(findBar->isVisible());
        QVERIFY(findBar->isAncestorOf(QApplication::focusWidget()));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("alpha"));
        QCOMPARE(findBar->matchCount(), 1);
    }

private:
    QString addNote(const QString &text, const QDateTime &updatedAt)
    {
        Note note;
        note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        note.body = textBody(text);
        note.createdAt = note.updatedAt = note.modifiedAt = updatedAt;
        return m_state->notes()->insert(note) ? note.id : QString();
    }

    void openMainWindow(const QString &noteId)
    {
        m_state->setCurrentNoteId(noteId);
        m_window = std::make_unique<MainWindow>(m_state.get());
        m_window->resize(1000, 700);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QCOMPARE(m_window->editor()->currentNoteId(), noteId);
    }

    QAction *action(const char *name) const
    {
        auto *found = m_window->findChild<QAction *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no action %s", name);
        return found;
    }

    void answerNextMessageBox()
    {
        poll([] { return QApplication::activeModalWidget(); }, [](QWidget *widget) {
            if (auto *box = qobject_cast<QMessageBox *>(widget))
                box->button(QMessageBox::Yes)->click();
        });
    }

    void chooseFromPopup(const QString &text)
    {
        poll([] { return QApplication::activePopupWidget(); }, [text](QWidget *popup) {
            auto *menu = qobject_cast<QMenu *>(popup);
            QAction *found = nullptr;
            for (QAction *action : menu ? menu->actions() : QList<QAction *>()) {
                if (action->text() == text)
                    found = action;
            }
            if (menu)
                menu->close();
            if (found)
                found->trigger();
        });
    }

    void poll(std::function<QWidget *()> probe, std::function<void(QWidget *)> handle)
    {
        auto *timer = new QTimer(this);
        auto attempts = std::make_shared<int>(0);
        connect(timer, &QTimer::timeout, this, [timer, attempts, probe, handle] {
            QWidget *widget = probe();
            if (!widget && ++*attempts < 500)
                return;
            timer->stop();
            timer->deleteLater();
            if (widget)
                handle(widget);
        });
        timer->start(10);
    }

    QTemporaryDir m_settingsDir;
    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_window;
    QStringList m_ids;
};

QTEST_MAIN(TestMainWindowFocus)
#include "tst_mainwindow_focus.moc"
