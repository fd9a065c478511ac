#include "database.h"
#include "notecounts.h"
#include "noterepository.h"
#include "storagefixture.h"

#include <QSqlQuery>
#include <QTest>

#include <functional>
#include <memory>

using OmbrelTest::makeNote;

namespace {

using Step = std::function<bool(NoteRepository &, OmbrelTest::MigratedDatabase &)>;

} // namespace

Q_DECLARE_METATYPE(Step)

// The per-notebook counts kept by triggers must equal counting the notes, after every
// kind of write and whoever makes it.
class TestNoteCounts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }

    void init()
    {
        QCOMPARE(OmbrelTest::renew(m_store), QString());
        // Notes written before the table exists: an older library.
        for (int i = 0; i < 6; ++i) {
            Note note = makeNote(QStringLiteral("n%1").arg(i), QStringLiteral("text"), "2024-05-01T09:30:00.000Z");
            note.notebookId = i % 2 ? QStringLiteral("a") : QString();
            QVERIFY(m_store->notes.insert(note));
        }
        QVERIFY(m_store->notes.moveToTrash(QStringLiteral("n5")));
        QVERIFY(NoteCounts::ensure(m_store->database.handle()));
    }

    void cleanup() { m_store.reset(); }

    void countsFollowEveryWrite_data()
    {
        QTest::addColumn<Step>("step");
        const auto note = [](const char *id, const char *notebook, bool trashed) {
            Note n = makeNote(QLatin1String(id), QStringLiteral("new"), "2024-06-01T10:00:00.000Z");
            n.notebookId = QLatin1String(notebook);
            if (trashed)
                n.deletedAt = n.updatedAt;
            return n;
        };
        QTest::newRow("insert-live") << Step([=](NoteRepository &r, auto &) { return r.insert(note("x", "b", false)); });
        QTest::newRow("insert-trashed") << Step([=](NoteRepository &r, auto &) { return r.insert(note("x", "b", true)); });
        QTest::newRow("edit-body") << Step([](NoteRepository &r, auto &) {
            Note n = *r.findById(QStringLiteral("n1"));
            n.body = OmbrelTest::bodyOf(QStringLiteral("edited"));
            return r.update(n);
        });
        QTest::newRow("update-moves-notebook") << Step([](NoteRepository &r, auto &) {
            Note n = *r.findById(QStringLiteral("n1"));
            n.notebookId = QStringLiteral("c");
            return r.update(n);
        });
        QTest::newRow("update-trashes") << Step([](NoteRepository &r, auto &) {
            Note n = *r.findById(QStringLiteral("n2"));
            n.deletedAt = n.updatedAt;
            return r.update(n);
        });
        QTest::newRow("move-to-trash") << Step([](NoteRepository &r, auto &) { return r.moveToTrash(QStringLiteral("n1")); });
        QTest::newRow("trash-twice") << Step([](NoteRepository &r, auto &) {
            return r.moveToTrash(QStringLiteral("n1")) && r.moveToTrash(QStringLiteral("n1"));
        });
        QTest::newRow("restore") << Step([](NoteRepository &r, auto &) { return r.restore(QStringLiteral("n5")); });
        QTest::newRow("restore-live-note") << Step([](NoteRepository &r, auto &) { return r.restore(QStringLiteral("n1")); });
        QTest::newRow("move-to-notebook") << Step([](NoteRepository &r, auto &) {
            return r.moveToNotebook(QStringLiteral("n0"), QStringLiteral("a"));
        });
        QTest::newRow("move-trashed-note") << Step([](NoteRepository &r, auto &) {
            return r.moveToNotebook(QStringLiteral("n5"), QStringLiteral("b"));
        });
        QTest::newRow("move-out-of-notebook") << Step([](NoteRepository &r, auto &) {
            return r.moveToNotebook(QStringLiteral("n1"), QString());
        });
        QTest::newRow("purge-live") << Step([](NoteRepository &r, auto &) { return r.deletePermanently(QStringLiteral("n3")); });
        QTest::newRow("purge-trashed") << Step([](NoteRepository &r, auto &) { return r.deletePermanently(QStringLiteral("n5")); });
        QTest::newRow("raw-sql-from-another-tool") << Step([](NoteRepository &, OmbrelTest::MigratedDatabase &s) {
            return s.rawExec(QStringLiteral("UPDATE notes SET notebook_id = 'z', deleted_at = NULL"))
                && s.rawExec(QStringLiteral("DELETE FROM notes WHERE id = 'n0'"));
        });
        QTest::newRow("rolled-back-transaction") << Step([=](NoteRepository &r, OmbrelTest::MigratedDatabase &s) {
            QSqlDatabase db = s.database.handle();
            return db.transaction() && r.insert(note("x", "b", false)) && r.moveToTrash(QStringLiteral("n1"))
                && db.rollback();
        });
        QTest::newRow("dropped-trigger-rebuilt") << Step([=](NoteRepository &r, OmbrelTest::MigratedDatabase &s) {
            return s.rawExec(QStringLiteral("DROP TRIGGER note_counts_ai")) && r.insert(note("x", "b", false))
                && !NoteCounts::read(s.database.handle()) && NoteCounts::ensure(s.database.handle());
        });
        QTest::newRow("table-missing-rebuilt") << Step([=](NoteRepository &r, OmbrelTest::MigratedDatabase &s) {
            return s.rawExec(QStringLiteral("DROP TABLE note_counts")) && NoteCounts::ensure(s.database.handle())
                && r.insert(note("x", "b", false));
        });
    }

    void countsFollowEveryWrite()
    {
        QFETCH(Step, step);
        QVERIFY(step(m_store->notes, *m_store));
        const std::optional<QHash<QString, int>> kept = NoteCounts::read(m_store->database.handle());
        QVERIFY(kept);
        QCOMPARE(*kept, m_store->notes.noteCountsByNotebook());
        QCOMPARE(m_store->notes.liveCountsByNotebook(), m_store->notes.noteCountsByNotebook());
    }

    void missingTableFallsBackToCounting()
    {
        QVERIFY(m_store->rawExec(QStringLiteral("DROP TABLE note_counts")));
        QVERIFY(!NoteCounts::read(m_store->database.handle()));
        QCOMPARE(m_store->notes.liveCountsByNotebook(), m_store->notes.noteCountsByNotebook());
        QVERIFY(!m_store->notes.liveCountsByNotebook().isEmpty());
    }

private:
    std::unique_ptr<OmbrelTest::NoteStore> m_store;
};

QTEST_GUILESS_MAIN(TestNoteCounts)
#include "tst_notecounts.moc"
