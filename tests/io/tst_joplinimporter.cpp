#include "archivefixtures.h"
#include "deltarender.h"
#include "importbatch.h"
#include "iotestlibrary.h"
#include "joplinimporter.h"
#include "paths.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <optional>

using namespace ArchiveFixtures;

namespace {

QList<std::pair<QString, QString>> noteMeta(int id, const QString &parent, int markup = 1)
{
    return {{QStringLiteral("id"), joplinId(id)},
            {QStringLiteral("parent_id"), parent},
            {QStringLiteral("created_time"), QStringLiteral("2021-02-03T04:05:06.789Z")},
            {QStringLiteral("updated_time"), QStringLiteral("1612325106789")},
            {QStringLiteral("markup_language"), QString::number(markup)},
            {QStringLiteral("type_"), QStringLiteral("1")}};
}

QList<std::pair<QString, QString>> folderMeta(int id, const QString &parent)
{
    return {{QStringLiteral("id"), joplinId(id)},
            {QStringLiteral("parent_id"), parent},
            {QStringLiteral("type_"), QStringLiteral("2")}};
}

QString markdownOf(const QString &body)
{
    return renderDelta(body, RenderMarkdown);
}

} // namespace

class TestJoplinImporter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void init()
    {
        m_library = std::make_unique<IoTestLibrary>();
        QVERIFY2(m_library->db.isReady(), qPrintable(m_library->db.failure()));
        m_dir = std::make_unique<QTemporaryDir>();
    }
    void cleanup()
    {
        m_library.reset();
        m_dir.reset();
    }

    void parsesDates_data();
    void parsesDates();
    void stripsRepeatedTitles_data();
    void stripsRepeatedTitles();
    void emptyMetadataValueStaysOnItsLine();
    void readsMetadataLines_data();
    void readsMetadataLines();
    void importsTheDocumentedLayout();
    void importsThePeersOwnExport_data();
    void importsThePeersOwnExport();
    void wholeImportFailuresStoreNothing_data();
    void wholeImportFailuresStoreNothing();
    void reportsProgressPerNote();
    void failingNoteCostsOnlyItself_data();
    void failingNoteCostsOnlyItself();
    void unwritableFileDropsOnlyItsRow();
    void rolledBackBatchRemovesItsFiles_data();
    void rolledBackBatchRemovesItsFiles();
    void interruptedBatchFilesAreRemovedNextTime();
    void batchLeavesTheConnectionSettingsAsFound();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<IoTestLibrary> m_library;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestJoplinImporter::parsesDates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected");
    const QDateTime instant(QDate(2021, 2, 3), QTime(4, 5, 6, 789), QTimeZone::utc());
    QTest::newRow("iso-with-ms") << "2021-02-03T04:05:06.789Z" << instant;
    QTest::newRow("iso-without-zone-is-utc") << "2021-02-03T04:05:06.789" << instant;
    QTest::newRow("iso-offset") << "2021-02-03T06:05:06.789+02:00" << instant;
    QTest::newRow("iso-seconds") << "2021-02-03T04:05:06Z" << instant.addMSecs(-789);
    QTest::newRow("epoch-millis") << "1612325106789" << instant;
    QTest::newRow("empty") << "" << QDateTime();
    QTest::newRow("zero") << "0" << QDateTime();
    QTest::newRow("negative") << "-5" << QDateTime();
    QTest::newRow("garbage") << "yesterday" << QDateTime();
}

void TestJoplinImporter::parsesDates()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    const QDateTime parsed = parseJoplinDate(text);
    QCOMPARE(parsed.isValid(), expected.isValid());
    if (expected.isValid())
        QCOMPARE(parsed.toMSecsSinceEpoch(), expected.toMSecsSinceEpoch());
}

