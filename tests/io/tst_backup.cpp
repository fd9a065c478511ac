#include "archivefixtures.h"
#include "backup.h"
#include "iotestlibrary.h"
#include "paths.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace ArchiveFixtures;

namespace {

// What a library holds, in a form two libraries can be compared by.
struct Snapshot
{
    QStringList notes;     // id|notebook|body|created|updated|modified|deleted|version
    QStringList notebooks; // id|name|created|updated
    QStringList attachments; // id|note|filename|type|size|created
    QMap<QString, QByteArray> files;
};

QString iso(const QDateTime &value)
{
    return value.toUTC().toString(Qt::ISODateWithMs);
}

Snapshot snapshotOf(IoTestLibrary &library)
{
    Snapshot snapshot;
    QList<Note> notes = library.notes.allNotes() + library.notes.trashedNotes();
    for (const Note &note : notes)
        snapshot.notes.append(QStringList{note.id, note.notebookId, note.body, iso(note.createdAt), iso(note.updatedAt),
                                          iso(note.modifiedAt), note.deletedAt ? iso(*note.deletedAt) : QString(),
                                          QString::number(note.version)}
                                  .join(QLatin1Char('|')));
    for (const Notebook &notebook : library.notebooks.allNotebooks())
        snapshot.notebooks.append(
            QStringList{notebook.id, notebook.name, iso(notebook.createdAt), iso(notebook.updatedAt)}.join(QLatin1Char('|')));
    for (const Attachment &row : library.attachments.allAttachments())
        snapshot.attachments.append(QStringList{row.id, row.noteId, row.filename, row.mimeType,
                                                QString::number(row.sizeBytes), iso(row.createdAt)}
                                        .join(QLatin1Char('|')));
    snapshot.attachments.sort();
    for (const QString &name : library.attachmentFiles())
        snapshot.files.insert(name, OmbrelTest::readAll(attachmentsDirectory() + QLatin1Char('/') + name));
    snapshot.notes.sort();
    snapshot.notebooks.sort();
    return snapshot;
}

QByteArray noteFile(const QString &id, const QString &text, const QString &updatedAt)
{
    return json(QJsonObject{{QStringLiteral("id"), id},
                            {QStringLiteral("notebookId"), QString()},
                            {QStringLiteral("body"), OmbrelTest::bodyOf(text)},
                            {QStringLiteral("createdAt"), updatedAt},
                            {QStringLiteral("updatedAt"), updatedAt},
                            {QStringLiteral("modifiedAt"), updatedAt},
                            {QStringLiteral("deletedAt"), QString()},
                            {QStringLiteral("version"), 3}});
}

const QByteArray Manifest = "{\"version\": 1}";

} // namespace

class TestBackup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_library = std::make_unique<IoTestLibrary>();
        QVERIFY2(m_library->db.isReady(), qPrintable(m_library->db.failure()));
    }
    void cleanup()
    {
        m_library.reset();
        m_dir.reset();
    }

    void emptyLibraryBackupHasTheLayout();
    void restoreIntoFreshLibraryGivesTheSameLibrary();
    void restoringTwiceSkipsEverything();
    void restorePolicies_data();
    void restorePolicies();
    void existingAttachmentFileIsNeverOverwritten();
    void foreignAttachmentNamesAreIgnored();
    void attachmentRowsNeedTheirFileAndNote_data();
    void attachmentRowsNeedTheirFileAndNote();
    void brokenBackupsStoreNothing_data();
    void brokenBackupsStoreNothing();
    void failedBackupLeavesNoFile();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    void fillLibrary();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<IoTestLibrary> m_library;
};

