#include "deltadocument.h"
#include "tablejson.h"
#include "testsupport.h"

#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPalette>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

namespace {

QString compact(const QJsonValue &value)
{
    if (value.isArray())
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
}

QString tableEmbed(const QString &cellsJson, bool hasHeader)
{
    QJsonObject table;
    table.insert(QStringLiteral("cells"), QJsonDocument::fromJson(cellsJson.toUtf8()).array());
    table.insert(QStringLiteral("hasHeader"), hasHeader);
    const QJsonObject embed{{QStringLiteral("table"), compact(table)}};
    return compact(QJsonObject{{QStringLiteral("insert"), embed}});
}

QString roundTrip(const QString &json)
{
    DeltaDocument document;
    document.setDeltaJson(json);
    return document.toDeltaJson();
}

const QString HeaderTable = QString::fromUtf8(
    R"([[[{"attributes":{"bold":true},"insert":"Name"}],[{"attributes":{"bold":true},"insert":"Qty"}]],)"
    R"([[{"insert":"Apple"}],[{"attributes":{"italic":true},"insert":"3"}]]])");
const QString PlainTable = QString::fromUtf8(
    R"([[[{"insert":"a"},{"insert":"\n"},{"insert":"second"}],[]],[[{"attributes":{"link":"https://x.org"},"insert":"l"}],[{"insert":"d"}]]])");

} // namespace

class TstDeltaDocument : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void canonicalBodiesRoundTripExactly_data();
    void canonicalBodiesRoundTripExactly();
    void loadSaveLoadIsStable_data();
    void loadSaveLoadIsStable();
    void edgeCasesSaveAsExpected_data();
    void edgeCasesSaveAsExpected();

    void inlineAttributesBecomeCharacterFormats();
    void lineAttributesBecomeBlockFormats();
    void embedsCarryObjectTypeAndProperties();
    void tableAloneOnItsLineIsRealTable();
    void emptyTextClearsDocumentAndOperations();
    void loadingEmitsNothingAndClearsUndo();
    void editsAfterLoadAreSaved();
    void textTypedNextToAttachmentIsKept();
    void toggledCheckboxSavesItsState();
    void listTypeJoinsOrStartsLists_data();
    void listTypeJoinsOrStartsLists();
    void emptyListTypeLeavesList();
    void insertTableMarksOnlyCreatedBlocksAsSpacers();
    void insertTableRejectsEmptyShape();

    void headingStylesFollowTable_data();
    void headingStylesFollowTable();
    void blockSpacingPrecedence_data();
    void blockSpacingPrecedence();
    void bodyPixelSizeFallsBackTo16_data();
    void bodyPixelSizeFallsBackTo16();
    void darkPaletteChangesColours();
    void monospaceAndCodeFormats();
};

// moc's preprocessor trips over raw string literals in macro arguments.
#ifndef Q_MOC_RUN

void TstDeltaDocument::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

void TstDeltaDocument::init()
{
    DeltaDocument::setBodyPixelSize(16);
}

