#include "appstate.h"
#include "mainwindow.h"
#include "movetonotebookdialog.h"
#include "notebookdialog.h"
#include "notebooklistwidget.h"
#include "notebookrepository.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "notelistwidget.h"
#include "noterepository.h"
#include "preferencesrepository.h"
#include "samplenotes.h"
#include "statusbar.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUuid>

#include <functional>
#include <memory>

// Menu commands, the note and notebook context menus and quitting.
class TestMainWindowCommands : public QObject
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
        m_notebookId = addNotebook(QStringLiteral("Work"));
        m_otherNotebookId = addNotebook(QStringLiteral("Home"));
        const QList<Note> notes = m_state->notes()->allNotes();
        QCOMPARE(notes.size(), 3);
        m_welcomeIds.clear();
        for (const Note &note : notes)
            m_welcomeIds.append(note.id);
        QVERIFY(m_state->notes()->moveToNotebook(m_welcomeIds.at(0), m_notebookId));
        QVERIFY(m_state->notes()->moveToNotebook(m_welcomeIds.at(1), m_notebookId));
        m_window = std::make_unique<MainWindow>(m_state.get());
        m_window->resize(1200, 800);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup()
    {
        m_window.reset();
        m_state.reset();
        m_dataDir.reset();
    }

    void deletingANotebookMovesItsNotesOut()
    {
        // A trashed note of the notebook stays where it is.
        QVERIFY(m_state->notes()->moveToTrash(m_welcomeIds.at(1)));
        selectNotebook(m_notebookId);
        QCOMPARE(m_window->noteList()->count(), 1);

        QString question;
        whenModal([&question](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            question = box->text();
            box->button(QMessageBox::Yes)->click();
        });
        chooseFromPopup(QStringLiteral("Delete Notebook"));
        Q_EMIT m_window->notebookList()->notebookContextMenuRequested(m_notebookId, QPoint(10, 10));

        QCOMPARE(question, QStringLiteral("Delete \"Work\"? Its notes will move to All Notes."));
        QVERIFY(m_state->notes()->findById(m_welcomeIds.at(0))->notebookId.isEmpty());
        QCOMPARE(m_state->notes()->findById(m_welcomeIds.at(1))->notebookId, m_notebookId);
        QVERIFY(m_state->notebooks()->findById(m_notebookId)->deletedAt);
        QVERIFY(m_state->currentNotebookId().isEmpty());
        QCOMPARE(m_window->noteList()->count(), 2);
        QCOMPARE(m_window->statusBarWidget()->captionText(), QStringLiteral("All Notes (2 notes)"));
    }

    void keepingANotebookChangesNothing()
    {
        whenModal([](QWidget *modal) {
            qobject_cast<QMessageBox *>(modal)->button(QMessageBox::No)->click();
        });
        chooseFromPopup(QStringLiteral("Delete Notebook"));
        Q_EMIT m_window->notebookList()->notebookContextMenuRequested(m_notebookId, QPoint(10, 10));
        QCOMPARE(m_state->notes()->findById(m_welcomeIds.at(0))->notebookId, m_notebookId);
        QVERIFY(!m_state->notebooks()->findById(m_notebookId)->deletedAt);
    }

    void renameWritesOnlyARealChange_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accept");
        QTest::addColumn<QString>("expected");
        QTest::newRow("new-name") << QStringLiteral("Office") << true << QStringLiteral("Office");
        QTest::newRow("same-name") << QStringLiteral("Work") << true << QString();
        QTest::newRow("same-name-padded") << QStringLiteral("  Work ") << true << QString();
        QTest::newRow("cancelled") << QStringLiteral("Office") << false << QString();
    }

    void renameWritesOnlyARealChange()
    {
        QFETCH(QString, typed);
        QFETCH(bool, accept);
        QFETCH(QString, expected);
        const Notebook before = *m_state->notebooks()->findById(m_notebookId);
        QSignalSpy changed(m_state.get(), &AppState::notebooksChanged);
        whenModal([typed, accept](QWidget *modal) {
            auto *dialog = qobject_cast<NotebookDialog *>(modal);
            dialog->nameField()->setText(typed);
            accept ? dialog->accept() : dialog->reject();
        });
        chooseFromPopup(QStringLiteral("Rename Notebook…"));
        Q_EMIT m_window->notebookList()->notebookContextMenuRequested(m_notebookId, QPoint(10, 10));

        const Notebook after = *m_state->notebooks()->findById(m_notebookId);
        if (expected.isEmpty()) {
            QCOMPARE(changed.count(), 0);
            QCOMPARE(after.name, before.name);
            QCOMPARE(after.version, before.version);
            QCOMPARE(after.updatedAt, before.updatedAt);
        } else {
            QCOMPARE(changed.count(), 1);
            QCOMPARE(after.name, expected);
            QCOMPARE(after.version, before.version + 1);
            QCOMPARE(after.syncStatus, SyncStatus::Pending);
        }
    }

    void newNotebookBecomesCurrent()
    {
        whenModal([](QWidget *modal) {
            auto *dialog = qobject_cast<NotebookDialog *>(modal);
            dialog->nameField()->setText(QStringLiteral("Ideas"));
            dialog->accept();
        });
        Q_EMIT m_window->notebookList()->newNotebookRequested();
        const QString id = m_state->currentNotebookId();
        QVERIFY(!id.isEmpty());
        QCOMPARE(m_state->notebooks()->findById(id)->name, QStringLiteral("Ideas"));
        QCOMPARE(m_window->noteList()->count(), 0);
        QCOMPARE(m_window->statusBarWidget()->captionText(), QStringLiteral("Ideas (0 notes)"));
    }

    void cancellingTheMoveDialogLeavesTheNote()
    {
        openNote(m_welcomeIds.at(0));
        whenModal([](QWidget *modal) { qobject_cast<MoveToNotebookDialog *>(modal)->reject(); });
        action("moveToNotebookAction")->trigger();
        QCOMPARE(m_state->notes()->findById(m_welcomeIds.at(0))->notebookId, m_notebookId);
    }

    void moveDialogMovesTheOpenNote()
    {
        openNote(m_welcomeIds.at(0));
        whenModal([this](QWidget *modal) {
            auto *dialog = qobject_cast<MoveToNotebookDialog *>(modal);
            QListWidget *list = dialog->notebookList();
            for (int row = 0; row < list->count(); ++row) {
                if (list->item(row)->text() == QLatin1String("Home"))
                    list->setCurrentRow(row);
            }
            dialog->accept();
        });
        action("moveToNotebookAction")->trigger();
        QCOMPARE(m_state->notes()->findById(m_welcomeIds.at(0))->notebookId, m_otherNotebookId);
    }

    void noteContextMenuMovesAndTrashes()
    {
        const QString id = m_welcomeIds.at(2);
        openNote(id);
        chooseFromPopup(QStringLiteral("Home"));
        Q_EMIT m_window->noteList()->noteContextMenuRequested(id, QPoint(10, 10));
        QCOMPARE(m_state->notes()->findById(id)->notebookId, m_otherNotebookId);

        // Trashing the open note from its menu clears the editor, without asking.
        chooseFromPopup(QStringLiteral("Move to Trash"));
        Q_EMIT m_window->noteList()->noteContextMenuRequested(id, QPoint(10, 10));
        QVERIFY(m_state->notes()->findById(id)->deletedAt);
        QVERIFY(m_window->editor()->currentNoteId().isEmpty());
    }

    void noteDroppedOnANotebookMovesThere()
    {
        Q_EMIT m_window->notebookList()->noteDroppedOnNotebook(m_welcomeIds.at(0), QString());
        QVERIFY(m_state->notes()->findById(m_welcomeIds.at(0))->notebookId.isEmpty());
    }

    void printingWithoutANoteDoesNothing_data()
    {
        QTest::addColumn<QString>("actionName");
        QTest::newRow("print") << QStringLiteral("printAction");
        QTest::newRow("preview") << QStringLiteral("printPreviewAction");
    }

    // Disabled without a note; nothing prints even when the command is run anyway.
    void printingWithoutANoteDoesNothing()
    {
        QFETCH(QString, actionName);
        QVERIFY(m_window->editor()->currentNoteId().isEmpty());
        QAction *print = m_window->findChild<QAction *>(actionName);
        QVERIFY(!print->isEnabled());
        print->setEnabled(true);
        print->trigger();
        QCOMPARE(m_window->statusBarWidget()->currentMessage(), QStringLiteral("No note selected"));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void findFocusesTheSearchFieldEvenInFocusMode()
    {
        m_window->searchField()->setText(QStringLiteral("abc"));
        action("focusModeAction")->trigger();
        action("findAction")->trigger();
        QVERIFY(!m_window->isFocusMode());
        QVERIFY(m_window->listPane()->isVisible());
        QCOMPARE(m_window->searchField()->selectedText(), QStringLiteral("abc"));
    }

    // With no note open nothing offers to act on one: not the header bar, not the menus.
    void noteActionsNeedAnOpenNote_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::newRow("at-start") << "start";
        QTest::newRow("after-trashing-the-open-note") << "trashed";
        QTest::newRow("after-the-note-was-deleted-elsewhere") << "deleted";
    }

    void noteActionsNeedAnOpenNote()
    {
        QFETCH(QString, situation);
        if (situation != QLatin1String("start")) {
            // Alone in its notebook, so that trashing it leaves no other note to open.
            QVERIFY(m_state->notes()->moveToNotebook(m_welcomeIds.at(2), m_otherNotebookId));
            selectNotebook(m_otherNotebookId);
            openNote(m_welcomeIds.at(2));
            QVERIFY(noteActionsEnabled().values().contains(true));
            if (situation == QLatin1String("trashed"))
                Q_EMIT m_window->headerBar()->deleteRequested();
            else
                QVERIFY(m_state->notes()->deletePermanently(m_welcomeIds.at(2)));
        }
        QVERIFY(m_window->editor()->currentNoteId().isEmpty());
        const QMap<QString, bool> enabled = noteActionsEnabled();
        for (auto it = enabled.cbegin(); it != enabled.cend(); ++it)
            QVERIFY2(!it.value(), qPrintable(it.key() + QLatin1String(" is enabled")));
    }

    void noteActionsFollowTheOpenNote()
    {
        openNote(m_welcomeIds.at(2));
        const QMap<QString, bool> enabled = noteActionsEnabled();
        for (auto it = enabled.cbegin(); it != enabled.cend(); ++it)
            QVERIFY2(it.value(), qPrintable(it.key() + QLatin1String(" is disabled")));
    }

    // A long notebook list must not turn the submenu into a wall of columns.
    void moveSubmenuStaysWithinTheScreen_data()
    {
        QTest::addColumn<int>("extraNotebooks");
        QTest::addColumn<bool>("offersOther");
        QTest::newRow("two-notebooks-all-listed") << 0 << false;
        QTest::newRow("two-hundred-recent-and-other") << 200 << true;
    }

    void moveSubmenuStaysWithinTheScreen()
    {
        QFETCH(int, extraNotebooks);
        QFETCH(bool, offersOther);
        QString recentId;
        for (int i = 0; i < extraNotebooks; ++i) {
            const QString id = addNotebook(QStringLiteral("Notebook %1").arg(i, 3, 10, QLatin1Char('0')));
            if (i == 150)
                recentId = id;
        }
        const QString id = m_welcomeIds.at(2);
        openNote(id);
        if (!recentId.isEmpty()) {
            // Used once: moved a note there.
            chooseFromPopup(QStringLiteral("Other Notebook…"));
            // The dialog's filter narrows two hundred rows to the one wanted.
            int visibleRows = -1;
            whenModal([&visibleRows](QWidget *modal) {
                auto *dialog = qobject_cast<MoveToNotebookDialog *>(modal);
                dialog->findChild<QLineEdit *>(QStringLiteral("notebookFilter"))->setText(QStringLiteral("book 150"));
                QListWidget *list = dialog->notebookList();
                visibleRows = 0;
                for (int row = 0; row < list->count(); ++row)
                    visibleRows += list->item(row)->isHidden() ? 0 : 1;
                dialog->accept();
            });
            Q_EMIT m_window->noteList()->noteContextMenuRequested(id, QPoint(10, 10));
            QCOMPARE(visibleRows, 1);
            QCOMPARE(m_state->notes()->findById(id)->notebookId, recentId);
        }

        QStringList entries;
        poll([] { return QApplication::activePopupWidget(); }, [&](QWidget *popup) {
            auto *menu = qobject_cast<QMenu *>(popup);
            for (QAction *action : menu ? menu->actions() : QList<QAction *>()) {
                if (action->menu() && action->text() == QLatin1String("Move to Notebook")) {
                    for (QAction *entry : action->menu()->actions()) {
                        if (!entry->isSeparator())
                            entries.append(entry->text());
                    }
                }
            }
            if (menu)
                menu->close();
        });
        Q_EMIT m_window->noteList()->noteContextMenuRequested(id, QPoint(10, 10));

        QVERIFY(!entries.isEmpty());
        QCOMPARE(entries.contains(QStringLiteral("Other Notebook…")), offersOther);
        if (offersOther) {
            QCOMPARE(entries.last(), QStringLiteral("Other Notebook…"));
            QCOMPARE(entries.first(), QStringLiteral("Notebook 150"));
            QVERIFY(entries.size() < 20);
        } else {
            QCOMPARE(entries.size(), 2);
        }
    }

    // The welcome note's tour names only keys that do something in this build.
    void gettingStartedNamesOnlyWorkingShortcuts_data()
    {
        QTest::addColumn<QString>("shortcut");
        QString text;
        for (const QString &body : welcomeNoteBodies()) {
            if (!body.contains(QLatin1String("Getting Started")))
                continue;
            for (const QJsonValue &op : QJsonDocument::fromJson(body.toUtf8()).array())
                text += op.toObject().value(QStringLiteral("insert")).toString();
        }
        QVERIFY(!text.isEmpty());
        static const QRegularExpression pattern(
            QStringLiteral("(?:(?:Ctrl|Alt|Shift|Meta)\\+)+(?:F\\d{1,2}|[A-Za-z0-9\\\\`,])|\\bF\\d{1,2}\\b"));
        QSet<QString> seen;
        for (const QRegularExpressionMatch &match : pattern.globalMatch(text)) {
            const QString shortcut = match.captured();
            if (!seen.contains(shortcut)) {
                seen.insert(shortcut);
                QTest::newRow(qPrintable(shortcut)) << shortcut;
            }
        }
        QVERIFY(seen.size() >= 5);
    }

    void gettingStartedNamesOnlyWorkingShortcuts()
    {
        QFETCH(QString, shortcut);
        openNote(m_welcomeIds.at(2));
        const QKeySequence sequence(shortcut, QKeySequence::PortableText);
        QVERIFY(!sequence.isEmpty());
        QAction *bound = nullptr;
        for (QAction *action : m_window->findChildren<QAction *>()) {
            if (action->shortcuts().contains(sequence) && action->isEnabled())
                bound = action;
        }
        QVERIFY2(bound, qPrintable(shortcut + QLatin1String(" does nothing")));
    }

    void quitRecordsTheOpenNoteWindows()
    {
        // Runs last: quitting ends what little event processing is left.
        m_state->setNoteWindowFactory([](AppState *, const QString &) {
            auto *window = new QWidget;
            window->setAttribute(Qt::WA_DeleteOnClose);
            return window;
        });
        m_state->openNoteWindow(m_welcomeIds.at(0));
        m_state->openNoteWindow(m_welcomeIds.at(2));
        m_state->preferences()->setBool(QStringLiteral("restore_todos_window"), true);

        action("quitAction")->trigger();
        QCOMPARE(m_state->preferences()->get(QStringLiteral("restore_note_windows")),
                 m_welcomeIds.at(0) + QLatin1Char(',') + m_welcomeIds.at(2));
        QVERIFY(!m_state->preferences()->getBool(QStringLiteral("restore_todos_window"), true));
        QVERIFY(!m_window->isVisible());
    }

