#include "attachmentrenderer.h"
#include "attachmentrepository.h"
#include "deltadocument.h"
#include "storagefixture.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFile>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QTest>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <memory>

using OmbrelTest::newId;

namespace {

const QString NoteId = QStringLiteral("7d1f3a52-0c4e-4f8e-9a57-6b2d8e1c9f30");

QByteArray pngBytes(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(0x20, 0x80, 0xE0));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QTextCharFormat objectFormat(const QString &embedValue,
                             int objectType = DeltaDocument::AttachmentObject)
{
    QTextCharFormat format;
    format.setObjectType(objectType);
    format.setProperty(DeltaDocument::EmbedKeyProperty, QStringLiteral("ombrel-notes-attachment"));
    format.setProperty(DeltaDocument::EmbedValueProperty, embedValue);
    return format;
}

QTextCharFormat formatFor(const QString &id)
{
    return objectFormat(DeltaDocument::attachmentPrefix() + id);
}

qreal chipWidthFor(const QString &label)
{
    return std::max<qreal>(200, QFontMetricsF(QGuiApplication::font()).horizontalAdvance(label) + 48);
}

QPalette paletteWithWindow(const QColor &window)
{
    QPalette palette = QGuiApplication::palette();
    palette.setColor(QPalette::Window, window);
    return palette;
}

} // namespace

class TestAttachmentRenderer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void missingRecordIsGenericChip();
    void imageSizes_data();
    void imageSizes();
    void chipWidths_data();
    void chipWidths();
    void hostileReferences_data();
    void hostileReferences();
    void worksWithoutRepository();
    void bytesAreReadOncePerId();
    void missingRecordStaysChipUntilCleared();
    void clearCacheRereads();
    void onlyAttachmentObjectsAreSized();
    void imageIsPaintedAtTopLeft();
    void chipColoursFollowPalette_data();
    void chipColoursFollowPalette();

private:
    QString addAttachment(const QString &fileName, const QString &mimeType, const QByteArray &bytes);

    std::unique_ptr<OmbrelTest::MigratedDatabase> m_store;
    std::unique_ptr<AttachmentRepository> m_attachments;
    std::unique_ptr<AttachmentRenderer> m_renderer;
    QPalette m_originalPalette;
};

void TestAttachmentRenderer::initTestCase()
{
    OmbrelTest::initTestEnvironment();
    m_originalPalette = QGuiApplication::palette();
}

void TestAttachmentRenderer::init()
{
    m_store = std::make_unique<OmbrelTest::MigratedDatabase>();
    QVERIFY2(m_store->isReady(), qPrintable(m_store->failure()));
    QVERIFY(OmbrelTest::insertEmptyNote(&m_store->database, NoteId, QDateTime::currentDateTimeUtc()));

    m_attachments = std::make_unique<AttachmentRepository>(&m_store->database);
    m_renderer = std::make_unique<AttachmentRenderer>(m_attachments.get());
}

void TestAttachmentRenderer::cleanup()
{
    QGuiApplication::setPalette(m_originalPalette);
    m_renderer.reset();
    m_attachments.reset();
    m_store.reset();
}

QString TestAttachmentRenderer::addAttachment(const QString &fileName, const QString &mimeType,
                                              const QByteArray &bytes)
{
    Attachment attachment;
    attachment.id = newId();
    attachment.noteId = NoteId;
    attachment.filename = fileName;
    attachment.mimeType = mimeType;
    attachment.sizeBytes = bytes.size();
    attachment.createdAt = QDateTime::currentDateTimeUtc();
    if (!m_attachments->saveFile(attachment.id, bytes) || !m_attachments->insert(attachment))
        return {};
    return attachment.id;
}

void TestAttachmentRenderer::missingRecordIsGenericChip()
{
    const QSizeF size = m_renderer->intrinsicSize(nullptr, 0, formatFor(newId()));
    QCOMPARE(size, QSizeF(chipWidthFor(QStringLiteral("Attachment")), 36));
    QCOMPARE(size, QSizeF(200, 36));
}

void TestAttachmentRenderer::imageSizes_data()
{
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<QSizeF>("objectSize");

    QTest::newRow("wide-scaled-down") << QSize(1200, 800) << QSizeF(560, 377);
    QTest::newRow("exactly-max-width") << QSize(560, 100) << QSizeF(560, 104);
    QTest::newRow("one-pixel-over") << QSize(561, 561) << QSizeF(560, 564);
    QTest::newRow("narrow-kept") << QSize(300, 200) << QSizeF(300, 204);
    QTest::newRow("tall-narrow-kept") << QSize(40, 2000) << QSizeF(40, 2004);
    QTest::newRow("single-pixel") << QSize(1, 1) << QSizeF(1, 5);
}

void TestAttachmentRenderer::imageSizes()
{
    QFETCH(QSize, imageSize);
    QFETCH(QSizeF, objectSize);

    const QString id = addAttachment(QStringLiteral("photo.png"), QStringLiteral("image/png"),
                                     pngBytes(imageSize.width(), imageSize.height()));
    QVERIFY(!id.isEmpty());
    QCOMPARE(m_renderer->intrinsicSize(nullptr, 0, formatFor(id)), objectSize);
}

