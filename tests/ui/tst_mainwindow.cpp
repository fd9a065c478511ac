#include "appstate.h"
#include "editortoolbar.h"
#include "mainwindow.h"
#include "noteeditor.h"
#include "notelistwidget.h"
#include "noterepository.h"
#include "notebookrepository.h"
#include "preferencesrepository.h"
#include "snapshotrepository.h"
#include "statusbar.h"
#include "testsupport.h"
#include "welcomescreen.h"

#include <QAction>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUuid>
#include <QVBoxLayout>

#include <memory>

namespace {

QString bodyFor(const QString &text)
{
    QJsonObject op;
    op.insert(QStringLiteral("insert"), text + QLatin1Char('\n'));
    return QString::fromUtf8(QJsonDocument(QJsonArray{op}).toJson(QJsonDocument::Compact));
}

QStringList listedIds(const NoteListWidget *list)
{
    QStringList ids;
    for (int row = 0; row < list->count(); ++row)
        ids.append(list->noteIdAt(row));
    return ids;
}

} // namespace

// The note flow: opening, autosave, switching with snapshots, trashing, search and the
// incremental list refresh.
class TestMainWindow : public QObject
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
        // A known library instead of the welcome notes: six notes, one minute apart,
        // "Note 0" the oldest.
        for (const Note &note : m_state->notes()->allNotes())
            m_state->notes()->deletePermanently(note.id);
        m_ids.clear();
        const QDateTime base = QDateTime::currentDateTimeUtc().addSecs(-3600);
        for (int i = 0; i < 6; ++i)
            m_ids.append(addNote(QStringLiteral("Note %1 apple").arg(i), base.addSecs(60 * i)));
    }

    void cleanup()
    {
        m_window.reset();
        m_state.reset();
        m_dataDir.reset();
    }

    void startsOnTheWelcomePageWithoutANote()
    {
        openWindow();
        QCOMPARE(m_window->centralStack()->currentWidget(), static_cast<QWidget *>(m_window->welcomeScreen()));
        QVERIFY(m_window->editor()->isReadOnly());
        QCOMPARE(listedIds(m_window->noteList()), newestFirst());
        QCOMPARE(m_window->statusBarWidget()->captionText(), QStringLiteral("All Notes (6 notes)"));
    }

    void reopensTheLastNote()
    {
        m_state->setCurrentNoteId(m_ids.at(2));
        openWindow();
        QCOMPARE(m_window->editor()->currentNoteId(), m_ids.at(2));
        QCOMPARE(m_window->noteList()->currentNoteId(), m_ids.at(2));
        QCOMPARE(m_window->centralStack()->currentWidget(), m_window->editorPage());
    }

    void newNoteIsCreatedInTheCurrentNotebookAndOpened()
    {
        Notebook notebook;
        notebook.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        notebook.name = QStringLiteral("Work");
        notebook.createdAt = notebook.updatedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(m_state->notebooks()->insert(notebook));
        m_state->setCurrentNotebookId(notebook.id);
        openWindow();

        action("newNoteAction")->trigger();
        const QString id = m_window->editor()->currentNoteId();
        QVERIFY(!id.isEmpty());
        const auto note = m_state->notes()->findById(id);
        QVERIFY(note);
        QCOMPARE(note->notebookId, notebook.id);
        QCOMPARE(note->body, Note::emptyBody());
        QCOMPARE(m_window->noteList()->currentNoteId(), id);
        QCOMPARE(m_state->currentNoteId(), id);
        QVERIFY(!m_window->editor()->isReadOnly());
        QCOMPARE(m_window->centralStack()->currentWidget(), m_window->editorPage());
    }

    void autosaveWritesOnlyAfterTheIdleTime()
    {
        openWindow();
        const QString id = m_ids.at(5);
        m_window->noteList()->selectNote(id);
        const int version = m_state->notes()->findById(id)->version;

        QTest::keyClicks(m_window->editor(), QStringLiteral("Typed "));
        QVERIFY(!m_state->notes()->findById(id)->plainText().contains(QStringLiteral("Typed")));
        QTRY_VERIFY(m_state->notes()->findById(id)->plainText().startsWith(QStringLiteral("Typed Note 5")));
        const auto saved = m_state->notes()->findById(id);
        QCOMPARE(saved->version, version + 1);
        QCOMPARE(saved->syncStatus, SyncStatus::Pending);
        QCOMPARE(saved->modifiedAt, saved->updatedAt);
        QTRY_VERIFY(m_window->statusBarWidget()->wordText().endsWith(QStringLiteral("Saved")));
        // Typing is not leaving: no snapshot yet.
        QVERIFY(m_state->snapshots()->snapshotsForNote(id).isEmpty());
    }

    void saveSnapshotWritesTheNoteButNoSnapshot()
    {
        openWindow();
        const QString id = m_ids.at(1);
        m_window->noteList()->selectNote(id);
        QTest::keyClicks(m_window->editor(), QStringLiteral("Now "));
        action("saveSnapshotAction")->trigger();
        QVERIFY(m_state->notes()->findById(id)->plainText().startsWith(QStringLiteral("Now Note 1")));
        QVERIFY(m_state->snapshots()->snapshotsForNote(id).isEmpty());

        // Saving again with nothing new writes nothing.
        QSignalSpy changed(m_state.get(), &AppState::notesChanged);
        action("saveSnapshotAction")->trigger();
        QCOMPARE(changed.count(), 0);
    }

    void switchingSavesAndSnapshotsTheNoteLeft()
    {
        openWindow();
        const QString first = m_ids.at(3);
        m_window->noteList()->selectNote(first);
        QTest::keyClicks(m_window->editor(), QStringLiteral("Edit "));

        m_window->noteList()->selectNote(m_ids.at(0));
        QCOMPARE(m_window->editor()->currentNoteId(), m_ids.at(0));
        const auto saved = m_state->notes()->findById(first);
        QVERIFY(saved->plainText().startsWith(QStringLiteral("Edit Note 3")));
        const QList<Snapshot> snapshots = m_state->snapshots()->snapshotsForNote(first);
        QCOMPARE(snapshots.size(), 1);
        QCOMPARE(snapshots.first().body, saved->body);
        QCOMPARE(snapshots.first().version, saved->version);
        QCOMPARE(m_state->currentNoteId(), m_ids.at(0));
    }

    void viewingANoteNeverRewritesIt()
    {
        openWindow();
        m_window->noteList()->selectNote(m_ids.at(3));
        QSignalSpy changed(m_state.get(), &AppState::notesChanged);
        m_window->noteList()->selectNote(m_ids.at(2));
        QCOMPARE(changed.count(), 0);
        QVERIFY(m_state->snapshots()->snapshotsForNote(m_ids.at(3)).isEmpty());
    }

    void anUnrelatedChangeKeepsTheSnapshotOnLeaving()
    {
        openWindow();
        const QString id = m_ids.at(4);
        m_window->noteList()->selectNote(id);
        QTest::keyClicks(m_window->editor(), QStringLiteral("Draft "));
        QTRY_VERIFY(m_window->editor()->isSaved());
        QTRY_VERIFY(m_state->notes()->findById(id)->plainText().startsWith(QStringLiteral("Draft")));

        // Another note changes (a sync, another window): the open note is re-read.
        auto other = m_state->notes()->findById(m_ids.at(0));
        other->body = bodyFor(QStringLiteral("Changed elsewhere"));
        other->updatedAt = QDateTime::currentDateTimeUtc();
        other->version += 1;
        QVERIFY(m_state->notes()->update(*other));

        m_window->noteList()->selectNote(m_ids.at(1));
        QCOMPARE(m_state->snapshots()->snapshotsForNote(id).size(), 1);
    }

    void trashReselects_data()
    {
        QTest::addColumn<int>("trashedRow");
        QTest::addColumn<int>("expectedRow");
        QTest::newRow("last-of-six") << 5 << 4;
        QTest::newRow("middle") << 2 << 2;
        QTest::newRow("first") << 0 << 0;
    }

    void trashReselects()
    {
        QFETCH(int, trashedRow);
        QFETCH(int, expectedRow);
        openWindow();
        const QStringList before = listedIds(m_window->noteList());
        const QString trashed = before.at(trashedRow);
        m_window->noteList()->selectNote(trashed);

        action("quickTrashAction")->trigger();
        QVERIFY(m_state->notes()->findById(trashed)->deletedAt);
        QStringList after = before;
        after.removeAt(trashedRow);
        QCOMPARE(listedIds(m_window->noteList()), after);
        QCOMPARE(m_window->noteList()->currentRow(), expectedRow);
        QCOMPARE(m_window->editor()->currentNoteId(), after.at(expectedRow));
        QCOMPARE(m_state->currentNoteId(), after.at(expectedRow));
        QCOMPARE(m_window->statusBarWidget()->captionText(), QStringLiteral("All Notes (5 notes)"));
    }

    void trashWithConfirmationAsksFirst_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }

    void trashWithConfirmationAsksFirst()
    {
        QFETCH(bool, accept);
        openWindow();
        const QString id = m_ids.at(2);
        m_window->noteList()->selectNote(id);
        QString question;
        answerNextMessageBox(accept, &question);
        action("moveToTrashAction")->trigger();
        QCOMPARE(question, QStringLiteral("Move \"Note 2 apple\" to Trash?"));
        QCOMPARE(bool(m_state->notes()->findById(id)->deletedAt), accept);
    }

    void trashingTheLastNoteClearsTheEditor()
    {
        for (int i = 1; i < m_ids.size(); ++i)
            m_state->notes()->moveToTrash(m_ids.at(i));
        openWindow();
        m_window->noteList()->selectNote(m_ids.at(0));
        QCOMPARE(m_window->centralStack()->currentWidget(), m_window->editorPage());

        action("quickTrashAction")->trigger();
        QCOMPARE(m_window->noteList()->count(), 0);
        QVERIFY(m_window->editor()->currentNoteId().isEmpty());
        QVERIFY(m_window->editor()->isReadOnly());
        // Signed out: the welcome page comes back.
        QCOMPARE(m_window->centralStack()->currentWidget(), static_cast<QWidget *>(m_window->welcomeScreen()));
    }

    void blankSearchListsLikeNoSearch_data()
    {
        QTest::addColumn<bool>("steno");
        QTest::newRow("newest-first") << false;
        QTest::newRow("steno-oldest-first") << true;
    }

    void blankSearchListsLikeNoSearch()
    {
        QFETCH(bool, steno);
        m_state->preferences()->setBool(QStringLiteral("steno_mode"), steno);
        openWindow();
        m_window->searchField()->setText(QStringLiteral("   "));
        QTest::qWait(400);
        QStringList expected = newestFirst();
        if (steno)
            std::reverse(expected.begin(), expected.end());
        QCOMPARE(listedIds(m_window->noteList()), expected);
    }

    void searchIsDebouncedAndNeverReversed_data()
    {
        QTest::addColumn<bool>("steno");
        QTest::newRow("normal") << false;
        QTest::newRow("steno") << true;
    }

    void searchIsDebouncedAndNeverReversed()
    {
        QFETCH(bool, steno);
        m_state->preferences()->setBool(QStringLiteral("steno_mode"), steno);
        openWindow();
        QSignalSpy changed(m_state.get(), &AppState::notesChanged);
        m_window->searchField()->setText(QStringLiteral("Note"));
        m_window->searchField()->setText(QStringLiteral("Note 3"));
        // Nothing is queried before the 300 ms pause.
        QCOMPARE(m_window->noteList()->count(), 6);
        QTRY_COMPARE(m_window->noteList()->count(), 1);
        QCOMPARE(listedIds(m_window->noteList()), QStringList{m_ids.at(3)});

        m_window->searchField()->setText(QStringLiteral("apple"));
        QTRY_COMPARE(listedIds(m_window->noteList()), m_state->notes()->searchIds(QStringLiteral("apple")));
        QCOMPARE(changed.count(), 0);
    }

    void stenoModeMovesTheSearchFieldBelowTheList()
    {
        openWindow();
        auto *layout = qobject_cast<QVBoxLayout *>(m_window->listPane()->layout());
        QVERIFY(layout);
        QCOMPARE(layout->indexOf(m_window->searchContainer()), 0);

        m_state->preferences()->setBool(QStringLiteral("steno_mode"), true);
        QCOMPARE(layout->indexOf(m_window->searchContainer()), 1);
        QCOMPARE(layout->indexOf(m_window->noteList()), 0);
        QCOMPARE(listedIds(m_window->noteList()).first(), m_ids.first());

        m_state->preferences()->setBool(QStringLiteral("steno_mode"), false);
        QCOMPARE(layout->indexOf(m_window->searchContainer()), 0);
        QCOMPARE(listedIds(m_window->noteList()), newestFirst());
    }

    void autosavedNoteMovesToTheTopAndStaysSelected_data()
    {
        QTest::addColumn<bool>("steno");
        QTest::newRow("newest-first") << false;
        QTest::newRow("steno-to-the-end") << true;
    }

    void autosavedNoteMovesToTheTopAndStaysSelected()
    {
        QFETCH(bool, steno);
        m_state->preferences()->setBool(QStringLiteral("steno_mode"), steno);
        openWindow();
        const QString id = m_ids.at(2);
        m_window->noteList()->selectNote(id);
        QSignalSpy selected(m_window->noteList(), &NoteListWidget::noteSelected);

        QTest::keyClicks(m_window->editor(), QStringLiteral("Moved "));
        QTRY_VERIFY(m_window->editor()->isSaved());
        QTRY_VERIFY(m_state->notes()->findById(id)->plainText().startsWith(QStringLiteral("Moved")));

        QStringList expected = repositoryOrder();
        if (steno)
            std::reverse(expected.begin(), expected.end());
        QCOMPARE(listedIds(m_window->noteList()), expected);
        QCOMPARE(steno ? expected.last() : expected.first(), id);
        QCOMPARE(m_window->noteList()->currentNoteId(), id);
        QCOMPARE(selected.count(), 0);
        QCOMPARE(m_window->noteList()->indexOfRow(m_window->noteList()->rowOf(id))
                     .data(NoteListWidget::TitleRole).toString(),
                 QStringLiteral("Moved Note 2 apple"));
    }

    void outsideChangesUpdateOnlyTheirRows()
    {
        Notebook notebook;
        notebook.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        notebook.name = QStringLiteral("Home");
        notebook.createdAt = notebook.updatedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(m_state->notebooks()->insert(notebook));
        for (int i : {1, 3, 4})
            QVERIFY(m_state->notes()->moveToNotebook(m_ids.at(i), notebook.id));
        m_state->setCurrentNotebookId(notebook.id);
        openWindow();
        QCOMPARE(listedIds(m_window->noteList()), (QStringList{m_ids.at(4), m_ids.at(3), m_ids.at(1)}));
        m_window->noteList()->selectNote(m_ids.at(3));

        // Edited elsewhere: moves up; a note of another notebook stays out.
        auto edited = m_state->notes()->findById(m_ids.at(1));
        edited->body = bodyFor(QStringLiteral("Fresh"));
        edited->updatedAt = QDateTime::currentDateTimeUtc();
        edited->version += 1;
        QVERIFY(m_state->notes()->update(*edited));
        auto other = m_state->notes()->findById(m_ids.at(0));
        other->updatedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(m_state->notes()->update(*other));
        QCOMPARE(listedIds(m_window->noteList()), (QStringList{m_ids.at(1), m_ids.at(4), m_ids.at(3)}));

        // Moved into the notebook: appears in order; moved out: leaves.
        QVERIFY(m_state->notes()->moveToNotebook(m_ids.at(5), notebook.id));
        QVERIFY(m_state->notes()->moveToNotebook(m_ids.at(4), QString()));
        QCOMPARE(listedIds(m_window->noteList()), (QStringList{m_ids.at(1), m_ids.at(5), m_ids.at(3)}));
        QCOMPARE(m_window->noteList()->currentNoteId(), m_ids.at(3));
        QCOMPARE(m_window->statusBarWidget()->captionText(), QStringLiteral("Home (3 notes)"));

        // A purged note leaves too.
        QVERIFY(m_state->notes()->deletePermanently(m_ids.at(5)));
        QCOMPARE(listedIds(m_window->noteList()), (QStringList{m_ids.at(1), m_ids.at(3)}));
    }

    void searchResultsRefreshInPlace()
    {
        openWindow();
        m_window->searchField()->setText(QStringLiteral("apple"));
        const QStringList ranked = m_state->notes()->searchIds(QStringLiteral("apple"));
        QCOMPARE(ranked.size(), 6);
        QTRY_COMPARE(listedIds(m_window->noteList()), ranked);

        auto note = m_state->notes()->findById(ranked.at(3));
        note->body = bodyFor(QStringLiteral("Renamed apple"));
        note->updatedAt = QDateTime::currentDateTimeUtc();
        note->version += 1;
        QVERIFY(m_state->notes()->update(*note));
        QCOMPARE(listedIds(m_window->noteList()), ranked);
        QCOMPARE(m_window->noteList()->indexOfRow(3).data(NoteListWidget::TitleRole).toString(),
                 QStringLiteral("Renamed apple"));

        QVERIFY(m_state->notes()->moveToTrash(ranked.at(1)));
        QStringList remaining = ranked;
        remaining.removeAt(1);
        QCOMPARE(listedIds(m_window->noteList()), remaining);
    }

    void manySearchHitsStayCurrentAcrossChanges()
    {
        // Enough hits to take the rows from the window's cache rather than one by one.
        const QDateTime base = QDateTime::currentDateTimeUtc().addDays(-2);
        QStringList bulk;
        for (int i = 0; i < 260; ++i)
            bulk.append(addNote(QStringLiteral("Bulk %1").arg(i), base.addSecs(i)));
        openWindow();
        const auto search = [this] {
            m_window->searchField()->setText(m_window->searchField()->text() == QLatin1String("bulk")
                                                 ? QStringLiteral("bulk ")
                                                 : QStringLiteral("bulk"));
            QTRY_VERIFY(!m_window->searchTimer()->isActive() && !m_window->isSearchRunning());
        };
        search();
        QCOMPARE(listedIds(m_window->noteList()), m_state->notes()->searchIds(QStringLiteral("bulk")));

        QVERIFY(m_state->notes()->moveToTrash(bulk.at(10)));
        QVERIFY(m_state->notes()->deletePermanently(bulk.at(20)));
        auto edited = m_state->notes()->findById(bulk.at(30));
        edited->body = bodyFor(QStringLiteral("Bulk edited"));
        edited->updatedAt = QDateTime::currentDateTimeUtc();
        edited->version += 1;
        QVERIFY(m_state->notes()->update(*edited));
        QVERIFY(m_state->notes()->restore(bulk.at(10)));
        QVERIFY(m_state->notes()->moveToTrash(bulk.at(11)));

        search();
        const QStringList expected = m_state->notes()->searchIds(QStringLiteral("bulk"));
        QCOMPARE(expected.size(), 258);
        QCOMPARE(listedIds(m_window->noteList()), expected);
        const int row = m_window->noteList()->rowOf(bulk.at(30));
        QCOMPARE(m_window->noteList()->indexOfRow(row).data(NoteListWidget::UpdatedAtRole).toDateTime(),
                 edited->updatedAt);
    }

    void readOnlySharedNoteOpensWithoutToolbar()
    {
        auto note = m_state->notes()->findById(m_ids.at(0));
        note->ownerId = QStringLiteral("someone-else");
        note->permission = QStringLiteral("view");
        QVERIFY(m_state->notes()->update(*note));
        openWindow();
        m_window->noteList()->selectNote(m_ids.at(0));
        QCOMPARE(m_window->editor()->currentNoteId(), m_ids.at(0));
        QVERIFY(m_window->editor()->isReadOnly());
        QVERIFY(!m_window->editorToolbar()->isEnabled());

        // Format commands leave it alone.
        const QString before = m_window->editor()->toDeltaJson();
        action("boldAction")->trigger();
        action("heading1Action")->trigger();
        QCOMPARE(m_window->editor()->toDeltaJson(), before);
    }

    void noteDeletedElsewhereClearsTheEditor()
    {
        openWindow();
        m_window->noteList()->selectNote(m_ids.at(2));
        QVERIFY(m_state->notes()->moveToTrash(m_ids.at(2)));
        QVERIFY(m_window->editor()->currentNoteId().isEmpty());
        QVERIFY(!m_window->editorToolbar()->isEnabled());
    }

