#include "appstate.h"
#include "attachmentrepository.h"
#include "database.h"
#include "noterepository.h"
#include "paths.h"
#include "preferencesrepository.h"
#include "testsupport.h"
#include "thememanager.h"

#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>
#include <QUuid>

namespace {

Note makeNote(const QString &body)
{
    Note note;
    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    note.body = body;
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    return note;
}

} // namespace

class TestAppState : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void init() { m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>(); }
    void cleanup() { m_dataDir.reset(); }

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

private:
    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
};

QTEST_MAIN(TestAppState)
#include "tst_appstate.moc"
