#include "taskextractor.h"
#include "taskextractor_p.h"

#include "documentlog.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>

#include <limits>

namespace {

QRegularExpressionMatch matchLine(const QRegularExpression &expression, QStringView line)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    return expression.matchView(line);
#else
    return expression.match(line);
#endif
}

qint32 clampToInt32(qint64 value)
{
    return qint32(qMin<qint64>(value, std::numeric_limits<qint32>::max()));
}

// Collects the tasks of one body as its inserts arrive.
class TaskCollector final : public TaskScan::Sink
{
public:
    TaskCollector(const QString &noteId, const QDateTime &noteUpdatedAt)
        : m_noteId(noteId)
        , m_noteUpdatedAt(noteUpdatedAt)
    {
    }

    QList<Task> tasks;

    void text(QStringView text, QStringView list) override
    {
        qsizetype from = 0;
        for (;;) {
            const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'), from);
            if (lineEnd < 0) {
                m_line.append(text.mid(from));
                m_counter += text.size() - from;
                return;
            }
            m_line.append(text.mid(from, lineEnd - from));
            m_counter += lineEnd - from;
            endLine(list);
            ++m_counter;
            from = lineEnd + 1;
        }
    }

    void embed() override { ++m_counter; }

private:
    void endLine(QStringView list)
    {
        const QStringView line = QStringView(m_line).trimmed();
        if (!line.isEmpty()) {
            if (list == u"checked" || list == u"unchecked")
                add(line.toString(), list == u"checked", TaskSource::Checklist);
            else
                matchText(line);
        }
        m_line.resize(0);
        ++m_lineIndex;
    }

    void matchText(QStringView line)
    {
        static const QRegularExpression checkedBox(QStringLiteral("^-\\s*\\[x\\]\\s*(.+)"),
                                                   QRegularExpression::CaseInsensitiveOption);
        static const QRegularExpression openBox(QStringLiteral("^-\\s*\\[\\s*\\]\\s*(.+)"));
        static const QRegularExpression todo(QStringLiteral("^TODO:\\s*(.+)"),
                                             QRegularExpression::CaseInsensitiveOption);

        // All three expressions are anchored on a fixed first character; most lines
        // are ruled out without running one.
        const QChar first = line.front();
        if (first == QLatin1Char('-')) {
            QRegularExpressionMatch match = matchLine(checkedBox, line);
            if (match.hasMatch()) {
                add(match.captured(1).trimmed(), true, TaskSource::MarkdownCheckbox);
                return;
            }
            match = matchLine(openBox, line);
            if (match.hasMatch())
                add(match.captured(1).trimmed(), false, TaskSource::MarkdownCheckbox);
        } else if (first == QLatin1Char('t') || first == QLatin1Char('T')) {
            const QRegularExpressionMatch match = matchLine(todo, line);
            if (match.hasMatch())
                add(match.captured(1).trimmed(), false, TaskSource::TodoPrefix);
        }
    }

    void add(const QString &text, bool completed, TaskSource source)
    {
        if (text.isEmpty())
            return;
        if (!m_now.isValid())
            m_now = QDateTime::currentDateTimeUtc();
        Task task;
        task.lineIndex = clampToInt32(m_lineIndex);
        task.id = taskId(m_noteId, task.lineIndex, text);
        task.noteId = m_noteId;
        task.text = text;
        task.isCompleted = completed;
        task.source = source;
        task.charOffset = clampToInt32(m_counter - m_line.size());
        task.extractedAt = m_now;
        task.noteUpdatedAt = m_noteUpdatedAt;
        tasks.append(task);
    }

    const QString &m_noteId;
    const QDateTime m_noteUpdatedAt;
    QDateTime m_now;
    QString m_line;
    qint64 m_counter = 0;
    qint64 m_lineIndex = 0;
};

} // namespace

QString taskId(const QString &noteId, int lineIndex, const QString &text)
{
    const QByteArray digest = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5);
    return noteId + QLatin1Char('_') + QString::number(lineIndex) + QLatin1Char('_')
        + QString::fromLatin1(digest.left(4).toHex());
}

QList<Task> extractTasks(const QString &noteId, const QString &body, const QDateTime &noteUpdatedAt)
{
    if (body.isEmpty())
        return {};
    {
        TaskCollector collector(noteId, noteUpdatedAt);
        switch (TaskScan::scanDelta(body, collector)) {
        case TaskScan::ScanResult::Complete:
            return std::move(collector.tasks);
        case TaskScan::ScanResult::NotAnArray:
            return {};
        case TaskScan::ScanResult::Undecided:
            break;
        }
    }
    return extractTasksByFullParse(noteId, body, noteUpdatedAt);
}

QList<Task> extractTasksByFullParse(const QString &noteId, const QString &body,
                                    const QDateTime &noteUpdatedAt)
{
    TaskCollector collector(noteId, noteUpdatedAt);
    if (!TaskScan::walkDelta(body, collector))
        return {};
    return std::move(collector.tasks);
}

QString setTaskCompleted(const QString &body, int lineIndex, bool completed)
{
    if (lineIndex < 0)
        return QString();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return QString();

    QJsonArray operations = document.array();
    qint64 lineEnds = 0;
    for (qsizetype i = 0; i < operations.size(); ++i) {
        const QJsonValue value = operations.at(i);
        if (!value.isObject())
            continue;
        QJsonObject operation = value.toObject();
        const QJsonValue insert = operation.value(QLatin1String("insert"));
        if (!insert.isString())
            continue;
        const QString text = insert.toString();
        const qsizetype count = text.count(QLatin1Char('\n'));
        if (lineEnds + count <= lineIndex) {
            lineEnds += count;
            continue;
        }
        if (text != QLatin1String("\n"))
            return QString();

        QJsonObject attributes = operation.value(QLatin1String("attributes")).toObject();
        // The index comes from an earlier extraction; if the note has changed since and
        // the line is no checklist item any more, ticking it would turn a heading or a
        // paragraph into a list item.
        const QString list = attributes.value(QLatin1String("list")).toString();
        if (list != QLatin1String("checked") && list != QLatin1String("unchecked")) {
            qCDebug(lcDocument) << "Line" << lineIndex << "is no checklist item; left unchanged";
            return QString();
        }
        attributes.insert(QLatin1String("list"),
                          completed ? QLatin1String("checked") : QLatin1String("unchecked"));
        operation.insert(QLatin1String("attributes"), attributes);
        operations.replace(i, operation);
        return QString::fromUtf8(QJsonDocument(operations).toJson(QJsonDocument::Compact));
    }
    return QString();
}
