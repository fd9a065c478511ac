#pragma once

#include "iorepositories.h"

#include <QDateTime>
#include <QHash>
#include <QString>

// One ".md" entry of a Joplin export: the body with its trailing "key: value" metadata.
struct JoplinItem
{
    QString id;
    QString title;
    QString parentId;
    int type = 0;           // 1 note, 2 folder, 4 resource
    int markupLanguage = 1; // 2 = the body is HTML
    QDateTime createdTime;
    QDateTime updatedTime;
    QString mime;
    QString fileExtension;
    QString body;
};

// Empty gives an invalid date; then ISO 8601 with or without milliseconds (UTC when no
// zone is given); then milliseconds since the epoch.
QDateTime parseJoplinDate(const QString &text);
// The item of one ".md" entry, with the body's repeated title lines removed.
JoplinItem parseJoplinItem(const QString &text);

// Imports a Joplin .jex archive (a tar of Markdown items and resource files).
ImportResult importJex(const QString &path, const IoRepositories &repositories, const IoProgress &progress);