void TestJoplinImporter::stripsRepeatedTitles_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("body");
    const QString meta = QStringLiteral("\n\nid: %1\ntype_: 1").arg(joplinId(1));
    QTest::newRow("title-line-and-heading") << "Trip\n\n# Trip\n\nPack socks" + meta << "Trip" << "Pack socks";
    QTest::newRow("heading-with-dash-suffix") << "Trip\n# Trip \u2013 2024\nPack" + meta << "Trip" << "Pack";
    QTest::newRow("other-heading-kept") << "Trip\n# Tripod\nPack" + meta << "Trip" << "# Tripod\nPack";
    QTest::newRow("title-key-wins") << "Body line\nmore" + meta + "\ntitle: Named" << "Named" << "Body line\nmore";
    QTest::newRow("no-metadata") << "Just text\nsecond" << "Just text" << "second";
    QTest::newRow("metadata-only") << "id: " + joplinId(2) + "\ntype_: 2" << "" << "";
    QTest::newRow("id-inside-body-uses-last-block") << "T\n\nid: fake\n\nreal text" + meta << "T"
                                                    << "id: fake\n\nreal text";
}

void TestJoplinImporter::stripsRepeatedTitles()
{
    QFETCH(QString, text);
    QFETCH(QString, title);
    QFETCH(QString, body);
    const JoplinItem item = parseJoplinItem(text);
    QCOMPARE(item.title, title);
    QCOMPARE(item.body, body);
}

void TestJoplinImporter::emptyMetadataValueStaysOnItsLine()
{
    const JoplinItem item = parseJoplinItem(QStringLiteral("F\n\nid: %1\nparent_id: \ntype_: 2").arg(joplinId(3)));
    QCOMPARE(item.parentId, QString());
    QCOMPARE(item.type, 2);
    QCOMPARE(item.title, QStringLiteral("F"));
}

void TestJoplinImporter::readsMetadataLines_data()
{
    QTest::addColumn<QString>("metadata"); // after "id: x"
    QTest::addColumn<QString>("parentId");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("mime");
    QTest::newRow("plain") << "parent_id: p1\ntype_: 1\nmime: text/plain" << "p1" << 1 << "text/plain";
    QTest::newRow("crlf line ends") << "parent_id: p1\r\ntype_: 4\r\nmime: image/png\r" << "p1" << 4 << "image/png";
    QTest::newRow("no blank, tabs") << "parent_id:p2\ntype_:\t2\nmime: \t a b" << "p2" << 2 << "a b";
    QTest::newRow("indented or non-word keys ignored")
        << "parent_id: p3\n parent_id: no\npärent_id: no\ntype-: 9\ntype_: 1" << "p3" << 1 << "";
    QTest::newRow("later key wins") << "type_: 2\nparent_id: a\nparent_id: b\ntype_: 1" << "b" << 1 << "";
    QTest::newRow("value keeps colons") << "mime: x:y: z\ntype_: 4" << "" << 4 << "x:y: z";
}

void TestJoplinImporter::readsMetadataLines()
{
    QFETCH(QString, metadata);
    QFETCH(QString, parentId);
    QFETCH(int, type);
    QFETCH(QString, mime);
    const JoplinItem item = parseJoplinItem(QStringLiteral("Title\n\nBody\n\nid: x\n") + metadata);
    QCOMPARE(item.id, QStringLiteral("x"));
    QCOMPARE(item.parentId, parentId);
    QCOMPARE(item.type, type);
    QCOMPARE(item.mime, mime);
    QCOMPARE(item.body, QStringLiteral("Body"));
}

