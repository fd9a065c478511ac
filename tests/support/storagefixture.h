#pragma once

#include "database.h"
#include "note.h"
#include "noterepository.h"
#include "syncstatus.h"
#include "testsupport.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

struct Attachment;
struct NoteListEntry;

// Readable SyncStatus values in failed comparisons. Global, next to the enum, so that
// QCOMPARE finds it by argument-dependent lookup.
char *toString(SyncStatus status);

namespace OmbrelTest {

// A fresh data directory holding a database opened at databasePath() and migrated.
// Members are destroyed in reverse order, so the connection closes before the
// directory goes.
struct MigratedDatabase
{
    MigratedDatabase();
    MigratedDatabase(const MigratedDatabase &) = delete;
    MigratedDatabase &operator=(const MigratedDatabase &) = delete;

    bool isReady() const { return m_failure.isEmpty(); }
    // Why the fixture is not ready, for QVERIFY2.
    QString failure() const { return m_failure; }

    // The first column of the first row; on failure a text saying why, so that a
    // comparison shows it.
    QVariant rawValue(const QString &sql, const QVariantList &binds = {}) const;
    bool rawExec(const QString &sql, const QVariantList &binds = {}) const;

    ScopedDataDir dataDir;
    Database database;

private:
    QString m_failure;
};

// A migrated database with a note repository on it, for tests that mostly go through
// the repository. Made afresh in init() and dropped in cleanup().
struct NoteStore : MigratedDatabase
{
    NoteRepository notes{&database};
};

// Replaces store with a fresh one. Returns why it is not ready, empty when it is, so that
// QCOMPARE against QString() shows the reason.
QString renew(std::unique_ptr<NoteStore> &store);

// An instant written as ISO 8601 with milliseconds, in UTC.
QDateTime utc(const char *iso);
QString newId();

// A one-line note body: [{"insert":"text\n"}].
QString bodyOf(const QString &text);
// A live note whose three dates are all updatedAt.
Note makeNote(const QString &id, const QString &text, const char *updatedAt);
// Inserts a note with an empty body, for tests that need a note to hang rows on.
bool insertEmptyNote(Database *database, const QString &id, const QDateTime &createdAt);

QStringList idsOf(const QList<Note> &notes);
QStringList idsOf(const QList<NoteListEntry> &entries);
QStringList idsOf(const QList<Attachment> &attachments);
QStringList sorted(QStringList list);

} // namespace OmbrelTest
