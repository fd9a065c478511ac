#include "database.h"
#include "noterepository.h"
#include "paths.h"
#include "snapshotrepository.h"
#include "testsupport.h"

#include <QRegularExpression>
#include <QTest>
#include <QUuid>

#include <memory>

namespace {

QDateTime utc(const char *iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs).toUTC();
}

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString bodyOf(const char *text)
{
    return QStringLiteral("[{\"insert\":\"%1\\n\"}]").arg(QString::fromLatin1(text));
}

QList<int> versionsOf(const QList<Snapshot> &snapshots)
{
    QList<int> versions;
    for (const Snapshot &snapshot : snapshots)
        versions << snapshot.version;
    return versions;
}

} // namespace

class TestSnapshotRepository : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void insertRoundTrips();
    void snapshotsNewestVersionFirst();
    void sameVersionReplacesEarlierSnapshot();
    void snapshotOfUnknownNoteFails();

private:
    void addNote(const QString &id);

    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    std::unique_ptr<Database> m_database;
    std::unique_ptr<NoteRepository> m_notes;
    std::unique_ptr<SnapshotRepository> m_snapshots;
};

void TestSnapshotRepository::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

void TestSnapshotRepository::init()
{
    m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>();
    QVERIFY(m_dataDir->isValid());
    m_database = std::make_unique<Database>();
    QVERIFY(m_database->open(databasePath()));
    QVERIFY(m_database->migrate());
    m_notes = std::make_unique<NoteRepository>(m_database.get());
    m_snapshots = std::make_unique<SnapshotRepository>(m_database.get());
    addNote(QStringLiteral("note-a"));
    addNote(QStringLiteral("note-b"));
}

void TestSnapshotRepository::cleanup()
{
    m_snapshots.reset();
    m_notes.reset();
    m_database.reset();
    m_dataDir.reset();
}

void TestSnapshotRepository::addNote(const QString &id)
{
    Note note;
    note.id = id;
    note.body = Note::emptyBody();
    note.createdAt = utc("2024-01-01T00:00:00.000Z");
    note.updatedAt = note.createdAt;
    note.modifiedAt = note.createdAt;
    QVERIFY(m_notes->insert(note));
}

void TestSnapshotRepository::insertRoundTrips()
{
    const Snapshot snapshot{newId(), QStringLiteral("note-a"), 3, bodyOf("third"),
                            QDateTime(QDate(2024, 5, 1), QTime(11, 30, 0, 42), Qt::OffsetFromUTC, 3600)};
    QVERIFY(m_snapshots->insert(snapshot));

    const std::optional<Snapshot> read = m_snapshots->findById(snapshot.id);
    QVERIFY(read.has_value());
    QCOMPARE(read->id, snapshot.id);
    QCOMPARE(read->noteId, snapshot.noteId);
    QCOMPARE(read->version, 3);
    QCOMPARE(read->body, snapshot.body);
    QCOMPARE(read->createdAt, snapshot.createdAt);
    QCOMPARE(read->createdAt.timeSpec(), Qt::UTC);
    QCOMPARE(read->createdAt.time().msec(), 42);

    QVERIFY(!m_snapshots->findById(newId()).has_value());
    QVERIFY(m_snapshots->snapshotsForNote(QStringLiteral("no-such-note")).isEmpty());
}

void TestSnapshotRepository::snapshotsNewestVersionFirst()
{
    // Written out of order, and with creation times that disagree with the versions.
    const QDateTime late = utc("2024-03-01T00:00:00.000Z");
    const QDateTime early = utc("2024-01-01T00:00:00.000Z");
    QVERIFY(m_snapshots->insert(Snapshot{newId(), QStringLiteral("note-a"), 2, bodyOf("two"), late}));
    QVERIFY(m_snapshots->insert(Snapshot{newId(), QStringLiteral("note-a"), 10, bodyOf("ten"), early}));
    QVERIFY(m_snapshots->insert(Snapshot{newId(), QStringLiteral("note-b"), 7, bodyOf("other"), early}));
    QVERIFY(m_snapshots->insert(Snapshot{newId(), QStringLiteral("note-a"), 9, bodyOf("nine"), late}));

    QCOMPARE(versionsOf(m_snapshots->snapshotsForNote(QStringLiteral("note-a"))), (QList<int>{10, 9, 2}));
    QCOMPARE(versionsOf(m_snapshots->snapshotsForNote(QStringLiteral("note-b"))), QList<int>{7});
}

void TestSnapshotRepository::sameVersionReplacesEarlierSnapshot()
{
    const Snapshot first{newId(), QStringLiteral("note-a"), 4, bodyOf("first"), utc("2024-01-01T00:00:00.000Z")};
    const Snapshot second{newId(), QStringLiteral("note-a"), 4, bodyOf("second"), utc("2024-01-02T00:00:00.000Z")};
    const Snapshot otherNote{newId(), QStringLiteral("note-b"), 4, bodyOf("b"), utc("2024-01-01T00:00:00.000Z")};
    QVERIFY(m_snapshots->insert(first));
    QVERIFY(m_snapshots->insert(otherNote));
    QVERIFY(m_snapshots->insert(second));

    const QList<Snapshot> snapshots = m_snapshots->snapshotsForNote(QStringLiteral("note-a"));
    QCOMPARE(snapshots.size(), 1);
    QCOMPARE(snapshots.first().id, second.id);
    QCOMPARE(snapshots.first().body, second.body);
    QVERIFY(!m_snapshots->findById(first.id).has_value());
    QCOMPARE(m_snapshots->snapshotsForNote(QStringLiteral("note-b")).size(), 1);
}

void TestSnapshotRepository::snapshotOfUnknownNoteFails()
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("SnapshotRepository::insert failed:")));
    const Snapshot orphan{newId(), QStringLiteral("no-such-note"), 1, bodyOf("x"), utc("2024-01-01T00:00:00.000Z")};
    QVERIFY(!m_snapshots->insert(orphan));
    QVERIFY(!m_snapshots->findById(orphan.id).has_value());
}

QTEST_GUILESS_MAIN(TestSnapshotRepository)
#include "tst_snapshotrepository.moc"
