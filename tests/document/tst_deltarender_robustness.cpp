#include "deltarender.h"
#include "taskextractor.h"
#include "taskextractor_p.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>

// Hostile and generated bodies through the renderers, extraction and write-back: none
// may crash or hang, and the fast extraction path must agree with the full parse.
class TestDeltaRenderRobustness : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void generatedBodiesAreHandled();
    void scannerAgreesWithFullParse_data();
    void scannerAgreesWithFullParse();
    void hugeInsertIsHandled();
    void manyOperationsAreHandled();
    void deepNestingIsHandled();
    void longLinesDoNotStallExpressions();

private:
    QJsonValue randomValue(int depth);
    QString randomText();
    QJsonObject randomAttributes();
    QString randomTable();
    QJsonValue randomOperation();
    QString mutate(QString body);

    QRandomGenerator m_random{20240611};
};

namespace {

QStringList describe(const QList<Task> &tasks)
{
    QStringList lines;
    for (const Task &task : tasks) {
        lines.append(QStringLiteral("%1|%2|%3|%4|%5|%6")
                         .arg(task.id, QString::number(task.lineIndex), task.text,
                              QString::number(task.isCompleted), QString::number(int(task.source)),
                              QString::number(task.charOffset)));
    }
    return lines;
}

class NullSink final : public TaskScan::Sink
{
public:
    void text(QStringView, QStringView) override {}
    void embed() override {}
};

bool isJsonArray(const QString &text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    return error.error == QJsonParseError::NoError && document.isArray();
}

} // namespace

void TestDeltaRenderRobustness::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

QString TestDeltaRenderRobustness::randomText()
{
    static const QStringList pieces = {
        QStringLiteral("word "), QStringLiteral("\n"), QStringLiteral("\n"), QStringLiteral("- [ ] "),
        QStringLiteral("- [x] "), QStringLiteral("-[X]"), QStringLiteral("TODO: "), QStringLiteral("todo:"),
        QStringLiteral("  "), QStringLiteral("|"), QStringLiteral("<a href=\"x\">"), QStringLiteral("&amp;"),
        QStringLiteral("\\"), QStringLiteral("\""), QStringLiteral("\t"), QStringLiteral("\r\n"),
        QStringLiteral("\u00e9"), QStringLiteral("\U0001F600"), QStringLiteral("\uFFFC"), QStringLiteral("\u2028"),
        QString(QChar(0)), QStringLiteral("**"), QStringLiteral("`"),
    };
    QString text;
    const int count = int(m_random.bounded(8));
    for (int i = 0; i < count; ++i)
        text += pieces.at(m_random.bounded(int(pieces.size())));
    return text;
}

QJsonValue TestDeltaRenderRobustness::randomValue(int depth)
{
    switch (m_random.bounded(depth > 3 ? 6 : 8)) {
    case 0: return true;
    case 1: return false;
    case 2: return QJsonValue::Null;
    case 3: return double(int(m_random.bounded(20)) - 5) / (m_random.bounded(2) ? 1 : 2);
    case 4: return randomText();
    case 5: {
        static const QStringList words = {QStringLiteral("checked"), QStringLiteral("unchecked"),
                                          QStringLiteral("bullet"), QStringLiteral("ordered"),
                                          QStringLiteral("javascript:x"), QStringLiteral("hr")};
        return words.at(m_random.bounded(int(words.size())));
    }
    case 6: {
        QJsonArray array;
        for (int i = int(m_random.bounded(3)); i > 0; --i)
            array.append(randomValue(depth + 1));
        return array;
    }
    default: {
        QJsonObject object;
        for (int i = int(m_random.bounded(3)); i > 0; --i)
            object.insert(randomText(), randomValue(depth + 1));
        return object;
    }
    }
}

QJsonObject TestDeltaRenderRobustness::randomAttributes()
{
    static const QStringList keys = {
        QStringLiteral("bold"), QStringLiteral("italic"), QStringLiteral("underline"), QStringLiteral("strike"),
        QStringLiteral("code"), QStringLiteral("link"), QStringLiteral("header"), QStringLiteral("list"),
        QStringLiteral("list"), QStringLiteral("code-block"), QStringLiteral("blockquote"), QStringLiteral("align"),
        QStringLiteral("x-other")};
    QJsonObject attributes;
    for (int i = int(m_random.bounded(4)); i > 0; --i) {
        const QString key = keys.at(m_random.bounded(int(keys.size())));
        if (key == QLatin1String("header"))
            attributes.insert(key, int(m_random.bounded(9)) - 1);
        else
            attributes.insert(key, randomValue(1));
    }
    return attributes;
}

