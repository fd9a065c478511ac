#pragma once

#include <QJsonArray>
#include <QString>

#include <optional>

// A fast reader for the plain Markdown most notes consist of: paragraphs, ATX headings,
// flat bullet and numbered lists, bold, italic, strike-out, inline code, links and
// images. It gives exactly what markdownToDelta gives for such text, without building
// two rich-text documents per note; for anything else (quotes, code blocks, tables,
// nesting, HTML, escapes, autolinks...) it returns nothing and the caller takes the
// full converter.
std::optional<QJsonArray> simpleMarkdownToDelta(const QString &markdown);
