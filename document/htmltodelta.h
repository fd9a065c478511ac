#pragma once

#include <QJsonArray>
#include <QString>

class QTextDocument;

// Delta from pasted or imported HTML: headings, bullet and ordered lists, bold, italic,
// underline, strike-out, code, links, tables and images. Script, style and page chrome
// elements are dropped; no resource the HTML names is ever loaded. Empty input gives
// the empty note.
QJsonArray htmlToDelta(const QString &html);

// Delta from a document filled by Qt's HTML or Markdown reader: headings, lists and
// checklists with their ticks, block quotes, code blocks, inline formats, links, tables
// and images.
QJsonArray richTextToDelta(const QTextDocument &document);

// <li><input type="checkbox" checked> items as <li class="checked"> (and unchecked).
QString checkboxItemsAsClasses(const QString &html);

// The HTML without script, style, nav, header, footer, aside, iframe and noscript
// elements (each opening tag up to its first matching closing tag). Linear in the input.
QString stripHtmlChromeElements(const QString &html);

// Qt's HTML reader styles each element by walking all of its ancestors, so deep nesting
// costs quadratic time: opening tags beyond maxDepth open elements (and their closing
// tags) are dropped, their text kept. Optional end tags (li, td, p, ...) are understood.
QString limitHtmlNesting(const QString &html, int maxDepth);
inline constexpr int MaxHtmlDepth = 128;
