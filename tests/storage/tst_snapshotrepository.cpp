#include "database.h"
#include "paths.h"
#include "snapshotrepository.h"
#include "storagefixture.h"

#include <QRegularExpression>
#include <QTest>

#include <memory>

using OmbrelTest::bodyOf;
using OmbrelTest::newId;
using OmbrelTest::utc;

namespace {

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

    std::unique_ptr<OmbrelTest::MigratedDatabase> m_store;
    std::unique_ptr<SnapshotRepository> m_snapshots;
};

void TestSnapshotRepository::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

void TestSnapshotRepository::init()
{
    m_store = std::make_unique<OmbrelTest::MigratedDatabase>();
    QVERIFY2(m_store->isReady(), qPrintable(m_store->failure()));
    m_snapshots = std::make_unique<SnapshotRepository>(&m_store->database);
    addNote(QStringLiteral("note-a"));
    addNote(QStringLiteral("note-b"));
}

void TestSnapshotRepository::cleanup()
{
    m_snapshots.reset();
    m_store.reset();
}

void TestSnapshotRepository::addNote(const QString &id)
{
    QVERIFY(OmbrelTest::insertEmptyNote(&m_store->database, id, utc("2024-01-01T00:00:00.000Z")));
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
