#include "database.h"
#include "notebookrepository.h"
#include "storagefixture.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using OmbrelTest::utc;

namespace {

Notebook makeNotebook(const QString &id, const QString &name)
{
    Notebook notebook;
    notebook.id = id;
    notebook.name = name;
    notebook.createdAt = utc("2024-01-01T08:00:00.250Z");
    notebook.updatedAt = utc("2024-01-02T08:00:00.750Z");
    return notebook;
}

QStringList namesOf(const QList<Notebook> &notebooks)
{
    QStringList names;
    for (const Notebook &notebook : notebooks)
        names << notebook.name;
    return names;
}

} // namespace

class TestNotebookRepository : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void insertRoundTripsEveryField();
    void insertDuplicateIdFailsWithoutSignal();
    void emptyOwnerIsNullAndUnknownStatusIsPending();
    void allNotebooksDefaultFirstThenBinaryNameOrder();
    void updateRewritesFieldsButNotCreatedAt();
    void updateOfMissingIdSucceedsAndSignals();
    void moveToTrashHidesNotebook();
    void markAllPendingCountsLiveRowsOnce();

private:
    std::unique_ptr<OmbrelTest::MigratedDatabase> m_store;
    std::unique_ptr<NotebookRepository> m_notebooks;
};

void TestNotebookRepository::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

void TestNotebookRepository::init()
{
    m_store = std::make_unique<OmbrelTest::MigratedDatabase>();
    QVERIFY2(m_store->isReady(), qPrintable(m_store->failure()));
    m_notebooks = std::make_unique<NotebookRepository>(&m_store->database);
}

void TestNotebookRepository::cleanup()
{
    m_notebooks.reset();
    m_store.reset();
}

void TestNotebookRepository::insertRoundTripsEveryField()
{
    Notebook notebook = makeNotebook(QStringLiteral("nb"), QStringLiteral("Recettes \u00e9t\u00e9"));
    notebook.isDefault = true;
    notebook.isShared = true;
    notebook.ownerId = QStringLiteral("owner-1");
    notebook.deletedAt = utc("2024-03-01T00:00:00.001Z");
    notebook.version = 12;
    notebook.syncStatus = SyncStatus::Conflict;

    QSignalSpy changed(m_notebooks.get(), &NotebookRepository::notebooksChanged);
    QVERIFY(m_notebooks->insert(notebook));
    QCOMPARE(changed.count(), 1);

    const std::optional<Notebook> read = m_notebooks->findById(QStringLiteral("nb"));
    QVERIFY(read.has_value());
    QCOMPARE(read->name, notebook.name);
    QVERIFY(read->isDefault);
    QVERIFY(read->isShared);
    QCOMPARE(read->ownerId, notebook.ownerId);
    QCOMPARE(read->createdAt, notebook.createdAt);
    QCOMPARE(read->createdAt.timeSpec(), Qt::UTC);
    QCOMPARE(read->updatedAt, notebook.updatedAt);
    QCOMPARE(read->deletedAt.value_or(QDateTime()), *notebook.deletedAt);
    QCOMPARE(read->version, 12);
    QCOMPARE(read->syncStatus, SyncStatus::Conflict);
    QCOMPARE(m_store->rawValue(QStringLiteral("SELECT created_at FROM notebooks")).toString(),
             QStringLiteral("2024-01-01T08:00:00.250Z"));

    QVERIFY(!m_notebooks->findById(QStringLiteral("missing")).has_value());
}

void TestNotebookRepository::insertDuplicateIdFailsWithoutSignal()
{
    QVERIFY(m_notebooks->insert(makeNotebook(QStringLiteral("nb"), QStringLiteral("First"))));
    QSignalSpy changed(m_notebooks.get(), &NotebookRepository::notebooksChanged);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("NotebookRepository::insert failed:")));
    QVERIFY(!m_notebooks->insert(makeNotebook(QStringLiteral("nb"), QStringLiteral("Second"))));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(m_notebooks->findById(QStringLiteral("nb"))->name, QStringLiteral("First"));
}

