#include "markdowntodelta.h"
#include "tablejson.h"
#include "testsupport.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QUrl>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <sys/types.h>
#endif

namespace {

QString compact(const QJsonArray &array)
{
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

int s_requests = 0;

} // namespace

class TstMarkdownToDelta : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void convertsStructure_data();
    void convertsStructure();
    void tablesBecomeTableEmbeds();
    void resourcesAreNeverLoaded_data();
    void resourcesAreNeverLoaded();
    void hostileMarkdownConverts_data();
    void hostileMarkdownConverts();
};

// moc's preprocessor trips over raw string literals in macro arguments.
#ifndef Q_MOC_RUN

void TstMarkdownToDelta::initTestCase()
{
    OmbrelTest::initTestEnvironment();
    QTextDocument::setDefaultResourceProvider([](const QUrl &) {
        ++s_requests;
        return QVariant();
    });
}

void TstMarkdownToDelta::cleanupTestCase()
{
    QTextDocument::setDefaultResourceProvider(nullptr);
}

void TstMarkdownToDelta::convertsStructure_data()
{
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<QString>("delta");

    QTest::newRow("empty") << "" << R"([{"insert":"\n"}])";
    QTest::newRow("blank-lines") << "\n \n\t\n" << R"([{"insert":"\n"}])";
    QTest::newRow("headings")
        << "# One\n\n### Three\n"
        << R"([{"attributes":{"bold":true},"insert":"One"},{"attributes":{"header":1},"insert":"\n"},{"attributes":{"bold":true},"insert":"Three"},{"attributes":{"header":3},"insert":"\n"}])";
    QTest::newRow("emphasis")
        << "*em* **strong** ~~gone~~ `code`\n"
        << R"([{"attributes":{"italic":true},"insert":"em"},{"insert":" "},{"attributes":{"bold":true},"insert":"strong"},{"insert":" "},)"
           R"({"attributes":{"strike":true},"insert":"gone"},{"insert":" "},{"attributes":{"code":true},"insert":"code"},{"insert":"\n"}])";
    QTest::newRow("link")
        << "[site](https://example.com/x)\n"
        << R"([{"attributes":{"link":"https://example.com/x"},"insert":"site"},{"insert":"\n"}])";
    QTest::newRow("lists")
        << "- a\n- b\n\n1. x\n2. y\n"
        << R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"b"},{"attributes":{"list":"bullet"},"insert":"\n"},)"
           R"({"insert":"x"},{"attributes":{"list":"ordered"},"insert":"\n"},{"insert":"y"},{"attributes":{"list":"ordered"},"insert":"\n"}])";
    QTest::newRow("raw-void-elements-keep-text")
        << "a<br>b <img src=\"ombrel-notes://attachment/i\"> c\n\n<hr>\n\nafter\n"
        << QString::fromUtf8(R"([{"insert":"a)") + QChar::LineSeparator
               + QString::fromUtf8(R"(b "},{"insert":{"ombrel-notes-attachment":"ombrel-notes://attachment/i"}},{"insert":" c"},{"insert":"\n"},{"insert":"\n"},{"insert":"after"},{"insert":"\n"}])");
    QTest::newRow("fenced-code-left-alone")
        << "```\n<br>\n```\n"
        << R"([{"attributes":{"code":true},"insert":"<br>"},{"attributes":{"code-block":true},"insert":"\n"}])";
    QTest::newRow("fenced-code-with-language")
        << "```cpp\nint a;\nint b;\n```\n\nafter\n"
        << R"([{"attributes":{"code":true},"insert":"int a;"},{"attributes":{"code-block":"cpp"},"insert":"\n"},)"
           R"({"attributes":{"code":true},"insert":"int b;"},{"attributes":{"code-block":"cpp"},"insert":"\n"},{"insert":"after"},{"insert":"\n"}])";
    QTest::newRow("indented-code")
        << "text\n\n    x = 1\n"
        << R"([{"insert":"text"},{"insert":"\n"},{"attributes":{"code":true},"insert":"x = 1"},{"attributes":{"code-block":true},"insert":"\n"}])";
    QTest::newRow("task-list-keeps-ticks")
        << "- [x] done\n- [ ] todo\n- plain\n"
        << R"([{"insert":"done"},{"attributes":{"list":"checked"},"insert":"\n"},{"insert":"todo"},{"attributes":{"list":"unchecked"},"insert":"\n"},{"insert":"plain"},{"attributes":{"list":"bullet"},"insert":"\n"}])";
    QTest::newRow("block-quote")
        << "> quoted\n\n> second\n\nafter\n"
        << R"([{"insert":"quoted"},{"attributes":{"blockquote":true},"insert":"\n"},{"insert":"second"},{"attributes":{"blockquote":true},"insert":"\n"},{"insert":"after"},{"insert":"\n"}])";
    QTest::newRow("images")
        << "![a](ombrel-notes://attachment/id1) ![b](https://example.com/b.png)\n"
        << R"([{"insert":{"ombrel-notes-attachment":"ombrel-notes://attachment/id1"}},{"insert":" "},{"insert":{"image":"https://example.com/b.png"}},{"insert":"\n"}])";
}

