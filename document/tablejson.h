#pragma once

#include <QJsonArray>
#include <QJsonValue>
#include <QList>
#include <QString>

class QJsonObject;

// The table carried as the string value of a "table" embed.
struct TableData {
    QList<QList<QJsonValue>> cells; // rows of cells; each cell a JSON string or a Delta array of text inserts; rows padded to columnCount()
    bool hasHeader = true;

    int rowCount() const;
    int columnCount() const;
    bool isEmpty() const; // no rows or no columns
};

// Tables beyond this many cells (rows x longest row) are refused: padding and laying
// out such a grid would exhaust memory long before anyone could read it.
inline constexpr qsizetype MaxTableCells = 100000;

// {"cells":[["a",[{"insert":"b","attributes":{"bold":true}}]]],"hasHeader":true}
// Malformed or oversized text gives an empty TableData; a cell that is neither a string
// nor an array reads as the empty string.
TableData parseTableJson(const QString &json);
TableData tableDataFromJsonObject(const QJsonObject &object);
QString tableDataToJson(const TableData &table); // compact JSON

// The text of one cell: a string cell as is, an array cell as the concatenation of its
// text inserts (paragraphs separated by "\n").
QString tableCellPlainText(const QJsonValue &cell);

// The text inserts of one cell as a Delta array: a non-empty string cell becomes one
// insert, an array cell keeps its object elements whose "insert" is a string.
QJsonArray tableCellOperations(const QJsonValue &cell);
