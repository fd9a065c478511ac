#include "archivefixtures.h"
#include "deltarender.h"
#include "iotestlibrary.h"
#include "notestationimporter.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace ArchiveFixtures;

class TestNoteStationImporter : public QObject
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

    void parsesTimes_data();
    void parsesTimes();
    void importsMessyArchives();
    void wholeImportFailuresStoreNothing_data();
    void wholeImportFailuresStoreNothing();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<IoTestLibrary> m_library;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestNoteStationImporter::parsesTimes_data()
{
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<qint64>("seconds"); // 0 = absent
    QTest::newRow("number") << QJsonValue(1600000000) << qint64(1600000000);
    QTest::newRow("string") << QJsonValue(QStringLiteral(" 1600000000 ")) << qint64(1600000000);
    QTest::newRow("fraction") << QJsonValue(1600000000.75) << qint64(1600000000);
    QTest::newRow("zero") << QJsonValue(0) << qint64(0);
    QTest::newRow("negative") << QJsonValue(-10) << qint64(0);
    QTest::newRow("text") << QJsonValue(QStringLiteral("soon")) << qint64(0);
    QTest::newRow("null") << QJsonValue() << qint64(0);
    QTest::newRow("absurd") << QJsonValue(1e300) << qint64(0);
}

void TestNoteStationImporter::parsesTimes()
{
    QFETCH(QJsonValue, value);
    QFETCH(qint64, seconds);
    const QDateTime parsed = parseNoteStationTime(value);
    QCOMPARE(parsed.isValid(), seconds != 0);
    if (seconds)
        QCOMPARE(parsed.toSecsSinceEpoch(), seconds);
}

void TestNoteStationImporter::importsMessyArchives()
{
    const QByteArray png = tinyPng();
    const QJsonObject config{{QStringLiteral("notebook"), QJsonArray{QStringLiteral("nb1"), QStringLiteral("nbMissing")}},
                             {QStringLiteral("note"), QJsonArray{QStringLiteral("n1"), QStringLiteral("n2"),
                                                                 QStringLiteral("n3"), QStringLiteral("nGone"),
                                                                 QStringLiteral("n4")}}};
    const QJsonObject notebook{{QStringLiteral("title"), QStringLiteral("Recipes")},
                               {QStringLiteral("ctime"), QStringLiteral("1500000000")},
                               {QStringLiteral("mtime"), 1500000100}};
    const QJsonObject withImage{
        {QStringLiteral("title"), QStringLiteral("Soup <b>&</b> bread")},
        {QStringLiteral("parent_id"), QStringLiteral("nb1")},
        {QStringLiteral("ctime"), QStringLiteral("1600000000")},
        {QStringLiteral("mtime"), 1600000500},
        {QStringLiteral("content"), QStringLiteral("<p>Look: <img ref=\"R1\"> and <img ref=\"R1\"></p>")},
        {QStringLiteral("attachment"),
         QJsonObject{{QStringLiteral("a"), QJsonObject{{QStringLiteral("md5"), QStringLiteral("abc")},
                                                       {QStringLiteral("name"), QString()},
                                                       {QStringLiteral("ext"), QString()},
                                                       {QStringLiteral("type"), QStringLiteral("image")},
                                                       {QStringLiteral("ref"), QStringLiteral("R1")}}},
                     {QStringLiteral("b"), QJsonObject{{QStringLiteral("md5"), QStringLiteral("../config.json")},
                                                       {QStringLiteral("name"), QStringLiteral("evil")}}},
                     {QStringLiteral("c"), QJsonObject{{QStringLiteral("md5"), QStringLiteral("nobytes")}}}}}};
    const QJsonObject nullAttachments{{QStringLiteral("title"), QStringLiteral("Plain")},
                                      {QStringLiteral("parent_id"), QStringLiteral("unknown")},
                                      {QStringLiteral("content"), QStringLiteral("<p>text</p>")},
                                      {QStringLiteral("attachment"), QJsonValue()}};
    const QJsonObject noAttachments{{QStringLiteral("content"), QStringLiteral("<p>untitled</p>")},
                                    {QStringLiteral("ctime"), QStringLiteral("garbage")}};
    const QString archive = path(QStringLiteral("export.nsx"));
    QVERIFY(write(archive, Format::Zip,
                  {{QStringLiteral("config.json"), json(config)},
                   {QStringLiteral("nb1"), json(notebook)},
                   {QStringLiteral("n1"), json(withImage)},
                   {QStringLiteral("n2"), json(nullAttachments)},
                   {QStringLiteral("n3"), json(noAttachments)},
                   {QStringLiteral("n4"), "not json at all"},
                   {QStringLiteral("file_abc"), png}}));

    const ImportResult result = importNsx(archive, m_library->repositories(), {});
    QCOMPARE(result.errorMessage, QString());
    QCOMPARE(result.imported, 3);
    QCOMPARE(result.errors, 2); // nGone, and n4 that is not JSON
    QCOMPARE(result.attachments, 1);

    QCOMPARE(m_library->count("notebooks"), 1);
    const Notebook recipes = m_library->notebooks.allNotebooks().first();
    QCOMPARE(recipes.name, QStringLiteral("Recipes"));
    QCOMPARE(recipes.createdAt.toSecsSinceEpoch(), 1500000000);
    QCOMPARE(recipes.updatedAt.toSecsSinceEpoch(), 1500000100);

    QHash<QString, Note> byTitle;
    for (const Note &note : m_library->notes.allNotes())
        byTitle.insert(note.title(), note);
    const Note soup = byTitle.value(QStringLiteral("Soup <b>&</b> bread"));
    QVERIFY2(!soup.id.isEmpty(), qPrintable(byTitle.keys().join(QLatin1Char('|'))));
    QCOMPARE(soup.notebookId, recipes.id);
    QCOMPARE(soup.createdAt.toSecsSinceEpoch(), 1600000000);
    QCOMPARE(soup.updatedAt.toSecsSinceEpoch(), 1600000500);
    const QList<Attachment> attachments = m_library->attachments.attachmentsForNote(soup.id);
    QCOMPARE(attachments.size(), 1);
    QCOMPARE(attachments.first().mimeType, QStringLiteral("image/png"));
    QCOMPARE(attachments.first().filename, QStringLiteral("attachment."));
    QCOMPARE(m_library->attachments.readFile(attachments.first().id), png);
    QCOMPARE(soup.body.count(QStringLiteral("ombrel-notes://attachment/") + attachments.first().id), 2);

    QCOMPARE(byTitle.value(QStringLiteral("Plain")).notebookId, QString());
    QVERIFY(byTitle.contains(QStringLiteral("untitled")));
    QCOMPARE(m_library->attachmentFiles(), QStringList{attachments.first().id});
}