void TestAttachmentRenderer::chipWidths_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("mimeType");
    QTest::addColumn<QByteArray>("bytes");

    const QString longName = QStringLiteral("quarterly-report-final-revised-with-appendix-and-notes-v12.pdf");
    QTest::newRow("short-non-image") << QStringLiteral("a.txt") << QStringLiteral("text/plain")
                                     << QByteArray("hello");
    QTest::newRow("long-non-image") << longName << QStringLiteral("application/pdf") << QByteArray("%PDF");
    QTest::newRow("undecodable-image") << QStringLiteral("broken-screenshot-from-yesterday.png")
                                       << QStringLiteral("image/png") << QByteArray("not a png at all");
    QTest::newRow("image-bytes-wrong-mime") << QStringLiteral("disguised-picture-file.png")
                                            << QStringLiteral("application/octet-stream")
                                            << pngBytes(50, 50);
    // The image test is case-sensitive, as stored MIME types are lower case.
    QTest::newRow("upper-case-mime") << QStringLiteral("shouting-picture.png")
                                     << QStringLiteral("IMAGE/PNG") << pngBytes(50, 50);
    QTest::newRow("unicode-name") << QStringLiteral("R\u00e9sum\u00e9 \u65e5\u672c\u8a9e.docx")
                                  << QStringLiteral("application/msword") << QByteArray("doc");
}

void TestAttachmentRenderer::chipWidths()
{
    QFETCH(QString, fileName);
    QFETCH(QString, mimeType);
    QFETCH(QByteArray, bytes);

    const QString id = addAttachment(fileName, mimeType, bytes);
    QVERIFY(!id.isEmpty());
    const QSizeF size = m_renderer->intrinsicSize(nullptr, 0, formatFor(id));
    QCOMPARE(size.height(), 36.0);
    QCOMPARE(size.width(), chipWidthFor(fileName));
    QVERIFY(size.width() >= 200);
}

void TestAttachmentRenderer::hostileReferences_data()
{
    QTest::addColumn<QString>("embedValue");

    QTest::newRow("empty-value") << QString();
    QTest::newRow("prefix-only") << DeltaDocument::attachmentPrefix();
    QTest::newRow("path-traversal") << DeltaDocument::attachmentPrefix() + QStringLiteral("../../ombrel_notes.db");
    QTest::newRow("sql-quote") << DeltaDocument::attachmentPrefix() + QStringLiteral("x' OR '1'='1");
    QTest::newRow("foreign-url") << QStringLiteral("https://example.com/a.png");
    QTest::newRow("huge-id") << DeltaDocument::attachmentPrefix() + QString(100000, QLatin1Char('a'));
}

