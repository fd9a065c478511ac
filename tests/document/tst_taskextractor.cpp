#include "taskextractor.h"
#include "taskextractor_p.h"
#include "testsupport.h"

#include <QTest>

namespace {

const QString NoteId = QStringLiteral("3f0c9a52-5c1e-4f0b-9a1e-2b7d1c0e4a11");

// "line|text|done|source|offset": one readable line per task for comparisons.
QString describe(const Task &task)
{
    return QStringLiteral("%1|%2|%3|%4|%5")
        .arg(QString::number(task.lineIndex), task.text, task.isCompleted ? QStringLiteral("done") : QStringLiteral("open"),
             QString::number(int(task.source)), QString::number(task.charOffset));
}

QStringList describe(const QList<Task> &tasks)
{
    QStringList lines;
    for (const Task &task : tasks)
        lines.append(describe(task));
    return lines;
}

} // namespace

class TestTaskExtractor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void extractsTasks_data();
    void extractsTasks();
    void fillsRecordFields();
    void idsAreStableAndFollowLines();
    void taskIdFormat_data();
    void taskIdFormat();
    void setTaskCompletedRewritesOneLine_data();
    void setTaskCompletedRewritesOneLine();
    void tickedTaskReadsBackCompletedWithSameId();
};

void TestTaskExtractor::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

void TestTaskExtractor::extractsTasks_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QStringList>("expected");

    auto row = [](const char *name, const char *body, QStringList expected) {
        QTest::newRow(name) << QString::fromUtf8(body) << expected;
    };
    const QStringList none;

    row("checklist-checked-and-unchecked",
        R"([{"insert":"Plan\n"},{"insert":" buy milk "},{"insert":"\n","attributes":{"list":"checked"}},{"insert":"call Bob"},{"insert":"\n","attributes":{"list":"unchecked"}}])",
        {"1|buy milk|done|0|5", "2|call Bob|open|0|16"});
    row("checklist-only-spaces", R"([{"insert":"   "},{"insert":"\n","attributes":{"list":"unchecked"}}])", none);
    row("checklist-keeps-checkbox-text",
        R"([{"insert":"- [x] a"},{"insert":"\n","attributes":{"list":"unchecked"}}])", {"0|- [x] a|open|0|0"});
    row("checklist-lines-of-one-insert", R"([{"insert":"a\nb\n","attributes":{"list":"checked"}}])",
        {"0|a|done|0|0", "1|b|done|0|2"});
    row("markdown-capital-x", R"([{"insert":"- [X] buy milk\n"}])", {"0|buy milk|done|1|0"});
    row("markdown-open", R"([{"insert":"- [ ] read\n"}])", {"0|read|open|1|0"});
    row("markdown-without-spaces", R"([{"insert":"-[ ]word\n"}])", {"0|word|open|1|0"});
    row("markdown-spaces-inside-brackets", R"([{"insert":"-  [   ]  word\n"}])", {"0|word|open|1|0"});
    row("markdown-indented", R"([{"insert":"x\n   - [x] a  \n"}])", {"1|a|done|1|2"});
    row("markdown-without-text", R"([{"insert":"- [ ]\n- [x]   \n"}])", none);
    row("markdown-other-mark", R"([{"insert":"- [y] a\n"}])", none);
    row("markdown-across-inserts",
        R"([{"insert":"- ["},{"insert":" ] split","attributes":{"bold":true}},{"insert":"\n"}])", {"0|split|open|1|0"});
    row("markdown-on-bullet-line", R"([{"insert":"- [ ] a"},{"insert":"\n","attributes":{"list":"bullet"}}])",
        {"0|a|open|1|0"});
    row("markdown-non-string-list", R"([{"insert":"- [ ] a"},{"insert":"\n","attributes":{"list":true}}])",
        {"0|a|open|1|0"});
    row("todo-upper", R"([{"insert":"TODO: call Bob\n"}])", {"0|call Bob|open|2|0"});
    row("todo-lower", R"([{"insert":"todo:call Bob\n"}])", {"0|call Bob|open|2|0"});
    row("todo-without-text", R"([{"insert":"TODO:   \n"}])", none);
    row("todo-mid-line", R"([{"insert":"remember TODO: x\n"}])", none);
    row("text-after-last-line-end", R"([{"insert":"a\n- [ ] tail"}])", none);
    row("embeds-count-one-character",
        R"([{"insert":"ab\n"},{"insert":{"image":"x"}},{"insert":"task"},{"insert":"\n","attributes":{"list":"unchecked"}}])",
        {"1|task|open|0|4"});
    row("embed-ends-no-line",
        R"([{"insert":"x"},{"insert":{"divider":"hr"}},{"insert":"y"},{"insert":"\n","attributes":{"list":"checked"}}])",
        {"0|xy|done|0|1"});
    row("retain-and-non-objects-skipped",
        R"([1,"- [ ] no\n",{"retain":3},{"insert":5},{"insert":"a"},{"insert":"\n","attributes":{"list":"checked"}}])",
        {"0|a|done|0|0"});
    row("escapes-decoded",
        R"([{"insert":"\u0054ODO: caf\u00e9 \ud83d\ude00\n"},{"insert":"b\tc"},{"insert":"\n","attributes":{"\u006cist":"\u0063hecked"}}])",
        {"0|caf\u00e9 \U0001F600|open|2|0", "1|b\tc|done|0|14"});
    row("pretty-printed", "[\n  {\"insert\" : \"a\"} ,\n  {\"attributes\": {\"list\": \"checked\"}, \"insert\": \"\\n\"}\n]\n",
        {"0|a|done|0|0"});
    row("duplicate-key-last-wins",
        R"([{"insert":"a"},{"insert":"\n","attributes":{"list":"checked","list":"bullet"}}])", none);
    row("byte-order-mark", "\xEF\xBB\xBF[{\"insert\":\"TODO: a\\n\"}]", {"0|a|open|2|0"});
    row("empty-body", "", none);
    row("plain-text-body", "- [ ] buy milk\nTODO: call\n", none);
    row("object-body", R"({"insert":"TODO: a\n"})", none);
    row("truncated-body", R"([{"insert":"TODO: a\n"},{"insert":"TODO: b)", none);
    row("trailing-garbage", R"([{"insert":"TODO: a\n"}]])", none);
    row("trailing-comma", R"([{"insert":"TODO: a\n"},])", none);
}

