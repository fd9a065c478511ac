#include "attachmentrepository.h"
#include "database.h"
#include "noterepository.h"
#include "paths.h"
#include "snapshotrepository.h"
#include "storagefixture.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using OmbrelTest::bodyOf;
using OmbrelTest::idsOf;
using OmbrelTest::makeNote;
using OmbrelTest::newId;
using OmbrelTest::sorted;
using OmbrelTest::utc;

namespace {

// Records the repository's signals in emission order.
class SignalLog : public QObject
{
public:
    explicit SignalLog(NoteRepository *notes)
    {
        connect(notes, &NoteRepository::notesChanged, this, [this] { events << QStringLiteral("changed"); });
        connect(notes, &NoteRepository::noteDeleted, this,
                [this](const QString &id) { events << QStringLiteral("deleted:") + id; });
        connect(notes, &NoteRepository::notePurged, this,
                [this](const QString &id) { events << QStringLiteral("purged:") + id; });
    }

    QStringList events;
};

} // namespace

class TestNoteRepository : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void insertRoundTripsEveryField();
    void insertDuplicateIdFailsWithoutSignal();
    void datesStoredAsUtcWithMilliseconds();
    void storedDateTextReadsAsUtc_data();
    void storedDateTextReadsAsUtc();
    void syncStatusRead_data();
    void syncStatusRead();
    void syncStatusWritten_data();
    void syncStatusWritten();
    void emptyOwnerAndPermissionAreNull();
    void notebookIdIsNeverNull();
    void deletedAtEncoding();
    void nonZeroFlagsReadTrue();

    void listsFilterAndOrder();
    void sharedLists();
    void updateKeepsCreatedAt();
    void moveToTrashThenRestore();
    void missingIdStillSucceedsAndSignals_data();
    void missingIdStillSucceedsAndSignals();
    void deletePermanentlyRemovesDependents();
    void failedDeletePermanentlyKeepsEverything();
    void moveToNotebookWithNullIdStoresEmpty();
    void markSyncedStoresConfirmedVersion();
    void markAllPendingCountsLiveRowsOnce();
    void noteCountsSkipTrashAndKeyNoNotebookAsEmpty();
    void includeInTodosDefaultsAndUpserts();

private:
    void insertAll(const QList<Note> &notes);

    std::unique_ptr<OmbrelTest::MigratedDatabase> m_store;
    std::unique_ptr<NoteRepository> m_notes;
};

void TestNoteRepository::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

void TestNoteRepository::init()
{
    m_store = std::make_unique<OmbrelTest::MigratedDatabase>();
    QVERIFY2(m_store->isReady(), qPrintable(m_store->failure()));
    m_notes = std::make_unique<NoteRepository>(&m_store->database);
}

void TestNoteRepository::cleanup()
{
    m_notes.reset();
    m_store.reset();
}

void TestNoteRepository::insertAll(const QList<Note> &notes)
{
    for (const Note &note : notes)
        QVERIFY2(m_notes->insert(note), qPrintable(note.id));
}

void TestNoteRepository::insertRoundTripsEveryField()
{
    Note note;
    note.id = newId();
    note.notebookId = QStringLiteral("nb-1");
    note.body = bodyOf(QStringLiteral("Hello \u00e9\u65e5 \U0001F600"));
    note.createdAt = utc("2024-05-01T09:30:00.123Z");
    note.updatedAt = utc("2024-05-02T10:31:01.456Z");
    note.modifiedAt = utc("2024-05-03T11:32:02.789Z");
    note.deletedAt = utc("2024-05-04T12:33:03.001Z");
    note.version = 7;
    note.opVersion = 3;
    note.syncStatus = SyncStatus::Conflict;
    note.isSample = true;
    note.ownerId = QStringLiteral("owner-9");
    note.isShared = true;
    note.permission = QStringLiteral("read");

    QSignalSpy changed(m_notes.get(), &NoteRepository::notesChanged);
    QVERIFY(m_notes->insert(note));
    QCOMPARE(changed.count(), 1);

    const std::optional<Note> read = m_notes->findById(note.id);
    QVERIFY(read.has_value());
    QCOMPARE(read->id, note.id);
    QCOMPARE(read->notebookId, note.notebookId);
    QCOMPARE(read->body, note.body);
    QCOMPARE(read->createdAt, note.createdAt);
    QCOMPARE(read->updatedAt, note.updatedAt);
    QCOMPARE(read->modifiedAt, note.modifiedAt);
    QVERIFY(read->deletedAt.has_value());
    QCOMPARE(*read->deletedAt, *note.deletedAt);
    QCOMPARE(read->version, 7);
    QCOMPARE(read->opVersion, 3);
    QCOMPARE(read->syncStatus, SyncStatus::Conflict);
    QCOMPARE(read->isSample, true);
    QCOMPARE(read->ownerId, note.ownerId);
    QCOMPARE(read->isShared, true);
    QCOMPARE(read->permission, note.permission);

    QVERIFY(!m_notes->findById(newId()).has_value());
    QVERIFY(!m_notes->findById(QString()).has_value());
}

