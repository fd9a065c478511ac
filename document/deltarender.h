#pragma once

#include <QString>

class QJsonArray;

// Renders stored note bodies as plain text, Markdown or HTML straight from the operation
// list, without building a rich-text document: copy-as actions, export and printing use
// these, so they show exactly what is stored.

// Format codes accepted by renderDelta; any other code renders plain text.
enum RenderFormat : int {
    RenderMarkdown = 0,
    RenderHtml = 1,
    RenderHtmlForPdf = 2,
    RenderPlainText = 3,
};

// An empty body gives the empty string; a body that is not a JSON array comes back unchanged.
QString renderDelta(const QString &body, int format);

QString deltaToPlainText(const QJsonArray &operations);
QString deltaToMarkdown(const QJsonArray &operations);
QString deltaToHtml(const QJsonArray &operations);

// Given the string value of a "table" embed; invalid or empty tables render as "".
QString tableToHtml(const QString &tableJson);
QString tableToMarkdown(const QString &tableJson);