void TestTaskExtractor::extractsTasks()
{
    QFETCH(QString, body);
    QFETCH(QStringList, expected);

    const QDateTime updated = QDateTime(QDate(2024, 5, 1), QTime(8, 30), Qt::UTC);
    QCOMPARE(describe(extractTasks(NoteId, body, updated)), expected);
    QCOMPARE(describe(extractTasksByFullParse(NoteId, body, updated)), expected);
}

void TestTaskExtractor::fillsRecordFields()
{
    const QDateTime updated = QDateTime(QDate(2024, 5, 1), QTime(8, 30), Qt::UTC);
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const QList<Task> tasks = extractTasks(NoteId, QString::fromUtf8(R"([{"insert":"TODO: x\n"}])"), updated);
    QCOMPARE(tasks.size(), 1);
    const Task &task = tasks.first();
    QCOMPARE(task.noteId, NoteId);
    QCOMPARE(task.id, taskId(NoteId, 0, QStringLiteral("x")));
    QCOMPARE(task.noteUpdatedAt, updated);
    QVERIFY(task.extractedAt >= before.addSecs(-1));
    QCOMPARE(task.extractedAt.timeSpec(), Qt::UTC);
    QVERIFY(!task.dueDate.has_value());
    QVERIFY(task.dueDatePhrase.isEmpty());
}

void TestTaskExtractor::idsAreStableAndFollowLines()
{
    const QString body = QStringLiteral(
        R"([{"insert":"same"},{"insert":"\n","attributes":{"list":"unchecked"}},{"insert":"same"},{"insert":"\n","attributes":{"list":"unchecked"}}])");
    const QList<Task> first = extractTasks(NoteId, body, {});
    const QList<Task> second = extractTasks(NoteId, body, {});
    QCOMPARE(first.size(), 2);
    QCOMPARE(first.at(0).id, second.at(0).id);
    QCOMPARE(first.at(1).id, second.at(1).id);
    QVERIFY(first.at(0).id != first.at(1).id);

    const QList<Task> edited = extractTasks(NoteId, QString::fromUtf8(R"([{"insert":"new line above\n"},)") + body.mid(1), {});
    QCOMPARE(edited.size(), 2);
    QCOMPARE(edited.at(0).lineIndex, 1);
    QVERIFY(edited.at(0).id != first.at(0).id);
}

void TestTaskExtractor::taskIdFormat_data()
{
    QTest::addColumn<QString>("noteId");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ascii") << QStringLiteral("n1") << 3 << QStringLiteral("buy milk")
                           << QStringLiteral("n1_3_179eff39");
    QTest::newRow("utf8-digest") << QStringLiteral("n1") << 0 << QStringLiteral("caf\u00e9")
                                 << QStringLiteral("n1_0_07117fe4");
    QTest::newRow("placeholders-in-note-id") << QStringLiteral("a%2b%3") << 12 << QStringLiteral("x")
                                             << QStringLiteral("a%2b%3_12_9dd4e461");
}