void TestNoteRepository::insertDuplicateIdFailsWithoutSignal()
{
    const Note note = makeNote(QStringLiteral("dup"), QStringLiteral("first"), "2024-01-01T00:00:00.000Z");
    QVERIFY(m_notes->insert(note));

    Note again = makeNote(QStringLiteral("dup"), QStringLiteral("second"), "2024-01-02T00:00:00.000Z");
    QSignalSpy changed(m_notes.get(), &NoteRepository::notesChanged);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("NoteRepository::insert failed:")));
    QVERIFY(!m_notes->insert(again));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(m_notes->findById(QStringLiteral("dup"))->body, note.body);
}

void TestNoteRepository::datesStoredAsUtcWithMilliseconds()
{
    Note note = makeNote(QStringLiteral("n"), QStringLiteral("x"), "2024-01-01T00:00:00.000Z");
    // 11:30:00.123 at UTC+02:00 is 09:30:00.123 UTC.
    note.createdAt = QDateTime(QDate(2024, 5, 1), QTime(11, 30, 0, 123), Qt::OffsetFromUTC, 2 * 3600);
    note.updatedAt = QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59, 999), Qt::UTC);
    QVERIFY(m_notes->insert(note));

    QCOMPARE(m_store->rawValue(QStringLiteral("SELECT created_at FROM notes WHERE id = 'n'")).toString(),
             QStringLiteral("2024-05-01T09:30:00.123Z"));
    QCOMPARE(m_store->rawValue(QStringLiteral("SELECT updated_at FROM notes WHERE id = 'n'")).toString(),
             QStringLiteral("2024-12-31T23:59:59.999Z"));

    const Note read = *m_notes->findById(QStringLiteral("n"));
    QCOMPARE(read.createdAt, note.createdAt);
    QCOMPARE(read.createdAt.timeSpec(), Qt::UTC);
    QCOMPARE(read.createdAt.time().msec(), 123);
    QCOMPARE(read.updatedAt.time().msec(), 999);
}

void TestNoteRepository::storedDateTextReadsAsUtc_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QDateTime>("expected");

    const QDateTime instant(QDate(2024, 5, 1), QTime(9, 30, 0, 123), Qt::UTC);
    QTest::newRow("utc") << QStringLiteral("2024-05-01T09:30:00.123Z") << instant;
    QTest::newRow("positive-offset") << QStringLiteral("2024-05-01T11:30:00.123+02:00") << instant;
    QTest::newRow("negative-offset") << QStringLiteral("2024-05-01T04:30:00.123-05:00") << instant;
    QTest::newRow("without-milliseconds") << QStringLiteral("2024-05-01T09:30:00Z")
                                          << QDateTime(QDate(2024, 5, 1), QTime(9, 30), Qt::UTC);
}

void TestNoteRepository::storedDateTextReadsAsUtc()
{
    QFETCH(QString, stored);
    QFETCH(QDateTime, expected);
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("n"), QStringLiteral("x"), "2024-01-01T00:00:00.000Z")));
    QVERIFY(m_store->rawExec(QStringLiteral("UPDATE notes SET updated_at = ? WHERE id = 'n'"), {stored}));

    const Note read = *m_notes->findById(QStringLiteral("n"));
    QCOMPARE(read.updatedAt, expected);
    QCOMPARE(read.updatedAt.timeSpec(), Qt::UTC);
}

void TestNoteRepository::syncStatusRead_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("expected");

    QTest::newRow("pending") << QStringLiteral("pending") << int(SyncStatus::Pending);
    QTest::newRow("synced") << QStringLiteral("synced") << int(SyncStatus::Synced);
    QTest::newRow("conflict") << QStringLiteral("conflict") << int(SyncStatus::Conflict);
    QTest::newRow("unknown-word") << QStringLiteral("deleted") << int(SyncStatus::Pending);
    QTest::newRow("capitalised") << QStringLiteral("Synced") << int(SyncStatus::Pending);
    QTest::newRow("upper-case") << QStringLiteral("CONFLICT") << int(SyncStatus::Pending);
    QTest::newRow("padded") << QStringLiteral(" synced") << int(SyncStatus::Pending);
    QTest::newRow("empty") << QString(QLatin1String("")) << int(SyncStatus::Pending);
}