void TestJoplinImporter::importsTheDocumentedLayout()
{
    const QString resource = joplinId(90);
    const QString archive = path(QStringLiteral("export.jex"));
    const QByteArray png = tinyPng();
    QVERIFY(write(archive, Format::PaxTar, {
        {joplinId(1) + ".md", joplinItem(QStringLiteral("Work"), folderMeta(1, QString()))},
        {joplinId(2) + ".md", joplinItem(QStringLiteral("Projects"), folderMeta(2, joplinId(1)))},
        {joplinId(10) + ".md",
         joplinItem(QStringLiteral("Café ☕ notes\n\n# Café ☕ notes\n\n![a](:/%1) and [again](:/%1)").arg(resource),
                    noteMeta(10, joplinId(2)))},
        {joplinId(11) + ".md",
         joplinItem(QStringLiteral("Markup <b>&</b>\n\n<p>Hello <b>world</b></p>"), noteMeta(11, joplinId(1), 2))},
        {joplinId(12) + ".md", joplinItem(QStringLiteral("Orphan\n\nno folder"), noteMeta(12, joplinId(77)))},
        {joplinId(13) + ".md", joplinItem(QString(), noteMeta(13, joplinId(1)))},
        {resource + ".md", joplinItem(QStringLiteral("photo.png"),
                                      {{QStringLiteral("id"), resource},
                                       {QStringLiteral("mime"), QStringLiteral("image/png")},
                                       {QStringLiteral("file_extension"), QStringLiteral("png")},
                                       {QStringLiteral("type_"), QStringLiteral("4")}})},
        {QStringLiteral("resources/%1.png").arg(resource), png},
    }));

    const ImportResult result = importJex(archive, m_library->repositories(), {});
    QCOMPARE(result.errorMessage, QString());
    QCOMPARE(result.imported, 4);
    QCOMPARE(result.attachments, 1);
    QCOMPARE(result.errors, 0);

    QCOMPARE(m_library->count("notebooks"), 2);
    const QString workId = m_library->db.rawValue(QStringLiteral("SELECT id FROM notebooks WHERE name = 'Work'")).toString();
    QVERIFY(!workId.isEmpty());

    QHash<QString, Note> byTitle;
    for (const Note &note : m_library->notes.allNotes())
        byTitle.insert(note.title(), note);

    const Note cafe = byTitle.value(QStringLiteral("Café ☕ notes"));
    const QString cafeMarkdown = markdownOf(cafe.body);
    QVERIFY2(cafeMarkdown.startsWith(QStringLiteral("# Café ☕ notes\n")), qPrintable(cafeMarkdown));
    QCOMPARE(cafeMarkdown.count(QStringLiteral("Café")), 1);
    const QList<Attachment> attachments = m_library->attachments.attachmentsForNote(cafe.id);
    QCOMPARE(attachments.size(), 1);
    QCOMPARE(attachments.first().filename, QStringLiteral("photo.png"));
    QCOMPARE(attachments.first().mimeType, QStringLiteral("image/png"));
    QCOMPARE(m_library->attachments.readFile(attachments.first().id), png);
    QCOMPARE(cafe.body.count(QStringLiteral("ombrel-notes://attachment/") + attachments.first().id), 2);
    QVERIFY(!cafe.body.contains(resource));
    QCOMPARE(cafe.createdAt, QDateTime(QDate(2021, 2, 3), QTime(4, 5, 6, 789), QTimeZone::utc()));
    QCOMPARE(cafe.updatedAt, cafe.createdAt);

    const Note html = byTitle.value(QStringLiteral("Markup <b>&</b>"));
    QVERIFY2(markdownOf(html.body).contains(QStringLiteral("**world**")), qPrintable(markdownOf(html.body)));
    QVERIFY(!html.plainText().contains(QStringLiteral("# ")));
    QCOMPARE(html.notebookId, workId);

    QCOMPARE(byTitle.value(QStringLiteral("Orphan")).notebookId, QString());
    QVERIFY(byTitle.contains(QString()));
    QCOMPARE(m_library->attachmentFiles(), QStringList{attachments.first().id});
}