void TestTaskExtractor::taskIdFormat()
{
    QFETCH(QString, noteId);
    QFETCH(int, line);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(taskId(noteId, line, text), expected);
}

void TestTaskExtractor::setTaskCompletedRewritesOneLine_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("line");
    QTest::addColumn<bool>("completed");
    QTest::addColumn<QString>("expected");

    auto row = [](const char *name, const char *body, int line, bool completed, const char *expected) {
        QTest::newRow(name) << QString::fromUtf8(body) << line << completed << QString::fromUtf8(expected);
    };

    // Bodies written by the application are compact with sorted keys: everything but the
    // toggled line comes back byte for byte.
    row("tick",
        R"([{"insert":"Plan"},{"attributes":{"header":1},"insert":"\n"},{"insert":"a"},{"attributes":{"list":"unchecked"},"insert":"\n"},{"attributes":{"bold":true},"insert":"b"},{"attributes":{"list":"unchecked"},"insert":"\n"}])",
        1, true,
        R"([{"insert":"Plan"},{"attributes":{"header":1},"insert":"\n"},{"insert":"a"},{"attributes":{"list":"checked"},"insert":"\n"},{"attributes":{"bold":true},"insert":"b"},{"attributes":{"list":"unchecked"},"insert":"\n"}])");
    row("untick-keeps-other-attributes",
        R"([{"insert":"a"},{"attributes":{"align":"center","list":"checked","x-custom":{"k":[1,2]}},"insert":"\n"}])",
        0, false,
        R"([{"insert":"a"},{"attributes":{"align":"center","list":"unchecked","x-custom":{"k":[1,2]}},"insert":"\n"}])");
    row("same-state-unchanged", R"([{"insert":"a"},{"attributes":{"list":"checked"},"insert":"\n"}])", 0, true,
        R"([{"insert":"a"},{"attributes":{"list":"checked"},"insert":"\n"}])");
    row("embeds-and-non-objects-do-not-count",
        R"([1,{"insert":{"divider":"hr"}},{"insert":"x\ny\n"},{"insert":"a"},{"attributes":{"list":"unchecked"},"insert":"\n"}])",
        2, true,
        R"([1,{"insert":{"divider":"hr"}},{"insert":"x\ny\n"},{"insert":"a"},{"attributes":{"list":"checked"},"insert":"\n"}])");
    row("line-end-inside-longer-insert", R"([{"insert":"a\nb\n","attributes":{"list":"unchecked"}}])", 1, true, "");
    row("line-not-found", R"([{"insert":"a"},{"attributes":{"list":"unchecked"},"insert":"\n"}])", 1, true, "");
    row("negative-line", R"([{"insert":"a"},{"attributes":{"list":"unchecked"},"insert":"\n"}])", -1, true, "");
    row("no-longer-a-checklist-line", R"([{"insert":"a"},{"attributes":{"header":2},"insert":"\n"}])", 0, true, "");
    row("plain-line", R"([{"insert":"a"},{"insert":"\n"}])", 0, true, "");
    row("attributes-not-an-object", R"([{"insert":"a"},{"attributes":"list","insert":"\n"}])", 0, true, "");
    row("plain-text-body", "- [ ] a\n", 0, true, "");
    row("object-body", R"({"insert":"\n"})", 0, true, "");
    row("empty-body", "", 0, true, "");
}

void TestTaskExtractor::setTaskCompletedRewritesOneLine()
{
    QFETCH(QString, body);
    QFETCH(int, line);
    QFETCH(bool, completed);
    QFETCH(QString, expected);
    QCOMPARE(setTaskCompleted(body, line, completed), expected);
}

void TestTaskExtractor::tickedTaskReadsBackCompletedWithSameId()
{
    const QString body = QStringLiteral(
        R"([{"insert":"intro\n"},{"insert":"- [ ] markdown\n"},{"insert":"pay rent"},{"attributes":{"list":"unchecked"},"insert":"\n"}])");
    const QList<Task> before = extractTasks(NoteId, body, {});
    QCOMPARE(before.size(), 2);
    const Task &checklist = before.at(1);
    QCOMPARE(checklist.source, TaskSource::Checklist);

    const QString ticked = setTaskCompleted(body, checklist.lineIndex, true);
    const QList<Task> after = extractTasks(NoteId, ticked, {});
    QCOMPARE(after.size(), 2);
    QVERIFY(after.at(1).isCompleted);
    QCOMPARE(after.at(1).id, checklist.id);
    QCOMPARE(describe(after.at(0)), describe(before.at(0)));

    // Markdown checkbox lines are read-only.
    QCOMPARE(setTaskCompleted(body, before.at(0).lineIndex, true), QString());
}

QTEST_GUILESS_MAIN(TestTaskExtractor)
#include "tst_taskextractor.moc"
