#include "appstate.h"
#include "mainwindow.h"
#include "notebooklistwidget.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "notelistwidget.h"
#include "noterepository.h"
#include "notewindow.h"
#include "preferencesrepository.h"
#include "searchscreen.h"
#include "testsupport.h"
#include "todosscreen.h"
#include "trashscreen.h"
#include "versionhistorydialog.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <memory>

// Every entry that opens the Search, Trash and To-Dos screens and the version history.
class TestMainWindowScreens : public QObject
{
    Q_OBJECT

private:
    QAction *action(const char *name) const
    {
        return m_window->findChild<QAction *>(QLatin1String(name));
    }

    template<typename Dialog>
    QList<Dialog *> openDialogs() const
    {
        QList<Dialog *> found;
        const QWidgetList widgets = QApplication::topLevelWidgets();
        for (QWidget *widget : widgets) {
            if (auto *dialog = qobject_cast<Dialog *>(widget); dialog && dialog->isVisible())
                found.append(dialog);
        }
        return found;
    }

    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_window;
    QTemporaryDir m_settingsDir;

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
        m_window = std::make_unique<MainWindow>(m_state.get());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup()
    {
        // Deleting a window deletes its menus, which are top-level widgets too.
        QList<QPointer<QWidget>> windows;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<NoteWindow *>(widget))
                windows.append(widget);
        }
        qDeleteAll(windows);
        m_window.reset();
        m_state.reset();
        m_dataDir.reset();
    }

    void menuEntriesOpenTheirScreens_data()
    {
        QTest::addColumn<QString>("actionName");
        QTest::addColumn<QString>("shortcut");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QSize>("size");
        QTest::newRow("todos") << "todosAction" << "Ctrl+Alt+T" << "To-Dos — Ombrel Notes" << QSize(600, 500);
        QTest::newRow("search") << "searchAllAction" << "Ctrl+Shift+F" << "Search — Ombrel Notes" << QSize(600, 500);
        QTest::newRow("trash") << "trashAction" << "Ctrl+Alt+D" << "Trash — Ombrel Notes" << QSize(500, 400);
    }

    void menuEntriesOpenTheirScreens()
    {
        QFETCH(QString, actionName);
        QFETCH(QString, shortcut);
        QFETCH(QString, title);
        QFETCH(QSize, size);

        QAction *entry = action(actionName.toLatin1().constData());
        QVERIFY(entry);
        QCOMPARE(entry->shortcut(), QKeySequence(shortcut));
        entry->trigger();
        QWidget *screen = actionName == QLatin1String("todosAction") ? static_cast<QWidget *>(m_window->todosScreen())
            : actionName == QLatin1String("searchAllAction")         ? static_cast<QWidget *>(m_window->searchScreen())
                                                                      : static_cast<QWidget *>(m_window->trashScreen());
        QVERIFY(screen);
        QVERIFY(screen->isVisible());
        QVERIFY(!screen->parentWidget());
        QCOMPARE(screen->windowTitle(), title);
        QCOMPARE(screen->size(), size);

        // One instance, reused; a visible screen keeps the size the user gave it.
        screen->resize(size + QSize(40, 30));
        QPointer<QWidget> first = screen;
        entry->trigger();
        QVERIFY(first);
        QCOMPARE(screen->size(), size + QSize(40, 30));
        screen->hide();
        entry->trigger();
        QCOMPARE(screen->size(), size);
    }

    void searchScreenRerunsItsQueryWhenShown()
    {
        action("searchAllAction")->trigger();
        SearchScreen *screen = m_window->searchScreen();
        screen->queryField()->setText(QStringLiteral("Ombrel"));
        screen->runSearch();
        const int before = int(screen->resultList()->entries().size());
        Note note;
        note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        note.body = QStringLiteral("[{\"insert\":\"Ombrel again\\n\"}]");
        note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(m_state->notes()->insert(note));
        action("searchAllAction")->trigger();
        QCOMPARE(int(screen->resultList()->entries().size()), before + 1);
        QCOMPARE(screen->queryField()->selectedText(), QStringLiteral("Ombrel"));
    }

    void sidebarTrashRowOpensTheTrashScreen()
    {
        Q_EMIT m_window->notebookList()->trashSelected();
        QVERIFY(m_window->trashScreen());
        QVERIFY(m_window->trashScreen()->isVisible());
        QCOMPARE(m_window->trashScreen()->windowTitle(), QStringLiteral("Trash — Ombrel Notes"));
    }

    void historyOpensForTheOpenNoteOnly()
    {
        QAction *entry = action("versionHistoryAction");
        QVERIFY(entry);
        QCOMPARE(entry->shortcut(), QKeySequence(QStringLiteral("Ctrl+H")));
        const QString noteId = m_state->notes()->allNotes().first().id;
        m_window->noteList()->selectNote(noteId);
        QCOMPARE(m_window->editor()->currentNoteId(), noteId);

        entry->trigger();
        Q_EMIT m_window->headerBar()->historyRequested();
        const QList<VersionHistoryDialog *> dialogs = openDialogs<VersionHistoryDialog>();
        QCOMPARE(dialogs.size(), 2);
        for (VersionHistoryDialog *dialog : dialogs) {
            QCOMPARE(dialog->noteId(), noteId);
            QVERIFY(!dialog->isModal());
            QVERIFY(dialog->testAttribute(Qt::WA_DeleteOnClose));
            dialog->close();
        }
    }

    void noteWindowHeaderOpensItsHistory()
    {
        const QString noteId = m_state->notes()->allNotes().first().id;
        m_state->openNoteWindow(noteId);
        auto *window = qobject_cast<NoteWindow *>(m_state->noteWindow(noteId));
        QVERIFY(window);
        Q_EMIT window->headerBar()->historyRequested();
        const QList<VersionHistoryDialog *> dialogs = openDialogs<VersionHistoryDialog>();
        QCOMPARE(dialogs.size(), 1);
        QCOMPARE(dialogs.first()->noteId(), noteId);
        QVERIFY(dialogs.first()->testAttribute(Qt::WA_DeleteOnClose));
    }

    void trayOffersSearchAndTodos()
    {
        m_window->setTrayProbe([] { return true; });
        m_state->preferences()->setBool(QStringLiteral("close_to_tray"), true);
        QVERIFY(m_window->trayIcon());
        QMenu *menu = m_window->trayIcon()->contextMenu();
        QVERIFY(menu);
        QAction *search = nullptr;
        QAction *todos = nullptr;
        for (QAction *entry : menu->actions()) {
            if (entry->text() == QStringLiteral("Search…"))
                search = entry;
            else if (entry->text() == QStringLiteral("To-Dos"))
                todos = entry;
        }
        QVERIFY(search && todos);
        search->trigger();
        QVERIFY(m_window->searchScreen() && m_window->searchScreen()->isVisible());
        todos->trigger();
        QVERIFY(m_window->todosScreen() && m_window->todosScreen()->isVisible());
    }

    // Runs last: quitting stops what event processing is left, so the cases share one run.
    void quitRecordsWhetherTheTodosWindowIsOpen()
    {
        const auto quitAndRead = [this] {
            action("quitAction")->trigger();
            return m_state->preferences()->get(QStringLiteral("restore_todos_window"));
        };
        QCOMPARE(quitAndRead(), QStringLiteral("0"));
        action("todosAction")->trigger();
        QCOMPARE(quitAndRead(), QStringLiteral("1"));
        QVERIFY(!m_window->todosScreen()->isVisible());
        action("todosAction")->trigger();
        m_window->todosScreen()->close();
        QCOMPARE(quitAndRead(), QStringLiteral("0"));
    }
};

QTEST_MAIN(TestMainWindowScreens)
#include "tst_mainwindow_screens.moc"