void TestJoplinImporter::importsThePeersOwnExport_data()
{
    QTest::addColumn<QString>("title");     // of the stored note
    QTest::addColumn<QString>("notebook");
    QTest::addColumn<QStringList>("markdownHas");
    QTest::addColumn<QStringList>("markdownLacks");
    QTest::addColumn<int>("titleCount");    // how often the title text is in the Markdown
    QTest::addColumn<int>("attachments");

    QTest::newRow("resource referenced twice")
        << "Two pictures" << "Inbox" << QStringList{"# Two pictures\n", "First:", "Again:"}
        << QStringList{":/"} << 1 << 1;
    QTest::newRow("HTML note")
        << "Web clip" << "Inbox" << QStringList{"**bold**", "*italic*", "&", "one", "two"}
        << QStringList{"<p>", "<b>", "&amp;"} << 1 << 0;
    // The export's title line goes; the body's own first line repeating it stays.
    QTest::newRow("first body line repeats a Unicode title")
        << "Café ☕ Überblick" << "Inbox" << QStringList{"# Café ☕ Überblick\n", "**Köln**"} << QStringList{}
        << 2 << 0;
    QTest::newRow("heading repeats a Unicode title")
        << "Résumé 日本" << "Inbox" << QStringList{"# Résumé 日本\n", "Ein Absatz."} << QStringList{"Notizen"} << 1
        << 0;
    QTest::newRow("nested notebook, tasks")
        << "Old plan" << "Archive 2023" << QStringList{"done", "still open"} << QStringList{} << 1 << 0;
    // Without a title line the first body line is the title.
    QTest::newRow("untitled")
        << "Body of a note without title." << "Archive 2023" << QStringList{"# Body of a note without title.\n"}
        << QStringList{} << 1 << 0;
}

// An archive written by the peer's own command-line client (scripts/make-joplin-fixtures.sh).
void TestJoplinImporter::importsThePeersOwnExport()
{
    QFETCH(QString, title);
    QFETCH(QString, notebook);
    QFETCH(QStringList, markdownHas);
    QFETCH(QStringList, markdownLacks);
    QFETCH(int, titleCount);
    QFETCH(int, attachments);

    const QString archive = QFINDTESTDATA("fixtures/joplin-cli.jex");
    QVERIFY(!archive.isEmpty());
    const ImportResult result = importJex(archive, m_library->repositories(), {});
    QCOMPARE(result.errorMessage, QString());
    QCOMPARE(result.imported, 6);
    QCOMPARE(result.attachments, 1);
    QCOMPARE(result.errors, 0);
    QCOMPARE(m_library->count("notebooks"), 3);

    std::optional<Note> found;
    for (const Note &note : m_library->notes.allNotes()) {
        if (note.title() == title)
            found = note;
    }
    QVERIFY2(found, qPrintable(title));
    const QString markdown = markdownOf(found->body);
    for (const QString &part : std::as_const(markdownHas))
        QVERIFY2(markdown.contains(part), qPrintable(part + QStringLiteral(" not in:\n") + markdown));
    for (const QString &part : std::as_const(markdownLacks))
        QVERIFY2(!markdown.contains(part), qPrintable(part + QStringLiteral(" in:\n") + markdown));
    QCOMPARE(markdown.count(title), titleCount);
    QCOMPARE(m_library->db.rawValue(QStringLiteral("SELECT name FROM notebooks WHERE id = ?"), {found->notebookId})
                 .toString(),
             notebook);
    QVERIFY(found->createdAt.isValid() && found->createdAt.date().year() >= 2026);

    const QList<Attachment> stored = m_library->attachments.attachmentsForNote(found->id);
    QCOMPARE(stored.size(), attachments);
    if (attachments > 0) {
        QCOMPARE(stored.first().filename, QStringLiteral("pixel.png"));
        QCOMPARE(stored.first().mimeType, QStringLiteral("image/png"));
        QVERIFY(m_library->attachments.readFile(stored.first().id).startsWith("\x89PNG"));
        QCOMPARE(found->body.count(QStringLiteral("ombrel-notes://attachment/") + stored.first().id), 2);
    }
}

