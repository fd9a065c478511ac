#include "attachmentrepository.h"
#include "database.h"
#include "paths.h"
#include "storagefixture.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

#include <memory>
#include <utility>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using OmbrelTest::idsOf;
using OmbrelTest::newId;
using OmbrelTest::readAll;
using OmbrelTest::utc;
using OmbrelTest::writeFile;

namespace {

Attachment makeAttachment(const QString &noteId, const char *createdAt)
{
    Attachment attachment;
    attachment.id = newId();
    attachment.noteId = noteId;
    attachment.filename = QStringLiteral("scan.pdf");
    attachment.mimeType = QStringLiteral("application/pdf");
    attachment.sizeBytes = 1024;
    attachment.createdAt = utc(createdAt);
    return attachment;
}

// Every file and directory below root with its size, leaving out the database files
// that change on their own.
QStringList treeOf(const QString &root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.fileName().startsWith(QLatin1String("ombrel_notes_")))
            continue;
        entries << QDir(root).relativeFilePath(info.filePath()) + QLatin1Char(':')
                       + (info.isDir() ? QStringLiteral("dir") : QString::number(info.size()));
    }
    entries.sort();
    return entries;
}

QStringList entriesOf(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace

class TestAttachmentRepository : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void insertRoundTripsAndSignals();
    void insertFailsWithoutSignal_data();
    void insertFailsWithoutSignal();
    void attachmentsForNoteOldestFirst();
    void pendingAttachmentsAndMarkSynced();

    void validIds();
    void fileRoundTrip_data();
    void fileRoundTrip();
    void saveFileReplacesLongerContent();
    void readFileOfMissingFileIsEmpty();
    void saveFileOntoDirectoryFailsAndKeepsIt();
    void saveFileWhenAttachmentsPathIsAFileFails();
    void saveFileIntoReadOnlyDirectoryKeepsOldContent();
    void saveFileThatCannotBeWrittenKeepsOldContent();
    void hostileIdsNeverReachFileSystem_data();
    void hostileIdsNeverReachFileSystem();

    void deleteByIdRemovesRowAndFile();
    void deleteByIdWithoutFileSucceeds();
    void deleteForNoteWithoutAttachmentsSucceeds();
    void deleteForNoteRemovesEveryAttachment();

private:
    void addNote(const QString &id);

    std::unique_ptr<OmbrelTest::MigratedDatabase> m_store;
    std::unique_ptr<AttachmentRepository> m_attachments;
};

void TestAttachmentRepository::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

void TestAttachmentRepository::init()
{
    m_store = std::make_unique<OmbrelTest::MigratedDatabase>();
    QVERIFY2(m_store->isReady(), qPrintable(m_store->failure()));
    m_attachments = std::make_unique<AttachmentRepository>(&m_store->database);
    addNote(QStringLiteral("note-a"));
    addNote(QStringLiteral("note-b"));
}

void TestAttachmentRepository::cleanup()
{
    m_attachments.reset();
    m_store.reset();
}

void TestAttachmentRepository::addNote(const QString &id)
{
    QVERIFY(OmbrelTest::insertEmptyNote(&m_store->database, id, utc("2024-01-01T00:00:00.000Z")));
}

void TestAttachmentRepository::insertRoundTripsAndSignals()
{
    Attachment attachment = makeAttachment(QStringLiteral("note-a"), "2024-02-03T04:05:06.789Z");
    attachment.filename = QStringLiteral("R\u00e9sum\u00e9 final.pdf");
    attachment.sizeBytes = Q_INT64_C(5000000000);
    attachment.syncStatus = SyncStatus::Conflict;

    QSignalSpy changed(m_attachments.get(), &AttachmentRepository::attachmentsChanged);
    QVERIFY(m_attachments->insert(attachment));
    QCOMPARE(changed.count(), 1);

    const std::optional<Attachment> read = m_attachments->findById(attachment.id);
    QVERIFY(read.has_value());
    QCOMPARE(read->noteId, attachment.noteId);
    QCOMPARE(read->filename, attachment.filename);
    QCOMPARE(read->mimeType, attachment.mimeType);
    QCOMPARE(read->sizeBytes, Q_INT64_C(5000000000));
    QCOMPARE(read->createdAt, attachment.createdAt);
    QCOMPARE(read->createdAt.timeSpec(), Qt::UTC);
    QCOMPARE(read->syncStatus, SyncStatus::Conflict);

    QSqlQuery query(m_store->database.handle());
    QVERIFY(query.exec(QStringLiteral("SELECT created_at, sync_status FROM attachments")));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toString(), QStringLiteral("2024-02-03T04:05:06.789Z"));
    QCOMPARE(query.value(1).toString(), QStringLiteral("conflict"));

    QVERIFY(!m_attachments->findById(newId()).has_value());
}