void TestNotebookRepository::emptyOwnerIsNullAndUnknownStatusIsPending()
{
    QVERIFY(m_notebooks->insert(makeNotebook(QStringLiteral("nb"), QStringLiteral("Mine"))));
    QCOMPARE(m_store->rawValue(QStringLiteral("SELECT owner_id IS NULL AND deleted_at IS NULL FROM notebooks"))
                 .toInt(), 1);

    QVERIFY(m_store->rawExec(
        QStringLiteral("UPDATE notebooks SET sync_status = 'Synced', deleted_at = '', is_shared = 7")));
    const Notebook read = *m_notebooks->findById(QStringLiteral("nb"));
    QCOMPARE(read.syncStatus, SyncStatus::Pending);
    QVERIFY(!read.deletedAt.has_value());
    QVERIFY(read.isShared);
    QVERIFY(read.ownerId.isEmpty());
}

void TestNotebookRepository::allNotebooksDefaultFirstThenBinaryNameOrder()
{
    const QStringList names = {QStringLiteral("beta"), QStringLiteral("alpha"), QStringLiteral("Zeta"),
                               QStringLiteral("\u00c9t\u00e9"), QStringLiteral("Alpha")};
    int i = 0;
    for (const QString &name : names)
        QVERIFY(m_notebooks->insert(makeNotebook(QStringLiteral("nb-%1").arg(i++), name)));
    Notebook defaultNotebook = makeNotebook(QStringLiteral("nb-default"), QStringLiteral("zzz default"));
    defaultNotebook.isDefault = true;
    QVERIFY(m_notebooks->insert(defaultNotebook));
    Notebook trashed = makeNotebook(QStringLiteral("nb-trashed"), QStringLiteral("Aardvark"));
    trashed.deletedAt = utc("2024-02-01T00:00:00.000Z");
    QVERIFY(m_notebooks->insert(trashed));

    QCOMPARE(namesOf(m_notebooks->allNotebooks()),
             (QStringList{QStringLiteral("zzz default"), QStringLiteral("Alpha"), QStringLiteral("Zeta"),
                          QStringLiteral("alpha"), QStringLiteral("beta"), QStringLiteral("\u00c9t\u00e9")}));
}

void TestNotebookRepository::updateRewritesFieldsButNotCreatedAt()
{
    const Notebook original = makeNotebook(QStringLiteral("nb"), QStringLiteral("Old"));
    QVERIFY(m_notebooks->insert(original));

    Notebook edited = original;
    edited.name = QStringLiteral("New");
    edited.isDefault = true;
    edited.isShared = true;
    edited.ownerId = QStringLiteral("o");
    edited.createdAt = utc("2030-01-01T00:00:00.000Z");
    edited.updatedAt = utc("2024-05-05T05:05:05.555Z");
    edited.deletedAt = utc("2024-05-06T00:00:00.000Z");
    edited.version = 4;
    edited.syncStatus = SyncStatus::Synced;

    QSignalSpy changed(m_notebooks.get(), &NotebookRepository::notebooksChanged);
    QVERIFY(m_notebooks->update(edited));
    QCOMPARE(changed.count(), 1);

    Notebook read = *m_notebooks->findById(QStringLiteral("nb"));
    QCOMPARE(read.name, QStringLiteral("New"));
    QVERIFY(read.isDefault);
    QVERIFY(read.isShared);
    QCOMPARE(read.ownerId, QStringLiteral("o"));
    QCOMPARE(read.createdAt, original.createdAt);
    QCOMPARE(read.updatedAt, edited.updatedAt);
    QCOMPARE(read.deletedAt.value_or(QDateTime()), *edited.deletedAt);
    QCOMPARE(read.version, 4);
    QCOMPARE(read.syncStatus, SyncStatus::Synced);

    // Clearing the optional and the owner writes NULL again.
    edited.deletedAt.reset();
    edited.ownerId.clear();
    QVERIFY(m_notebooks->update(edited));
    QCOMPARE(m_store->rawValue(QStringLiteral("SELECT owner_id IS NULL AND deleted_at IS NULL FROM notebooks"))
                 .toInt(), 1);
}

