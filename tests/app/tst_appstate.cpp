#include "appstate.h"
#include "attachmentrepository.h"
#include "database.h"
#include "noterepository.h"
#include "paths.h"
#include "preferencesrepository.h"
#include "testsupport.h"
#include "thememanager.h"

#include <QCloseEvent>
#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>
#include <QUuid>
#include <QWidget>

namespace {

Note makeNote(const QString &body)
{
    Note note;
    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    note.body = body;
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    return note;
}

// Stands in for the note window: deletes itself on close and reports the close.
class FakeNoteWindow : public QWidget
{
    Q_OBJECT

public:
    FakeNoteWindow(AppState *state, const QString &noteId)
        : noteId(noteId)
        , m_state(state)
    {
        setAttribute(Qt::WA_DeleteOnClose);
    }

    const QString noteId;
    // Whether the state's repositories were still there when the window closed.
    static inline int closedWithRepositories = 0;

Q_SIGNALS:
    void windowClosed(const QString &noteId);

protected:
    void closeEvent(QCloseEvent *event) override
    {
        if (m_state && m_state->notes() && m_state->notes()->findById(noteId))
            ++closedWithRepositories;
        Q_EMIT windowClosed(noteId);
        event->accept();
    }

private:
    AppState *m_state;
};

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestAppState : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void init() { m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>(); }
    void cleanup()
    {
        for (const QPointer<FakeNoteWindow> &window : std::as_const(m_made))
            delete window.data();
        m_made.clear();
        m_dataDir.reset();
    }

    void initializeCreatesDatabaseAndWelcomeNotes()
    {
        AppState state;
        QSignalSpy ready(&state, &AppState::databaseReady);
        QVERIFY(state.initialize());
        QCOMPARE(ready.count(), 1);
        QVERIFY(state.notes() && state.notebooks() && state.preferences() && state.snapshots()
                && state.attachments() && state.themeManager());
        QCOMPARE(state.notes()->allNotes().size(), 3);
        QCOMPARE(state.notes()->allNotes().first().title(), QStringLiteral("Welcome to Ombrel Notes"));
        QVERIFY(state.preferences()->getBool(QStringLiteral("has_seen_welcome")));
        QCOMPARE(state.preferences()->get(QStringLiteral("theme_mode")), QStringLiteral("system"));
    }

    void secondStartWritesNoMoreWelcomeNotes()
    {
        {
            AppState first;
            QVERIFY(first.initialize());
            first.notes()->moveToTrash(first.notes()->allNotes().first().id);
        }
        AppState second;
        QVERIFY(second.initialize());
        QCOMPARE(second.notes()->allNotes().size(), 2);
    }

    void currentIdsPersistAcrossStarts()
    {
        {
            AppState state;
            QVERIFY(state.initialize());
            QSignalSpy noteChanged(&state, &AppState::currentNoteChanged);
            QSignalSpy notebookChanged(&state, &AppState::currentNotebookChanged);
            state.setCurrentNoteId(QStringLiteral("note-1"));
            state.setCurrentNoteId(QStringLiteral("note-1"));
            state.setCurrentNotebookId(QStringLiteral("book-1"));
            QCOMPARE(noteChanged.count(), 1);
            QCOMPARE(noteChanged.first().first().toString(), QStringLiteral("note-1"));
            QCOMPARE(notebookChanged.count(), 1);
        }
        AppState restarted;
        QSignalSpy noteChanged(&restarted, &AppState::currentNoteChanged);
        QVERIFY(restarted.initialize());
        QCOMPARE(restarted.currentNoteId(), QStringLiteral("note-1"));
        QCOMPARE(restarted.currentNotebookId(), QStringLiteral("book-1"));
        QCOMPARE(noteChanged.count(), 0);
    }

    void settingTheCurrentValueWritesNothing()
    {
        AppState state;
        QVERIFY(state.initialize());
        state.setCurrentNoteId(QStringLiteral("a"));
        QSignalSpy stored(state.preferences(), &PreferencesRepository::changed);
        state.setCurrentNoteId(QStringLiteral("a"));
        QCOMPARE(stored.count(), 0);
    }