void TstDeltaDocument::canonicalBodiesRoundTripExactly_data()
{
    QTest::addColumn<QString>("body");

    QTest::newRow("empty-note") << DeltaDocument::emptyNoteJson();
    QTest::newRow("plain-lines") << R"([{"insert":"one"},{"insert":"\n"},{"insert":"\n"},{"insert":"three"},{"insert":"\n"}])";
    QTest::newRow("each-inline-flag")
        << R"([{"attributes":{"bold":true},"insert":"b"},{"attributes":{"italic":true},"insert":"i"},)"
           R"({"attributes":{"underline":true},"insert":"u"},{"attributes":{"strike":true},"insert":"s"},)"
           R"({"attributes":{"code":true},"insert":"c"},{"attributes":{"link":"https://example.com/?a=1&b=2"},"insert":"l"},{"insert":"\n"}])";
    QTest::newRow("combined-inline")
        << R"([{"attributes":{"bold":true,"italic":true,"link":"https://a.b","strike":true},"insert":"all"},)"
           R"({"attributes":{"code":true,"underline":true},"insert":"cu"},{"insert":"\n"}])";
    QTest::newRow("headings")
        << R"([{"attributes":{"bold":true},"insert":"H1"},{"attributes":{"header":1},"insert":"\n"},)"
           R"({"attributes":{"bold":true},"insert":"H2"},{"attributes":{"header":2},"insert":"\n"},)"
           R"({"insert":"H3"},{"attributes":{"header":3},"insert":"\n"},{"insert":"H4"},{"attributes":{"header":4},"insert":"\n"},)"
           R"({"insert":"H5"},{"attributes":{"header":5},"insert":"\n"},{"insert":"H6"},{"attributes":{"header":6},"insert":"\n"},)"
           R"({"attributes":{"header":3},"insert":"\n"}])";
    QTest::newRow("list-kinds")
        << R"([{"insert":"b"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"o1"},{"attributes":{"list":"ordered"},"insert":"\n"},)"
           R"({"insert":"o2"},{"attributes":{"list":"ordered"},"insert":"\n"},{"insert":"done"},{"attributes":{"list":"checked"},"insert":"\n"},)"
           R"({"insert":"todo"},{"attributes":{"list":"unchecked"},"insert":"\n"},{"insert":"odd"},{"attributes":{"list":"dash"},"insert":"\n"},)"
           R"({"attributes":{"list":"bullet"},"insert":"\n"}])";
    QTest::newRow("code-blocks")
        << R"([{"attributes":{"code":true},"insert":"int x;"},{"attributes":{"code-block":"cpp"},"insert":"\n"},)"
           R"({"attributes":{"code":true},"insert":"plain"},{"attributes":{"code-block":true},"insert":"\n"}])";
    QTest::newRow("quote-and-alignment")
        << R"([{"insert":"q"},{"attributes":{"blockquote":true},"insert":"\n"},{"insert":"c"},{"attributes":{"align":"center"},"insert":"\n"},)"
           R"({"insert":"r"},{"attributes":{"align":"right"},"insert":"\n"},{"insert":"j"},{"attributes":{"align":"justify","header":3},"insert":"\n"}])";
    QTest::newRow("embeds")
        << R"([{"insert":{"divider":"hr"}},{"insert":"\n"},{"insert":{"ombrel-notes-attachment":"ombrel-notes://attachment/0b0e7b4e-1c2d-4e5f-8a9b-0c1d2e3f4a5b"}},{"insert":"\n"},)"
           R"({"insert":{"image":"ombrel-notes://attachment/pic"}},{"insert":"\n"},{"insert":{"divider":"hr"}},{"insert":{"divider":"hr"}},{"insert":"\n"}])";
    QTest::newRow("text-around-attachment")
        << R"([{"insert":"see "},{"insert":{"ombrel-notes-attachment":"ombrel-notes://attachment/a"}},{"attributes":{"bold":true},"insert":" here"},{"insert":"\n"}])";
    QTest::newRow("table-with-header")
        << QStringLiteral("[%1,{\"insert\":\"\\n\"}]").arg(tableEmbed(HeaderTable, true));
    QTest::newRow("table-without-header")
        << QStringLiteral("[%1,{\"insert\":\"\\n\"}]").arg(tableEmbed(PlainTable, false));
    QTest::newRow("table-between-paragraphs")
        << QStringLiteral("[{\"insert\":\"before\"},{\"insert\":\"\\n\"},%1,{\"insert\":\"\\n\"},{\"insert\":\"after\"},{\"insert\":\"\\n\"}]")
               .arg(tableEmbed(PlainTable, false));
    QTest::newRow("tables-back-to-back")
        << QStringLiteral("[%1,{\"insert\":\"\\n\"},%2,{\"insert\":\"\\n\"}]")
               .arg(tableEmbed(PlainTable, false), tableEmbed(HeaderTable, true));
    QTest::newRow("tables-with-empty-line-between")
        << QStringLiteral("[%1,{\"insert\":\"\\n\"},{\"insert\":\"\\n\"},%1,{\"insert\":\"\\n\"}]").arg(tableEmbed(PlainTable, false));
    QTest::newRow("table-after-list")
        << QStringLiteral("[{\"insert\":\"i\"},{\"attributes\":{\"list\":\"bullet\"},\"insert\":\"\\n\"},%1,{\"insert\":\"\\n\"},{\"insert\":\"\\n\"}]")
               .arg(tableEmbed(PlainTable, false));
    QTest::newRow("inline-table-object")
        << QString::fromUtf8(R"([{"insert":"x"},{"insert":{"table":"{\"cells\":[[\"a\"]]}"}},{"insert":"\n"}])");
    QTest::newRow("preserved-unknown-keys")
        << R"([{"attributes":{"bold":false,"color":"#ff0000","font":{"size":3}},"insert":"red"},{"attributes":{"indent":1,"list":"bullet"},"insert":"\n"},)"
           R"({"attributes":{"background":"yellow","italic":true},"insert":"y"},{"attributes":{"direction":"rtl"},"insert":"\n"}])";
    QTest::newRow("preserved-odd-values")
        << R"([{"attributes":{"code":1,"link":""},"insert":"x"},{"attributes":{"align":"left","list":7},"insert":"\n"}])";
    QTest::newRow("unicode-and-escapes")
        << QString::fromUtf8(R"([{"insert":"é 漢字 🎉 \"q\" \\ \t \u0001"},{"insert":"\n"}])");
    QTest::newRow("unknown-link-scheme")
        << R"x([{"attributes":{"link":"javascript:alert(1)"},"insert":"x"},{"insert":"\n"}])x";
}

