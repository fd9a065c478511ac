#pragma once

// Conversion pieces shared by the files of DeltaDocument and the HTML importer.

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

class QTextBlock;
class QTextCharFormat;
class QTextCursor;
class QTextTable;
struct TableData;

namespace DeltaFormat {

inline const QString InsertKey = QStringLiteral("insert");
inline const QString AttributesKey = QStringLiteral("attributes");

// Parsed preserved-attribute texts, so a run of equal formats parses its JSON once.
using PreservedCache = QHash<QString, QJsonObject>;

enum class InlineRules {
    Document, // preserved keys written back
    Html,     // foreign rich text: nothing preserved
};

QString compactJson(const QJsonObject &object);
QString compactJson(const QJsonArray &array);
QString firstKey(const QJsonObject &object);

// Text that the rich-text engine cannot hold inside one block made safe: a carriage
// return before a line end is dropped, other carriage returns and paragraph
// separators become line separators, frame markers are removed.
QString sanitizedText(const QString &text);

QTextCharFormat charFormatFromAttributes(const QJsonObject &attributes);
QJsonObject inlineAttributes(const QTextCharFormat &format, InlineRules rules,
                             PreservedCache *cache);
QJsonObject lineAttributes(const QTextBlock &block, PreservedCache *cache);

// Appends the text inserts of one fragment's text; embed characters are dropped.
void appendText(QJsonArray &out, const QString &text, const QJsonObject &attributes);

// Compact table JSON of a rich-text table; every cell is a Delta array.
QString tableToJson(QTextTable *table, bool hasHeader, InlineRules rules,
                    PreservedCache *cache);

// Fills a freshly inserted table from its data; the cursor ends inside the table.
void fillTable(QTextCursor &cursor, QTextTable *table, const TableData &data);

} // namespace DeltaFormat