void TestJoplinImporter::wholeImportFailuresStoreNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing-file") << "missing";
    QTest::newRow("garbage") << "garbage";
    QTest::newRow("empty-tar") << "empty";
    QTest::newRow("truncated") << "truncated";
    QTest::newRow("zip-slip") << "slip";
    QTest::newRow("symlink") << "symlink";
    QTest::newRow("oversized-item") << "oversized";
}

void TestJoplinImporter::wholeImportFailuresStoreNothing()
{
    QFETCH(QString, kind);
    const QString archive = path(QStringLiteral("bad.jex"));
    const QList<Entry> good{
        {joplinId(1) + ".md", joplinItem(QStringLiteral("Folder"), folderMeta(1, QString()))},
        {joplinId(10) + ".md", joplinItem(QStringLiteral("Fine\n\ntext ") + QString(20000, u'x'), noteMeta(10, joplinId(1)))},
    };
    if (kind == QLatin1String("garbage")) {
        QVERIFY(OmbrelTest::writeFile(archive, QByteArray(5000, '\x07')));
    } else if (kind == QLatin1String("empty")) {
        QVERIFY(OmbrelTest::writeFile(archive, QByteArray(1024, '\0')));
    } else if (kind == QLatin1String("truncated")) {
        QVERIFY(write(archive, Format::Tar, good));
        QByteArray bytes = OmbrelTest::readAll(archive);
        bytes.chop(bytes.size() / 3);
        QVERIFY(OmbrelTest::writeFile(archive, bytes));
    } else if (kind == QLatin1String("slip")) {
        QVERIFY(write(archive, Format::Tar, good + QList<Entry>{{QStringLiteral("../../escape.md"), "x"}}));
    } else if (kind == QLatin1String("symlink")) {
        QVERIFY(write(archive, Format::Tar,
                      good + QList<Entry>{{QStringLiteral("resources/x"), {}, Kind::Symlink, QStringLiteral("/etc/passwd")}}));
    } else if (kind == QLatin1String("oversized")) {
        QVERIFY(write(archive, Format::Zip,
                      good + QList<Entry>{{joplinId(11) + ".md", QByteArray(65 * 1024 * 1024, 'a')}}));
    }

    const ImportResult result = importJex(archive, m_library->repositories(), {});
    QCOMPARE(result.errors, 1);
    QCOMPARE(result.imported, 0);
    QVERIFY2(result.errorMessage.startsWith(QStringLiteral("Failed to read archive or archive is empty")),
             qPrintable(result.errorMessage));
    QCOMPARE(m_library->count("notes"), 0);
    QCOMPARE(m_library->count("notebooks"), 0);
    QCOMPARE(m_library->attachmentFiles(), QStringList());
}

void TestJoplinImporter::reportsProgressPerNote()
{
    const QString archive = path(QStringLiteral("progress.jex"));
    QVERIFY(writeJoplinExport(archive, 30, 3, 400, 10));
    QList<std::pair<int, int>> reports;
    const ImportResult result = importJex(archive, m_library->repositories(),
                                          [&](int current, int total, const QString &) {
                                              reports.append({current, total});
                                          });
    QCOMPARE(result.imported, 30);
    QCOMPARE(result.attachments, 3);
    QCOMPARE(reports.first(), std::make_pair(0, 0));
    QCOMPARE(reports.last(), std::make_pair(30, 30));
    QCOMPARE(m_library->count("notebooks"), 3);
}