void TestBackup::fillLibrary()
{
    Notebook notebook;
    notebook.id = OmbrelTest::newId();
    notebook.name = QStringLiteral("Travel ✈");
    notebook.createdAt = OmbrelTest::utc("2024-01-02T03:04:05.678Z");
    notebook.updatedAt = OmbrelTest::utc("2024-02-02T03:04:05.678Z");
    QVERIFY(m_library->notebooks.insert(notebook));
    Note live = OmbrelTest::makeNote(OmbrelTest::newId(), QStringLiteral("Packing \"list\"\nsocks"), "2024-03-01T10:00:00.001Z");
    live.notebookId = notebook.id;
    live.version = 7;
    QVERIFY(m_library->notes.insert(live));
    const Note trashed = OmbrelTest::makeNote(OmbrelTest::newId(), QStringLiteral("Old"), "2024-03-02T10:00:00.002Z");
    QVERIFY(m_library->notes.insert(trashed));
    QVERIFY(m_library->notes.moveToTrash(trashed.id));
    QByteArray binary;
    for (int i = 0; i < 300000; ++i)
        binary.append(char(i % 251));
    Attachment photo;
    photo.id = OmbrelTest::newId();
    photo.noteId = live.id;
    photo.filename = QStringLiteral("Strand ✈.png");
    photo.mimeType = QStringLiteral("image/png");
    photo.sizeBytes = binary.size();
    photo.createdAt = OmbrelTest::utc("2024-03-01T10:00:00.123Z");
    QVERIFY(m_library->attachments.insert(photo));
    QVERIFY(m_library->attachments.saveFile(photo.id, binary));
    Attachment inTrash = photo;
    inTrash.id = OmbrelTest::newId();
    inTrash.noteId = trashed.id;
    inTrash.filename = QStringLiteral("notes.txt");
    inTrash.mimeType = QStringLiteral("text/plain");
    inTrash.sizeBytes = 0;
    QVERIFY(m_library->attachments.insert(inTrash));
    QVERIFY(m_library->attachments.saveFile(inTrash.id, QByteArray()));
    // A file without a row stays a file without a row.
    QVERIFY(m_library->attachments.saveFile(OmbrelTest::newId(), "loose"));
}

void TestBackup::emptyLibraryBackupHasTheLayout()
{
    const QString zip = path(QStringLiteral("empty.zip"));
    const BackupResult result = createBackup(zip, m_library->repositories());
    QCOMPARE(result.errors, 0);
    QCOMPARE(result.count, 0);
    const QStringList names = entryNames(zip);
    for (const char *folder : {"notebooks/", "notes/", "attachments/", "manifest.json"})
        QVERIFY2(names.contains(QString::fromLatin1(folder)), qPrintable(names.join(QLatin1Char(','))));
    const QJsonObject manifest = QJsonDocument::fromJson(entryData(zip, QStringLiteral("manifest.json"))).object();
    QCOMPARE(manifest.value(QStringLiteral("version")).toInt(), 1);
    QCOMPARE(manifest.value(QStringLiteral("noteCount")).toInt(-1), 0);
    QCOMPARE(manifest.value(QStringLiteral("notebookCount")).toInt(-1), 0);
    QVERIFY(QDateTime::fromString(manifest.value(QStringLiteral("exportedAt")).toString(), Qt::ISODateWithMs).isValid());
}

void TestBackup::restoreIntoFreshLibraryGivesTheSameLibrary()
{
    fillLibrary();
    const Snapshot before = snapshotOf(*m_library);
    const QString zip = path(QStringLiteral("backup.zip"));
    const BackupResult written = createBackup(zip, m_library->repositories());
    QCOMPARE(written.error, QString());
    QCOMPARE(written.count, 2);

    m_library.reset(); // its data directory must go before the next one is set
    m_library = std::make_unique<IoTestLibrary>();
    QVERIFY(m_library->db.isReady());
    QCOMPARE(m_library->count("notes"), 0);
    QList<int> totals;
    const BackupResult restored = restoreBackup(zip, m_library->repositories(), 0,
                                               [&](int, int total, const QString &) { totals.append(total); });
    QCOMPARE(restored.error, QString());
    QCOMPARE(restored.count, 3);
    QCOMPARE(restored.skipped, 0);
    QVERIFY(!totals.isEmpty() && totals.first() > 0);

    const Snapshot after = snapshotOf(*m_library);
    QCOMPARE(after.notes, before.notes);
    QCOMPARE(after.notebooks, before.notebooks);
    QCOMPARE(after.attachments.size(), 2);
    QCOMPARE(after.attachments, before.attachments);
    QCOMPARE(after.files.keys(), before.files.keys());
    QVERIFY(after.files == before.files);
    QCOMPARE(m_library->notes.trashedNotes().size(), 1);
}

