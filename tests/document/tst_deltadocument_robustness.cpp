#include "deltadocument.h"
#include "testsupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>
#include <QTextDocument>
#include <QTextFrame>

namespace {

QString compact(const QJsonArray &array)
{
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

// Random Delta-like bodies: mostly plausible operations with hostile values mixed in.
class BodyGenerator
{
public:
    explicit BodyGenerator(quint32 seed) : m_random(seed) {}

    QJsonArray body()
    {
        QJsonArray operations;
        const int count = bounded(40);
        for (int i = 0; i < count; ++i)
            operations.append(operation());
        return operations;
    }

private:
    int bounded(int n) { return int(m_random.bounded(quint32(n))); }

    QString text()
    {
        static const QStringList pieces = {
            QStringLiteral("word"), QStringLiteral(" "), QStringLiteral("\n"), QStringLiteral("\n\n"),
            QStringLiteral("\r"), QStringLiteral("\r\n"), QString(QChar::ObjectReplacementCharacter),
            QString(QChar::ParagraphSeparator), QString(QChar::LineSeparator), QString(QChar(0xFDD0)),
            QString(QChar(0xFDD1)), QStringLiteral("é漢"), QStringLiteral("🎉"), QString(QChar(0xD800)),
            QStringLiteral("\t"), QString(QChar(0))};
        QString result;
        const int count = bounded(6);
        for (int i = 0; i < count; ++i)
            result += pieces.at(bounded(int(pieces.size())));
        return result;
    }

    QJsonValue value(int depth = 0)
    {
        switch (bounded(depth > 2 ? 6 : 8)) {
        case 0: return true;
        case 1: return false;
        case 2: return bounded(10) - 2;
        case 3: return text();
        case 4: return QJsonValue::Null;
        case 5: return 2.5;
        case 6: return QJsonArray{value(depth + 1), value(depth + 1)};
        default: return QJsonObject{{QStringLiteral("k"), value(depth + 1)}};
        }
    }

    QJsonObject attributes()
    {
        static const QStringList keys = {
            QStringLiteral("bold"), QStringLiteral("italic"), QStringLiteral("underline"), QStringLiteral("strike"),
            QStringLiteral("code"), QStringLiteral("link"), QStringLiteral("header"), QStringLiteral("list"),
            QStringLiteral("code-block"), QStringLiteral("blockquote"), QStringLiteral("align"),
            QStringLiteral("color"), QStringLiteral("indent"), QString()};
        static const QStringList lists = {QStringLiteral("bullet"), QStringLiteral("ordered"),
                                          QStringLiteral("checked"), QStringLiteral("unchecked"),
                                          QStringLiteral("x")};
        static const QStringList aligns = {QStringLiteral("center"), QStringLiteral("right"),
                                           QStringLiteral("justify"), QStringLiteral("left")};
        QJsonObject result;
        const int count = bounded(4);
        for (int i = 0; i < count; ++i) {
            const QString key = keys.at(bounded(int(keys.size())));
            QJsonValue v = value();
            if (bounded(2)) {
                if (key == QLatin1String("list"))
                    v = lists.at(bounded(int(lists.size())));
                else if (key == QLatin1String("align"))
                    v = aligns.at(bounded(int(aligns.size())));
                else if (key == QLatin1String("header"))
                    v = bounded(8);
                else if (key == QLatin1String("link"))
                    v = QStringLiteral("https://example.com/") + text();
                else
                    v = true;
            }
            result.insert(key, v);
        }
        return result;
    }

    QJsonValue table()
    {
        QJsonArray rows;
        const int rowCount = bounded(4);
        for (int r = 0; r < rowCount; ++r) {
            QJsonArray row;
            const int columns = bounded(4);
            for (int c = 0; c < columns; ++c) {
                if (bounded(2))
                    row.append(text());
                else
                    row.append(QJsonArray{QJsonObject{{QStringLiteral("insert"), text()}, {QStringLiteral("attributes"), attributes()}},
                                          QJsonObject{{QStringLiteral("insert"), QStringLiteral("\n")}}, value()});
            }
            rows.append(row);
        }
        QJsonObject object{{QStringLiteral("cells"), rows}};
        if (bounded(2))
            object.insert(QStringLiteral("hasHeader"), value());
        QString json = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
        if (bounded(8) == 0)
            json.truncate(bounded(int(json.size()) + 1));
        return json;
    }

    QJsonValue operation()
    {
        static const QStringList embedKeys = {QStringLiteral("ombrel-notes-attachment"), QStringLiteral("image"),
                                              QStringLiteral("divider"), QStringLiteral("table"),
                                              QStringLiteral("video")};
        QJsonObject op;
        switch (bounded(12)) {
        case 0: return value();
        case 1: op.insert(QStringLiteral("retain"), value()); break;
        case 2: op.insert(QStringLiteral("delete"), value()); break;
        case 3:
        case 4: {
            const QString key = embedKeys.at(bounded(int(embedKeys.size())));
            QJsonValue embedValue = key == QLatin1String("table") && bounded(3) ? table() : value();
            if (key == QLatin1String("image") && bounded(2))
                embedValue = DeltaDocument::attachmentPrefix() + QStringLiteral("id");
            op.insert(QStringLiteral("insert"), QJsonObject{{key, embedValue}});
            break;
        }
        case 5: op.insert(QStringLiteral("insert"), QStringLiteral("\n")); break;
        default: op.insert(QStringLiteral("insert"), text()); break;
        }
        if (bounded(3))
            op.insert(QStringLiteral("attributes"), attributes());
        return op;
    }

    QRandomGenerator m_random;
};

void checkStable(DeltaDocument &delta, const QString &input)
{
    delta.setDeltaJson(input);
    const QString once = delta.toDeltaJson();
    QVERIFY2(QJsonDocument::fromJson(once.toUtf8()).isArray(), qPrintable(input));
    delta.setDeltaJson(once);
    const QString twice = delta.toDeltaJson();
    QVERIFY2(twice == once, qPrintable(QStringLiteral("input %1\nonce  %2\ntwice %3").arg(input, once, twice)));
}

} // namespace

class TstDeltaDocumentRobustness : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }

    void generatedBodiesSurviveAndSettle();
    void mutatedBodiesSurviveAndSettle();
    void hostileShapesLoad_data();
    void hostileShapesLoad();
    void manyOperationsLoad();
    void hugeInsertLoads();
    void hugeTableStaysInline();
};

