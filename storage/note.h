#pragma once

#include "syncstatus.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <optional>

// One row of the notes table.
struct Note
{
    QString id;
    QString notebookId;            // empty = in no notebook
    QString body;                  // Delta JSON
    QDateTime createdAt;
    QDateTime updatedAt;
    QDateTime modifiedAt;
    std::optional<QDateTime> deletedAt; // set = in the trash
    int version = 1;
    int opVersion = 0;
    SyncStatus syncStatus = SyncStatus::Pending;
    bool isSample = false;
    QString ownerId;               // empty = owned by the local user
    bool isShared = false;
    QString permission;

    // Derived from body on demand.
    QString plainText() const;
    QString title() const;
    QString preview() const;
    bool isEmpty() const;

    static QString emptyBody();
};

// One row of the notebooks table.
struct Notebook
{
    QString id;
    QString name;
    bool isDefault = false;
    bool isShared = false;
    QString ownerId;
    QDateTime createdAt;
    QDateTime updatedAt;
    std::optional<QDateTime> deletedAt;
    int version = 1;
    SyncStatus syncStatus = SyncStatus::Pending;
};

// Derived values of a body, shared by Note and by callers holding only a body.
namespace NoteText {
QString plainText(const QString &body);
QString title(const QString &plainText);
QString preview(const QString &plainText);
bool isEmptyBody(const QString &body);
}

Q_DECLARE_METATYPE(Note)
Q_DECLARE_METATYPE(Notebook)