void TestNoteStationImporter::wholeImportFailuresStoreNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("messagePrefix");
    const QString extract = QStringLiteral("Failed to extract archive: ");
    QTest::newRow("garbage") << "garbage" << extract;
    QTest::newRow("truncated") << "truncated" << extract;
    QTest::newRow("zip-slip") << "slip" << extract;
    QTest::newRow("oversized-json") << "oversized" << extract;
    QTest::newRow("no-config") << "noconfig" << "No config.json found in archive";
    QTest::newRow("missing-file") << "missing" << extract;
}

void TestNoteStationImporter::wholeImportFailuresStoreNothing()
{
    QFETCH(QString, kind);
    QFETCH(QString, messagePrefix);
    const QJsonObject config{{QStringLiteral("notebook"), QJsonArray{QStringLiteral("nb1")}},
                             {QStringLiteral("note"), QJsonArray{QStringLiteral("n1")}}};
    QList<Entry> good{{QStringLiteral("config.json"), json(config)},
                      {QStringLiteral("nb1"), json(QJsonObject{{QStringLiteral("title"), QStringLiteral("B")}})},
                      {QStringLiteral("n1"), json(QJsonObject{{QStringLiteral("content"), QString(30000, u'z')}})},
                      {QStringLiteral("file_x"), QByteArray(50000, 'q')}};
    const QString archive = path(QStringLiteral("bad.nsx"));
    if (kind == QLatin1String("garbage")) {
        QVERIFY(OmbrelTest::writeFile(archive, QByteArray(3000, '\x13')));
    } else if (kind == QLatin1String("truncated")) {
        QVERIFY(write(archive, Format::Zip, good));
        QByteArray bytes = OmbrelTest::readAll(archive);
        bytes.truncate(bytes.size() / 2);
        QVERIFY(OmbrelTest::writeFile(archive, bytes));
    } else if (kind == QLatin1String("slip")) {
        QVERIFY(write(archive, Format::Zip, good + QList<Entry>{{QStringLiteral("../../n2"), "{}"}}));
    } else if (kind == QLatin1String("oversized")) {
        QVERIFY(write(archive, Format::Zip, good + QList<Entry>{{QStringLiteral("n2"), QByteArray(65 * 1024 * 1024, ' ')}}));
    } else if (kind == QLatin1String("noconfig")) {
        good.removeFirst();
        QVERIFY(write(archive, Format::Zip, good));
    }

    const ImportResult result = importNsx(archive, m_library->repositories(), {});
    QCOMPARE(result.errors, 1);
    QCOMPARE(result.imported, 0);
    QVERIFY2(result.errorMessage.startsWith(messagePrefix), qPrintable(result.errorMessage));
    QCOMPARE(m_library->count("notes"), 0);
    QCOMPARE(m_library->count("notebooks"), 0);
    QCOMPARE(m_library->attachmentFiles(), QStringList());
}

QTEST_MAIN(TestNoteStationImporter)
#include "tst_notestationimporter.moc"