void TestBackup::restoringTwiceSkipsEverything()
{
    fillLibrary();
    const QString zip = path(QStringLiteral("backup.zip"));
    QCOMPARE(createBackup(zip, m_library->repositories()).errors, 0);
    m_library.reset(); // its data directory must go before the next one is set
    m_library = std::make_unique<IoTestLibrary>();
    QCOMPARE(restoreBackup(zip, m_library->repositories(), 0).count, 3);
    const Snapshot first = snapshotOf(*m_library);
    const BackupResult second = restoreBackup(zip, m_library->repositories(), 0);
    QCOMPARE(second.count, 0);
    QCOMPARE(second.skipped, 3);
    QCOMPARE(snapshotOf(*m_library).notes, first.notes);
    QCOMPARE(snapshotOf(*m_library).attachments, first.attachments);
}

void TestBackup::restorePolicies_data()
{
    QTest::addColumn<int>("policy");
    QTest::addColumn<QString>("archiveUpdatedAt");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<int>("count");
    const QString older = QStringLiteral("2020-01-01T00:00:00.000Z");
    const QString newer = QStringLiteral("2030-01-01T00:00:00.000Z");
    QTest::newRow("skip-existing") << 0 << newer << "local" << 0;
    QTest::newRow("overwrite-even-older") << 1 << older << "archived" << 1;
    QTest::newRow("newer-wins-archive-newer") << 2 << newer << "archived" << 1;
    QTest::newRow("newer-wins-archive-older") << 2 << older << "local" << 0;
}

void TestBackup::restorePolicies()
{
    QFETCH(int, policy);
    QFETCH(QString, archiveUpdatedAt);
    QFETCH(QString, expectedText);
    QFETCH(int, count);
    const QString id = OmbrelTest::newId();
    QVERIFY(m_library->notes.insert(OmbrelTest::makeNote(id, QStringLiteral("local"), "2025-01-01T00:00:00.000Z")));
    const QString zip = path(QStringLiteral("policy.zip"));
    QVERIFY(write(zip, Format::Zip, {{QStringLiteral("manifest.json"), Manifest},
                                     {QStringLiteral("notes/%1.json").arg(id), noteFile(id, QStringLiteral("archived"), archiveUpdatedAt)}}));
    const BackupResult result = restoreBackup(zip, m_library->repositories(), policy);
    QCOMPARE(result.count, count);
    QCOMPARE(result.skipped, 1 - count);
    QCOMPARE(m_library->notes.findById(id)->plainText().trimmed(), expectedText);
}

void TestBackup::existingAttachmentFileIsNeverOverwritten()
{
    const QString id = OmbrelTest::newId();
    QVERIFY(m_library->attachments.saveFile(id, "local bytes"));
    const QString zip = path(QStringLiteral("att.zip"));
    QVERIFY(write(zip, Format::Zip, {{QStringLiteral("manifest.json"), Manifest},
                                     {QStringLiteral("attachments/") + id, "archived bytes"}}));
    QCOMPARE(restoreBackup(zip, m_library->repositories(), 1).errors, 0);
    QCOMPARE(m_library->attachments.readFile(id), QByteArray("local bytes"));
}

void TestBackup::foreignAttachmentNamesAreIgnored()
{
    const QString good = OmbrelTest::newId();
    const QString zip = path(QStringLiteral("foreign.zip"));
    QVERIFY(write(zip, Format::Zip, {{QStringLiteral("manifest.json"), Manifest},
                                     {QStringLiteral("attachments/notes.db"), "x"},
                                     {QStringLiteral("attachments/.hidden"), "x"},
                                     {QStringLiteral("attachments/sub/") + good, "x"},
                                     {QStringLiteral("attachments/") + good, "good"}}));
    const BackupResult result = restoreBackup(zip, m_library->repositories(), 0);
    QCOMPARE(result.errors, 0);
    QCOMPARE(m_library->attachmentFiles(), QStringList{good});
    QVERIFY(!QFile::exists(attachmentsDirectory() + QStringLiteral("/sub")));
}