void TstDeltaDocument::canonicalBodiesRoundTripExactly()
{
    QFETCH(QString, body);
    QVERIFY2(QJsonDocument::fromJson(body.toUtf8()).isArray(), qPrintable(body));
    QCOMPARE(roundTrip(body), body);
}

void TstDeltaDocument::loadSaveLoadIsStable_data()
{
    QTest::addColumn<QString>("body");

    QTest::newRow("unsorted-keys") << R"([{"insert":"a","attributes":{"italic":true,"bold":true}},{"insert":"\n"}])";
    QTest::newRow("no-final-newline") << R"([{"insert":"abc"}])";
    QTest::newRow("text-and-newline-in-one-op") << R"([{"insert":"a\nb\n","attributes":{"header":2,"bold":true}}])";
    QTest::newRow("retain-delete-and-junk") << R"([{"retain":3},{"delete":2},7,"x",null,[],{"insert":5},{"insert":"ok\n"}])";
    QTest::newRow("header-as-double") << R"([{"insert":"h"},{"insert":"\n","attributes":{"header":2.0}}])";
    QTest::newRow("code-block-false") << R"([{"insert":"c"},{"insert":"\n","attributes":{"code-block":false}}])";
    QTest::newRow("blockquote-false") << R"([{"insert":"q"},{"insert":"\n","attributes":{"blockquote":false}}])";
    QTest::newRow("string-table-cells") << QString::fromUtf8(R"([{"insert":{"table":"{\"cells\":[[\"a\",\"b\"],[\"c\"]]}"}},{"insert":"\n"}])");
    QTest::newRow("table-cell-with-newline-text") << QString::fromUtf8(R"([{"insert":{"table":"{\"cells\":[[\"a\nb\"]],\"hasHeader\":false}"}},{"insert":"\n"}])");
    QTest::newRow("malformed-table") << R"([{"insert":{"table":"{oops"}},{"insert":"\n"},{"insert":"after\n"}])";
    QTest::newRow("table-object-value") << R"([{"insert":{"table":{"cells":[["a"]]}}},{"insert":"\n"}])";
    QTest::newRow("unknown-embeds") << R"([{"insert":{"video":"v"}},{"insert":{}},{"insert":{"image":"http://x/y.png"}},{"insert":"t\n"}])";
    QTest::newRow("carriage-returns") << "[{\"insert\":\"a\\r\\nb\\rc\\u2029d\"},{\"insert\":\"\\n\"}]";
    QTest::newRow("frame-and-object-characters") << "[{\"insert\":\"a\\ufdd0b\\ufdd1c\\ufffcd\\n\"}]";
    QTest::newRow("checklist-after-bullet") << R"([{"insert":"a\n","attributes":{"list":"bullet"}},{"insert":"b\n","attributes":{"list":"checked"}}])";
    QTest::newRow("embed-attributes-dropped") << R"([{"insert":{"divider":true},"attributes":{"bold":true}},{"insert":"\n"}])";
    QTest::newRow("line-attributes-on-inline-keys") << R"([{"insert":"x","attributes":{"list":"bullet","code-block":true,"align":"center"}},{"insert":"\n"}])";
    QTest::newRow("plain-text") << "just some\nplain text\r\nlines";
    QTest::newRow("json-object") << R"({"insert":"x"})";
}

void TstDeltaDocument::loadSaveLoadIsStable()
{
    QFETCH(QString, body);
    const QString once = roundTrip(body);
    QVERIFY(QJsonDocument::fromJson(once.toUtf8()).isArray());
    QCOMPARE(roundTrip(once), once);
}

