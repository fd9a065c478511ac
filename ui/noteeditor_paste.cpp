// Smart paste: Markdown and HTML arrive as Delta, so pasted text looks typed.

#include "noteeditor.h"

#include "deltadocument.h"
#include "htmltodelta.h"
#include "markdowntodelta.h"

#include <QJsonArray>
#include <QMimeData>
#include <QRegularExpression>
#include <QTextCursor>
#include <QTextDocument>

namespace {

const QString MarkdownMime = QStringLiteral("text/markdown");

const QRegularExpression &htmlDocumentStart()
{
    static const QRegularExpression re(QStringLiteral("^<(!doctype\\s+html|html\\b|body\\b|head\\b)"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}

const QRegularExpression &htmlElement()
{
    static const QRegularExpression re(
        QStringLiteral("<(p|div|span|h[1-6]|ul|ol|li|a|strong|em|b|i|table|tr|td|th|br|hr|img|pre|code|"
                       "blockquote|article|section|main|nav|header|footer|aside|figure|figcaption|dl|dt|dd)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}

const QList<QRegularExpression> &markdownPatterns()
{
    static const QList<QRegularExpression> patterns = [] {
        const auto multiLine = QRegularExpression::MultilineOption;
        return QList<QRegularExpression>{
            QRegularExpression(QStringLiteral("^\\s{0,3}#{1,6}\\s+\\S"), multiLine),
            QRegularExpression(QStringLiteral("^\\s{0,3}[-*+]\\s+\\S"), multiLine),
            QRegularExpression(QStringLiteral("^\\s{0,3}\\d+\\.\\s+\\S"), multiLine),
            QRegularExpression(QStringLiteral("^\\s{0,3}>\\s+\\S"), multiLine),
            QRegularExpression(QStringLiteral("^\\s{0,3}```"), multiLine),
            QRegularExpression(QStringLiteral("^\\s*\\|.*\\|\\s*$"), multiLine),
            QRegularExpression(QStringLiteral("\\[[^\\]]+\\]\\([^)]+\\)")),
            QRegularExpression(QStringLiteral("^\\s*[-=]{3,}\\s*$"), multiLine),
        };
    }();
    return patterns;
}

} // namespace

bool NoteEditor::looksLikeHtml(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || !trimmed.startsWith(QLatin1Char('<')))
        return false;
    return htmlDocumentStart().match(trimmed).hasMatch() || htmlElement().match(trimmed).hasMatch();
}

bool NoteEditor::looksLikeMarkdown(const QString &text)
{
    if (text.isEmpty())
        return false;
    const QList<QRegularExpression> &patterns = markdownPatterns();
    return std::any_of(patterns.cbegin(), patterns.cend(),
                       [&text](const QRegularExpression &re) { return re.match(text).hasMatch(); });
}

bool NoteEditor::canInsertFromMimeData(const QMimeData *source) const
{
    return source->hasFormat(MarkdownMime) || QTextEdit::canInsertFromMimeData(source);
}

void NoteEditor::insertFromMimeData(const QMimeData *source)
{
    if (isReadOnly() || m_large)
        return;
    qsizetype size = 0;
    if (source->hasFormat(MarkdownMime))
        size = source->data(MarkdownMime).size();
    else if (source->hasHtml())
        size = source->html().size();
    else if (source->hasText())
        size = source->text().size();
    if (!confirmLargePaste(size))
        return;
    if (source->hasFormat(MarkdownMime)) {
        insertDelta(markdownToDelta(QString::fromUtf8(source->data(MarkdownMime))));
        return;
    }
    if (source->hasHtml()) {
        insertDelta(htmlToDelta(source->html()));
        return;
    }
    if (source->hasText()) {
        const QString text = source->text();
        if (looksLikeHtml(text)) {
            insertDelta(htmlToDelta(text));
            return;
        }
        if (looksLikeMarkdown(text)) {
            insertDelta(markdownToDelta(text));
            return;
        }
    }
    QTextEdit::insertFromMimeData(source);
}

void NoteEditor::insertDelta(const QJsonArray &operations)
{
    if (operations.isEmpty())
        return;
    QTextCursor cursor = textCursor();
    DeltaDocument::insertDelta(cursor, operations);
    setTextCursor(cursor);
    ensureCursorVisible();
    updateFormatState();
}