namespace {
const QString NoteA = QStringLiteral("0a0a0a0a-0000-4000-8000-000000000001");
const QString FileA = QStringLiteral("fa000000-0000-4000-8000-00000000000a");
const QString FileB = QStringLiteral("fb000000-0000-4000-8000-00000000000b");
const QString Local = QStringLiteral("fc000000-0000-4000-8000-00000000000c");

QByteArray row(const QString &id, const QString &noteId, const QString &filename, qint64 size = 5)
{
    return QByteArray("{\"id\": \"") + id.toUtf8() + "\", \"noteId\": \"" + noteId.toUtf8() + "\", \"filename\": \""
        + filename.toUtf8() + "\", \"mimeType\": \"image/png\", \"sizeBytes\": " + QByteArray::number(size)
        + ", \"createdAt\": \"2024-01-01T00:00:00.000Z\"}";
}
} // namespace

// The archive holds note A, files A and B; the library already has file and row "Local".
void TestBackup::attachmentRowsNeedTheirFileAndNote_data()
{
    QTest::addColumn<QByteArray>("rows");
    QTest::addColumn<QStringList>("expected"); // id|filename|size, sorted
    const QString local = Local + QStringLiteral("|local.png|5");
    QTest::newRow("well-formed") << "[" + row(FileA, NoteA, "a.png") + "]" << QStringList{FileA + "|a.png|5", local};
    QTest::newRow("size-from-the-file") << "[" + row(FileA, NoteA, "a.png", 999999) + "]"
                                        << QStringList{FileA + "|a.png|5", local};
    QTest::newRow("file-already-local-without-row")
        << "[" + row(FileA, NoteA, "a.png") + "," + row(FileB, NoteA, "b.png") + "]"
        << QStringList{FileA + "|a.png|5", FileB + "|b.png|5", local};
    QTest::newRow("missing-file") << "[" + row("fd000000-0000-4000-8000-00000000000d", NoteA, "d.png") + "]"
                                  << QStringList{local};
    QTest::newRow("missing-note") << "[" + row(FileA, "0a0a0a0a-0000-4000-8000-0000000000ff", "a.png") + "]"
                                  << QStringList{local};
    QTest::newRow("existing-row-kept") << "[" + row(Local, NoteA, "archived.png") + "]" << QStringList{local};
    QTest::newRow("duplicate-ids") << "[" + row(FileA, NoteA, "a.png") + "," + row(FileA, NoteA, "again.png") + "]"
                                   << QStringList{FileA + "|a.png|5", local};
    QTest::newRow("dotdot-id") << "[" + row("../../" + FileA, NoteA, "a.png") + "]" << QStringList{local};
    QTest::newRow("uuid-with-suffix") << "[" + row(FileA + "/x", NoteA, "a.png") + "]" << QStringList{local};
    QTest::newRow("malformed-json") << QByteArray("[{\"id\": ") << QStringList{local};
    QTest::newRow("object-not-array") << row(FileA, NoteA, "a.png") << QStringList{local};
    QTest::newRow("wrong-types") << QByteArray("[1, null, \"x\", {\"id\": 5, \"noteId\": []}]") << QStringList{local};
}

void TestBackup::attachmentRowsNeedTheirFileAndNote()
{
    QFETCH(QByteArray, rows);
    QFETCH(QStringList, expected);
    Note local = OmbrelTest::makeNote(OmbrelTest::newId(), QStringLiteral("local"), "2024-01-01T00:00:00.000Z");
    QVERIFY(m_library->notes.insert(local));
    Attachment existing;
    existing.id = Local;
    existing.noteId = local.id;
    existing.filename = QStringLiteral("local.png");
    existing.sizeBytes = 5;
    existing.createdAt = OmbrelTest::utc("2024-01-01T00:00:00.000Z");
    QVERIFY(m_library->attachments.insert(existing));
    QVERIFY(m_library->attachments.saveFile(Local, "local"));
    QVERIFY(m_library->attachments.saveFile(FileB, "bbbbb"));

    const QString zip = path(QStringLiteral("rows.zip"));
    QVERIFY(write(zip, Format::Zip, {{QStringLiteral("attachments.json"), rows},
                                     {QStringLiteral("manifest.json"), Manifest},
                                     {QStringLiteral("notes/%1.json").arg(NoteA), noteFile(NoteA, "a", "2024-01-01T00:00:00.000Z")},
                                     {QStringLiteral("attachments/") + FileA, "aaaaa"},
                                     {QStringLiteral("attachments/") + Local, "archived"}}));
    const BackupResult result = restoreBackup(zip, m_library->repositories(), 1);
    QCOMPARE(result.error, QString());
    QCOMPARE(result.count, 1);
    QStringList stored;
    for (const Attachment &attachment : m_library->attachments.allAttachments())
        stored.append(QStringList{attachment.id, attachment.filename, QString::number(attachment.sizeBytes)}.join(u'|'));
    stored.sort();
    QCOMPARE(stored, expected);
    QCOMPARE(m_library->attachments.readFile(Local), QByteArray("local"));
    QVERIFY(QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size() == 1);
}