void TestAttachmentRenderer::hostileReferences()
{
    QFETCH(QString, embedValue);
    const QTextCharFormat format = objectFormat(embedValue);
    QCOMPARE(m_renderer->intrinsicSize(nullptr, 0, format), QSizeF(200, 36));

    QImage canvas(240, 40, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    m_renderer->drawObject(&painter, QRectF(0, 0, 200, 36), nullptr, 0, format);
    painter.end();
}

void TestAttachmentRenderer::worksWithoutRepository()
{
    const QString id = addAttachment(QStringLiteral("photo.png"), QStringLiteral("image/png"),
                                     pngBytes(100, 100));
    AttachmentRenderer detached(nullptr);
    QCOMPARE(detached.intrinsicSize(nullptr, 0, formatFor(id)), QSizeF(200, 36));
}

void TestAttachmentRenderer::bytesAreReadOncePerId()
{
    const QString id = addAttachment(QStringLiteral("photo.png"), QStringLiteral("image/png"),
                                     pngBytes(1200, 800));
    QCOMPARE(m_renderer->intrinsicSize(nullptr, 0, formatFor(id)), QSizeF(560, 377));

    QVERIFY(QFile::remove(m_attachments->filePath(id)));
    QVERIFY(m_attachments->deleteById(id));
    for (int pass = 0; pass < 3; ++pass)
        QCOMPARE(m_renderer->intrinsicSize(nullptr, 0, formatFor(id)), QSizeF(560, 377));
}

void TestAttachmentRenderer::missingRecordStaysChipUntilCleared()
{
    const QString id = newId();
    QCOMPARE(m_renderer->intrinsicSize(nullptr, 0, formatFor(id)), QSizeF(200, 36));

    // The attachment arrives later, as it would by sync.
    Attachment attachment;
    attachment.id = id;
    attachment.noteId = NoteId;
    attachment.filename = QStringLiteral("late.png");
    attachment.mimeType = QStringLiteral("image/png");
    attachment.createdAt = QDateTime::currentDateTimeUtc();
    QVERIFY(m_attachments->saveFile(id, pngBytes(80, 60)));
    QVERIFY(m_attachments->insert(attachment));
    QCOMPARE(m_renderer->intrinsicSize(nullptr, 0, formatFor(id)), QSizeF(200, 36));

    m_renderer->clearCache();
    QCOMPARE(m_renderer->intrinsicSize(nullptr, 0, formatFor(id)), QSizeF(80, 64));
}

void TestAttachmentRenderer::clearCacheRereads()
{
    const QString id = addAttachment(QStringLiteral("photo.png"), QStringLiteral("image/png"),
                                     pngBytes(100, 50));
    QCOMPARE(m_renderer->intrinsicSize(nullptr, 0, formatFor(id)), QSizeF(100, 54));

    QVERIFY(m_attachments->saveFile(id, QByteArray("corrupted")));
    QCOMPARE(m_renderer->intrinsicSize(nullptr, 0, formatFor(id)), QSizeF(100, 54));

    m_renderer->clearCache();
    QCOMPARE(m_renderer->intrinsicSize(nullptr, 0, formatFor(id)),
             QSizeF(chipWidthFor(QStringLiteral("photo.png")), 36));
}

void TestAttachmentRenderer::onlyAttachmentObjectsAreSized()
{
    const QString id = addAttachment(QStringLiteral("notes.txt"), QStringLiteral("text/plain"),
                                     QByteArray("hello"));
    QTextDocument document;
    document.documentLayout()->registerHandler(DeltaDocument::AttachmentObject, m_renderer.get());

    QTextCursor cursor(&document);
    cursor.insertText(QString(QChar::ObjectReplacementCharacter), formatFor(id));
    cursor.insertBlock();
    QTextCharFormat divider = objectFormat(QStringLiteral("hr"), DeltaDocument::DividerObject);
    divider.setProperty(DeltaDocument::EmbedKeyProperty, QStringLiteral("divider"));
    cursor.insertText(QString(QChar::ObjectReplacementCharacter), divider);
    cursor.insertBlock();
    cursor.insertText(QString(QChar::ObjectReplacementCharacter),
                      objectFormat(QString(), DeltaDocument::TableObject));
    document.setTextWidth(800);
    document.documentLayout()->documentSize();

    const QTextBlock attachmentBlock = document.firstBlock();
    QVERIFY(attachmentBlock.layout()->lineCount() > 0);
    QCOMPARE(attachmentBlock.layout()->lineAt(0).naturalTextWidth(), 200.0);
    QVERIFY(attachmentBlock.layout()->lineAt(0).height() >= 36);

    for (QTextBlock block = attachmentBlock.next(); block.isValid(); block = block.next()) {
        QVERIFY(block.layout()->lineCount() > 0);
        // No handler: the layout gives the object no width at all.
        QVERIFY(block.layout()->lineAt(0).naturalTextWidth() <= 0);
    }
}

void TestAttachmentRenderer::imageIsPaintedAtTopLeft()
{
    const QString id = addAttachment(QStringLiteral("photo.png"), QStringLiteral("image/png"),
                                     pngBytes(20, 10));
    QImage canvas(60, 40, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    m_renderer->drawObject(&painter, QRectF(5, 7, 20, 14), nullptr, 0, formatFor(id));
    painter.end();

    QCOMPARE(canvas.pixelColor(5, 7), QColor(0x20, 0x80, 0xE0));
    QCOMPARE(canvas.pixelColor(24, 16), QColor(0x20, 0x80, 0xE0));
    // The gap below the picture stays empty.
    QCOMPARE(canvas.pixelColor(10, 18), QColor(Qt::white));
    QCOMPARE(canvas.pixelColor(4, 7), QColor(Qt::white));
}

void TestAttachmentRenderer::chipColoursFollowPalette_data()
{
    QTest::addColumn<QColor>("window");
    QTest::addColumn<QColor>("background");

    QTest::newRow("light") << QColor(0xFA, 0xFA, 0xFA) << QColor(0xEC, 0xEE, 0xF1);
    QTest::newRow("dark") << QColor(0x1E, 0x1E, 0x1E) << QColor(0x2A, 0x2D, 0x31);
    QTest::newRow("darker-than-threshold") << QColor(0x10, 0x10, 0x10) << QColor(0x2A, 0x2D, 0x31);
}

void TestAttachmentRenderer::chipColoursFollowPalette()
{
    QFETCH(QColor, window);
    QFETCH(QColor, background);
    QGuiApplication::setPalette(paletteWithWindow(window));

    QImage canvas(220, 40, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    m_renderer->drawObject(&painter, QRectF(0, 0, 200, 36), nullptr, 0, formatFor(newId()));
    painter.end();

    // Inside the chip, left of the text inset.
    QCOMPARE(canvas.pixelColor(6, 17), background);
    // The two pixels below the chip stay clear.
    QCOMPARE(canvas.pixelColor(100, 35).alpha(), 0);
    QCOMPARE(canvas.pixelColor(210, 17).alpha(), 0);
}

QTEST_MAIN(TestAttachmentRenderer)
#include "tst_attachmentrenderer.moc"