QString TestDeltaRenderRobustness::randomTable()
{
    QJsonArray rows;
    for (int r = int(m_random.bounded(4)); r > 0; --r) {
        QJsonArray row;
        for (int c = int(m_random.bounded(4)); c > 0; --c) {
            if (m_random.bounded(2)) {
                row.append(randomText());
            } else {
                QJsonArray cell;
                for (int i = int(m_random.bounded(3)); i > 0; --i)
                    cell.append(randomOperation());
                row.append(cell);
            }
        }
        rows.append(row);
    }
    QJsonObject table{{QStringLiteral("cells"), rows}};
    if (m_random.bounded(2))
        table.insert(QStringLiteral("hasHeader"), randomValue(3));
    QString json = QString::fromUtf8(QJsonDocument(table).toJson(QJsonDocument::Compact));
    if (m_random.bounded(8) == 0)
        json.truncate(m_random.bounded(int(json.size()) + 1));
    return json;
}

QJsonValue TestDeltaRenderRobustness::randomOperation()
{
    QJsonObject operation;
    switch (m_random.bounded(12)) {
    case 0:
        return randomValue(2);
    case 1:
        operation.insert(QStringLiteral("retain"), randomValue(3));
        break;
    case 2: {
        static const QStringList kinds = {QStringLiteral("divider"), QStringLiteral("image"),
                                          QStringLiteral("ombrel-notes-attachment"), QStringLiteral("video")};
        const QString kind = kinds.at(m_random.bounded(int(kinds.size())));
        operation.insert(QStringLiteral("insert"), QJsonObject{{kind, randomValue(3)}});
        break;
    }
    case 3:
        operation.insert(QStringLiteral("insert"), QJsonObject{{QStringLiteral("table"), randomTable()}});
        break;
    case 4:
        operation.insert(QStringLiteral("insert"), randomValue(3));
        break;
    default:
        operation.insert(QStringLiteral("insert"), m_random.bounded(3) ? QStringLiteral("\n") : randomText());
        break;
    }
    if (m_random.bounded(2))
        operation.insert(QStringLiteral("attributes"), m_random.bounded(8) ? QJsonValue(randomAttributes()) : randomValue(2));
    return operation;
}

QString TestDeltaRenderRobustness::mutate(QString body)
{
    static const QStringList noise = {QStringLiteral("\""), QStringLiteral("{"), QStringLiteral("}"),
                                      QStringLiteral("["), QStringLiteral("]"), QStringLiteral(","),
                                      QStringLiteral(":"), QStringLiteral("\\"), QStringLiteral("\\u"),
                                      QStringLiteral("\\ud800"), QStringLiteral("1e999"), QStringLiteral(" "),
                                      QStringLiteral("\"list\":\"checked\","), QStringLiteral("\uFEFF"),
                                      QString(QChar(0xD800)), QString(QChar(0xDC00))};
    switch (m_random.bounded(6)) {
    case 0:
        body.truncate(m_random.bounded(int(body.size()) + 1));
        break;
    case 1:
    case 2:
        for (int i = int(m_random.bounded(3)) + 1; i > 0; --i)
            body.insert(m_random.bounded(int(body.size()) + 1), noise.at(m_random.bounded(int(noise.size()))));
        break;
    case 3:
        if (!body.isEmpty())
            body.remove(m_random.bounded(int(body.size())), 1 + m_random.bounded(4));
        break;
    default:
        break; // most bodies stay well-formed so that the deeper paths run
    }
    return body;
}