void TestAttachmentRepository::insertFailsWithoutSignal_data()
{
    QTest::addColumn<bool>("duplicate");
    QTest::newRow("duplicate-id") << true;
    QTest::newRow("unknown-note") << false;
}

void TestAttachmentRepository::insertFailsWithoutSignal()
{
    QFETCH(bool, duplicate);
    Attachment attachment = makeAttachment(QStringLiteral("note-a"), "2024-01-01T00:00:00.000Z");
    if (duplicate)
        QVERIFY(m_attachments->insert(attachment));
    else
        attachment.noteId = QStringLiteral("no-such-note");

    QSignalSpy changed(m_attachments.get(), &AttachmentRepository::attachmentsChanged);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("AttachmentRepository::insert failed:")));
    QVERIFY(!m_attachments->insert(attachment));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(m_attachments->attachmentsForNote(attachment.noteId).size(), duplicate ? 1 : 0);
}

void TestAttachmentRepository::attachmentsForNoteOldestFirst()
{
    const Attachment late = makeAttachment(QStringLiteral("note-a"), "2024-03-01T00:00:00.000Z");
    const Attachment early = makeAttachment(QStringLiteral("note-a"), "2024-01-01T00:00:00.000Z");
    const Attachment middle = makeAttachment(QStringLiteral("note-a"), "2024-01-01T00:00:00.001Z");
    const Attachment other = makeAttachment(QStringLiteral("note-b"), "2023-01-01T00:00:00.000Z");
    for (const Attachment &attachment : {late, early, other, middle})
        QVERIFY(m_attachments->insert(attachment));

    QCOMPARE(idsOf(m_attachments->attachmentsForNote(QStringLiteral("note-a"))),
             (QStringList{early.id, middle.id, late.id}));
    QCOMPARE(idsOf(m_attachments->attachmentsForNote(QStringLiteral("note-b"))), QStringList{other.id});
    QVERIFY(m_attachments->attachmentsForNote(QStringLiteral("note-c")).isEmpty());
}

void TestAttachmentRepository::pendingAttachmentsAndMarkSynced()
{
    const Attachment second = makeAttachment(QStringLiteral("note-a"), "2024-02-01T00:00:00.000Z");
    const Attachment first = makeAttachment(QStringLiteral("note-b"), "2024-01-01T00:00:00.000Z");
    Attachment synced = makeAttachment(QStringLiteral("note-a"), "2023-01-01T00:00:00.000Z");
    synced.syncStatus = SyncStatus::Synced;
    for (const Attachment &attachment : {second, synced, first})
        QVERIFY(m_attachments->insert(attachment));

    QCOMPARE(idsOf(m_attachments->pendingAttachments()), (QStringList{first.id, second.id}));

    QSignalSpy changed(m_attachments.get(), &AttachmentRepository::attachmentsChanged);
    QVERIFY(m_attachments->markSynced(first.id));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(m_attachments->findById(first.id)->syncStatus, SyncStatus::Synced);
    QCOMPARE(idsOf(m_attachments->pendingAttachments()), QStringList{second.id});
}

void TestAttachmentRepository::validIds()
{
    QVERIFY(AttachmentRepository::isValidId(newId()));
    QVERIFY(AttachmentRepository::isValidId(QStringLiteral("00000000-0000-0000-0000-000000000000")));
    const QString id = newId();
    QCOMPARE(m_attachments->filePath(id), attachmentsDirectory() + QLatin1Char('/') + id);
}

void TestAttachmentRepository::fileRoundTrip_data()
{
    QTest::addColumn<QByteArray>("data");

    QTest::newRow("text") << QByteArray("hello attachment");
    QTest::newRow("binary-with-zeros") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one-mebibyte") << QByteArray(1024 * 1024, '\xab');
}

void TestAttachmentRepository::fileRoundTrip()
{
    QFETCH(QByteArray, data);
    const QString id = newId();

    QVERIFY(m_attachments->saveFile(id, data));
    QCOMPARE(m_attachments->readFile(id), data);
    QCOMPARE(readAll(attachmentsDirectory() + QLatin1Char('/') + id), data);
    // Named by the id alone, and no temporary file left behind.
    QCOMPARE(entriesOf(attachmentsDirectory()), QStringList{id});
}

void TestAttachmentRepository::saveFileReplacesLongerContent()
{
    const QString id = newId();
    QVERIFY(m_attachments->saveFile(id, QByteArray(4096, 'x')));
    QVERIFY(m_attachments->saveFile(id, "new"));
    QCOMPARE(m_attachments->readFile(id), QByteArray("new"));
    QCOMPARE(QFileInfo(m_attachments->filePath(id)).size(), 3);
    QCOMPARE(entriesOf(attachmentsDirectory()), QStringList{id});
}