void TestNoteRepository::syncStatusRead()
{
    QFETCH(QString, stored);
    QFETCH(int, expected);
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("n"), QStringLiteral("x"), "2024-01-01T00:00:00.000Z")));
    QVERIFY(m_store->rawExec(QStringLiteral("UPDATE notes SET sync_status = ? WHERE id = 'n'"), {stored}));

    QCOMPARE(m_notes->findById(QStringLiteral("n"))->syncStatus, SyncStatus(expected));
    QCOMPARE(syncStatusFromString(stored), SyncStatus(expected));
}

void TestNoteRepository::syncStatusWritten_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("stored");

    QTest::newRow("pending") << int(SyncStatus::Pending) << QStringLiteral("pending");
    QTest::newRow("synced") << int(SyncStatus::Synced) << QStringLiteral("synced");
    QTest::newRow("conflict") << int(SyncStatus::Conflict) << QStringLiteral("conflict");
    QTest::newRow("out-of-range") << 42 << QStringLiteral("pending");
}

void TestNoteRepository::syncStatusWritten()
{
    QFETCH(int, status);
    QFETCH(QString, stored);
    Note note = makeNote(QStringLiteral("n"), QStringLiteral("x"), "2024-01-01T00:00:00.000Z");
    note.syncStatus = static_cast<SyncStatus>(status);
    QVERIFY(m_notes->insert(note));
    QCOMPARE(m_store->rawValue(QStringLiteral("SELECT sync_status FROM notes WHERE id = 'n'")).toString(), stored);
}

void TestNoteRepository::emptyOwnerAndPermissionAreNull()
{
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("mine"), QStringLiteral("x"), "2024-01-01T00:00:00.000Z")));
    QCOMPARE(m_store->rawValue(QStringLiteral("SELECT owner_id IS NULL AND permission IS NULL"
                                              " FROM notes WHERE id = 'mine'")).toInt(), 1);

    // An update back to empty also writes NULL.
    Note note = *m_notes->findById(QStringLiteral("mine"));
    note.ownerId = QStringLiteral("someone");
    note.permission = QStringLiteral("edit");
    QVERIFY(m_notes->update(note));
    QCOMPARE(m_store->rawValue(QStringLiteral("SELECT owner_id FROM notes WHERE id = 'mine'")).toString(),
             QStringLiteral("someone"));
    note.ownerId = QLatin1String("");
    note.permission = QLatin1String("");
    QVERIFY(m_notes->update(note));
    QCOMPARE(m_store->rawValue(QStringLiteral("SELECT owner_id IS NULL AND permission IS NULL"
                                              " FROM notes WHERE id = 'mine'")).toInt(), 1);

    const Note read = *m_notes->findById(QStringLiteral("mine"));
    QVERIFY(read.ownerId.isEmpty());
    QVERIFY(read.permission.isEmpty());
}

void TestNoteRepository::notebookIdIsNeverNull()
{
    Note note = makeNote(QStringLiteral("n"), QStringLiteral("x"), "2024-01-01T00:00:00.000Z");
    note.notebookId = QString();
    QVERIFY(m_notes->insert(note));
    QCOMPARE(m_store->rawValue(QStringLiteral("SELECT typeof(notebook_id) || ':' || notebook_id"
                                              " FROM notes WHERE id = 'n'")).toString(), QStringLiteral("text:"));

    note.notebookId = QStringLiteral("nb");
    QVERIFY(m_notes->update(note));
    note.notebookId = QString();
    QVERIFY(m_notes->update(note));
    QCOMPARE(m_store->rawValue(QStringLiteral("SELECT typeof(notebook_id) || ':' || notebook_id"
                                              " FROM notes WHERE id = 'n'")).toString(), QStringLiteral("text:"));
    QCOMPARE(m_notes->findById(QStringLiteral("n"))->notebookId, QString());
}