void TestDeltaRenderRobustness::generatedBodiesAreHandled()
{
    int scanned = 0;
    const int rounds = 3000;
    for (int round = 0; round < rounds; ++round) {
        QJsonArray operations;
        for (int i = int(m_random.bounded(24)); i > 0; --i)
            operations.append(randomOperation());
        const bool indented = m_random.bounded(4) == 0;
        const QString body = mutate(QString::fromUtf8(
            QJsonDocument(operations).toJson(indented ? QJsonDocument::Indented : QJsonDocument::Compact)));
        const bool array = isJsonArray(body);

        for (int format = 0; format < 4; ++format) {
            const QString rendered = renderDelta(body, format);
            if (!array)
                QCOMPARE(rendered, body);
        }

        NullSink sink;
        if (TaskScan::scanDelta(body, sink) == TaskScan::ScanResult::Complete)
            ++scanned;
        const QList<Task> tasks = extractTasks(QStringLiteral("n"), body, {});
        QCOMPARE(describe(tasks), describe(extractTasksByFullParse(QStringLiteral("n"), body, {})));
        if (!array)
            QVERIFY(tasks.isEmpty());

        for (const Task &task : tasks) {
            const QString changed = setTaskCompleted(body, task.lineIndex, !task.isCompleted);
            if (task.source != TaskSource::Checklist) {
                QVERIFY(changed.isEmpty());
                continue;
            }
            if (changed.isEmpty())
                continue; // a line end shared with other text
            const QList<Task> after = extractTasks(QStringLiteral("n"), changed, {});
            QCOMPARE(after.size(), tasks.size());
            for (qsizetype i = 0; i < tasks.size(); ++i) {
                QCOMPARE(after.at(i).id, tasks.at(i).id);
                QCOMPARE(after.at(i).isCompleted,
                         tasks.at(i).lineIndex == task.lineIndex ? !task.isCompleted : tasks.at(i).isCompleted);
            }
        }
        const QString arbitrary = setTaskCompleted(body, int(m_random.bounded(40)) - 2, m_random.bounded(2));
        QVERIFY(arbitrary.isEmpty() || isJsonArray(arbitrary));
    }
    // The comparison above means little unless the fast path took most bodies itself.
    QVERIFY2(scanned > rounds / 3, qPrintable(QString::number(scanned)));
}

void TestDeltaRenderRobustness::scannerAgreesWithFullParse_data()
{
    QTest::addColumn<QString>("body");

    const char *task = R"({"insert":"a"},{"insert":"\n","attributes":{"list":"checked"}})";
    auto row = [](const char *name, const QString &body) { QTest::newRow(name) << body; };
    row("duplicate-insert", QString::fromUtf8(R"([{"insert":"x","insert":"TODO: y\n"}])"));
    row("duplicate-attributes", QString::fromUtf8(R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n","attributes":{"list":"checked"}}])"));
    row("escaped-key-duplicate", QString::fromUtf8(R"([{"insert":"a"},{"insert":"\n","attributes":{"list":"bullet","l\u0069st":"checked"}}])"));
    row("raw-control-characters", QStringLiteral("[{\"insert\":\"TODO: a\tb\x01\\n\"}]"));
    row("raw-nul", QStringLiteral("[{\"insert\":\"TODO: a") + QChar(0) + QStringLiteral("b\\n\"}]"));
    row("lone-surrogate", QStringLiteral("[{\"insert\":\"TODO: a") + QChar(0xD800) + QStringLiteral("\\n\"}]"));
    row("escaped-lone-surrogate", QString::fromUtf8(R"([{"insert":"TODO: a\ud800b\n"}])"));
    row("unknown-escape", QString::fromUtf8(R"([{"insert":"TODO: a\xb\n"}])"));
    row("huge-number", QStringLiteral("[1e999,") + QLatin1String(task) + QLatin1Char(']'));
    row("long-integer", QStringLiteral("[123456789012345678901234567890,") + QLatin1String(task) + QLatin1Char(']'));
    row("fraction-without-digits", QStringLiteral("[1.,") + QLatin1String(task) + QLatin1Char(']'));
    row("leading-zero", QStringLiteral("[01,") + QLatin1String(task) + QLatin1Char(']'));
    row("vertical-tab", QStringLiteral("\v[") + QLatin1String(task) + QLatin1Char(']'));
    row("deep-attributes", QString::fromUtf8(R"([{"insert":"a"},{"insert":"\n","attributes":{"list":"checked","x":)")
                               + QString(200, QLatin1Char('[')) + QString(200, QLatin1Char(']')) + QStringLiteral("}}]"));
    row("literal-typo", QStringLiteral("[tru,") + QLatin1String(task) + QLatin1Char(']'));
    row("single-quotes", QStringLiteral("[{'insert':'TODO: a\\n'}]"));
    row("missing-comma", QString::fromUtf8(R"([{"insert":"TODO: a\n"} {"insert":"TODO: b\n"}])"));
    row("whitespace-only", QStringLiteral(" \n\t "));
}

void TestDeltaRenderRobustness::scannerAgreesWithFullParse()
{
    QFETCH(QString, body);
    QCOMPARE(describe(extractTasks(QStringLiteral("n"), body, {})),
             describe(extractTasksByFullParse(QStringLiteral("n"), body, {})));
}