private:
    QString addNote(const QString &text, const QDateTime &updatedAt)
    {
        Note note;
        note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        note.body = bodyFor(text);
        note.createdAt = note.updatedAt = note.modifiedAt = updatedAt;
        if (!m_state->notes()->insert(note))
            return QString();
        return note.id;
    }

    void openWindow()
    {
        m_window = std::make_unique<MainWindow>(m_state.get());
        m_window->resize(1200, 800);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    QAction *action(const char *name) const
    {
        auto *found = m_window->findChild<QAction *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no action %s", name);
        return found;
    }

    QStringList newestFirst() const
    {
        QStringList ids = m_ids;
        std::reverse(ids.begin(), ids.end());
        return ids;
    }

    QStringList repositoryOrder() const
    {
        QStringList ids;
        for (const NoteListEntry &entry : m_state->notes()->listEntries())
            ids.append(entry.id);
        return ids;
    }

    // Answers the next message box, recording its text.
    void answerNextMessageBox(bool yes, QString *text)
    {
        auto *timer = new QTimer(this);
        auto attempts = std::make_shared<int>(0);
        connect(timer, &QTimer::timeout, this, [timer, attempts, yes, text] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box && ++*attempts < 500)
                return;
            timer->deleteLater();
            timer->stop();
            if (!box)
                return;
            *text = box->text();
            box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        timer->start(10);
    }

    QTemporaryDir m_settingsDir;
    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_window;
    QStringList m_ids;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