    void repositorySignalsAreRelayed()
    {
        AppState state;
        QVERIFY(state.initialize());
        QSignalSpy notesChanged(&state, &AppState::notesChanged);
        QSignalSpy deleted(&state, &AppState::noteDeletedExternally);
        const Note note = makeNote(Note::emptyBody());
        QVERIFY(state.notes()->insert(note));
        QVERIFY(state.notes()->moveToTrash(note.id));
        QCOMPARE(notesChanged.count(), 2);
        QCOMPARE(deleted.count(), 1);
        QCOMPARE(deleted.first().first().toString(), note.id);

        QSignalSpy updated(&state, &AppState::noteUpdatedExternally);
        state.notifyNoteUpdated(note.id, this);
        QCOMPARE(updated.count(), 1);
        QCOMPARE(updated.first().at(1).value<QObject *>(), this);
    }

    void purgingANoteRemovesItsAttachmentFiles()
    {
        AppState state;
        QVERIFY(state.initialize());
        const Note note = makeNote(Note::emptyBody());
        QVERIFY(state.notes()->insert(note));
        Attachment attachment;
        attachment.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        attachment.noteId = note.id;
        attachment.filename = QStringLiteral("photo.png");
        attachment.mimeType = QStringLiteral("image/png");
        attachment.sizeBytes = 3;
        attachment.createdAt = QDateTime::currentDateTimeUtc();
        QVERIFY(state.attachments()->saveFile(attachment.id, "abc"));
        QVERIFY(state.attachments()->insert(attachment));

        QVERIFY(state.notes()->deletePermanently(note.id));
        QVERIFY(!state.notes()->findById(note.id));
        QVERIFY(!state.attachments()->findById(attachment.id));
        QVERIFY(!QFile::exists(attachmentFilePath(attachment.id)));
    }