void TstDeltaDocument::edgeCasesSaveAsExpected_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("saved");

    QTest::newRow("no-final-newline") << R"([{"insert":"abc"}])" << R"([{"insert":"abc"},{"insert":"\n"}])";
    QTest::newRow("bold-two-lines-in-one-insert")
        << R"([{"attributes":{"bold":true},"insert":"a\nb\n"}])"
        << R"([{"attributes":{"bold":true},"insert":"a"},{"insert":"\n"},{"attributes":{"bold":true},"insert":"b"},{"insert":"\n"}])";
    QTest::newRow("header-as-inline-dropped") << R"([{"attributes":{"header":2},"insert":"x"},{"insert":"\n"}])"
                                              << R"([{"insert":"x"},{"insert":"\n"}])";
    QTest::newRow("header-7-ignored") << R"([{"insert":"x"},{"attributes":{"header":7},"insert":"\n"}])"
                                      << R"([{"insert":"x"},{"insert":"\n"}])";
    QTest::newRow("header-0-ignored") << R"([{"insert":"x"},{"attributes":{"header":0},"insert":"\n"}])"
                                      << R"([{"insert":"x"},{"insert":"\n"}])";
    QTest::newRow("inline-keys-dropped-on-line")
        << R"([{"insert":"x"},{"attributes":{"bold":true,"link":"u"},"insert":"\n"}])"
        << R"([{"insert":"x"},{"insert":"\n"}])";
    QTest::newRow("external-image-lost") << R"([{"insert":{"image":"https://x/y.png"}},{"insert":"\n"}])"
                                         << R"([{"insert":"\n"}])";
    QTest::newRow("bare-attachment-id-prefixed") << R"([{"insert":{"ombrel-notes-attachment":"abc"}},{"insert":"\n"}])"
                                                 << R"([{"insert":{"ombrel-notes-attachment":"ombrel-notes://attachment/abc"}},{"insert":"\n"}])";
    QTest::newRow("embed-value-written-as-string") << R"([{"insert":{"divider":true}},{"insert":"\n"}])"
                                                   << R"([{"insert":{"divider":""}},{"insert":"\n"}])";
    QTest::newRow("unknown-embed-lost") << R"([{"insert":{"video":"v"}},{"insert":"x\n"}])"
                                        << R"([{"insert":"x"},{"insert":"\n"}])";
    QTest::newRow("single-word-plain-text") << "hello" << R"([{"insert":"hello"},{"insert":"\n"}])";
    QTest::newRow("crlf-plain-text") << "a\r\nb" << R"([{"insert":"a"},{"insert":"\n"},{"insert":"b"},{"insert":"\n"}])";
    QTest::newRow("checked-joins-bullet")
        << R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"b"},{"attributes":{"list":"checked"},"insert":"\n"}])"
        << R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"b"},{"attributes":{"list":"checked"},"insert":"\n"}])";
    QTest::newRow("string-cells-become-arrays")
        << QString::fromUtf8(R"([{"insert":{"table":"{\"cells\":[[\"a\"],[\"b\",\"c\"]],\"hasHeader\":false}"}},{"insert":"\n"}])")
        << QString::fromUtf8(R"([{"insert":{"table":"{\"cells\":[[[{\"insert\":\"a\"}],[]],[[{\"insert\":\"b\"}],[{\"insert\":\"c\"}]]],\"hasHeader\":false}"}},{"insert":"\n"}])");
    QTest::newRow("malformed-table-kept-as-object")
        << R"([{"insert":{"table":"{oops"}},{"insert":"\n"},{"insert":"after"},{"insert":"\n"}])"
        << R"([{"insert":{"table":"{oops"}},{"insert":"\n"},{"insert":"after"},{"insert":"\n"}])";
    QTest::newRow("empty-table-kept-as-object")
        << QString::fromUtf8(R"([{"insert":"a"},{"insert":"\n"},{"insert":{"table":"{\"cells\":[]}"}},{"insert":"\n"},{"insert":"b"},{"insert":"\n"}])")
        << QString::fromUtf8(R"([{"insert":"a"},{"insert":"\n"},{"insert":{"table":"{\"cells\":[]}"}},{"insert":"\n"},{"insert":"b"},{"insert":"\n"}])");
    QTest::newRow("empty-array") << "[]" << R"([{"insert":"\n"}])";
    QTest::newRow("only-retains") << R"([{"retain":5}])" << R"([{"insert":"\n"}])";
    QTest::newRow("carriage-return-before-newline") << "[{\"insert\":\"a\\r\\nb\\n\"}]"
                                                    << R"([{"insert":"a"},{"insert":"\n"},{"insert":"b"},{"insert":"\n"}])";
}

void TstDeltaDocument::edgeCasesSaveAsExpected()
{
    QFETCH(QString, body);
    QFETCH(QString, saved);
    QCOMPARE(roundTrip(body), saved);
}

