#include "archivefixtures.h"
#include "attachmentrepository.h"
#include "database.h"
#include "importbatch.h"
#include "paths.h"
#include "storagefixture.h"
#include "testsupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#ifndef OMBREL_IO_WORKER
#error "OMBREL_IO_WORKER must name the worker executable"
#endif

using namespace ArchiveFixtures;

// A real import or restore process killed with SIGKILL part-way leaves whole notes with
// their attachments, and no attachment file that the next start does not clear away.
class TestInterruptedImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void init()
    {
        m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>();
        m_files = std::make_unique<QTemporaryDir>();
    }
    void cleanup()
    {
        m_files.reset();
        m_dataDir.reset();
    }

    void killedJoplinImportLeavesWholeNotes();
    void killedRestoreLeavesTheLibraryAsItWas();

private:
    // Starts the worker and kills it once it has reported killAt; false if it ended first.
    bool runAndKill(const QString &mode, const QString &archive, int killAt);

    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    std::unique_ptr<QTemporaryDir> m_files;
};

bool TestInterruptedImport::runAndKill(const QString &mode, const QString &archive, int killAt)
{
    QProcess worker;
    worker.setProgram(QStringLiteral(OMBREL_IO_WORKER));
    worker.setArguments({mode, archive});
    worker.start();
    if (!worker.waitForStarted(10000))
        return false;
    const QDeadlineTimer deadline(60000);
    QByteArray pending;
    bool killed = false;
    while (!killed && !deadline.hasExpired() && worker.state() == QProcess::Running) {
        worker.waitForReadyRead(200);
        pending += worker.readAllStandardOutput();
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            if (line.startsWith("progress ") && line.mid(9).toInt() >= killAt) {
                worker.kill();
                killed = true;
                break;
            }
        }
    }
    if (!killed)
        worker.kill();
    worker.waitForFinished(10000);
    return killed;
}

void TestInterruptedImport::killedJoplinImportLeavesWholeNotes()
{
    const QString archive = m_files->filePath(QStringLiteral("big.jex"));
    QVERIFY(writeJoplinExport(archive, 4000, 10, 1500, 2));
    {
        Database database; // migrated before the worker starts, so both agree on the schema
        QVERIFY(database.open(databasePath()) && database.migrate());
    }
    QVERIFY2(runAndKill(QStringLiteral("jex"), archive, 1100), "the import ended before it could be killed");

    Database database;
    QVERIFY(database.open(databasePath()));
    AttachmentRepository attachments(&database);
    QSqlQuery query(database.handle());
    QVERIFY(query.exec(QStringLiteral("SELECT id, body FROM notes")));
    int notes = 0;
    QStringList noteIds;
    while (query.next()) {
        ++notes;
        noteIds.append(query.value(0).toString());
        QVERIFY(QJsonDocument::fromJson(query.value(1).toString().toUtf8()).isArray());
    }
    // Whole transactions only: 250 rows each, the first one holding the 10 notebooks too.
    QVERIFY2(notes >= 740 && notes < 4000 && (notes + 10) % 250 == 0, qPrintable(QString::number(notes)));

    int rows = 0;
    for (const QString &noteId : std::as_const(noteIds)) {
        for (const Attachment &attachment : attachments.attachmentsForNote(noteId)) {
            ++rows;
            QCOMPARE(QFileInfo(attachmentFilePath(attachment.id)).size(), attachment.sizeBytes);
        }
    }
    QCOMPARE(rows, notes / 2);

    ImportBatch::recoverInterrupted(&attachments);
    const QStringList files = QDir(attachmentsDirectory()).entryList(QDir::Files);
    QCOMPARE(files.size(), rows);
    for (const QString &file : files)
        QVERIFY(attachments.findById(file).has_value());

    // Indexed in bulk at each commit: the committed notes are all in both text indexes, and
    // the interrupted transaction's trigger changes went with its rows.
    QVERIFY(query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'trigger' "
                                      "AND name IN ('notes_ai', 'notes_au', 'notes_ad') AND sql NOT LIKE '%WHEN%'"))
            && query.next());
    QCOMPARE(query.value(0).toInt(), 3);
    QVERIFY(query.exec(QStringLiteral("SELECT built_to FROM notes_text_state")) && query.next());
    QCOMPARE(query.value(0).toLongLong(), std::numeric_limits<qint64>::max());
    QVERIFY(query.exec(QStringLiteral("SELECT count(*) FROM notes_fts WHERE notes_fts MATCH 'insert'")) && query.next());
    QCOMPARE(query.value(0).toInt(), notes);
    QVERIFY(query.exec(QStringLiteral("SELECT count(*) FROM notes_text_fts")) && query.next());
    QCOMPARE(query.value(0).toInt(), notes);
}

void TestInterruptedImport::killedRestoreLeavesTheLibraryAsItWas()
{
    QList<Entry> entries{{QStringLiteral("manifest.json"), "{\"version\": 1}"}};
    for (int i = 0; i < 12000; ++i) {
        const QString id = OmbrelTest::newId();
        entries.append({QStringLiteral("notes/%1.json").arg(id),
                        json(QJsonObject{{QStringLiteral("id"), id},
                                         {QStringLiteral("body"), OmbrelTest::bodyOf(QString(600, u'r'))},
                                         {QStringLiteral("createdAt"), QStringLiteral("2024-01-01T00:00:00.000Z")},
                                         {QStringLiteral("updatedAt"), QStringLiteral("2024-01-01T00:00:00.000Z")},
                                         {QStringLiteral("modifiedAt"), QStringLiteral("2024-01-01T00:00:00.000Z")}})});
        if (i % 3 == 0)
            entries.append({QStringLiteral("attachments/") + OmbrelTest::newId(), QByteArray(2000, 'b')});
    }
    const QString archive = m_files->filePath(QStringLiteral("backup.zip"));
    QVERIFY(write(archive, Format::Zip, entries));
    {
        Database database;
        QVERIFY(database.open(databasePath()) && database.migrate());
    }
    QVERIFY2(runAndKill(QStringLiteral("restore"), archive, 4000), "the restore ended before it could be killed");

    Database database;
    QVERIFY(database.open(databasePath()));
    QSqlQuery query(database.handle());
    QVERIFY(query.exec(QStringLiteral("SELECT COUNT(*) FROM notes")) && query.next());
    QCOMPARE(query.value(0).toInt(), 0);
    AttachmentRepository attachments(&database);
    ImportBatch::recoverInterrupted(&attachments);
    QCOMPARE(QDir(attachmentsDirectory()).entryList(QDir::Files), QStringList());
    // The restore indexes in bulk: its trigger changes must have gone with its rows.
    QVERIFY(query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'trigger' "
                                      "AND name IN ('notes_ai', 'notes_au', 'notes_ad') AND sql NOT LIKE '%WHEN%'"))
            && query.next());
    QCOMPARE(query.value(0).toInt(), 3);
    QVERIFY(query.exec(QStringLiteral("SELECT built_to FROM notes_text_state")) && query.next());
    QCOMPARE(query.value(0).toLongLong(), std::numeric_limits<qint64>::max());
}

QTEST_GUILESS_MAIN(TestInterruptedImport)
#include "tst_interruptedimport.moc"