// Files are written beside the database work; one that cannot be written takes its row
// back before the commit, and the note and the other attachments stay.
void TestJoplinImporter::unwritableFileDropsOnlyItsRow()
{
    ImportBatch batch(m_library->repositories());
    QString blocked;
    QStringList noteIds;
    for (int i = 0; i < 3; ++i) {
        const QString noteId = OmbrelTest::newId();
        noteIds.append(noteId);
        PendingAttachment pending;
        pending.record.id = OmbrelTest::newId();
        pending.record.noteId = noteId;
        pending.record.filename = QStringLiteral("a.bin");
        pending.record.createdAt = QDateTime::currentDateTimeUtc();
        pending.bytes = "bytes";
        if (i == 1) {
            // A directory where the file should go: the write fails, for root as well.
            blocked = pending.record.id;
            QVERIFY(QDir().mkpath(attachmentFilePath(blocked)));
        }
        QVERIFY(batch.addNote(OmbrelTest::makeNote(noteId, QStringLiteral("x"), "2024-01-01T00:00:00.000Z"), {pending}));
    }
    QVERIFY(batch.finish());
    QCOMPARE(batch.notesStored(), 3);
    QCOMPARE(batch.attachmentsStored(), 2);
    QCOMPARE(m_library->count("notes"), 3);
    QCOMPARE(m_library->count("attachments"), 2);
    QVERIFY(!m_library->attachments.findById(blocked));
    QCOMPARE(m_library->attachments.attachmentsForNote(noteIds.at(1)).size(), 0);
    QCOMPARE(m_library->attachments.attachmentsForNote(noteIds.at(2)).size(), 1);
}

void TestJoplinImporter::rolledBackBatchRemovesItsFiles_data()
{
    QTest::addColumn<bool>("commitFails");
    QTest::newRow("destroyed without finish") << false;
    QTest::newRow("commit refused after the files were written") << true;
}

void TestJoplinImporter::rolledBackBatchRemovesItsFiles()
{
    QFETCH(bool, commitFails);
    const QString noteId = OmbrelTest::newId();
    PendingAttachment pending;
    pending.record.id = OmbrelTest::newId();
    // A row pointing at no note: with foreign keys deferred it is written, file and all,
    // and only the commit refuses it.
    pending.record.noteId = commitFails ? OmbrelTest::newId() : noteId;
    pending.record.filename = QStringLiteral("a.bin");
    pending.record.createdAt = QDateTime::currentDateTimeUtc();
    pending.bytes = "bytes";
    {
        ImportBatch batch(m_library->repositories());
        QVERIFY(batch.addNote(OmbrelTest::makeNote(noteId, QStringLiteral("x"), "2024-01-01T00:00:00.000Z"), {pending}));
        if (commitFails) {
            QVERIFY(m_library->db.rawExec(QStringLiteral("PRAGMA defer_foreign_keys = ON")));
            QVERIFY(!batch.finish());
            QCOMPARE(batch.notesStored(), 0);
            QCOMPARE(batch.failedNotes(), 1);
        }
    }
    QCOMPARE(m_library->count("notes"), 0);
    QCOMPARE(m_library->count("attachments"), 0);
    QCOMPARE(m_library->attachmentFiles(), QStringList());
    QVERIFY(!QFile::exists(dataDirectory() + QStringLiteral("/import-journal")));
}

void TestJoplinImporter::failingNoteCostsOnlyItself_data()
{
    QTest::addColumn<int>("notes");
    QTest::addColumn<int>("failing");
    QTest::addColumn<bool>("bulk"); // indexed at the commit rather than row by row
    for (const bool bulk : {false, true}) {
        const QByteArray suffix = bulk ? ", bulk indexing" : "";
        QTest::newRow("first of a few" + suffix) << 5 << 0 << bulk;
        QTest::newRow("last of a few" + suffix) << 5 << 4 << bulk;
        QTest::newRow("second statement of a large batch" + suffix) << 150 << 100 << bulk;
    }
}