void TestNoteRepository::deletedAtEncoding()
{
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("n"), QStringLiteral("x"), "2024-01-01T00:00:00.000Z")));
    QCOMPARE(m_store->rawValue(QStringLiteral("SELECT deleted_at IS NULL FROM notes WHERE id = 'n'")).toInt(), 1);
    QVERIFY(!m_notes->findById(QStringLiteral("n"))->deletedAt.has_value());

    QVERIFY(m_store->rawExec(QStringLiteral("UPDATE notes SET deleted_at = '' WHERE id = 'n'")));
    QVERIFY(!m_notes->findById(QStringLiteral("n"))->deletedAt.has_value());
}

void TestNoteRepository::nonZeroFlagsReadTrue()
{
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("n"), QStringLiteral("x"), "2024-01-01T00:00:00.000Z")));
    QCOMPARE(m_store->rawValue(QStringLiteral("SELECT is_sample || is_shared FROM notes WHERE id = 'n'")).toString(),
             QStringLiteral("00"));
    QVERIFY(m_store->rawExec(QStringLiteral("UPDATE notes SET is_sample = 2, is_shared = -1 WHERE id = 'n'")));
    const Note read = *m_notes->findById(QStringLiteral("n"));
    QVERIFY(read.isSample);
    QVERIFY(read.isShared);
}

void TestNoteRepository::listsFilterAndOrder()
{
    Note n1 = makeNote(QStringLiteral("n1"), QStringLiteral("one"), "2024-01-01T00:00:00.000Z");
    n1.notebookId = QStringLiteral("nb-a");
    Note n2 = makeNote(QStringLiteral("n2"), QStringLiteral("two"), "2024-01-03T00:00:00.000Z");
    n2.notebookId = QStringLiteral("nb-a");
    n2.syncStatus = SyncStatus::Synced;
    Note n3 = makeNote(QStringLiteral("n3"), QStringLiteral("three"), "2024-01-02T00:00:00.000Z");
    n3.syncStatus = SyncStatus::Conflict;
    Note t1 = makeNote(QStringLiteral("t1"), QStringLiteral("trash one"), "2024-01-04T00:00:00.000Z");
    t1.notebookId = QStringLiteral("nb-a");
    t1.deletedAt = utc("2024-02-01T00:00:00.000Z");
    t1.syncStatus = SyncStatus::Synced;
    Note t2 = makeNote(QStringLiteral("t2"), QStringLiteral("trash two"), "2024-01-05T00:00:00.000Z");
    t2.notebookId = QStringLiteral("nb-a");
    t2.deletedAt = utc("2024-02-03T00:00:00.000Z");
    insertAll({n1, t2, n2, t1, n3});

    QCOMPARE(idsOf(m_notes->allNotes()), (QStringList{QStringLiteral("n2"), QStringLiteral("n3"), QStringLiteral("n1")}));
    QCOMPARE(idsOf(m_notes->notesInNotebook(QStringLiteral("nb-a"))),
             (QStringList{QStringLiteral("n2"), QStringLiteral("n1")}));
    QCOMPARE(idsOf(m_notes->notesInNotebook(QString())), QStringList{QStringLiteral("n3")});
    QCOMPARE(idsOf(m_notes->notesInNotebook(QStringLiteral("nb-missing"))), QStringList());
    QCOMPARE(idsOf(m_notes->trashedNotes()), (QStringList{QStringLiteral("t2"), QStringLiteral("t1")}));
    QCOMPARE(sorted(idsOf(m_notes->pendingNotes())), (QStringList{QStringLiteral("n1"), QStringLiteral("t2")}));
}

void TestNoteRepository::sharedLists()
{
    Note mineShared = makeNote(QStringLiteral("mine-shared"), QStringLiteral("a"), "2024-01-02T00:00:00.000Z");
    mineShared.isShared = true;
    Note mineOlder = makeNote(QStringLiteral("mine-shared-older"), QStringLiteral("a"), "2024-01-01T00:00:00.000Z");
    mineOlder.isShared = true;
    Note minePrivate = makeNote(QStringLiteral("mine-private"), QStringLiteral("b"), "2024-01-03T00:00:00.000Z");
    Note mineTrashed = makeNote(QStringLiteral("mine-trashed"), QStringLiteral("c"), "2024-01-04T00:00:00.000Z");
    mineTrashed.isShared = true;
    mineTrashed.deletedAt = utc("2024-02-01T00:00:00.000Z");
    Note theirs = makeNote(QStringLiteral("theirs"), QStringLiteral("d"), "2024-01-05T00:00:00.000Z");
    theirs.ownerId = QStringLiteral("user-2");
    theirs.isShared = true;
    Note theirsUnflagged = makeNote(QStringLiteral("theirs-unflagged"), QStringLiteral("e"), "2024-01-06T00:00:00.000Z");
    theirsUnflagged.ownerId = QStringLiteral("user-3");
    insertAll({mineOlder, mineShared, minePrivate, mineTrashed, theirs, theirsUnflagged});

    QCOMPARE(idsOf(m_notes->sharedByMe()),
             (QStringList{QStringLiteral("mine-shared"), QStringLiteral("mine-shared-older")}));
    QCOMPARE(idsOf(m_notes->sharedWithMe()),
             (QStringList{QStringLiteral("theirs-unflagged"), QStringLiteral("theirs")}));
}

