#include "archivefixtures.h"
#include "iotestlibrary.h"
#include "noteexporter.h"
#include "testsupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace ArchiveFixtures;

namespace {

Note noteWithBody(const QString &body)
{
    Note note;
    note.id = QStringLiteral("0123456789ab-cdef-0123-456789abcdef");
    note.body = body;
    return note;
}

QString attachmentUrl(const QString &id)
{
    return QStringLiteral("ombrel-notes://attachment/") + id;
}

} // namespace

class TestNoteExporter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_library = std::make_unique<IoTestLibrary>();
        QVERIFY(m_library->db.isReady());
    }
    void cleanup()
    {
        m_library.reset();
        m_dir.reset();
    }

    void suggestsFileNames_data();
    void suggestsFileNames();
    void writesBodiesThatAreNotDeltaUnchanged_data();
    void writesBodiesThatAreNotDeltaUnchanged();
    void reportsUnwritableLocations_data();
    void reportsUnwritableLocations();
    void loneHtmlEmbedsImages();
    void pdfDrawsImages();
    void bundleHoldsNoteAndAttachments();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    // A note showing two images and a document; the images share one file name.
    Note noteWithAttachments(QStringList *ids);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<IoTestLibrary> m_library;
};

void TestNoteExporter::suggestsFileNames_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("expected");
    QTest::newRow("forbidden-characters") << "Plan: <draft> a/b\\c|d?*\"" << 0 << "Plan draft abcd.md";
    QTest::newRow("untitled") << "" << 1 << "note-01234567.html";
    QTest::newRow("cut-at-50-then-trimmed") << QString(49, u'a') + QStringLiteral(" bcdefghijklmnopqrstuvwxyz0123456789")
                                            << 2 << QString(49, u'a') + QStringLiteral(".pdf");
    QTest::newRow("only-forbidden") << "<>:?*" << 3 << "note.txt";
    QTest::newRow("unknown-format-is-text") << "Title" << 9 << "Title.txt";
}

void TestNoteExporter::suggestsFileNames()
{
    QFETCH(QString, text);
    QFETCH(int, format);
    QFETCH(QString, expected);
    const Note note = noteWithBody(text.isEmpty() ? Note::emptyBody() : OmbrelTest::bodyOf(text));
    QCOMPARE(suggestedFileName(note, format), expected);
}

void TestNoteExporter::writesBodiesThatAreNotDeltaUnchanged_data()
{
    QTest::addColumn<int>("format");
    QTest::newRow("markdown") << int(ExportMarkdown);
    QTest::newRow("html") << int(ExportHtml);
    QTest::newRow("text") << int(ExportPlainText);
    QTest::newRow("pdf") << int(ExportPdf);
}

void TestNoteExporter::writesBodiesThatAreNotDeltaUnchanged()
{
    QFETCH(int, format);
    const QString raw = QStringLiteral("{\"not\": \"an array\"} <b>ü</b>");
    const QString file = path(QStringLiteral("out") + exportExtension(format));
    const ExportResult result = exportNote(noteWithBody(raw), file, format, false);
    QVERIFY(result.ok);
    QCOMPARE(result.path, file);
    const QByteArray written = OmbrelTest::readAll(file);
    if (format == ExportPdf)
        QVERIFY(written.startsWith("%PDF"));
    else
        QCOMPARE(QString::fromUtf8(written), raw);
}

void TestNoteExporter::reportsUnwritableLocations_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("bundle");
    QTest::newRow("markdown") << int(ExportMarkdown) << false;
    QTest::newRow("pdf") << int(ExportPdf) << false;
    QTest::newRow("bundle") << int(ExportHtml) << true;
}

void TestNoteExporter::reportsUnwritableLocations()
{
    QFETCH(int, format);
    QFETCH(bool, bundle);
    const QString file = path(QStringLiteral("missing-dir/out.x"));
    const ExportResult result = exportNote(noteWithBody(OmbrelTest::bodyOf(QStringLiteral("hi"))), file, format, bundle,
                                           &m_library->attachments);
    QVERIFY(!result.ok);
    QVERIFY2(result.error.startsWith(QStringLiteral("Failed to write file: ")), qPrintable(result.error));
}