void TestDeltaRenderRobustness::hugeInsertIsHandled()
{
    // 16 M characters (32 MB in memory): large enough to expose anything quadratic or
    // recursive, small enough to keep the run short.
    constexpr qsizetype Size = 16 * 1024 * 1024;
    QString text;
    text.reserve(Size);
    while (text.size() < Size)
        text += QStringLiteral("- [ ] <b>\"word\"</b> & | TODO: ");
    const QJsonArray operations{
        QJsonObject{{QStringLiteral("insert"), text}, {QStringLiteral("attributes"), QJsonObject{{QStringLiteral("bold"), true}}}},
        QJsonObject{{QStringLiteral("insert"), QStringLiteral("\n")},
                    {QStringLiteral("attributes"), QJsonObject{{QStringLiteral("list"), QStringLiteral("unchecked")}}}}};
    const QString body = QString::fromUtf8(QJsonDocument(operations).toJson(QJsonDocument::Compact));

    QCOMPARE(renderDelta(body, RenderPlainText).size(), text.size() + 1);
    QVERIFY(renderDelta(body, RenderMarkdown).startsWith(QLatin1String("- [ ] **- [ ] <b>")));
    QVERIFY(renderDelta(body, RenderHtml).endsWith(QLatin1String("TODO: </strong></p>\n</body></html>")));

    const QList<Task> tasks = extractTasks(QStringLiteral("n"), body, {});
    QCOMPARE(tasks.size(), 1);
    QCOMPARE(tasks.first().source, TaskSource::Checklist);
    QCOMPARE(tasks.first().text.size(), text.trimmed().size());
    QVERIFY(!setTaskCompleted(body, 0, true).isEmpty());
}

void TestDeltaRenderRobustness::manyOperationsAreHandled()
{
    QJsonArray operations;
    for (int i = 0; i < 50000; ++i) {
        operations.append(QJsonObject{{QStringLiteral("insert"), QStringLiteral("item %1").arg(i)}});
        operations.append(QJsonObject{
            {QStringLiteral("insert"), QStringLiteral("\n")},
            {QStringLiteral("attributes"), QJsonObject{{QStringLiteral("list"), i % 2 ? QStringLiteral("checked") : QStringLiteral("unchecked")}}}});
    }
    const QString body = QString::fromUtf8(QJsonDocument(operations).toJson(QJsonDocument::Compact));

    QCOMPARE(renderDelta(body, RenderMarkdown).count(QLatin1Char('\n')), 50000);
    QCOMPARE(renderDelta(body, RenderHtml).count(QLatin1String("<p>")), 50000);
    const QList<Task> tasks = extractTasks(QStringLiteral("n"), body, {});
    QCOMPARE(tasks.size(), 50000);
    QCOMPARE(tasks.last().lineIndex, 49999);
    const QString ticked = setTaskCompleted(body, 49998, true);
    QVERIFY(extractTasks(QStringLiteral("n"), ticked, {}).at(49998).isCompleted);
}

void TestDeltaRenderRobustness::deepNestingIsHandled()
{
    const QString deepArray = QString(100000, QLatin1Char('[')) + QString(100000, QLatin1Char(']'));
    const QString deepObject = QStringLiteral("[{\"insert\":") + QString(100000, QLatin1Char('['));
    for (const QString &body : {deepArray, deepObject}) {
        for (int format = 0; format < 4; ++format)
            QCOMPARE(renderDelta(body, format), body);
        QVERIFY(extractTasks(QStringLiteral("n"), body, {}).isEmpty());
        QVERIFY(setTaskCompleted(body, 0, true).isEmpty());
    }
    QCOMPARE(tableToHtml(QStringLiteral("{\"cells\":") + QString(100000, QLatin1Char('['))), QString());
}

void TestDeltaRenderRobustness::longLinesDoNotStallExpressions()
{
    const QString spaces(1000000, QLatin1Char(' '));
    const QStringList lines = {QStringLiteral("-") + spaces + QStringLiteral("[") + spaces + QStringLiteral("x"),
                               QStringLiteral("- [") + spaces + QStringLiteral("] ") + spaces + QStringLiteral("y"),
                               QStringLiteral("TODO:") + spaces + QStringLiteral("z")};
    QJsonArray operations;
    for (const QString &line : lines)
        operations.append(QJsonObject{{QStringLiteral("insert"), line + QLatin1Char('\n')}});
    const QString body = QString::fromUtf8(QJsonDocument(operations).toJson(QJsonDocument::Compact));

    const QList<Task> tasks = extractTasks(QStringLiteral("n"), body, {});
    QCOMPARE(tasks.size(), 2);
    QCOMPARE(tasks.at(0).text, QStringLiteral("y"));
    QCOMPARE(tasks.at(1).text, QStringLiteral("z"));
}

QTEST_GUILESS_MAIN(TestDeltaRenderRobustness)
#include "tst_deltarender_robustness.moc"