void TestNoteRepository::updateKeepsCreatedAt()
{
    Note note = makeNote(QStringLiteral("n"), QStringLiteral("before"), "2024-01-01T00:00:00.000Z");
    QVERIFY(m_notes->insert(note));

    Note edited = note;
    edited.createdAt = utc("2030-01-01T00:00:00.000Z");
    edited.body = bodyOf(QStringLiteral("after"));
    edited.notebookId = QStringLiteral("nb");
    edited.updatedAt = utc("2024-06-01T00:00:00.500Z");
    edited.modifiedAt = utc("2024-06-01T00:00:00.600Z");
    edited.deletedAt = utc("2024-06-02T00:00:00.000Z");
    edited.version = 5;
    edited.opVersion = 9;
    edited.syncStatus = SyncStatus::Synced;
    edited.isSample = true;
    edited.isShared = true;
    edited.ownerId = QStringLiteral("o");
    edited.permission = QStringLiteral("p");

    QSignalSpy changed(m_notes.get(), &NoteRepository::notesChanged);
    QVERIFY(m_notes->update(edited));
    QCOMPARE(changed.count(), 1);

    const Note read = *m_notes->findById(QStringLiteral("n"));
    QCOMPARE(read.createdAt, note.createdAt);
    QCOMPARE(read.body, edited.body);
    QCOMPARE(read.notebookId, edited.notebookId);
    QCOMPARE(read.updatedAt, edited.updatedAt);
    QCOMPARE(read.modifiedAt, edited.modifiedAt);
    QCOMPARE(read.deletedAt.value_or(QDateTime()), *edited.deletedAt);
    QCOMPARE(read.version, 5);
    QCOMPARE(read.opVersion, 9);
    QCOMPARE(read.syncStatus, SyncStatus::Synced);
    QVERIFY(read.isSample);
    QVERIFY(read.isShared);
    QCOMPARE(read.ownerId, QStringLiteral("o"));
    QCOMPARE(read.permission, QStringLiteral("p"));
}

void TestNoteRepository::moveToTrashThenRestore()
{
    Note note = makeNote(QStringLiteral("n"), QStringLiteral("x"), "2024-01-01T00:00:00.000Z");
    note.syncStatus = SyncStatus::Synced;
    note.opVersion = 4;
    QVERIFY(m_notes->insert(note));

    SignalLog log(m_notes.get());
    const QDateTime before = QDateTime::currentDateTimeUtc();
    QVERIFY(m_notes->moveToTrash(QStringLiteral("n")));
    const QDateTime after = QDateTime::currentDateTimeUtc();
    QCOMPARE(log.events, (QStringList{QStringLiteral("deleted:n"), QStringLiteral("changed")}));

    Note read = *m_notes->findById(QStringLiteral("n"));
    QVERIFY(read.deletedAt.has_value());
    QVERIFY2(*read.deletedAt >= before.addMSecs(-1) && *read.deletedAt <= after,
             qPrintable(read.deletedAt->toString(Qt::ISODateWithMs)));
    QCOMPARE(read.syncStatus, SyncStatus::Pending);
    QCOMPARE(read.opVersion, 4);
    QCOMPARE(read.updatedAt, note.updatedAt);
    QVERIFY(m_notes->allNotes().isEmpty());
    QCOMPARE(idsOf(m_notes->trashedNotes()), QStringList{QStringLiteral("n")});

    QVERIFY(m_notes->markSynced(QStringLiteral("n"), 2));
    log.events.clear();
    QVERIFY(m_notes->restore(QStringLiteral("n")));
    QCOMPARE(log.events, QStringList{QStringLiteral("changed")});
    read = *m_notes->findById(QStringLiteral("n"));
    QVERIFY(!read.deletedAt.has_value());
    QCOMPARE(read.syncStatus, SyncStatus::Pending);
    QCOMPARE(idsOf(m_notes->allNotes()), QStringList{QStringLiteral("n")});
    QVERIFY(m_notes->trashedNotes().isEmpty());
}

