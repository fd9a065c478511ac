#pragma once

#include <QString>

#include <optional>

// A fast reader for the plain Markdown most notes consist of: paragraphs, ATX headings,
// flat bullet and numbered lists, bold, italic, strike-out, inline code, links and
// images. It gives exactly the compact JSON of what markdownToDelta gives for such text,
// written directly, without building two rich-text documents and a JSON tree per note;
// for anything else (quotes, code blocks, tables, nesting, HTML, escapes, autolinks...)
// it returns nothing and the caller takes the full converter.
std::optional<QString> simpleMarkdownToDeltaJson(const QString &markdown);
