#include "backupnotefile.h"
#include "testsupport.h"

#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTest>

namespace {

QString describe(const std::optional<Note> &note)
{
    if (!note)
        return QStringLiteral("<none>");
    const auto iso = [](const QDateTime &value) {
        return value.isValid() ? value.toUTC().toString(Qt::ISODateWithMs) : QStringLiteral("-");
    };
    return QStringList{note->id, note->notebookId, note->body, iso(note->createdAt), iso(note->updatedAt),
                       iso(note->modifiedAt), note->deletedAt ? iso(*note->deletedAt) : QStringLiteral("live"),
                       QString::number(note->version)}
        .join(QLatin1Char('|'));
}

std::optional<Note> generalParser(const QByteArray &json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    return BackupNoteFile::fromObject(document.object());
}

} // namespace

// The strict note-file reader gives what the general JSON parser gives, or leaves the
// file to it.
class TestBackupNoteFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void readsLikeTheGeneralParser_data();
    void readsLikeTheGeneralParser();
    void mutatedFilesReadLikeTheGeneralParser();
};

void TestBackupNoteFile::readsLikeTheGeneralParser_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("strict"); // whether the strict reader must answer
    const QByteArray dates = R"("createdAt": "2024-01-02T03:04:05.678Z", "updatedAt": "2024-02-02T03:04:05Z", )"
                             R"("modifiedAt": "2024-03-02T03:04:05.000Z")";
    const auto row = [&](const char *name, const QByteArray &json, bool strict) { QTest::newRow(name) << json << strict; };
    row("as-written", "{\n    \"id\": \"n1\",\n    \"notebookId\": \"b1\",\n    \"body\": \"[{\\\"insert\\\":\\\"Hi\\\\n\\\"}]\",\n    "
                      + dates + ",\n    \"deletedAt\": \"\",\n    \"version\": 7\n}\n",
        true);
    row("trashed", R"({"id":"n1","deletedAt":"2024-05-01T00:00:00.001Z",)" + dates + "}", true);
    row("escapes", R"({"id":"n1","body":"q\"uote\\ \/ \b\f\n\r\t caf\u00e9 \uD83D\uDE00"})", true);
    row("raw-utf8", "{\"id\":\"n1\",\"body\":\"Größe ✈ 😀\"}", true);
    row("keys-in-any-order-unknown-keys", R"({"extra":"x","version":3,"n":-12,"id":"n1"})", true);
    row("no-version", R"({"id":"n1"})", true);
    row("negative-version", R"({"id":"n1","version":-4})", true);
    row("empty-object", "{}", true);
    row("unreadable-dates", R"({"id":"n1","createdAt":"yesterday","deletedAt":"soon"})", true);
    row("whitespace", " \r\n\t{ \"id\" :\t\"n1\" , \"version\" : 2 }\n ", true);
    row("version-fraction", R"({"id":"n1","version":2.5})", false);
    row("version-exponent", R"({"id":"n1","version":2e1})", false);
    row("version-string", R"({"id":"n1","version":"3"})", false);
    row("version-huge", R"({"id":"n1","version":123456789012345})", false);
    row("id-number", R"({"id":5})", false);
    row("deleted-null", R"({"id":"n1","deletedAt":null})", false);
    row("nested-unknown", R"({"id":"n1","x":{"a":[1]}})", false);
    row("duplicate-id", R"({"id":"n1","id":"n2"})", false);
    row("escaped-key", R"({"i\u0064":"n1"})", false);
    row("nul-escape", R"({"id":"n1","body":"a\u0000b"})", false);
    row("lone-surrogate", R"({"id":"n1","body":"\ud800"})", false);
    row("control-character", "{\"id\":\"n1\",\"body\":\"a\x01" "b\"}", false);
    row("invalid-utf8-body", "{\"id\":\"n1\",\"body\":\"a\xff\xfe" "b\"}", false);
    row("invalid-utf8-unknown", "{\"id\":\"n1\",\"x\":\"\xc3\"}", false);
    row("invalid-utf8-key", "{\"id\":\"n1\",\"\xc3\":\"x\"}", false);
    row("leading-zero", R"({"id":"n1","version":03})", false);
    row("trailing-garbage", R"({"id":"n1"} x)", false);
    row("trailing-comma", R"({"id":"n1",})", false);
    row("truncated", R"({"id":"n1","body":"ab)", false);
    row("array", R"([{"id":"n1"}])", false);
    row("empty-file", "", false);
    row("bom", "\xef\xbb\xbf{\"id\":\"n1\"}", false);
}

void TestBackupNoteFile::readsLikeTheGeneralParser()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, strict);
    const std::optional<Note> fast = BackupNoteFile::readStrict(json);
    QCOMPARE(fast.has_value(), strict);
    const QString expected = describe(generalParser(json));
    if (fast)
        QCOMPARE(describe(fast), expected);
    QCOMPARE(describe(BackupNoteFile::read(json)), expected);
}

// Random damage to a typical file, in the characters JSON turns on.
void TestBackupNoteFile::mutatedFilesReadLikeTheGeneralParser()
{
    const QByteArray seed = R"({"id": "n1", "notebookId": "", "body": "[{\"insert\":\"Caf\u00e9 \\u0041\\n\"}]", )"
                            R"("createdAt": "2024-01-02T03:04:05.678Z", "deletedAt": "", "version": 12})";
    QVERIFY(BackupNoteFile::readStrict(seed));
    static const char alphabet[] = "{}[]\",:\\u0123456789abcdefDdEe.-+ \n\t\x01\xc3\xa9\xff";
    QRandomGenerator random(1208);
    int strictAnswers = 0;
    for (int round = 0; round < 20000; ++round) {
        QByteArray json = seed;
        for (int edits = 1 + random.bounded(3); edits > 0; --edits) {
            const int at = random.bounded(int(json.size()) + 1);
            const char c = alphabet[random.bounded(int(sizeof alphabet) - 1)];
            switch (random.bounded(3)) {
            case 0: json.insert(at, c); break;
            case 1: if (at < json.size()) json[at] = c; break;
            default: json.remove(at, 1 + random.bounded(2)); break;
            }
        }
        const std::optional<Note> fast = BackupNoteFile::readStrict(json);
        if (!fast)
            continue;
        ++strictAnswers;
        QVERIFY2(describe(fast) == describe(generalParser(json)), json.constData());
    }
    QVERIFY(strictAnswers > 1000);
}

QTEST_GUILESS_MAIN(TestBackupNoteFile)
#include "tst_backupnotefile.moc"