void TstDeltaDocument::inlineAttributesBecomeCharacterFormats()
{
    DeltaDocument delta;
    delta.setDeltaJson(R"([{"attributes":{"bold":true},"insert":"b"},{"attributes":{"link":"https://a"},"insert":"l"},)"
                       R"({"attributes":{"code":true},"insert":"c"},{"attributes":{"color":"red"},"insert":"p"},{"insert":"\n"}])");
    const QTextBlock block = delta.document()->begin();
    QList<QTextCharFormat> formats;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it)
        formats.append(it.fragment().charFormat());
    QCOMPARE(formats.size(), 4);
    QCOMPARE(formats[0].fontWeight(), 700);
    QVERIFY(formats[1].isAnchor());
    QCOMPARE(formats[1].anchorHref(), QStringLiteral("https://a"));
    QCOMPARE(formats[1].foreground().color(), QColor(QStringLiteral("#1565C0")));
    QCOMPARE(formats[1].underlineStyle(), QTextCharFormat::SingleUnderline);
    QVERIFY(formats[2].fontFixedPitch());
    QCOMPARE(formats[2].property(QTextFormat::FontPixelSize).toInt(), 14);
    QCOMPARE(QJsonDocument::fromJson(formats[3].stringProperty(DeltaDocument::PreservedInlineAttributesProperty).toUtf8()).object(),
             QJsonObject({{QStringLiteral("color"), QStringLiteral("red")}}));
    QCOMPARE(formats[3].property(QTextFormat::FontPixelSize).toInt(), 16);
}