// moc's preprocessor trips over raw string literals in macro arguments.
#ifndef Q_MOC_RUN

void TstDeltaDocumentRobustness::generatedBodiesSurviveAndSettle()
{
    BodyGenerator generator(20240611);
    DeltaDocument delta;
    for (int i = 0; i < 2000; ++i) {
        checkStable(delta, compact(generator.body()));
        if (QTest::currentTestFailed())
            return;
    }
}

void TstDeltaDocumentRobustness::mutatedBodiesSurviveAndSettle()
{
    BodyGenerator generator(7);
    QRandomGenerator random(99);
    DeltaDocument delta;
    for (int i = 0; i < 1000; ++i) {
        QString json = compact(generator.body());
        switch (random.bounded(3)) {
        case 0:
            json.truncate(random.bounded(quint32(json.size() + 1)));
            break;
        case 1:
            for (int k = 0; k < 3 && !json.isEmpty(); ++k)
                json[random.bounded(quint32(json.size()))] = QLatin1Char("[]{}\",:\\n0"[random.bounded(10)]);
            break;
        default:
            if (!json.isEmpty())
                json.remove(random.bounded(quint32(json.size())), random.bounded(8u));
            break;
        }
        checkStable(delta, json);
        if (QTest::currentTestFailed())
            return;
    }
}