private:
    QString addNotebook(const QString &name)
    {
        Notebook notebook;
        notebook.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        notebook.name = name;
        notebook.createdAt = notebook.updatedAt = QDateTime::currentDateTimeUtc();
        return m_state->notebooks()->insert(notebook) ? notebook.id : QString();
    }

    void selectNotebook(const QString &id)
    {
        Q_EMIT m_window->notebookList()->notebookSelected(id);
    }

    void openNote(const QString &id)
    {
        m_window->noteList()->selectNote(id);
        QCOMPARE(m_window->editor()->currentNoteId(), id);
    }

    // Every control that acts on the open note, by name, and whether it is enabled.
    QMap<QString, bool> noteActionsEnabled() const
    {
        QMap<QString, bool> enabled;
        for (const char *name : {"notebookChip", "copyButton", "historyButton", "moreButton"}) {
            auto *widget = m_window->headerBar()->findChild<QWidget *>(QString::fromLatin1(name));
            enabled.insert(QString::fromLatin1(name), widget && widget->isEnabled());
        }
        for (const char *name : {"moveToNotebookAction", "openInWindowAction", "moveToTrashAction",
                                 "quickTrashAction", "printAction", "printPreviewAction", "findInNoteAction",
                                 "saveSnapshotAction", "boldAction", "insertTableAction", "exportAction",
                                 "versionHistoryAction"}) {
            enabled.insert(QString::fromLatin1(name), action(name)->isEnabled());
        }
        return enabled;
    }

    QAction *action(const char *name) const
    {
        auto *found = m_window->findChild<QAction *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no action %s", name);
        return found;
    }

    // Polls for the next modal dialog and hands it to handle.
    void whenModal(std::function<void(QWidget *)> handle)
    {
        poll([] { return QApplication::activeModalWidget(); }, std::move(handle));
    }

    // Triggers the entry named text (in the popup or one of its submenus) of the next popup.
    void chooseFromPopup(const QString &text)
    {
        poll([] { return QApplication::activePopupWidget(); }, [text](QWidget *popup) {
            auto *menu = qobject_cast<QMenu *>(popup);
            std::function<QAction *(QMenu *)> find = [&find, &text](QMenu *in) -> QAction * {
                for (QAction *action : in->actions()) {
                    if (action->text() == text)
                        return action;
                    if (action->menu()) {
                        if (QAction *found = find(action->menu()))
                            return found;
                    }
                }
                return nullptr;
            };
            QAction *found = menu ? find(menu) : nullptr;
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
    QString m_notebookId;
    QString m_otherNotebookId;
    QStringList m_welcomeIds;
};

QTEST_MAIN(TestMainWindowCommands)
#include "tst_mainwindow_commands.moc"
