#include "importcommon.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

namespace ImportCommon {

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString toCompactJson(const QJsonArray &operations)
{
    return QString::fromUtf8(QJsonDocument(operations).toJson(QJsonDocument::Compact));
}

} // namespace ImportCommon