void TestNoteRepository::missingIdStillSucceedsAndSignals_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("events");

    QTest::newRow("update") << QStringLiteral("update") << QStringList{QStringLiteral("changed")};
    QTest::newRow("moveToTrash") << QStringLiteral("moveToTrash")
                                 << QStringList{QStringLiteral("deleted:ghost"), QStringLiteral("changed")};
    QTest::newRow("restore") << QStringLiteral("restore") << QStringList{QStringLiteral("changed")};
    QTest::newRow("deletePermanently") << QStringLiteral("deletePermanently")
                                       << QStringList{QStringLiteral("purged:ghost"), QStringLiteral("changed")};
    QTest::newRow("moveToNotebook") << QStringLiteral("moveToNotebook") << QStringList{QStringLiteral("changed")};
}

void TestNoteRepository::missingIdStillSucceedsAndSignals()
{
    QFETCH(QString, operation);
    QFETCH(QStringList, events);
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("other"), QStringLiteral("x"), "2024-01-01T00:00:00.000Z")));

    SignalLog log(m_notes.get());
    const QString id = QStringLiteral("ghost");
    bool ok = false;
    if (operation == QLatin1String("update"))
        ok = m_notes->update(makeNote(id, QStringLiteral("y"), "2024-01-02T00:00:00.000Z"));
    else if (operation == QLatin1String("moveToTrash"))
        ok = m_notes->moveToTrash(id);
    else if (operation == QLatin1String("restore"))
        ok = m_notes->restore(id);
    else if (operation == QLatin1String("deletePermanently"))
        ok = m_notes->deletePermanently(id);
    else if (operation == QLatin1String("moveToNotebook"))
        ok = m_notes->moveToNotebook(id, QStringLiteral("nb"));
    QVERIFY(ok);
    QCOMPARE(log.events, events);
    QVERIFY(!m_notes->findById(id).has_value());
    QCOMPARE(idsOf(m_notes->allNotes()), QStringList{QStringLiteral("other")});
}

void TestNoteRepository::deletePermanentlyRemovesDependents()
{
    SnapshotRepository snapshots(&m_store->database);
    AttachmentRepository attachments(&m_store->database);

    const QDateTime now = utc("2024-01-01T00:00:00.000Z");
    QHash<QString, QString> attachmentOf;
    for (const QString &noteId : {QStringLiteral("doomed"), QStringLiteral("kept")}) {
        QVERIFY(m_notes->insert(makeNote(noteId, noteId + QStringLiteral("word"), "2024-01-01T00:00:00.000Z")));
        QVERIFY(snapshots.insert(Snapshot{newId(), noteId, 1, bodyOf(QStringLiteral("old")), now}));
        QVERIFY(snapshots.insert(Snapshot{newId(), noteId, 2, bodyOf(QStringLiteral("older")), now}));
        Attachment attachment;
        attachment.id = newId();
        attachment.noteId = noteId;
        attachment.filename = QStringLiteral("photo.png");
        attachment.mimeType = QStringLiteral("image/png");
        attachment.sizeBytes = 3;
        attachment.createdAt = now;
        QVERIFY(attachments.saveFile(attachment.id, "png"));
        QVERIFY(attachments.insert(attachment));
        QVERIFY(m_notes->setIncludeInTodos(noteId, false));
        attachmentOf.insert(noteId, attachment.id);
    }

    SignalLog log(m_notes.get());
    QVERIFY(m_notes->deletePermanently(QStringLiteral("doomed")));
    QCOMPARE(log.events, (QStringList{QStringLiteral("purged:doomed"), QStringLiteral("changed")}));

    QVERIFY(!m_notes->findById(QStringLiteral("doomed")).has_value());
    QVERIFY(snapshots.snapshotsForNote(QStringLiteral("doomed")).isEmpty());
    QVERIFY(attachments.attachmentsForNote(QStringLiteral("doomed")).isEmpty());
    QVERIFY(!QFileInfo::exists(attachmentsDirectory() + QLatin1Char('/') + attachmentOf.value(QStringLiteral("doomed"))));
    QCOMPARE(m_store->rawValue(QStringLiteral("SELECT COUNT(*) FROM note_task_settings WHERE note_id = 'doomed'"))
                 .toInt(), 0);
    QVERIFY(m_notes->search(QStringLiteral("doomedword")).isEmpty());

    // The other note keeps everything.
    QVERIFY(m_notes->findById(QStringLiteral("kept")).has_value());
    QCOMPARE(snapshots.snapshotsForNote(QStringLiteral("kept")).size(), 2);
    QCOMPARE(attachments.attachmentsForNote(QStringLiteral("kept")).size(), 1);
    QCOMPARE(attachments.readFile(attachmentOf.value(QStringLiteral("kept"))), QByteArray("png"));
    QCOMPARE(m_notes->includeInTodos(QStringLiteral("kept")), false);
    QCOMPARE(m_notes->search(QStringLiteral("keptword")).size(), 1);
}

