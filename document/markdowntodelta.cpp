#include "markdowntodelta.h"

#include "htmlsafedocument.h"
#include "htmltags_p.h"
#include "htmltodelta.h"

#include <QJsonObject>
#include <QTextCursor>

#include <array>

namespace {

bool isFence(QStringView line)
{
    const QStringView trimmed = line.trimmed();
    return trimmed.startsWith(QLatin1String("```")) || trimmed.startsWith(QLatin1String("~~~"));
}

QString selfCloseLine(QStringView line)
{
    QString result;
    qsizetype copied = 0;
    qsizetype position = 0;
    while (true) {
        const qsizetype open = line.indexOf(QLatin1Char('<'), position);
        if (open < 0)
            break;
        position = open + 1;
        for (const QLatin1String &name : HtmlTags::voidElements) {
            const qsizetype after = open + 1 + name.size();
            if (after >= line.size()
                || line.mid(open + 1, name.size()).compare(name, Qt::CaseInsensitive) != 0)
                continue;
            const QChar next = line.at(after);
            if (next != QLatin1Char('>') && next != QLatin1Char('/') && !next.isSpace())
                continue;
            const qsizetype end = HtmlTags::tagEnd(line, open);
            if (end < 0 || line.at(end - 1) == QLatin1Char('/'))
                break;
            result += line.mid(copied, end - copied);
            result += QLatin1String(" /");
            copied = end;
            position = end + 1;
            break;
        }
    }
    if (copied == 0)
        return line.toString();
    result += line.mid(copied);
    return result;
}

// Qt's Markdown reader waits for the closing tag of any raw HTML element it meets, so an
// unclosed void element such as <br> or <img src=...> swallows the rest of the text.
// Writing them self-closed (outside fenced code) keeps that text.
QString selfCloseVoidElements(const QString &markdown)
{
    if (!markdown.contains(QLatin1Char('<')))
        return markdown;
    QString result;
    result.reserve(markdown.size() + 64);
    bool inFence = false;
    qsizetype start = 0;
    while (start <= markdown.size()) {
        qsizetype end = markdown.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = markdown.size();
        const QStringView line = QStringView(markdown).mid(start, end - start);
        if (isFence(line))
            inFence = !inFence;
        if (inFence || !line.contains(QLatin1Char('<')))
            result += line;
        else
            result += selfCloseLine(line);
        if (end < markdown.size())
            result += QLatin1Char('\n');
        start = end + 1;
    }
    return result;
}

} // namespace

QJsonArray markdownToDelta(const QString &markdown)
{
    if (markdown.trimmed().isEmpty())
        return QJsonArray{QJsonObject{{QStringLiteral("insert"), QStringLiteral("\n")}}};
    HtmlSafeDocument document;
    document.setUndoRedoEnabled(false);
    // GitHub dialect (tables, strike-out, task lists, autolinks); raw HTML goes through
    // the same resource-free import as pasted HTML.
    // Outside an edit block the reader lays out the growing paragraph after every
    // insertion, which is quadratic in its length; inside one, layout waits until the end.
    QTextCursor editBlock(&document);
    editBlock.beginEditBlock();
    document.setMarkdown(selfCloseVoidElements(markdown), QTextDocument::MarkdownDialectGitHub);
    editBlock.endEditBlock();
    // Read straight from the document: a detour through HTML would lose the quote levels
    // and code fences the reader sets on its blocks.
    return richTextToDelta(document);
}