void TstDeltaDocument::lineAttributesBecomeBlockFormats()
{
    DeltaDocument delta;
    delta.setDeltaJson(R"([{"insert":"h"},{"attributes":{"header":6},"insert":"\n"},{"insert":"c"},{"attributes":{"code-block":"py"},"insert":"\n"},)"
                       R"({"insert":"q"},{"attributes":{"blockquote":"yes","align":"right","x":1},"insert":"\n"},{"insert":"o"},{"attributes":{"list":"ordered"},"insert":"\n"}])");
    QTextBlock block = delta.document()->begin();
    QCOMPARE(block.blockFormat().intProperty(DeltaDocument::HeadingLevelProperty), 6);
    QCOMPARE(block.blockFormat().topMargin(), 8.0);
    QCOMPARE(block.charFormat().property(QTextFormat::FontPixelSize).toInt(), 13);
    QCOMPARE(block.charFormat().foreground().color(), DeltaDocument::mutedColor());
    block = block.next();
    QCOMPARE(block.blockFormat().stringProperty(DeltaDocument::CodeBlockProperty), QStringLiteral("py"));
    QCOMPARE(block.blockFormat().leftMargin(), 12.0);
    QVERIFY(block.charFormat().fontFixedPitch());
    block = block.next();
    QVERIFY(block.blockFormat().boolProperty(DeltaDocument::BlockquoteProperty));
    QCOMPARE(block.blockFormat().leftMargin(), 16.0);
    QCOMPARE(block.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    block = block.next();
    QVERIFY(block.textList());
    QCOMPARE(block.textList()->format().style(), QTextListFormat::ListDecimal);
    QCOMPARE(block.blockFormat().stringProperty(DeltaDocument::ListTypeProperty), QStringLiteral("ordered"));
}

void TstDeltaDocument::embedsCarryObjectTypeAndProperties()
{
    DeltaDocument delta;
    delta.setDeltaJson(R"([{"insert":{"ombrel-notes-attachment":"id1"}},{"insert":{"divider":"hr"}},{"insert":{"image":"https://x"}},{"insert":"\n"}])");
    const QTextBlock block = delta.document()->begin();
    QCOMPARE(block.text(), QString(3, QChar::ObjectReplacementCharacter));
    QCOMPARE(block.blockFormat().lineHeightType(), int(QTextBlockFormat::SingleHeight));
    QList<QTextCharFormat> formats;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it)
        formats.append(it.fragment().charFormat());
    QCOMPARE(formats.size(), 3);
    QCOMPARE(formats[0].objectType(), int(DeltaDocument::AttachmentObject));
    QCOMPARE(formats[0].stringProperty(DeltaDocument::EmbedValueProperty), QStringLiteral("ombrel-notes://attachment/id1"));
    QCOMPARE(formats[1].objectType(), int(DeltaDocument::DividerObject));
    QCOMPARE(formats[1].stringProperty(DeltaDocument::EmbedKeyProperty), QStringLiteral("divider"));
    QCOMPARE(formats[2].objectType(), int(QTextFormat::NoObject));
}

void TstDeltaDocument::tableAloneOnItsLineIsRealTable()
{
    DeltaDocument delta;
    delta.setDeltaJson(QStringLiteral("[{\"insert\":\"x\"},{\"insert\":\"\\n\"},%1,{\"insert\":\"\\n\"}]").arg(tableEmbed(HeaderTable, true)));
    const QList<QTextFrame *> frames = delta.document()->rootFrame()->childFrames();
    QCOMPARE(frames.size(), 1);
    auto *table = qobject_cast<QTextTable *>(frames.first());
    QVERIFY(table);
    QCOMPARE(table->rows(), 2);
    QCOMPARE(table->columns(), 2);
    QCOMPARE(table->format().headerRowCount(), 1);
    QCOMPARE(table->cellAt(0, 0).format().background().color(),
             QGuiApplication::palette().color(QPalette::Active, QPalette::AlternateBase));
    QCOMPARE(table->cellAt(1, 0).firstCursorPosition().block().text(), QStringLiteral("Apple"));
}

void TstDeltaDocument::emptyTextClearsDocumentAndOperations()
{
    DeltaDocument delta;
    delta.setDeltaJson(R"([{"insert":"abc\n"}])");
    QCOMPARE(delta.lastOperations().size(), 1);
    delta.setDeltaJson(QString());
    QVERIFY(delta.lastOperations().isEmpty());
    QVERIFY(delta.toPlainText().isEmpty());
    QCOMPARE(delta.toDeltaJson(), DeltaDocument::emptyNoteJson());
}

void TstDeltaDocument::loadingEmitsNothingAndClearsUndo()
{
    DeltaDocument delta;
    QTextCursor cursor(delta.document());
    cursor.insertText(QStringLiteral("typed"));
    QVERIFY(delta.document()->isUndoAvailable());

    QSignalSpy spy(&delta, &DeltaDocument::contentsChanged);
    delta.setDeltaJson(R"([{"insert":"loaded"},{"attributes":{"list":"bullet"},"insert":"\n"}])");
    QCOMPARE(spy.count(), 0);
    QVERIFY(!delta.document()->isUndoAvailable());
    QVERIFY(!delta.document()->isRedoAvailable());
    QVERIFY(delta.document()->isUndoRedoEnabled());

    QTextCursor after(delta.document());
    after.insertText(QStringLiteral("x"));
    QCOMPARE(spy.count(), 1);
}

void TstDeltaDocument::editsAfterLoadAreSaved()
{
    DeltaDocument delta;
    delta.setDeltaJson(R"([{"insert":"abc"},{"insert":"\n"}])");
    QTextCursor cursor(delta.document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    cursor.insertText(QStringLiteral("d"), bold);
    QCOMPARE(delta.toDeltaJson(), QString::fromUtf8(R"([{"insert":"abc"},{"attributes":{"bold":true},"insert":"d"},{"insert":"\n"}])"));
}

void TstDeltaDocument::textTypedNextToAttachmentIsKept()
{
    DeltaDocument delta;
    delta.setDeltaJson(R"([{"insert":{"ombrel-notes-attachment":"ombrel-notes://attachment/a"}},{"insert":"\n"}])");
    QTextCursor cursor(delta.document());
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.insertText(QStringLiteral("typed")); // takes the object's character format
    QCOMPARE(delta.toDeltaJson(),
             QString::fromUtf8(R"([{"insert":{"ombrel-notes-attachment":"ombrel-notes://attachment/a"}},{"insert":"typed"},{"insert":"\n"}])"));
}

void TstDeltaDocument::toggledCheckboxSavesItsState()
{
    DeltaDocument delta;
    delta.setDeltaJson(R"([{"insert":"task"},{"attributes":{"list":"unchecked"},"insert":"\n"}])");
    QTextCursor cursor(delta.document());
    QTextBlockFormat format = cursor.blockFormat();
    format.setMarker(QTextBlockFormat::MarkerType::Checked);
    cursor.setBlockFormat(format);
    QCOMPARE(delta.toDeltaJson(), QString::fromUtf8(R"([{"insert":"task"},{"attributes":{"list":"checked"},"insert":"\n"}])"));
}

void TstDeltaDocument::listTypeJoinsOrStartsLists_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("sameList");

    QTest::newRow("bullet-bullet") << "bullet" << "bullet" << true;
    QTest::newRow("bullet-checked") << "bullet" << "checked" << true;
    QTest::newRow("unchecked-odd") << "unchecked" << "dash" << true;
    QTest::newRow("ordered-ordered") << "ordered" << "ordered" << true;
    QTest::newRow("bullet-ordered") << "bullet" << "ordered" << false;
    QTest::newRow("ordered-checked") << "ordered" << "checked" << false;
}

void TstDeltaDocument::listTypeJoinsOrStartsLists()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, sameList);

    QTextDocument document;
    QTextCursor cursor(&document);
    cursor.insertText(QStringLiteral("one"));
    DeltaDocument::applyListType(cursor, first);
    cursor.insertBlock(QTextBlockFormat());
    cursor.insertText(QStringLiteral("two"));
    DeltaDocument::applyListType(cursor, second);

    const QTextBlock one = document.begin();
    const QTextBlock two = one.next();
    QVERIFY(one.textList());
    QVERIFY(two.textList());
    QCOMPARE(one.textList() == two.textList(), sameList);
    QCOMPARE(two.textList()->format().indent(), 1);
    QCOMPARE(two.blockFormat().stringProperty(DeltaDocument::ListTypeProperty), second);
    const auto marker = second == QLatin1String("checked") ? QTextBlockFormat::MarkerType::Checked
                                                           : QTextBlockFormat::MarkerType::NoMarker;
    QCOMPARE(two.blockFormat().marker(), marker);
}

void TstDeltaDocument::emptyListTypeLeavesList()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    DeltaDocument::applyListType(cursor, QStringLiteral("checked"));
    QVERIFY(cursor.block().textList());
    DeltaDocument::applyListType(cursor, QString());
    QVERIFY(!cursor.block().textList());
    QCOMPARE(cursor.blockFormat().marker(), QTextBlockFormat::MarkerType::NoMarker);
    QVERIFY(!cursor.blockFormat().hasProperty(DeltaDocument::ListTypeProperty));
    QCOMPARE(cursor.blockFormat().indent(), 0);
}

void TstDeltaDocument::insertTableMarksOnlyCreatedBlocksAsSpacers()
{
    DeltaDocument delta;
    delta.setDeltaJson(R"([{"insert":"above"},{"insert":"\n"},{"insert":"below"},{"insert":"\n"}])");
    QTextCursor cursor(delta.document());
    cursor.movePosition(QTextCursor::EndOfBlock);
    QTextTable *table = DeltaDocument::insertTable(cursor, 2, 3, DeltaDocument::tableFormat(false));
    QVERIFY(table);
    QCOMPARE(table->columns(), 3);
    for (QTextBlock block = delta.document()->begin(); block.isValid(); block = block.next())
        QVERIFY(!block.blockFormat().hasProperty(DeltaDocument::PreexistingBlockProperty));
    const QTextBlock before = delta.document()->findBlock(table->firstPosition()).previous();
    const QTextBlock after = delta.document()->findBlock(table->lastPosition() + 1);
    QCOMPARE(before.text(), QStringLiteral("above"));
    QVERIFY(!before.blockFormat().hasProperty(DeltaDocument::TableSpacerProperty));
    QVERIFY(after.blockFormat().boolProperty(DeltaDocument::TableSpacerProperty));
    QCOMPARE(after.next().text(), QStringLiteral("below"));
    // The spacer is not saved: only the table and its line end are added.
    const QJsonArray saved = QJsonDocument::fromJson(delta.toDeltaJson().toUtf8()).array();
    QCOMPARE(saved.size(), 6);
    QCOMPARE(saved.at(2).toObject().value(QStringLiteral("insert")).toObject().keys(), QStringList{QStringLiteral("table")});
}

void TstDeltaDocument::insertTableRejectsEmptyShape()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QVERIFY(!DeltaDocument::insertTable(cursor, 0, 3, DeltaDocument::tableFormat(true)));
    QVERIFY(!DeltaDocument::insertTable(cursor, 3, 0, DeltaDocument::tableFormat(true)));
    QVERIFY(document.rootFrame()->childFrames().isEmpty());
}

