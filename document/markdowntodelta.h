#pragma once

#include <QJsonArray>
#include <QString>

// Delta from Markdown (GitHub dialect: headings, lists, emphasis, strike-out, links,
// code, tables, images). Empty input gives the empty note; no resource is loaded.
QJsonArray markdownToDelta(const QString &markdown);