    void environmentEndpoints_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("unset") << QByteArray() << QStringLiteral("ombrel");
        QTest::newRow("empty-counts-as-unset") << QByteArray("") << QStringLiteral("ombrel");
        QTest::newRow("set") << QByteArray("staging") << QStringLiteral("staging");
        QTest::newRow("utf8") << QByteArray("r\xC3\xA9gion") << QStringLiteral("région");
    }

    void environmentEndpoints()
    {
        QFETCH(QByteArray, value);
        QFETCH(QString, expected);
        if (value.isNull())
            qunsetenv("AUTH_REALM_SLUG");
        else
            qputenv("AUTH_REALM_SLUG", value);
        AppState state;
        QVERIFY(state.initialize());
        qunsetenv("AUTH_REALM_SLUG");
        QCOMPARE(state.endpoints().realmSlug, expected);
        QCOMPARE(state.endpoints().clientId, QStringLiteral("0f1e2d3c4b5a69788796a5b4c3d2e1f0"));
    }

    void failsOnAFileThatIsNotADatabase()
    {
        const QString path = databasePath();
        QFile garbage(path);
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        const QByteArray bytes(8192, 'x');
        garbage.write(bytes);
        garbage.close();

        AppState state;
        QVERIFY(!state.initialize());
        QVERIFY(!state.notes());
        QFile check(path);
        QVERIFY(check.open(QIODevice::ReadOnly));
        QCOMPARE(check.readAll(), bytes);
    }

    void openingANoteTwiceRaisesOneWindow()
    {
        AppState state;
        QVERIFY(state.initialize());
        installFactory(state);
        state.openNoteWindow(QStringLiteral("note-a"));
        state.openNoteWindow(QStringLiteral("note-a"));
        QCOMPARE(m_made.size(), 1);
        QVERIFY(m_made.first()->isVisible());
        QCOMPARE(state.openNoteWindowIds(), QStringList{QStringLiteral("note-a")});
        QCOMPARE(state.noteWindow(QStringLiteral("note-a")), m_made.first().data());
    }

    void closingAndReopeningCreatesANewWindow()
    {
        AppState state;
        QVERIFY(state.initialize());
        installFactory(state);
        state.openNoteWindow(QStringLiteral("note-a"));
        m_made.first()->close();
        flushDeletes();
        QVERIFY(!m_made.first());
        QVERIFY(state.openNoteWindowIds().isEmpty());

        state.openNoteWindow(QStringLiteral("note-a"));
        QCOMPARE(m_made.size(), 2);
        QVERIFY(m_made.last());
        QCOMPARE(state.openNoteWindowIds(), QStringList{QStringLiteral("note-a")});
    }

    void aWindowDeletedWithoutReportIsForgotten()
    {
        AppState state;
        QVERIFY(state.initialize());
        installFactory(state);
        state.openNoteWindow(QStringLiteral("note-a"));
        delete m_made.first().data();
        QVERIFY(state.openNoteWindowIds().isEmpty());
        QVERIFY(!state.noteWindow(QStringLiteral("note-a")));
        state.openNoteWindow(QStringLiteral("note-a"));
        QCOMPARE(m_made.size(), 2);
        QCOMPARE(state.openNoteWindowIds().size(), 1);
    }

    void openIdsKeepOpeningOrder()
    {
        AppState state;
        QVERIFY(state.initialize());
        installFactory(state);
        const QStringList ids{QStringLiteral("c"), QStringLiteral("a"), QStringLiteral("b")};
        for (const QString &id : ids)
            state.openNoteWindow(id);
        QCOMPARE(state.openNoteWindowIds(), ids);
        state.noteWindow(QStringLiteral("a"))->close();
        QCOMPARE(state.openNoteWindowIds(), (QStringList{QStringLiteral("c"), QStringLiteral("b")}));
    }

    void noWindowForAnEmptyIdOrWithoutAFactory()
    {
        AppState state;
        QVERIFY(state.initialize());
        state.openNoteWindow(QStringLiteral("note-a"));
        const int notesBefore = state.notes()->allNotes().size();
        QVERIFY(!state.openNewNoteWindow());
        // No window could show it, so no empty note is left behind.
        QCOMPARE(state.notes()->allNotes().size(), notesBefore);
        installFactory(state);
        state.openNoteWindow(QString());
        QVERIFY(m_made.isEmpty());
    }

    void newNoteWindowNote_data()
    {
        QTest::addColumn<QString>("notebookId");
        QTest::newRow("in-current-notebook") << QStringLiteral("book-1");
        QTest::newRow("no-notebook-selected") << QString();
    }

    void newNoteWindowNote()
    {
        QFETCH(QString, notebookId);
        AppState state;
        QVERIFY(state.initialize());
        installFactory(state);
        state.setCurrentNotebookId(notebookId);
        QWidget *window = state.openNewNoteWindow();
        QVERIFY(window);
        const QString id = static_cast<FakeNoteWindow *>(window)->noteId;
        QCOMPARE(id.size(), 36);
        QCOMPARE(state.openNoteWindowIds(), QStringList{id});
        const std::optional<Note> note = state.notes()->findById(id);
        QVERIFY(note);
        QCOMPARE(note->notebookId, notebookId);
        QCOMPARE(note->body, QStringLiteral("[{\"insert\":\"\\n\"}]"));
        QCOMPARE(note->version, 1);
        QCOMPARE(note->opVersion, 0);
        QCOMPARE(note->syncStatus, SyncStatus::Pending);
        QVERIFY(!note->isSample);
        QVERIFY(!note->isShared);
        QCOMPARE(note->createdAt, note->updatedAt);
        QCOMPARE(note->updatedAt, note->modifiedAt);
    }

    void aNoteThatCannotBeWrittenOpensNoWindow()
    {
        AppState state;
        QVERIFY(state.initialize());
        installFactory(state);
        QSqlQuery query(state.database()->handle());
        QVERIFY(query.exec(QStringLiteral(
            "CREATE TRIGGER refuse BEFORE INSERT ON notes BEGIN SELECT RAISE(ABORT, 'refused'); END")));
        QVERIFY(!state.openNewNoteWindow());
        QVERIFY(m_made.isEmpty());
        QVERIFY(state.openNoteWindowIds().isEmpty());
    }

    void destructionClosesEveryWindowOnce()
    {
        auto state = std::make_unique<AppState>();
        QVERIFY(state->initialize());
        installFactory(*state);
        const Note first = makeNote(Note::emptyBody());
        const Note second = makeNote(Note::emptyBody());
        QVERIFY(state->notes()->insert(first));
        QVERIFY(state->notes()->insert(second));
        state->openNoteWindow(first.id);
        state->openNoteWindow(second.id);
        QSignalSpy closedFirst(m_made.first().data(), &FakeNoteWindow::windowClosed);
        FakeNoteWindow::closedWithRepositories = 0;

        state.reset();
        QCOMPARE(closedFirst.count(), 1);
        QCOMPARE(FakeNoteWindow::closedWithRepositories, 2);
        flushDeletes();
        QVERIFY(!m_made.first() && !m_made.last());
    }

private:
    void installFactory(AppState &state)
    {
        m_made.clear();
        state.setNoteWindowFactory([this](AppState *owner, const QString &noteId) -> QWidget * {
            auto *window = new FakeNoteWindow(owner, noteId);
            connect(window, &FakeNoteWindow::windowClosed, owner, &AppState::noteWindowClosed);
            m_made.append(window);
            return window;
        });
    }

    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    QList<QPointer<FakeNoteWindow>> m_made;
};

QTEST_MAIN(TestAppState)
#include "tst_appstate.moc"