void TestNoteRepository::failedDeletePermanentlyKeepsEverything()
{
    SnapshotRepository snapshots(&m_store->database);
    AttachmentRepository attachments(&m_store->database);
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("n"), QStringLiteral("x"), "2024-01-01T00:00:00.000Z")));
    QVERIFY(snapshots.insert(Snapshot{newId(), QStringLiteral("n"), 1, bodyOf(QStringLiteral("old")),
                                      utc("2024-01-01T00:00:00.000Z")}));
    Attachment attachment;
    attachment.id = newId();
    attachment.noteId = QStringLiteral("n");
    attachment.filename = QStringLiteral("a.txt");
    attachment.mimeType = QStringLiteral("text/plain");
    attachment.createdAt = utc("2024-01-01T00:00:00.000Z");
    QVERIFY(attachments.insert(attachment));
    QVERIFY(attachments.saveFile(attachment.id, "keep me"));
    QVERIFY(m_notes->setIncludeInTodos(QStringLiteral("n"), false));

    // The note row itself refuses to go, after its dependents would have been removed.
    QVERIFY(m_store->rawExec(QStringLiteral("CREATE TRIGGER block_note_delete BEFORE DELETE ON notes BEGIN"
                                   " SELECT RAISE(ABORT, 'blocked'); END")));

    SignalLog log(m_notes.get());
    QVERIFY(!m_notes->deletePermanently(QStringLiteral("n")));
    QCOMPARE(log.events, QStringList());
    QVERIFY(m_notes->findById(QStringLiteral("n")).has_value());
    QCOMPARE(snapshots.snapshotsForNote(QStringLiteral("n")).size(), 1);
    QCOMPARE(attachments.attachmentsForNote(QStringLiteral("n")).size(), 1);
    QCOMPARE(attachments.readFile(attachment.id), QByteArray("keep me"));
    QCOMPARE(m_notes->includeInTodos(QStringLiteral("n")), false);
}

void TestNoteRepository::moveToNotebookWithNullIdStoresEmpty()
{
    Note note = makeNote(QStringLiteral("n"), QStringLiteral("x"), "2024-01-01T00:00:00.000Z");
    note.notebookId = QStringLiteral("nb-a");
    note.syncStatus = SyncStatus::Synced;
    QVERIFY(m_notes->insert(note));

    QSignalSpy changed(m_notes.get(), &NoteRepository::notesChanged);
    const QDateTime before = QDateTime::currentDateTimeUtc();
    QVERIFY(m_notes->moveToNotebook(QStringLiteral("n"), QString()));
    const QDateTime after = QDateTime::currentDateTimeUtc();
    QCOMPARE(changed.count(), 1);

    QCOMPARE(m_store->rawValue(QStringLiteral("SELECT typeof(notebook_id) || ':' || notebook_id"
                                              " FROM notes WHERE id = 'n'")).toString(), QStringLiteral("text:"));
    const Note read = *m_notes->findById(QStringLiteral("n"));
    QCOMPARE(read.notebookId, QString());
    QCOMPARE(read.syncStatus, SyncStatus::Pending);
    QCOMPARE(read.updatedAt, note.updatedAt);
    QVERIFY2(read.modifiedAt >= before.addMSecs(-1) && read.modifiedAt <= after,
             qPrintable(read.modifiedAt.toString(Qt::ISODateWithMs)));

    QVERIFY(m_notes->moveToNotebook(QStringLiteral("n"), QStringLiteral("nb-b")));
    QCOMPARE(m_notes->findById(QStringLiteral("n"))->notebookId, QStringLiteral("nb-b"));
}