void TstDeltaDocument::headingStylesFollowTable_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<int>("weight");
    QTest::addColumn<int>("lineHeight");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("bottom");
    QTest::addColumn<bool>("muted");

    QTest::newRow("h1") << 1 << 28 << 700 << 130 << 24 << 12 << false;
    QTest::newRow("h2") << 2 << 22 << 700 << 130 << 20 << 10 << false;
    QTest::newRow("h3") << 3 << 18 << 600 << 140 << 16 << 8 << false;
    QTest::newRow("h6") << 6 << 13 << 600 << 140 << 8 << 4 << true;
    QTest::newRow("none") << 0 << 16 << 400 << 150 << 0 << 8 << false;
    QTest::newRow("out-of-range") << 7 << 16 << 400 << 150 << 0 << 8 << false;
}

void TstDeltaDocument::headingStylesFollowTable()
{
    QFETCH(int, level);
    const DeltaDocument::HeadingStyle style = DeltaDocument::headingStyle(level);
    QTEST(style.pixelSize, "pixelSize");
    QTEST(style.weight, "weight");
    QTEST(style.lineHeight, "lineHeight");
    QTEST(style.topMargin, "top");
    QTEST(style.bottomMargin, "bottom");
    QTEST(style.muted, "muted");
}

void TstDeltaDocument::blockSpacingPrecedence_data()
{
    QTest::addColumn<int>("heading");
    QTest::addColumn<bool>("codeBlock");
    QTest::addColumn<bool>("quote");
    QTest::addColumn<qreal>("top");
    QTest::addColumn<qreal>("left");
    QTest::addColumn<bool>("background");

    QTest::newRow("heading-wins-over-code") << 1 << true << true << 24.0 << 0.0 << false;
    QTest::newRow("code-wins-over-quote") << 0 << true << true << 8.0 << 12.0 << true;
    QTest::newRow("quote") << 0 << false << true << 0.0 << 16.0 << false;
    QTest::newRow("paragraph") << 0 << false << false << 0.0 << 0.0 << false;
}

