#include "tablejson.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

class TstTableJson : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }

    void parseGivesShape_data();
    void parseGivesShape();
    void malformedTextGivesEmptyTable_data();
    void malformedTextGivesEmptyTable();
    void oddCellsReadAsEmptyStrings();
    void hugeGridIsRefused();
    void writeThenParseKeepsCells();
    void writesCompactJsonInKeyOrder();
    void cellPlainText_data();
    void cellPlainText();
    void cellOperationsKeepOnlyTextInserts();
};

// moc's preprocessor trips over raw string literals in macro arguments.
#ifndef Q_MOC_RUN

void TstTableJson::parseGivesShape_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");
    QTest::addColumn<bool>("hasHeader");

    QTest::newRow("string-cells") << R"({"cells":[["a","b"],["c","d"]],"hasHeader":true})" << 2 << 2 << true;
    QTest::newRow("header-defaults-true") << R"({"cells":[["a"]]})" << 1 << 1 << true;
    QTest::newRow("header-false") << R"({"cells":[["a"]],"hasHeader":false})" << 1 << 1 << false;
    QTest::newRow("header-not-bool-defaults-true") << R"({"cells":[["a"]],"hasHeader":"no"})" << 1 << 1 << true;
    QTest::newRow("ragged-rows-padded") << R"({"cells":[["a"],["b","c","d"],[]]})" << 3 << 3 << true;
    QTest::newRow("delta-cells") << R"({"cells":[[[{"insert":"x"}],[]]]})" << 1 << 2 << true;
    QTest::newRow("non-array-row-is-empty-row") << R"({"cells":[["a","b"],7]})" << 2 << 2 << true;
}

void TstTableJson::parseGivesShape()
{
    QFETCH(QString, json);
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(bool, hasHeader);

    const TableData table = parseTableJson(json);
    QCOMPARE(table.rowCount(), rows);
    QCOMPARE(table.columnCount(), columns);
    QCOMPARE(table.hasHeader, hasHeader);
    QVERIFY(!table.isEmpty());
    for (const QList<QJsonValue> &row : table.cells)
        QCOMPARE(row.size(), columns);
}

void TstTableJson::malformedTextGivesEmptyTable_data()
{
    QTest::addColumn<QString>("json");

    QTest::newRow("empty") << QString();
    QTest::newRow("not-json") << QStringLiteral("cells: a, b");
    QTest::newRow("truncated") << QString::fromUtf8(R"({"cells":[["a","b"])");
    QTest::newRow("array-top-level") << QString::fromUtf8(R"([["a"]])");
    QTest::newRow("no-cells") << QString::fromUtf8(R"({"hasHeader":true})");
    QTest::newRow("cells-not-array") << QString::fromUtf8(R"({"cells":"a|b"})");
    QTest::newRow("no-rows") << QString::fromUtf8(R"({"cells":[]})");
    QTest::newRow("rows-without-columns") << QString::fromUtf8(R"({"cells":[[],[]]})");
    QTest::newRow("deep-nesting") << QString(QString(5000, QLatin1Char('[')) + QString(5000, QLatin1Char(']')));
}

void TstTableJson::malformedTextGivesEmptyTable()
{
    QFETCH(QString, json);
    const TableData table = parseTableJson(json);
    QVERIFY(table.isEmpty());
}

void TstTableJson::oddCellsReadAsEmptyStrings()
{
    const TableData table = parseTableJson(R"({"cells":[[1,null,{"a":1},true,"x"]]})");
    QCOMPARE(table.columnCount(), 5);
    for (int column = 0; column < 4; ++column)
        QCOMPARE(table.cells[0][column], QJsonValue(QString()));
    QCOMPARE(table.cells[0][4], QJsonValue(QStringLiteral("x")));
}

void TstTableJson::hugeGridIsRefused()
{
    // One wide row and many short ones: padding would need rows x columns cells.
    QJsonArray wide;
    for (int i = 0; i < 2000; ++i)
        wide.append(QStringLiteral("c"));
    QJsonArray rows{wide};
    for (int i = 0; i < 2000; ++i)
        rows.append(QJsonArray());
    const QString json = QString::fromUtf8(
        QJsonDocument(QJsonObject{{QStringLiteral("cells"), rows}}).toJson(QJsonDocument::Compact));
    QVERIFY(parseTableJson(json).isEmpty());
}

void TstTableJson::writeThenParseKeepsCells()
{
    TableData table;
    table.hasHeader = false;
    table.cells = {{QJsonValue(QStringLiteral("a|b")),
                    QJsonValue(QJsonArray{QJsonObject{{QStringLiteral("insert"), QStringLiteral("x\ny")}}})},
                   {QJsonValue(QString()), QJsonValue(QStringLiteral("\"quoted\""))}};
    const TableData back = parseTableJson(tableDataToJson(table));
    QCOMPARE(back.cells, table.cells);
    QCOMPARE(back.hasHeader, false);
}

void TstTableJson::writesCompactJsonInKeyOrder()
{
    TableData table;
    table.cells = {{QJsonValue(QStringLiteral("a"))}};
    QCOMPARE(tableDataToJson(table), QString::fromUtf8(R"({"cells":[["a"]],"hasHeader":true})"));
}

void TstTableJson::cellPlainText_data()
{
    QTest::addColumn<QString>("cellJson");
    QTest::addColumn<QString>("text");

    QTest::newRow("string") << R"(["plain"])" << "plain";
    QTest::newRow("delta-paragraphs") << R"([[{"insert":"a"},{"insert":"\n"},{"insert":"b"}]])" << "a\nb";
    QTest::newRow("delta-skips-embeds") << R"([[{"insert":{"image":"x"}},{"insert":"t"}]])" << "t";
    QTest::newRow("number") << R"([5])" << "";
}

void TstTableJson::cellPlainText()
{
    QFETCH(QString, cellJson);
    QFETCH(QString, text);
    const QJsonValue cell = QJsonDocument::fromJson(cellJson.toUtf8()).array().at(0);
    QCOMPARE(tableCellPlainText(cell), text);
}

void TstTableJson::cellOperationsKeepOnlyTextInserts()
{
    const QJsonValue cell = QJsonDocument::fromJson(
        R"([[{"insert":"a"},7,{"insert":{"image":"x"}},{"retain":3},{"insert":"b","attributes":{"bold":true}}]])")
        .array().at(0);
    const QJsonArray operations = tableCellOperations(cell);
    QCOMPARE(operations.size(), 2);
    QCOMPARE(operations.at(1).toObject().value(QStringLiteral("insert")).toString(), QStringLiteral("b"));
    QVERIFY(tableCellOperations(QJsonValue(QString())).isEmpty());
}

#endif // Q_MOC_RUN

QTEST_GUILESS_MAIN(TstTableJson)
#include "tst_tablejson.moc"