Note TestNoteExporter::noteWithAttachments(QStringList *ids)
{
    const QString noteId = OmbrelTest::newId();
    if (!m_library->notes.insert(OmbrelTest::makeNote(noteId, QStringLiteral("x"), "2024-01-01T00:00:00.000Z")))
        return {};
    const QByteArray png = tinyPng();
    const QList<std::pair<QString, QString>> files{{QStringLiteral("../../shot.png"), QStringLiteral("image/png")},
                                                   {QStringLiteral("../../shot.png"), QStringLiteral("image/png")},
                                                   {QStringLiteral("report: final.pdf"), QStringLiteral("application/pdf")}};
    QJsonArray ops{QJsonObject{{QStringLiteral("insert"), QStringLiteral("Trip photos\n")}}};
    for (const auto &[name, mime] : files) {
        Attachment attachment;
        attachment.id = OmbrelTest::newId();
        attachment.noteId = noteId;
        attachment.filename = name;
        attachment.mimeType = mime;
        attachment.createdAt = QDateTime::currentDateTimeUtc();
        const QByteArray bytes = mime == QLatin1String("image/png") ? png : QByteArray("%PDF-fake");
        attachment.sizeBytes = bytes.size();
        if (!m_library->attachments.insert(attachment) || !m_library->attachments.saveFile(attachment.id, bytes))
            return {};
        ids->append(attachment.id);
        ops.append(QJsonObject{{QStringLiteral("insert"),
                                QJsonObject{{QStringLiteral("ombrel-notes-attachment"), attachmentUrl(attachment.id)}}}});
        ops.append(QJsonObject{{QStringLiteral("insert"), QStringLiteral("\n")}});
    }
    Note note = noteWithBody(QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact)));
    note.id = noteId;
    return note;
}

void TestNoteExporter::loneHtmlEmbedsImages()
{
    QStringList ids;
    const Note note = noteWithAttachments(&ids);
    QCOMPARE(ids.size(), 3);
    const QString file = path(QStringLiteral("note.html"));
    QVERIFY(exportNote(note, file, ExportHtml, false, &m_library->attachments).ok);
    const QString html = QString::fromUtf8(OmbrelTest::readAll(file));
    QCOMPARE(html.count(QStringLiteral("<img src=\"data:image/png;base64,")), 2);
    QVERIFY(html.contains(QString::fromLatin1(tinyPng().toBase64())));
    QVERIFY(!html.contains(QStringLiteral("ombrel-notes://")));
    QVERIFY(html.contains(QStringLiteral("report: final.pdf")));
}

void TestNoteExporter::pdfDrawsImages()
{
    QStringList ids;
    const Note note = noteWithAttachments(&ids);
    const QString file = path(QStringLiteral("note.pdf"));
    QVERIFY(exportNote(note, file, ExportPdf, false, &m_library->attachments).ok);
    const QByteArray pdf = OmbrelTest::readAll(file);
    QVERIFY(pdf.startsWith("%PDF"));
    QVERIFY2(pdf.contains("/Subtype /Image"), "the PDF holds no image");
}

void TestNoteExporter::bundleHoldsNoteAndAttachments()
{
    QStringList ids;
    const Note note = noteWithAttachments(&ids);
    const QString file = path(QStringLiteral("Trip photos.md"));
    const ExportResult result = exportNote(note, file, ExportMarkdown, true, &m_library->attachments);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.path, path(QStringLiteral("Trip photos.zip")));
    const QStringList names = entryNames(result.path);
    QCOMPARE(names, (QStringList{QStringLiteral("Trip photos.md"), QStringLiteral("attachments/shot.png"),
                                 QStringLiteral("attachments/shot (2).png"),
                                 QStringLiteral("attachments/report final.pdf")}));
    const QString markdown = QString::fromUtf8(entryData(result.path, QStringLiteral("Trip photos.md")));
    QVERIFY2(markdown.contains(QStringLiteral("![../../shot.png](attachments/shot.png)")), qPrintable(markdown));
    QVERIFY(markdown.contains(QStringLiteral("(attachments/shot%20%282%29.png)")));
    QVERIFY(markdown.contains(QStringLiteral("[report: final.pdf](attachments/report%20final.pdf)")));
    QCOMPARE(entryData(result.path, QStringLiteral("attachments/shot.png")), tinyPng());
}

QTEST_MAIN(TestNoteExporter)
#include "tst_noteexporter.moc"
