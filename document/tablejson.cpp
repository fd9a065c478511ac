#include "tablejson.h"

#include "documentlog.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

int TableData::rowCount() const
{
    return int(cells.size());
}

int TableData::columnCount() const
{
    qsizetype columns = 0;
    for (const QList<QJsonValue> &row : cells)
        columns = qMax(columns, row.size());
    return int(columns);
}

bool TableData::isEmpty() const
{
    return rowCount() == 0 || columnCount() == 0;
}

TableData tableDataFromJsonObject(const QJsonObject &object)
{
    TableData table;
    table.hasHeader = object.value(QLatin1String("hasHeader")).toBool(true);
    const QJsonArray rows = object.value(QLatin1String("cells")).toArray();

    qsizetype columns = 0;
    for (const QJsonValue &row : rows)
        columns = qMax(columns, row.toArray().size());
    if (rows.isEmpty() || columns == 0)
        return table;
    if (rows.size() > MaxTableCells / columns) {
        qCWarning(lcDocument) << "Table of" << rows.size() << "x" << columns << "cells refused";
        return table;
    }

    table.cells.reserve(rows.size());
    for (const QJsonValue &rowValue : rows) {
        const QJsonArray row = rowValue.toArray();
        QList<QJsonValue> cells;
        cells.reserve(columns);
        for (const QJsonValue &cell : row) {
            if (cell.isString() || cell.isArray())
                cells.append(cell);
            else
                cells.append(QString());
        }
        while (cells.size() < columns)
            cells.append(QString());
        table.cells.append(cells);
    }
    return table;
}

TableData parseTableJson(const QString &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {};
    return tableDataFromJsonObject(document.object());
}

QString tableDataToJson(const TableData &table)
{
    QJsonArray rows;
    for (const QList<QJsonValue> &row : table.cells) {
        QJsonArray cells;
        for (const QJsonValue &cell : row)
            cells.append(cell);
        rows.append(cells);
    }
    QJsonObject object;
    object.insert(QLatin1String("cells"), rows);
    object.insert(QLatin1String("hasHeader"), table.hasHeader);
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString tableCellPlainText(const QJsonValue &cell)
{
    if (cell.isString())
        return cell.toString();
    QString text;
    const QJsonArray operations = cell.toArray();
    for (const QJsonValue &operation : operations) {
        const QJsonValue insert = operation.toObject().value(QLatin1String("insert"));
        if (insert.isString())
            text += insert.toString();
    }
    return text;
}

QJsonArray tableCellOperations(const QJsonValue &cell)
{
    QJsonArray result;
    if (cell.isString()) {
        if (!cell.toString().isEmpty())
            result.append(QJsonObject{{QLatin1String("insert"), cell}});
        return result;
    }
    const QJsonArray operations = cell.toArray();
    for (const QJsonValue &operation : operations) {
        if (operation.isObject() && operation.toObject().value(QLatin1String("insert")).isString())
            result.append(operation);
    }
    return result;
}