void TestAttachmentRepository::readFileOfMissingFileIsEmpty()
{
    QVERIFY(m_attachments->readFile(newId()).isEmpty());
}

void TestAttachmentRepository::saveFileOntoDirectoryFailsAndKeepsIt()
{
    const QString id = newId();
    const QString target = attachmentsDirectory() + QLatin1Char('/') + id;
    QVERIFY(QDir().mkpath(target));
    QVERIFY(writeFile(target + QStringLiteral("/inner"), "inner content"));

    QVERIFY(!m_attachments->saveFile(id, "replacement"));
    QVERIFY(QFileInfo(target).isDir());
    QCOMPARE(readAll(target + QStringLiteral("/inner")), QByteArray("inner content"));
    QCOMPARE(entriesOf(attachmentsDirectory()), QStringList{id});
}

void TestAttachmentRepository::saveFileWhenAttachmentsPathIsAFileFails()
{
    // Permissions do not stop root, so the directory is replaced by a regular file.
    const QString directory = attachmentsDirectory();
    QVERIFY(QDir(directory).removeRecursively());
    QVERIFY(writeFile(directory, "not a directory"));

    const QString id = newId();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("AttachmentRepository::saveFile")));
    QVERIFY(!m_attachments->saveFile(id, "data"));
    QVERIFY(m_attachments->readFile(id).isEmpty());
    QVERIFY(QFileInfo(directory).isFile());
    QCOMPARE(readAll(directory), QByteArray("not a directory"));
}

void TestAttachmentRepository::saveFileIntoReadOnlyDirectoryKeepsOldContent()
{
    const QString id = newId();
    QVERIFY(m_attachments->saveFile(id, "old content"));

    const QString directory = attachmentsDirectory();
    const QFile::Permissions permissions = QFile::permissions(directory);
    QVERIFY(QFile::setPermissions(directory, QFile::ReadOwner | QFile::ExeOwner));
    QFile probe(directory + QStringLiteral("/probe"));
    if (probe.open(QIODevice::WriteOnly)) {
        probe.close();
        probe.remove();
        QFile::setPermissions(directory, permissions);
        QSKIP("The directory stays writable for this user (running as root?)");
    }

    const bool saved = m_attachments->saveFile(id, "new content that must not land");
    QFile::setPermissions(directory, permissions);
    QVERIFY(!saved);
    QCOMPARE(m_attachments->readFile(id), QByteArray("old content"));
    QCOMPARE(entriesOf(directory), QStringList{id});
}

void TestAttachmentRepository::saveFileThatCannotBeWrittenKeepsOldContent()
{
#ifdef Q_OS_UNIX
    const QString id = newId();
    const QByteArray old(100, 'o');
    QVERIFY(m_attachments->saveFile(id, old));

    // A file size limit makes the write fail part way, even for root: a save that
    // truncates the file in place would lose the old content here.
    rlimit previous{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited = previous;
    limited.rlim_cur = 4096;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool saved = m_attachments->saveFile(id, QByteArray(256 * 1024, 'n'));
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!saved);
    QCOMPARE(m_attachments->readFile(id), old);
    QCOMPARE(entriesOf(attachmentsDirectory()), QStringList{id});
#else
    QSKIP("Needs a file size limit");
#endif
}

void TestAttachmentRepository::hostileIdsNeverReachFileSystem_data()
{
    QTest::addColumn<QString>("id");

    const QString valid = newId();
    QString misplacedHyphen = valid;
    std::swap(misplacedHyphen[8], misplacedHyphen[9]);

    QTest::newRow("parent-escape") << QStringLiteral("../x");
    QTest::newRow("escape-to-client-id") << QStringLiteral("../client_id");
    QTest::newRow("backslash-escape") << QStringLiteral("..\\client_id");
    QTest::newRow("subdirectory") << QStringLiteral("a/b");
    QTest::newRow("absolute-path") << QStringLiteral("/etc/passwd");
    QTest::newRow("empty") << QString();
    QTest::newRow("dot-dot") << QStringLiteral("..");
    QTest::newRow("dot") << QStringLiteral(".");
    QTest::newRow("non-hex-36") << QStringLiteral("zzzzzzzz-zzzz-zzzz-zzzz-zzzzzzzzzzzz");
    QTest::newRow("slash-inside-36") << QStringLiteral("12345678-1234-1234-1234-1234567/..ab");
    QTest::newRow("braced-uuid") << QLatin1Char('{') + valid + QLatin1Char('}');
    QTest::newRow("uuid-with-line-feed") << valid + QLatin1Char('\n');
    QTest::newRow("uuid-with-extension") << valid + QStringLiteral(".png");
    QTest::newRow("misplaced-hyphen") << misplacedHyphen;
    QTest::newRow("too-short") << valid.left(35);
}