void TestNotebookRepository::updateOfMissingIdSucceedsAndSignals()
{
    QSignalSpy changed(m_notebooks.get(), &NotebookRepository::notebooksChanged);
    QVERIFY(m_notebooks->update(makeNotebook(QStringLiteral("ghost"), QStringLiteral("Ghost"))));
    QVERIFY(m_notebooks->moveToTrash(QStringLiteral("ghost")));
    QCOMPARE(changed.count(), 2);
    QVERIFY(m_notebooks->allNotebooks().isEmpty());
    QVERIFY(!m_notebooks->findById(QStringLiteral("ghost")).has_value());
}

void TestNotebookRepository::moveToTrashHidesNotebook()
{
    Notebook notebook = makeNotebook(QStringLiteral("nb"), QStringLiteral("Work"));
    notebook.syncStatus = SyncStatus::Synced;
    QVERIFY(m_notebooks->insert(notebook));
    QVERIFY(m_notebooks->insert(makeNotebook(QStringLiteral("other"), QStringLiteral("Home"))));

    QSignalSpy changed(m_notebooks.get(), &NotebookRepository::notebooksChanged);
    const QDateTime before = QDateTime::currentDateTimeUtc();
    QVERIFY(m_notebooks->moveToTrash(QStringLiteral("nb")));
    const QDateTime after = QDateTime::currentDateTimeUtc();
    QCOMPARE(changed.count(), 1);

    QCOMPARE(namesOf(m_notebooks->allNotebooks()), QStringList{QStringLiteral("Home")});
    const Notebook read = *m_notebooks->findById(QStringLiteral("nb"));
    QVERIFY(read.deletedAt.has_value());
    QVERIFY2(*read.deletedAt >= before.addMSecs(-1) && *read.deletedAt <= after,
             qPrintable(read.deletedAt->toString(Qt::ISODateWithMs)));
    QCOMPARE(read.syncStatus, SyncStatus::Pending);
    QCOMPARE(read.updatedAt, notebook.updatedAt);
}

void TestNotebookRepository::markAllPendingCountsLiveRowsOnce()
{
    Notebook pending = makeNotebook(QStringLiteral("p"), QStringLiteral("P"));
    Notebook synced = makeNotebook(QStringLiteral("s"), QStringLiteral("S"));
    synced.syncStatus = SyncStatus::Synced;
    Notebook conflict = makeNotebook(QStringLiteral("c"), QStringLiteral("C"));
    conflict.syncStatus = SyncStatus::Conflict;
    Notebook trashed = makeNotebook(QStringLiteral("t"), QStringLiteral("T"));
    trashed.syncStatus = SyncStatus::Synced;
    trashed.deletedAt = utc("2024-02-01T00:00:00.000Z");
    for (const Notebook &notebook : {pending, synced, conflict, trashed})
        QVERIFY(m_notebooks->insert(notebook));

    QSignalSpy changed(m_notebooks.get(), &NotebookRepository::notebooksChanged);
    QCOMPARE(m_notebooks->markAllPending(), 2);
    QCOMPARE(m_notebooks->markAllPending(), 0);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(m_notebooks->findById(QStringLiteral("s"))->syncStatus, SyncStatus::Pending);
    QCOMPARE(m_notebooks->findById(QStringLiteral("c"))->syncStatus, SyncStatus::Pending);
    QCOMPARE(m_notebooks->findById(QStringLiteral("t"))->syncStatus, SyncStatus::Synced);
}

QTEST_GUILESS_MAIN(TestNotebookRepository)
#include "tst_notebookrepository.moc"