void TestNoteRepository::markSyncedStoresConfirmedVersion()
{
    Note note = makeNote(QStringLiteral("n"), QStringLiteral("x"), "2024-01-01T00:00:00.000Z");
    note.version = 3;
    note.opVersion = 6;
    QVERIFY(m_notes->insert(note));

    SignalLog log(m_notes.get());
    QVERIFY(m_notes->markSynced(QStringLiteral("n"), 8));
    QCOMPARE(log.events, QStringList());
    const Note read = *m_notes->findById(QStringLiteral("n"));
    QCOMPARE(read.syncStatus, SyncStatus::Synced);
    QCOMPARE(read.version, 8);
    QCOMPARE(read.opVersion, 6);
    QCOMPARE(read.updatedAt, note.updatedAt);
}

void TestNoteRepository::markAllPendingCountsLiveRowsOnce()
{
    Note pending = makeNote(QStringLiteral("pending"), QStringLiteral("a"), "2024-01-01T00:00:00.000Z");
    Note synced = makeNote(QStringLiteral("synced"), QStringLiteral("b"), "2024-01-01T00:00:00.000Z");
    synced.syncStatus = SyncStatus::Synced;
    Note conflict = makeNote(QStringLiteral("conflict"), QStringLiteral("c"), "2024-01-01T00:00:00.000Z");
    conflict.syncStatus = SyncStatus::Conflict;
    Note trashed = makeNote(QStringLiteral("trashed"), QStringLiteral("d"), "2024-01-01T00:00:00.000Z");
    trashed.syncStatus = SyncStatus::Synced;
    trashed.deletedAt = utc("2024-01-02T00:00:00.000Z");
    insertAll({pending, synced, conflict, trashed});

    SignalLog log(m_notes.get());
    QCOMPARE(m_notes->markAllPending(), 2);
    QCOMPARE(m_notes->markAllPending(), 0);
    QCOMPARE(log.events, QStringList());
    QCOMPARE(m_notes->findById(QStringLiteral("synced"))->syncStatus, SyncStatus::Pending);
    QCOMPARE(m_notes->findById(QStringLiteral("conflict"))->syncStatus, SyncStatus::Pending);
    QCOMPARE(m_notes->findById(QStringLiteral("trashed"))->syncStatus, SyncStatus::Synced);
}

void TestNoteRepository::noteCountsSkipTrashAndKeyNoNotebookAsEmpty()
{
    QList<Note> notes;
    const auto add = [&notes](const char *id, const char *notebook, bool trashed) {
        Note note = makeNote(QString::fromLatin1(id), QStringLiteral("x"), "2024-01-01T00:00:00.000Z");
        note.notebookId = QString::fromLatin1(notebook);
        if (trashed)
            note.deletedAt = utc("2024-01-02T00:00:00.000Z");
        notes << note;
    };
    add("a1", "nb-a", false);
    add("a2", "nb-a", false);
    add("a3", "nb-a", true);
    add("b1", "nb-b", true);
    add("loose1", "", false);
    add("loose2", "", true);
    insertAll(notes);

    const QHash<QString, int> counts = m_notes->noteCountsByNotebook();
    QStringList flat;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        flat << it.key() + QLatin1Char('=') + QString::number(it.value());
    flat.sort();
    QCOMPARE(flat, (QStringList{QStringLiteral("=1"), QStringLiteral("nb-a=2")}));
}

void TestNoteRepository::includeInTodosDefaultsAndUpserts()
{
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("n"), QStringLiteral("x"), "2024-01-01T00:00:00.000Z")));
    QVERIFY(m_notes->includeInTodos(QStringLiteral("n")));
    QVERIFY(m_notes->includeInTodos(QStringLiteral("no-such-note")));

    SignalLog log(m_notes.get());
    QVERIFY(m_notes->setIncludeInTodos(QStringLiteral("n"), false));
    QVERIFY(!m_notes->includeInTodos(QStringLiteral("n")));
    QVERIFY(m_notes->setIncludeInTodos(QStringLiteral("n"), false));
    QVERIFY(m_notes->setIncludeInTodos(QStringLiteral("n"), true));
    QVERIFY(m_notes->includeInTodos(QStringLiteral("n")));
    QCOMPARE(log.events, QStringList());
    QCOMPARE(m_store->rawValue(QStringLiteral("SELECT COUNT(*) FROM note_task_settings")).toInt(), 1);

    // The settings row references the note: no row for a note that does not exist.
    QVERIFY(!m_notes->setIncludeInTodos(QStringLiteral("no-such-note"), false));
    QVERIFY(m_notes->includeInTodos(QStringLiteral("no-such-note")));
}

QTEST_GUILESS_MAIN(TestNoteRepository)
#include "tst_noterepository.moc"
