#include "samplenotes.h"

#include "database.h"
#include "iolog.h"
#include "note.h"
#include "noterepository.h"
#include "preferencesrepository.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUuid>

namespace {

const QString WelcomeSeenKey = QStringLiteral("has_seen_welcome");

Note newSampleNote(const QString &body, const QDateTime &time)
{
    Note note;
    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    note.body = body;
    note.createdAt = time;
    note.updatedAt = time;
    note.modifiedAt = time;
    note.version = 1;
    note.syncStatus = SyncStatus::Pending;
    note.isSample = true;
    return note;
}

struct LineStyle
{
    QJsonObject attributes;
    QString text;
};

LineStyle splitLineMarker(const QString &line)
{
    struct Prefix
    {
        QLatin1String marker;
        const char *key;
        QJsonValue value;
    };
    static const Prefix prefixes[] = {
        {QLatin1String("### "), "header", 3},
        {QLatin1String("## "), "header", 2},
        {QLatin1String("# "), "header", 1},
        {QLatin1String("- [ ] "), "list", QStringLiteral("unchecked")},
        {QLatin1String("- [x] "), "list", QStringLiteral("checked")},
        {QLatin1String("- [X] "), "list", QStringLiteral("checked")},
        {QLatin1String("- "), "list", QStringLiteral("bullet")},
        {QLatin1String("* "), "list", QStringLiteral("bullet")},
        {QLatin1String("> "), "blockquote", true},
    };
    for (const Prefix &prefix : prefixes) {
        if (line.startsWith(prefix.marker)) {
            LineStyle style;
            style.attributes.insert(QLatin1String(prefix.key), prefix.value);
            style.text = line.mid(prefix.marker.size());
            return style;
        }
    }

    static const QRegularExpression ordered(QStringLiteral("^\\s*(\\d+)\\.\\s+(.*)$"));
    const QRegularExpressionMatch match = ordered.match(line);
    if (match.hasMatch()) {
        LineStyle style;
        style.attributes.insert(QStringLiteral("list"), QStringLiteral("ordered"));
        style.text = match.captured(2);
        return style;
    }
    return {QJsonObject(), line};
}

void appendRun(QJsonArray &ops, QString &run, bool bold, bool italic)
{
    if (run.isEmpty())
        return;
    QJsonObject op;
    op.insert(QStringLiteral("insert"), run);
    QJsonObject attributes;
    if (bold)
        attributes.insert(QStringLiteral("bold"), true);
    if (italic)
        attributes.insert(QStringLiteral("italic"), true);
    if (!attributes.isEmpty())
        op.insert(QStringLiteral("attributes"), attributes);
    ops.append(op);
    run.clear();
}

// "**" toggles bold, a lone "*" italic; a marker left open runs to the line end.
void appendInlineRuns(QJsonArray &ops, const QString &text)
{
    bool bold = false;
    bool italic = false;
    QString run;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('*')) {
            run.append(text.at(i));
            continue;
        }
        appendRun(ops, run, bold, italic);
        if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('*')) {
            bold = !bold;
            ++i;
        } else {
            italic = !italic;
        }
    }
    appendRun(ops, run, bold, italic);
}

} // namespace

QString sampleMarkdownToDelta(const QString &markdown)
{
    QStringList lines = markdown.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    // A body always ends with a line end; text without lines becomes the empty note.
    if (lines.isEmpty())
        return Note::emptyBody();

    QJsonArray ops;
    for (const QString &line : std::as_const(lines)) {
        const LineStyle style = splitLineMarker(line);
        appendInlineRuns(ops, style.text);
        QJsonObject lineEnd;
        lineEnd.insert(QStringLiteral("insert"), QStringLiteral("\n"));
        if (!style.attributes.isEmpty())
            lineEnd.insert(QStringLiteral("attributes"), style.attributes);
        ops.append(lineEnd);
    }
    return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
}

bool createWelcomeNotes(NoteRepository &notes, PreferencesRepository &preferences)
{
    if (preferences.getBool(WelcomeSeenKey, false))
        return true;

    // The notes and the flag land together: a start killed half-way writes nothing, and
    // the next start writes all three once.
    Database *database = notes.database();
    if (!database || !database->beginTransaction()) {
        qCWarning(lcIo) << "Welcome notes not written: no transaction";
        return false;
    }
    // Spaced 100 ms apart so "Welcome to Ombrel Notes" is the newest and listed first.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QStringList bodies = welcomeNoteBodies();
    bool written = true;
    for (qsizetype i = 0; written && i < bodies.size(); ++i)
        written = notes.insert(newSampleNote(bodies.at(i), now.addMSecs(i * 100)));
    written = written && preferences.setBool(WelcomeSeenKey, true);
    if (!written) {
        database->rollback();
        qCWarning(lcIo) << "The welcome notes could not be written; the next start tries again";
        return false;
    }
    if (!database->commit()) {
        qCWarning(lcIo) << "The welcome notes could not be written; the next start tries again";
        return false;
    }
    return true;
}

int insertSampleNotes(NoteRepository &notes)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    int stored = 0;
    const QList<SampleNoteEntry> entries = sampleNoteEntries();
    for (const SampleNoteEntry &entry : entries) {
        // Maps the full 32-bit range evenly onto 0..11 without modulo bias.
        const quint32 r = QRandomGenerator::global()->generate();
        const qint64 hours = (qint64(r) * 12) >> 32;
        const QDateTime time = now.addDays(-entry.daysAgo).addSecs(-hours * 3600);
        if (notes.insert(newSampleNote(sampleMarkdownToDelta(entry.markdown), time)))
            ++stored;
    }
    qCInfo(lcIo) << "Inserted" << stored << "of" << entries.size() << "sample notes";
    return stored;
}