void TestBackup::brokenBackupsStoreNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("messagePrefix");
    const QString extract = QStringLiteral("Failed to extract backup");
    QTest::newRow("no-manifest") << "nomanifest" << "No manifest.json found";
    QTest::newRow("garbage") << "garbage" << extract;
    QTest::newRow("truncated") << "truncated" << extract;
    QTest::newRow("zip-slip-after-records") << "slip" << extract;
    QTest::newRow("oversized-json-after-records") << "oversized" << extract;
    QTest::newRow("missing-file") << "missing" << extract;
}

void TestBackup::brokenBackupsStoreNothing()
{
    QFETCH(QString, kind);
    QFETCH(QString, messagePrefix);
    QList<Entry> entries{{QStringLiteral("manifest.json"), Manifest}};
    for (int i = 0; i < 50; ++i) {
        const QString id = OmbrelTest::newId();
        entries.append({QStringLiteral("notes/%1.json").arg(id), noteFile(id, QString(2000, u'n'), "2024-01-01T00:00:00.000Z")});
        entries.append({QStringLiteral("attachments/") + OmbrelTest::newId(), QByteArray(3000, 'a')});
    }
    const QString zip = path(QStringLiteral("broken.zip"));
    if (kind == QLatin1String("nomanifest")) {
        entries.removeFirst();
        QVERIFY(write(zip, Format::Zip, entries));
    } else if (kind == QLatin1String("garbage")) {
        QVERIFY(OmbrelTest::writeFile(zip, QByteArray(10000, '\x42')));
    } else if (kind == QLatin1String("truncated")) {
        QVERIFY(write(zip, Format::Zip, entries));
        QByteArray bytes = OmbrelTest::readAll(zip);
        bytes.truncate(bytes.size() * 2 / 3);
        QVERIFY(OmbrelTest::writeFile(zip, bytes));
    } else if (kind == QLatin1String("slip")) {
        QVERIFY(write(zip, Format::Zip, entries + QList<Entry>{{QStringLiteral("notes/../../x.json"), "{}"}}));
    } else if (kind == QLatin1String("oversized")) {
        const QString id = OmbrelTest::newId();
        QVERIFY(write(zip, Format::Zip,
                      entries + QList<Entry>{{QStringLiteral("notes/%1.json").arg(id), QByteArray(65 * 1024 * 1024, ' ')}}));
    }

    const BackupResult result = restoreBackup(zip, m_library->repositories(), 0);
    QCOMPARE(result.errors, 1);
    QCOMPARE(result.count, 0);
    QVERIFY2(result.error.startsWith(messagePrefix), qPrintable(result.error));
    QCOMPARE(m_library->count("notes"), 0);
    QCOMPARE(m_library->attachmentFiles(), QStringList());
}

void TestBackup::failedBackupLeavesNoFile()
{
    fillLibrary();
    const QString zip = path(QStringLiteral("no-such-dir/backup.zip"));
    const BackupResult result = createBackup(zip, m_library->repositories());
    QCOMPARE(result.errors, 1);
    QVERIFY2(result.error.startsWith(QStringLiteral("Failed to create ZIP: ")), qPrintable(result.error));
    QVERIFY(!QFile::exists(zip));

}

QTEST_MAIN(TestBackup)
#include "tst_backup.moc"