void TestAttachmentRepository::hostileIdsNeverReachFileSystem()
{
    QFETCH(QString, id);
    const QString root = m_store->dataDir.path();
    attachmentsDirectory();
    const QByteArray clientIdBytes = readAll(dataDirectory() + QStringLiteral("/client_id"));
    QVERIFY(!clientIdBytes.isEmpty());
    const QStringList before = treeOf(root);

    QSignalSpy changed(m_attachments.get(), &AttachmentRepository::attachmentsChanged);
    QVERIFY(!AttachmentRepository::isValidId(id));
    QCOMPARE(m_attachments->filePath(id), QString());
    QVERIFY(!m_attachments->saveFile(id, "evil"));
    QCOMPARE(m_attachments->readFile(id), QByteArray());
    QVERIFY(!m_attachments->deleteById(id));
    QCOMPARE(changed.count(), 0);

    QCOMPARE(treeOf(root), before);
    QCOMPARE(readAll(dataDirectory() + QStringLiteral("/client_id")), clientIdBytes);
}

void TestAttachmentRepository::deleteByIdRemovesRowAndFile()
{
    const Attachment doomed = makeAttachment(QStringLiteral("note-a"), "2024-01-01T00:00:00.000Z");
    const Attachment kept = makeAttachment(QStringLiteral("note-a"), "2024-01-02T00:00:00.000Z");
    for (const Attachment &attachment : {doomed, kept}) {
        QVERIFY(m_attachments->insert(attachment));
        QVERIFY(m_attachments->saveFile(attachment.id, attachment.id.toLatin1()));
    }

    QSignalSpy changed(m_attachments.get(), &AttachmentRepository::attachmentsChanged);
    QVERIFY(m_attachments->deleteById(doomed.id));
    QCOMPARE(changed.count(), 1);
    QVERIFY(!m_attachments->findById(doomed.id).has_value());
    QVERIFY(!QFileInfo::exists(attachmentsDirectory() + QLatin1Char('/') + doomed.id));
    QCOMPARE(m_attachments->readFile(kept.id), kept.id.toLatin1());
    QCOMPARE(idsOf(m_attachments->attachmentsForNote(QStringLiteral("note-a"))), QStringList{kept.id});
}

void TestAttachmentRepository::deleteByIdWithoutFileSucceeds()
{
    const Attachment attachment = makeAttachment(QStringLiteral("note-a"), "2024-01-01T00:00:00.000Z");
    QVERIFY(m_attachments->insert(attachment));
    QSignalSpy changed(m_attachments.get(), &AttachmentRepository::attachmentsChanged);
    QVERIFY(m_attachments->deleteById(attachment.id));
    QCOMPARE(changed.count(), 1);
    QVERIFY(!m_attachments->findById(attachment.id).has_value());

    // A well-formed id with neither row nor file is no error either.
    QVERIFY(m_attachments->deleteById(newId()));
}

void TestAttachmentRepository::deleteForNoteWithoutAttachmentsSucceeds()
{
    QVERIFY(m_attachments->deleteForNote(QStringLiteral("note-b")));
    QVERIFY(m_attachments->deleteForNote(QStringLiteral("no-such-note")));
}

void TestAttachmentRepository::deleteForNoteRemovesEveryAttachment()
{
    QStringList doomed;
    for (const char *createdAt : {"2024-01-01T00:00:00.000Z", "2024-01-02T00:00:00.000Z"}) {
        const Attachment attachment = makeAttachment(QStringLiteral("note-a"), createdAt);
        QVERIFY(m_attachments->insert(attachment));
        QVERIFY(m_attachments->saveFile(attachment.id, "bytes"));
        doomed << attachment.id;
    }
    const Attachment kept = makeAttachment(QStringLiteral("note-b"), "2024-01-01T00:00:00.000Z");
    QVERIFY(m_attachments->insert(kept));
    QVERIFY(m_attachments->saveFile(kept.id, "kept"));

    QVERIFY(m_attachments->deleteForNote(QStringLiteral("note-a")));
    QVERIFY(m_attachments->attachmentsForNote(QStringLiteral("note-a")).isEmpty());
    QCOMPARE(entriesOf(attachmentsDirectory()), QStringList{kept.id});
    QCOMPARE(m_attachments->readFile(kept.id), QByteArray("kept"));
}

QTEST_GUILESS_MAIN(TestAttachmentRepository)
#include "tst_attachmentrepository.moc"