void TstMarkdownToDelta::convertsStructure()
{
    QFETCH(QString, markdown);
    QFETCH(QString, delta);
    QCOMPARE(compact(markdownToDelta(markdown)), delta);
}

void TstMarkdownToDelta::tablesBecomeTableEmbeds()
{
    const QJsonArray delta = markdownToDelta("| A | B |\n|---|---|\n| 1 | **2** |\n| 3 |\n");
    QString tableJson;
    for (const QJsonValue &value : delta) {
        const QJsonValue insert = value.toObject().value(QStringLiteral("insert"));
        if (insert.isObject())
            tableJson = insert.toObject().value(QStringLiteral("table")).toString();
    }
    const TableData table = parseTableJson(tableJson);
    QCOMPARE(table.rowCount(), 3);
    QCOMPARE(table.columnCount(), 2);
    QCOMPARE(tableCellPlainText(table.cells[0][0]), QStringLiteral("A"));
    QCOMPARE(tableCellPlainText(table.cells[1][1]), QStringLiteral("2"));
    QCOMPARE(tableCellOperations(table.cells[1][1]).at(0).toObject().value(QStringLiteral("attributes")).toObject(),
             QJsonObject({{QStringLiteral("bold"), true}}));
}

void TstMarkdownToDelta::resourcesAreNeverLoaded_data()
{
    QTest::addColumn<QString>("markdownTemplate"); // %1: a local directory URL

    QTest::newRow("image-local-file") << "x ![i](%1/secret.txt)\n";
    QTest::newRow("image-fifo") << "x ![i](%1/fifo)\n";
    QTest::newRow("image-dev-zero") << "x ![i](/dev/zero) ![j](file:///dev/zero)\n";
    QTest::newRow("html-img") << "x <img src=\"%1/fifo\">\n";
    QTest::newRow("html-block-stylesheet") << "<link rel=\"stylesheet\" href=\"%1/fifo\">\n\nx\n";
    QTest::newRow("html-block-img") << "<div><img src=\"%1/secret.txt\"></div>\n\nx\n";
}

void TstMarkdownToDelta::resourcesAreNeverLoaded()
{
    QFETCH(QString, markdownTemplate);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile secret(dir.filePath(QStringLiteral("secret.txt")));
    QVERIFY(secret.open(QIODevice::WriteOnly));
    secret.write("SECRET-CONTENT");
    secret.close();
#ifdef Q_OS_UNIX
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600), 0);
#endif
    s_requests = 0;
    const QString markdown = QString(markdownTemplate).replace(QLatin1String("%1"), QUrl::fromLocalFile(dir.path()).toString());
    const QString delta = compact(markdownToDelta(markdown));
    QVERIFY(!delta.contains(QLatin1String("SECRET")));
    QVERIFY(delta.contains(QLatin1String("\"x")));
    QCOMPARE(s_requests, 0);
}

void TstMarkdownToDelta::hostileMarkdownConverts_data()
{
    QTest::addColumn<QString>("markdown");

    QTest::newRow("deep-quotes") << QString(20000, QLatin1Char('>')) + QStringLiteral(" x\n");
    QTest::newRow("deep-lists") << [] {
        QString text;
        for (int i = 0; i < 500; ++i)
            text += QString(i * 2, QLatin1Char(' ')) + QStringLiteral("- item\n");
        return text;
    }();
    QTest::newRow("many-emphasis") << QStringLiteral("*a **b ").repeated(20000);
    QTest::newRow("many-brackets") << QString(50000, QLatin1Char('[')) + QString(50000, QLatin1Char(']'));
    QTest::newRow("long-paragraph") << QStringLiteral("lorem ipsum dolor sit amet\n").repeated(20000);
    QTest::newRow("long-table") << QStringLiteral("|a|b|\n|-|-|\n") + QStringLiteral("|1|2|\n").repeated(2000);
}

void TstMarkdownToDelta::hostileMarkdownConverts()
{
    QFETCH(QString, markdown);
    const QJsonArray delta = markdownToDelta(markdown);
    QVERIFY(!delta.isEmpty());
    QCOMPARE(delta.last().toObject().value(QStringLiteral("insert")).toString(), QStringLiteral("\n"));
}

#endif // Q_MOC_RUN

QTEST_MAIN(TstMarkdownToDelta)
#include "tst_markdowntodelta.moc"