void TstDeltaDocument::blockSpacingPrecedence()
{
    QFETCH(int, heading);
    QFETCH(bool, codeBlock);
    QFETCH(bool, quote);

    QTextBlockFormat format;
    format.setBackground(Qt::red);
    format.setLeftMargin(99);
    if (heading)
        format.setProperty(DeltaDocument::HeadingLevelProperty, heading);
    if (codeBlock)
        format.setProperty(DeltaDocument::CodeBlockProperty, true);
    if (quote)
        format.setProperty(DeltaDocument::BlockquoteProperty, true);
    DeltaDocument::applyBlockSpacing(format);
    QTEST(format.topMargin(), "top");
    QTEST(format.leftMargin(), "left");
    QTEST(format.hasProperty(QTextFormat::BackgroundBrush), "background");
}

void TstDeltaDocument::bodyPixelSizeFallsBackTo16_data()
{
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("expected");

    QTest::newRow("zero") << 0 << 16;
    QTest::newRow("negative") << -5 << 16;
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("twenty") << 20 << 20;
}

void TstDeltaDocument::bodyPixelSizeFallsBackTo16()
{
    QFETCH(int, set);
    QFETCH(int, expected);
    DeltaDocument::setBodyPixelSize(set);
    QCOMPARE(DeltaDocument::bodyPixelSize(), expected);
    DeltaDocument delta;
    QCOMPARE(delta.document()->defaultFont().pixelSize(), expected);
    QCOMPARE(delta.document()->documentMargin(), 16.0);
    QCOMPARE(DeltaDocument::bodyCharFormat().property(QTextFormat::FontPixelSize).toInt(), expected);
    QCOMPARE(DeltaDocument::bodyPixelSizeFromPoints(12), 16);
    QCOMPARE(DeltaDocument::bodyPixelSizeFromPoints(10.5), 14);
}

void TstDeltaDocument::darkPaletteChangesColours()
{
    const QPalette original = QGuiApplication::palette();
    QPalette light;
    light.setColor(QPalette::Window, QColor(0xF5, 0xF5, 0xF5));
    light.setColor(QPalette::Base, Qt::white);
    QGuiApplication::setPalette(light);
    QVERIFY(!DeltaDocument::isDarkPalette());
    QCOMPARE(DeltaDocument::mutedColor(), QColor(QStringLiteral("#44474E")));
    QCOMPARE(DeltaDocument::inlineCodeFormat().background().color(), QColor(QStringLiteral("#DCE6F4")));
    QCOMPARE(DeltaDocument::tableFormat(true).borderBrush().color(), QColor(Qt::white).darker(150));
    QCOMPARE(DeltaDocument::tableFormat(true).headerRowCount(), 1);
    QCOMPARE(DeltaDocument::tableFormat(false).headerRowCount(), 0);

    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x1E, 0x1E, 0x1E)); // equal lightness counts as dark
    dark.setColor(QPalette::Base, QColor(0x20, 0x20, 0x20));
    QGuiApplication::setPalette(dark);
    QVERIFY(DeltaDocument::isDarkPalette());
    QCOMPARE(DeltaDocument::mutedColor(), QColor(QStringLiteral("#C4C6CF")));
    QCOMPARE(DeltaDocument::inlineCodeFormat().foreground().color(), QColor(QStringLiteral("#D6E3F7")));
    QCOMPARE(DeltaDocument::tableFormat(true).borderBrush().color(), QColor(0x20, 0x20, 0x20).lighter(220));
    QTextBlockFormat code;
    code.setProperty(DeltaDocument::CodeBlockProperty, true);
    DeltaDocument::applyBlockSpacing(code);
    QCOMPARE(code.background().color(), QColor(QStringLiteral("#2A2D31")));
    QGuiApplication::setPalette(original);
}

void TstDeltaDocument::monospaceAndCodeFormats()
{
    const QFont font = DeltaDocument::monospaceFont(13);
    QCOMPARE(font.family(), QStringLiteral("monospace"));
    QVERIFY(font.fixedPitch());
    QCOMPARE(font.styleHint(), QFont::Monospace);
    QCOMPARE(font.pixelSize(), 13);
    const QTextCharFormat code = DeltaDocument::inlineCodeFormat();
    QVERIFY(code.fontFixedPitch());
    QCOMPARE(code.property(QTextFormat::FontPixelSize).toInt(), 14);
    QVERIFY(!DeltaDocument::bodyCharFormat().fontFixedPitch());
}

#endif // Q_MOC_RUN

QTEST_MAIN(TstDeltaDocument)
#include "tst_deltadocument.moc"