void TstDeltaDocumentRobustness::hostileShapesLoad_data()
{
    QTest::addColumn<QString>("body");

    QTest::newRow("deep-array-nesting") << QString(QString(100000, QLatin1Char('[')) + QString(100000, QLatin1Char(']')));
    QTest::newRow("deep-unclosed-nesting") << QString(100000, QLatin1Char('{'));
    QString deepAttribute = QString::fromUtf8(R"([{"insert":"x","attributes":{"a":)");
    deepAttribute += QString(1000, QLatin1Char('[')) + QString(1000, QLatin1Char(']'));
    deepAttribute += QString::fromUtf8(R"(}},{"insert":"\n"}])");
    QTest::newRow("deep-attribute-value") << deepAttribute;
    QString deepTable = QString::fromUtf8(R"([{"insert":{"table":")");
    deepTable += QString(100000, QLatin1Char('[')) + QString::fromUtf8(R"("}},{"insert":"\n"}])");
    QTest::newRow("deep-table-json") << deepTable;
    QTest::newRow("nul-bytes") << QString(QStringLiteral("[{\"insert\":\"a")) + QChar(0) + QStringLiteral("b\\u0000\\n\"}]");
    QTest::newRow("lone-surrogates") << QStringLiteral("[{\"insert\":\"\\ud800x\\udc00\\n\"}]");
    QTest::newRow("binary-garbage") << QString::fromLatin1(QByteArray(4096, '\xff'));
}

void TstDeltaDocumentRobustness::hostileShapesLoad()
{
    QFETCH(QString, body);
    DeltaDocument delta;
    checkStable(delta, body);
}

void TstDeltaDocumentRobustness::manyOperationsLoad()
{
    QJsonArray operations;
    for (int i = 0; i < 100000; ++i) {
        QJsonObject attributes{{QStringLiteral("color"), QString::number(i)}}; // all distinct formats
        if (i % 3 == 0)
            attributes.insert(QStringLiteral("link"), QStringLiteral("https://e.com/%1").arg(i));
        operations.append(QJsonObject{{QStringLiteral("insert"), QStringLiteral("w")}, {QStringLiteral("attributes"), attributes}});
        if (i % 10 == 9)
            operations.append(QJsonObject{{QStringLiteral("insert"), QStringLiteral("\n")},
                                          {QStringLiteral("attributes"), QJsonObject{{QStringLiteral("list"), i % 20 ? QStringLiteral("bullet") : QStringLiteral("ordered")}}}});
    }
    DeltaDocument delta;
    delta.setDelta(operations);
    QCOMPARE(delta.document()->blockCount(), 10000);
    QCOMPARE(QJsonDocument::fromJson(delta.toDeltaJson().toUtf8()).array().size(), operations.size());
}

void TstDeltaDocumentRobustness::hugeInsertLoads()
{
    const QString line = QStringLiteral("0123456789abcdef 漢字 ").repeated(64);
    QString text;
    for (int i = 0; i < 8000; ++i)
        text += line + (i % 100 == 99 ? QStringLiteral("\n") : QString());
    DeltaDocument delta;
    delta.setDelta(QJsonArray{QJsonObject{{QStringLiteral("insert"), text}}});
    QCOMPARE(delta.document()->blockCount(), 80);
    const QJsonArray saved = QJsonDocument::fromJson(delta.toDeltaJson().toUtf8()).array();
    QCOMPARE(saved.size(), 160);
}

void TstDeltaDocumentRobustness::hugeTableStaysInline()
{
    QJsonArray wide;
    for (int i = 0; i < 1000; ++i)
        wide.append(QStringLiteral("c"));
    QJsonArray rows{wide};
    for (int i = 0; i < 1000; ++i)
        rows.append(QJsonArray{QStringLiteral("r")});
    const QString table = QString::fromUtf8(
        QJsonDocument(QJsonObject{{QStringLiteral("cells"), rows}}).toJson(QJsonDocument::Compact));
    const QJsonArray body{QJsonObject{{QStringLiteral("insert"), QJsonObject{{QStringLiteral("table"), table}}}},
                          QJsonObject{{QStringLiteral("insert"), QStringLiteral("\n")}}};
    DeltaDocument delta;
    delta.setDelta(body);
    QVERIFY(delta.document()->rootFrame()->childFrames().isEmpty());
    QCOMPARE(delta.toDeltaJson(), compact(body)); // the stored table text is not lost
}

#endif // Q_MOC_RUN

QTEST_MAIN(TstDeltaDocumentRobustness)
#include "tst_deltadocument_robustness.moc"