// New notes are written several to a statement; a note the database refuses must not
// take its neighbours with it, nor leave its attachment behind.
void TestJoplinImporter::failingNoteCostsOnlyItself()
{
    QFETCH(int, notes);
    QFETCH(int, failing);
    QFETCH(bool, bulk);
    const QString taken = OmbrelTest::newId();
    QVERIFY(OmbrelTest::insertEmptyNote(&m_library->db.database, taken, QDateTime::currentDateTimeUtc()));
    ImportBatch batch(m_library->repositories(), 1000);
    batch.setBulkIndexing(bulk);
    for (int i = 0; i < notes; ++i) {
        const QString id = i == failing ? taken : OmbrelTest::newId();
        PendingAttachment pending;
        pending.record.id = OmbrelTest::newId();
        pending.record.noteId = id;
        pending.record.filename = QStringLiteral("a.bin");
        pending.record.createdAt = QDateTime::currentDateTimeUtc();
        pending.bytes = QByteArray::number(i);
        QVERIFY(batch.addNote(OmbrelTest::makeNote(id, QStringLiteral("note %1").arg(i), "2024-01-01T00:00:00.000Z"),
                              {pending}));
    }
    QVERIFY(batch.finish());
    QCOMPARE(batch.notesStored(), notes - 1);
    QCOMPARE(batch.failedNotes(), 1);
    QCOMPARE(batch.attachmentsStored(), notes - 1);
    QCOMPARE(m_library->count("notes"), notes);
    QCOMPARE(m_library->count("attachments"), notes - 1);
    QCOMPARE(m_library->attachmentFiles().size(), notes - 1);
    QCOMPARE(m_library->attachments.attachmentsForNote(taken).size(), 0);
    // Every stored note is findable by its words: the text indexes saw the batched rows.
    QCOMPARE(m_library->notes.searchIds(QStringLiteral("note")).size(), notes - 1);
}

void TestJoplinImporter::interruptedBatchFilesAreRemovedNextTime()
{
    const QString orphan = OmbrelTest::newId();
    const QString kept = OmbrelTest::newId();
    const QString noteId = OmbrelTest::newId();
    QVERIFY(OmbrelTest::insertEmptyNote(&m_library->db.database, noteId, QDateTime::currentDateTimeUtc()));
    Attachment row;
    row.id = kept;
    row.noteId = noteId;
    row.createdAt = QDateTime::currentDateTimeUtc();
    QVERIFY(m_library->attachments.insert(row));
    QVERIFY(m_library->attachments.saveFile(kept, "kept"));
    QVERIFY(m_library->attachments.saveFile(orphan, "orphan"));
    QVERIFY(OmbrelTest::writeFile(dataDirectory() + QStringLiteral("/import-journal"),
                                  (orphan + QLatin1Char('\n') + kept + QStringLiteral("\n../../etc\n")).toLatin1()));

    ImportBatch::recoverInterrupted(&m_library->attachments);
    QCOMPARE(m_library->attachmentFiles(), QStringList{kept});
    QVERIFY(!QFile::exists(dataDirectory() + QStringLiteral("/import-journal")));
}

// The batch loosens the log flushing and grows the cache for its own length only.
void TestJoplinImporter::batchLeavesTheConnectionSettingsAsFound()
{
    const auto pragma = [this](const char *name) {
        return m_library->db.rawValue(QStringLiteral("PRAGMA %1").arg(QLatin1String(name))).toString();
    };
    QVERIFY(m_library->db.rawExec(QStringLiteral("PRAGMA synchronous = FULL")));
    const QString cacheSize = pragma("cache_size");
    {
        ImportBatch batch(m_library->repositories());
        QCOMPARE(pragma("synchronous"), QStringLiteral("1"));
        QVERIFY(batch.addNote(OmbrelTest::makeNote(OmbrelTest::newId(), QStringLiteral("x"), "2024-01-01T00:00:00.000Z")));
        QVERIFY(batch.finish());
    }
    QCOMPARE(pragma("synchronous"), QStringLiteral("2"));
    QCOMPARE(pragma("cache_size"), cacheSize);
}

QTEST_MAIN(TestJoplinImporter)
#include "tst_joplinimporter.moc"
