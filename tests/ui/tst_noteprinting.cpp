#include "deltadocument.h"
#include "noteprinting.h"
#include "testsupport.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

#include <memory>

class TestNotePrinting : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }

    void markersPrintAtTheSizeOfTheirText_data();
    void markersPrintAtTheSizeOfTheirText();
};

void TestNotePrinting::markersPrintAtTheSizeOfTheirText_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("bullet") << QStringLiteral("{\"list\":\"bullet\"}");
    QTest::newRow("ordered") << QStringLiteral("{\"list\":\"ordered\"}");
    QTest::newRow("checked") << QStringLiteral("{\"list\":\"checked\"}");
    QTest::newRow("unchecked") << QStringLiteral("{\"list\":\"unchecked\"}");
    QTest::newRow("heading-bullet") << QStringLiteral("{\"list\":\"bullet\",\"header\":1}");
}

void TestNotePrinting::markersPrintAtTheSizeOfTheirText()
{
    QFETCH(QString, line);
    DeltaDocument source;
    source.setDeltaJson(QStringLiteral("[{\"insert\":\"item text\"},{\"attributes\":%1,\"insert\":\"\\n\"}]").arg(line));
    std::unique_ptr<QTextDocument> copy(preparePrintDocument(source.document()));
    QVERIFY(copy);

    // The layout sizes a block's marker from the block's character format, resolved
    // on the printer; at 1200 dpi a size in screen pixels shrinks it to a speck.
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("out.pdf")));
    const QTextBlock block = copy->firstBlock();
    QVERIFY(block.textList());
    const QFont markerFont(block.charFormat().font().resolve(copy->defaultFont()), &printer);
    const QFont textFont(block.begin().fragment().charFormat().font().resolve(copy->defaultFont()), &printer);
    const qreal markerHeight = QFontMetricsF(markerFont, &printer).height();
    const qreal textHeight = QFontMetricsF(textFont, &printer).height();
    QVERIFY2(qAbs(markerHeight - textHeight) <= textHeight * 0.1,
             qPrintable(QStringLiteral("marker %1, text %2").arg(markerHeight).arg(textHeight)));
    QVERIFY(!block.charFormat().hasProperty(QTextFormat::FontPixelSize));
    if (qEnvironmentVariableIsSet("OMBREL_SCREENSHOT_DIR")) {
        // The page as a 300 dpi printer lays it out.
        QImage page(1240, 300, QImage::Format_RGB32);
        page.setDotsPerMeterX(11811);
        page.setDotsPerMeterY(11811);
        page.fill(Qt::white);
        copy->documentLayout()->setPaintDevice(&page);
        copy->setPageSize(page.size());
        QPainter painter(&page);
        copy->drawContents(&painter);
        painter.end();
        page.save(qEnvironmentVariable("OMBREL_SCREENSHOT_DIR") + QStringLiteral("/print-%1.png")
                      .arg(QString::fromLatin1(QTest::currentDataTag())));
    }
}

QTEST_MAIN(TestNotePrinting)
#include "tst_noteprinting.moc"
