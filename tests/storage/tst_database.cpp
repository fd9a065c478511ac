#include "database.h"
#include "noterepository.h"
#include "paths.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTest>

#include <memory>

using OmbrelTest::readAll;
using OmbrelTest::writeFile;

namespace {

// The schema as the first released version wrote it: notes.notebook_id still
// references notebooks, which the second migration removes.
const QStringList versionOneSchema = {
    QStringLiteral("CREATE TABLE notebooks (id TEXT PRIMARY KEY, name TEXT NOT NULL,"
                   " is_default INTEGER NOT NULL DEFAULT 0, is_shared INTEGER NOT NULL DEFAULT 0,"
                   " owner_id TEXT, created_at TEXT NOT NULL, updated_at TEXT NOT NULL, deleted_at TEXT,"
                   " version INTEGER NOT NULL DEFAULT 1, sync_status TEXT NOT NULL DEFAULT 'pending')"),
    QStringLiteral("CREATE INDEX idx_notebooks_deleted_at ON notebooks(deleted_at)"),
    QStringLiteral("CREATE INDEX idx_notebooks_sync_status ON notebooks(sync_status)"),
    QStringLiteral("CREATE TABLE notes (id TEXT PRIMARY KEY,"
                   " notebook_id TEXT NOT NULL DEFAULT '' REFERENCES notebooks(id),"
                   " body TEXT NOT NULL DEFAULT '', created_at TEXT NOT NULL, updated_at TEXT NOT NULL,"
                   " modified_at TEXT NOT NULL, deleted_at TEXT, version INTEGER NOT NULL DEFAULT 1,"
                   " op_version INTEGER NOT NULL DEFAULT 0, sync_status TEXT NOT NULL DEFAULT 'pending',"
                   " is_sample INTEGER NOT NULL DEFAULT 0, owner_id TEXT,"
                   " is_shared INTEGER NOT NULL DEFAULT 0, permission TEXT)"),
    QStringLiteral("CREATE INDEX idx_notes_notebook_id ON notes(notebook_id)"),
    QStringLiteral("CREATE INDEX idx_notes_updated_at ON notes(updated_at)"),
    QStringLiteral("CREATE INDEX idx_notes_modified_at ON notes(modified_at)"),
    QStringLiteral("CREATE INDEX idx_notes_deleted_at ON notes(deleted_at)"),
    QStringLiteral("CREATE INDEX idx_notes_sync_status ON notes(sync_status)"),
    QStringLiteral("CREATE VIRTUAL TABLE notes_fts USING fts5(body, content='notes', content_rowid='rowid')"),
    QStringLiteral("CREATE TRIGGER notes_ai AFTER INSERT ON notes BEGIN"
                   " INSERT INTO notes_fts(rowid, body) VALUES (new.rowid, new.body); END"),
    QStringLiteral("CREATE TRIGGER notes_ad AFTER DELETE ON notes BEGIN"
                   " INSERT INTO notes_fts(notes_fts, rowid, body) VALUES ('delete', old.rowid, old.body); END"),
    QStringLiteral("CREATE TRIGGER notes_au AFTER UPDATE ON notes BEGIN"
                   " INSERT INTO notes_fts(notes_fts, rowid, body) VALUES ('delete', old.rowid, old.body);"
                   " INSERT INTO notes_fts(rowid, body) VALUES (new.rowid, new.body); END"),
    QStringLiteral("CREATE TABLE note_operations (id TEXT PRIMARY KEY, note_id TEXT NOT NULL REFERENCES notes(id),"
                   " base_version INTEGER NOT NULL, result_version INTEGER NOT NULL, operation TEXT NOT NULL,"
                   " created_at TEXT NOT NULL, synced INTEGER NOT NULL DEFAULT 0)"),
    QStringLiteral("CREATE INDEX idx_note_operations_version ON note_operations(note_id, result_version)"),
    QStringLiteral("CREATE INDEX idx_note_operations_synced ON note_operations(synced)"),
    QStringLiteral("CREATE TABLE note_snapshots (id TEXT PRIMARY KEY, note_id TEXT NOT NULL REFERENCES notes(id),"
                   " version INTEGER NOT NULL, body TEXT NOT NULL, created_at TEXT NOT NULL,"
                   " UNIQUE(note_id, version))"),
    QStringLiteral("CREATE INDEX idx_note_snapshots_version ON note_snapshots(note_id, version DESC)"),
    QStringLiteral("CREATE TABLE attachments (id TEXT PRIMARY KEY, note_id TEXT NOT NULL REFERENCES notes(id),"
                   " filename TEXT NOT NULL, mime_type TEXT NOT NULL, size_bytes INTEGER NOT NULL,"
                   " created_at TEXT NOT NULL, sync_status TEXT NOT NULL DEFAULT 'pending')"),
    QStringLiteral("CREATE INDEX idx_attachments_note_id ON attachments(note_id)"),
    QStringLiteral("CREATE TABLE sync_queue (id INTEGER PRIMARY KEY AUTOINCREMENT, entity_type TEXT NOT NULL,"
                   " entity_id TEXT NOT NULL, action TEXT NOT NULL, payload TEXT, created_at TEXT NOT NULL,"
                   " attempts INTEGER NOT NULL DEFAULT 0)"),
    QStringLiteral("CREATE INDEX idx_sync_queue_entity ON sync_queue(entity_type, entity_id)"),
    QStringLiteral("CREATE TABLE tasks (id TEXT PRIMARY KEY, note_id TEXT NOT NULL REFERENCES notes(id),"
                   " text TEXT NOT NULL, is_completed INTEGER NOT NULL DEFAULT 0, source TEXT NOT NULL,"
                   " line_index INTEGER NOT NULL, char_offset INTEGER NOT NULL, due_date TEXT,"
                   " due_date_phrase TEXT, extracted_at TEXT NOT NULL, note_updated_at TEXT NOT NULL)"),
    QStringLiteral("CREATE INDEX idx_tasks_note_id ON tasks(note_id)"),
    QStringLiteral("CREATE INDEX idx_tasks_completed ON tasks(is_completed)"),
    QStringLiteral("CREATE INDEX idx_tasks_due_date ON tasks(due_date)"),
    QStringLiteral("CREATE TABLE note_task_settings (note_id TEXT PRIMARY KEY REFERENCES notes(id),"
                   " include_in_todos INTEGER NOT NULL DEFAULT 1)"),
    QStringLiteral("CREATE TABLE preferences (key TEXT PRIMARY KEY, value TEXT)"),
};

// A default notebook holding a live and a trashed note, a second notebook with one
// note, and rows in the tables that reference notes.
const QStringList versionOneData = {
    QStringLiteral("INSERT INTO notebooks (id, name, is_default, created_at, updated_at, sync_status)"
                   " VALUES ('nb-default', 'Notes', 1, '2023-01-01T00:00:00.000Z', '2023-01-01T00:00:00.000Z', 'synced')"),
    QStringLiteral("INSERT INTO notebooks (id, name, is_default, created_at, updated_at)"
                   " VALUES ('nb-work', 'Work', 0, '2023-01-02T00:00:00.000Z', '2023-01-02T00:00:00.000Z')"),
    QStringLiteral("INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at, version,"
                   " op_version, sync_status, owner_id, is_shared, permission)"
                   " VALUES ('n-default', 'nb-default', '[{\"insert\":\"zebra crossing\\n\"}]',"
                   " '2023-02-01T10:00:00.123Z', '2023-02-02T10:00:00.456Z', '2023-02-03T10:00:00.789Z',"
                   " 4, 2, 'synced', 'owner-7', 1, 'edit')"),
    QStringLiteral("INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at)"
                   " VALUES ('n-work', 'nb-work', '[{\"insert\":\"walrus\\n\"}]',"
                   " '2023-02-01T10:00:00.000Z', '2023-02-01T10:00:00.000Z', '2023-02-01T10:00:00.000Z')"),
    QStringLiteral("INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at, deleted_at)"
                   " VALUES ('n-trashed', 'nb-default', '[{\"insert\":\"yak\\n\"}]',"
                   " '2023-02-01T10:00:00.000Z', '2023-02-01T10:00:00.000Z', '2023-02-01T10:00:00.000Z',"
                   " '2023-03-01T10:00:00.000Z')"),
    QStringLiteral("INSERT INTO note_snapshots (id, note_id, version, body, created_at)"
                   " VALUES ('s-1', 'n-default', 3, '[{\"insert\":\"zebra\\n\"}]', '2023-02-01T11:00:00.000Z')"),
    QStringLiteral("INSERT INTO attachments (id, note_id, filename, mime_type, size_bytes, created_at)"
                   " VALUES ('a-1', 'n-default', 'photo.png', 'image/png', 12, '2023-02-01T11:00:00.000Z')"),
    QStringLiteral("INSERT INTO note_task_settings (note_id, include_in_todos) VALUES ('n-default', 0)"),
};

struct SchemaObject
{
    const char *type;
    const char *name;
};

const SchemaObject latestSchemaObjects[] = {
    {"table", "schema_version"}, {"table", "notebooks"}, {"table", "notes"}, {"table", "notes_fts"},
    {"table", "note_operations"}, {"table", "note_snapshots"}, {"table", "attachments"},
    {"table", "sync_queue"}, {"table", "tasks"}, {"table", "note_task_settings"},
    {"table", "preferences"},
    {"index", "idx_notebooks_deleted_at"}, {"index", "idx_notebooks_sync_status"},
    {"index", "idx_notes_notebook_id"}, {"index", "idx_notes_updated_at"},
    {"index", "idx_notes_modified_at"}, {"index", "idx_notes_deleted_at"},
    {"index", "idx_notes_sync_status"}, {"index", "idx_note_operations_version"},
    {"index", "idx_note_operations_synced"}, {"index", "idx_note_snapshots_version"},
    {"index", "idx_attachments_note_id"}, {"index", "idx_sync_queue_entity"},
    {"index", "idx_tasks_note_id"}, {"index", "idx_tasks_completed"}, {"index", "idx_tasks_due_date"},
    {"trigger", "notes_ai"}, {"trigger", "notes_ad"}, {"trigger", "notes_au"},
};

QString execAll(const QSqlDatabase &db, const QStringList &statements)
{
    for (const QString &sql : statements) {
        QSqlQuery query(db);
        if (!query.exec(sql))
            return sql + QStringLiteral(" -> ") + query.lastError().text();
    }
    return {};
}

QVariant scalar(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql) || !query.next())
        return {};
    return query.value(0);
}

QStringList column(const QSqlDatabase &db, const QString &sql, int index = 0)
{
    QStringList values;
    QSqlQuery query(db);
    if (!query.exec(sql))
        return {QStringLiteral("<query failed: %1>").arg(query.lastError().text())};
    while (query.next())
        values << query.value(index).toString();
    return values;
}

QList<int> versionsOf(const QSignalSpy &spy)
{
    QList<int> versions;
    for (const QList<QVariant> &arguments : spy)
        versions << arguments.at(0).toInt();
    return versions;
}

} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void dataDirectoryIsCreated_data();
    void dataDirectoryIsCreated();
    void emptyDataDirVariableFallsBackToStandardLocation();
    void clientIdResolution_data();
    void clientIdResolution();
    void unusableClientIdLeavesFilesAlone_data();
    void unusableClientIdLeavesFilesAlone();
    void deletingClientIdSwitchesDatabaseFile();
    void attachmentsDirectoryIsRecreated();

    void openCreatesMissingParentDirectory();
    void openFailsWhenParentIsAFile();
    void openSetsWalAndForeignKeys();
    void migrateWithoutOpenFails();

    void freshDatabaseHasSchemaObject_data();
    void freshDatabaseHasSchemaObject();
    void freshDatabaseNotesColumnsAndNoNotebookForeignKey();
    void upgradesToLatest_data();
    void upgradesToLatest();
    void secondMigrateChangesNothing();
    void versionTwoDatabaseGainsCountIndex();
    void versionOneNotesLeaveDefaultNotebook();
    void failedMigrationTwoKeepsVersionOne_data();
    void failedMigrationTwoKeepsVersionOne();
    void failedMigrationOneRollsBack();
    void negativeVersionFailsMigrate();
    void newerVersionIsLeftAlone();
    void garbageFileFailsMigrateUnchanged();
    void twoDatabasesDoNotShareAConnection();

private:
    void openFresh();
    void buildVersionOne(int version);

    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    std::unique_ptr<Database> m_database;
};

void TestDatabase::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

void TestDatabase::init()
{
    m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>();
    QVERIFY(m_dataDir->isValid());
}

void TestDatabase::cleanup()
{
    m_database.reset();
    m_dataDir.reset();
}

void TestDatabase::openFresh()
{
    m_database = std::make_unique<Database>();
    QVERIFY(m_database->open(databasePath()));
}

// Opens the database without migrating it and writes the first schema and its
// data by hand, with the given number in schema_version.
void TestDatabase::buildVersionOne(int version)
{
    openFresh();
    const QSqlDatabase db = m_database->handle();
    QString error = execAll(db, versionOneSchema);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    error = execAll(db, versionOneData);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    error = execAll(db, {QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL DEFAULT 0)"),
                         QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)").arg(version)});
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestDatabase::dataDirectoryIsCreated_data()
{
    QTest::addColumn<QString>("relative");
    QTest::newRow("missing-directory") << QStringLiteral("data");
    QTest::newRow("missing-parents") << QStringLiteral("a/b/c/data");
    QTest::newRow("non-ascii-name") << QStringLiteral("Notizen-\u00fc\u00e9-\u65e5\u8a18");
}

void TestDatabase::dataDirectoryIsCreated()
{
    QFETCH(QString, relative);
    const QString dir = m_dataDir->path() + QLatin1Char('/') + relative;
    QVERIFY(!QFileInfo::exists(dir));
    qputenv("NOTES_DATA_DIR", dir.toUtf8());

    QCOMPARE(dataDirectory(), dir);
    QVERIFY(QFileInfo(dir).isDir());
    QCOMPARE(databasePath(), dir + QStringLiteral("/ombrel_notes_") + clientId() + QStringLiteral(".db"));
    QVERIFY(QFileInfo(dir + QStringLiteral("/client_id")).isFile());
}

void TestDatabase::emptyDataDirVariableFallsBackToStandardLocation()
{
    const QString expected = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                             + QStringLiteral("/Ombrel/Notes");
    // Test mode points this at a throw-away location; leave it as it was found.
    const QString createdRoot = QFileInfo(expected).absolutePath();
    const bool existed = QFileInfo::exists(createdRoot);
    qputenv("NOTES_DATA_DIR", QByteArray());

    const QString resolved = dataDirectory();
    const bool created = QFileInfo(expected).isDir();
    if (!existed)
        QDir(createdRoot).removeRecursively();

    QCOMPARE(resolved, expected);
    QVERIFY(created);
}

void TestDatabase::clientIdResolution_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected"); // empty: a freshly generated id

    QTest::newRow("missing-file") << false << QByteArray() << QString();
    QTest::newRow("empty-file") << true << QByteArray() << QString();
    QTest::newRow("whitespace-only") << true << QByteArray("  \t \n\n") << QString();
    QTest::newRow("stored-id") << true << QByteArray("3f2a9c1e-0000-4000-8000-00000000abcd")
                               << QStringLiteral("3f2a9c1e-0000-4000-8000-00000000abcd");
    QTest::newRow("stored-id-with-blanks") << true << QByteArray("  my-client \r\n")
                                           << QStringLiteral("my-client");
    QTest::newRow("longest-plain-id") << true << QByteArray(64, 'a') << QString(64, QLatin1Char('a'));
}

void TestDatabase::clientIdResolution()
{
    QFETCH(bool, fileExists);
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);

    const QString file = dataDirectory() + QStringLiteral("/client_id");
    QFile::remove(file);
    if (fileExists)
        QVERIFY(writeFile(file, content));

    const QString id = clientId();
    if (expected.isEmpty()) {
        static const QRegularExpression uuid(
            QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));
        QVERIFY2(uuid.match(id).hasMatch(), qPrintable(id));
        QCOMPARE(QString::fromUtf8(readAll(file)).trimmed(), id);
    } else {
        QCOMPARE(id, expected);
        QCOMPARE(readAll(file), content);
    }
    QCOMPARE(clientId(), id);
    QCOMPARE(databasePath(), dataDirectory() + QStringLiteral("/ombrel_notes_") + id + QStringLiteral(".db"));
}

void TestDatabase::unusableClientIdLeavesFilesAlone_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("parent-traversal") << QByteArray("../../x");
    QTest::newRow("absolute-path") << QByteArray("/tmp/elsewhere");
    QTest::newRow("nul-byte") << QByteArray("ab\0cd", 5);
    QTest::newRow("control-character") << QByteArray("ab\x01" "cd");
    QTest::newRow("inner-blank") << QByteArray("my client");
    QTest::newRow("non-ascii-letter") << QByteArray("r\xc3\xa9sum\xc3\xa9");
    QTest::newRow("invalid-utf8") << QByteArray("ab\xff\xfe");
    QTest::newRow("one-past-longest") << QByteArray(65, 'a');
    QTest::newRow("wildcard") << QByteArray("*");
}

void TestDatabase::unusableClientIdLeavesFilesAlone()
{
    QFETCH(QByteArray, content);
    const QString dir = dataDirectory();
    const QString file = dir + QStringLiteral("/client_id");
    QVERIFY(writeFile(file, content));
    const QStringList before = QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);

    QString error;
    QCOMPARE(clientId(&error), QString());
    QVERIFY2(error.contains(QStringLiteral("client_id")) && error.contains(QStringLiteral("plain id")),
             qPrintable(error));
    // The reason is shown in a message box: no raw control characters reach it.
    for (const QChar c : std::as_const(error))
        QVERIFY2(c.isPrint() || c == QLatin1Char('\n'), qPrintable(error));
    error.clear();
    QCOMPARE(databasePath(&error), QString());
    QVERIFY(!error.isEmpty());

    QCOMPARE(readAll(file), content);
    QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);
}

void TestDatabase::deletingClientIdSwitchesDatabaseFile()
{
    const QString first = databasePath();
    QVERIFY(QFile::remove(dataDirectory() + QStringLiteral("/client_id")));
    const QString second = databasePath();
    QVERIFY(first != second);
    QCOMPARE(databasePath(), second);
}

void TestDatabase::attachmentsDirectoryIsRecreated()
{
    const QString expected = dataDirectory() + QStringLiteral("/attachments");
    QCOMPARE(attachmentsDirectory(), expected);
    QVERIFY(QFileInfo(expected).isDir());

    QVERIFY(QDir(expected).removeRecursively());
    QCOMPARE(attachmentsDirectory(), expected);
    QVERIFY(QFileInfo(expected).isDir());
}

void TestDatabase::openCreatesMissingParentDirectory()
{
    const QString path = m_dataDir->path() + QStringLiteral("/x/y/z.db");
    Database database;
    QVERIFY(database.open(path));
    QVERIFY(database.isOpen());
    QVERIFY(database.migrate());
    QVERIFY(QFileInfo(path).isFile());
}

void TestDatabase::openFailsWhenParentIsAFile()
{
    const QString blocker = m_dataDir->path() + QStringLiteral("/blocker");
    QVERIFY(writeFile(blocker, "plain file"));
    Database database;
    QVERIFY(!database.open(blocker + QStringLiteral("/notes.db")));
    QVERIFY(!database.isOpen());
    QCOMPARE(readAll(blocker), QByteArray("plain file"));
}

void TestDatabase::openSetsWalAndForeignKeys()
{
    openFresh();
    QCOMPARE(scalar(m_database->handle(), QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
    QCOMPARE(scalar(m_database->handle(), QStringLiteral("PRAGMA foreign_keys")).toInt(), 1);
    QVERIFY(m_database->migrate());
    QCOMPARE(scalar(m_database->handle(), QStringLiteral("PRAGMA foreign_keys")).toInt(), 1);
}

void TestDatabase::migrateWithoutOpenFails()
{
    Database database;
    QSignalSpy applied(&database, &Database::migrationApplied);
    QVERIFY(!database.isOpen());
    QVERIFY(!database.migrate());
    QCOMPARE(applied.count(), 0);
}

void TestDatabase::freshDatabaseHasSchemaObject_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("name");
    for (const SchemaObject &object : latestSchemaObjects)
        QTest::newRow(object.name) << QString::fromLatin1(object.type) << QString::fromLatin1(object.name);
}

void TestDatabase::freshDatabaseHasSchemaObject()
{
    QFETCH(QString, type);
    QFETCH(QString, name);
    openFresh();
    QVERIFY(m_database->migrate());

    QSqlQuery query(m_database->handle());
    QVERIFY(query.prepare(QStringLiteral("SELECT type FROM sqlite_master WHERE name = ?")));
    query.addBindValue(name);
    QVERIFY(query.exec());
    QVERIFY2(query.next(), qPrintable(name + QStringLiteral(" is missing")));
    QCOMPARE(query.value(0).toString(), type);
}

void TestDatabase::freshDatabaseNotesColumnsAndNoNotebookForeignKey()
{
    openFresh();
    QVERIFY(m_database->migrate());
    const QSqlDatabase db = m_database->handle();

    const QStringList expectedColumns = {
        QStringLiteral("id"), QStringLiteral("notebook_id"), QStringLiteral("body"),
        QStringLiteral("created_at"), QStringLiteral("updated_at"), QStringLiteral("modified_at"),
        QStringLiteral("deleted_at"), QStringLiteral("version"), QStringLiteral("op_version"),
        QStringLiteral("sync_status"), QStringLiteral("is_sample"), QStringLiteral("owner_id"),
        QStringLiteral("is_shared"), QStringLiteral("permission")};
    QCOMPARE(column(db, QStringLiteral("PRAGMA table_info(notes)"), 1), expectedColumns);
    QCOMPARE(column(db, QStringLiteral("PRAGMA foreign_key_list(notes)")), QStringList());
    QCOMPARE(column(db, QStringLiteral("PRAGMA foreign_key_list(note_snapshots)"), 2),
             QStringList{QStringLiteral("notes")});
    QCOMPARE(scalar(db, QStringLiteral("SELECT COUNT(*) FROM notebooks")).toInt(), 0);
    QCOMPARE(column(db, QStringLiteral("SELECT version FROM schema_version")), QStringList{QStringLiteral("2")});
    QCOMPARE(scalar(db, QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE name = 'notes_new'")).toInt(), 0);

    // A note inserted with no notebook is accepted: the column defaults to ''.
    const QString error = execAll(db, {QStringLiteral(
        "INSERT INTO notes (id, created_at, updated_at, modified_at) VALUES ('n', 'x', 'x', 'x')")});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(scalar(db, QStringLiteral("SELECT notebook_id FROM notes WHERE id = 'n'")).toString(), QString());
}

void TestDatabase::upgradesToLatest_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QList<int>>("applied");

    QTest::newRow("fresh-file") << QStringLiteral("fresh") << QList<int>{1, 2};
    QTest::newRow("version-table-without-row") << QStringLiteral("no-row") << QList<int>{1, 2};
    QTest::newRow("version-zero-with-existing-tables") << QStringLiteral("tables-v0") << QList<int>{1, 2};
    QTest::newRow("version-one") << QStringLiteral("v1") << QList<int>{2};
}

void TestDatabase::upgradesToLatest()
{
    QFETCH(QString, start);
    QFETCH(QList<int>, applied);

    if (start == QLatin1String("fresh")) {
        openFresh();
    } else if (start == QLatin1String("no-row")) {
        openFresh();
        const QString error = execAll(m_database->handle(),
                                      {QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL DEFAULT 0)")});
        QVERIFY2(error.isEmpty(), qPrintable(error));
    } else {
        buildVersionOne(start == QLatin1String("v1") ? 1 : 0);
    }
    if (QTest::currentTestFailed())
        return;

    QSignalSpy appliedSpy(m_database.get(), &Database::migrationApplied);
    QSignalSpy errorSpy(m_database.get(), &Database::migrationError);
    QVERIFY(m_database->migrate());

    QCOMPARE(versionsOf(appliedSpy), applied);
    QCOMPARE(errorSpy.count(), 0);
    for (const QList<QVariant> &arguments : appliedSpy) {
        const QString expectedName = arguments.at(0).toInt() == 1 ? QStringLiteral("initial schema")
                                                                  : QStringLiteral("drop default notebook + FK");
        QCOMPARE(arguments.at(1).toString(), expectedName);
    }

    const QSqlDatabase db = m_database->handle();
    QCOMPARE(column(db, QStringLiteral("SELECT version FROM schema_version")), QStringList{QStringLiteral("2")});
    // The schema's fifteen plus the four that keep counting and listing notes and
    // snapshots fast.
    QCOMPARE(scalar(db, QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE name LIKE 'idx_%'")).toInt(), 19);
    // The body index's three, and the three that keep the text index in step.
    QCOMPARE(column(db, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'trigger' ORDER BY name")),
             (QStringList{QStringLiteral("notes_ad"), QStringLiteral("notes_ai"), QStringLiteral("notes_au"),
                          QStringLiteral("notes_text_ad"), QStringLiteral("notes_text_ai"), QStringLiteral("notes_text_au")}));
    QCOMPARE(column(db, QStringLiteral("PRAGMA foreign_key_list(notes)")), QStringList());
    QCOMPARE(scalar(db, QStringLiteral("SELECT COUNT(*) FROM notebooks WHERE is_default = 1")).toInt(), 0);
    QCOMPARE(scalar(db, QStringLiteral("PRAGMA foreign_keys")).toInt(), 1);
}

void TestDatabase::secondMigrateChangesNothing()
{
    openFresh();
    QVERIFY(m_database->migrate());
    QSignalSpy applied(m_database.get(), &Database::migrationApplied);
    QVERIFY(m_database->migrate());
    QCOMPARE(applied.count(), 0);
    QCOMPARE(column(m_database->handle(), QStringLiteral("SELECT version FROM schema_version")),
             QStringList{QStringLiteral("2")});

    // Reopening the file is a restart: still nothing to do.
    m_database.reset();
    openFresh();
    QSignalSpy appliedAfterRestart(m_database.get(), &Database::migrationApplied);
    QVERIFY(m_database->migrate());
    QCOMPARE(appliedAfterRestart.count(), 0);
}

void TestDatabase::versionTwoDatabaseGainsCountIndex()
{
    openFresh();
    QVERIFY(m_database->migrate());
    const QString dropped = execAll(m_database->handle(), {QStringLiteral("DROP INDEX idx_notes_deleted_at_notebook_id")});
    QVERIFY2(dropped.isEmpty(), qPrintable(dropped));

    // A restart of a database written before the index existed.
    m_database.reset();
    openFresh();
    QSignalSpy applied(m_database.get(), &Database::migrationApplied);
    QVERIFY(m_database->migrate());
    QCOMPARE(applied.count(), 0);
    const QStringList plan = column(m_database->handle(),
                                    QStringLiteral("EXPLAIN QUERY PLAN SELECT notebook_id, COUNT(*) AS c FROM notes "
                                                   "WHERE deleted_at IS NULL GROUP BY notebook_id"),
                                    3);
    QVERIFY2(plan.join(QLatin1Char(' ')).contains(QStringLiteral("COVERING INDEX idx_notes_deleted_at_notebook_id")),
             qPrintable(plan.join(QLatin1Char('|'))));
}

void TestDatabase::versionOneNotesLeaveDefaultNotebook()
{
    buildVersionOne(1);
    QVERIFY(m_database->migrate());
    const QSqlDatabase db = m_database->handle();

    QCOMPARE(column(db, QStringLiteral("SELECT id FROM notebooks")), QStringList{QStringLiteral("nb-work")});
    QCOMPARE(column(db, QStringLiteral("SELECT id || '=' || notebook_id FROM notes ORDER BY id")),
             (QStringList{QStringLiteral("n-default="), QStringLiteral("n-trashed="),
                          QStringLiteral("n-work=nb-work")}));

    // Every other column survives the rebuild untouched.
    QSqlQuery query(db);
    QVERIFY(query.exec(QStringLiteral("SELECT created_at, updated_at, modified_at, version, op_version,"
                                      " sync_status, owner_id, is_shared, permission, body, deleted_at"
                                      " FROM notes WHERE id = 'n-default'")));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toString(), QStringLiteral("2023-02-01T10:00:00.123Z"));
    QCOMPARE(query.value(1).toString(), QStringLiteral("2023-02-02T10:00:00.456Z"));
    QCOMPARE(query.value(2).toString(), QStringLiteral("2023-02-03T10:00:00.789Z"));
    QCOMPARE(query.value(3).toInt(), 4);
    QCOMPARE(query.value(4).toInt(), 2);
    QCOMPARE(query.value(5).toString(), QStringLiteral("synced"));
    QCOMPARE(query.value(6).toString(), QStringLiteral("owner-7"));
    QCOMPARE(query.value(7).toInt(), 1);
    QCOMPARE(query.value(8).toString(), QStringLiteral("edit"));
    QCOMPARE(query.value(9).toString(), QStringLiteral("[{\"insert\":\"zebra crossing\\n\"}]"));
    QVERIFY(query.value(10).isNull());
    QCOMPARE(scalar(db, QStringLiteral("SELECT deleted_at FROM notes WHERE id = 'n-trashed'")).toString(),
             QStringLiteral("2023-03-01T10:00:00.000Z"));
    query.finish();

    // Rows that reference notes are kept.
    QCOMPARE(scalar(db, QStringLiteral("SELECT COUNT(*) FROM note_snapshots")).toInt(), 1);
    QCOMPARE(scalar(db, QStringLiteral("SELECT COUNT(*) FROM attachments")).toInt(), 1);
    QCOMPARE(scalar(db, QStringLiteral("SELECT include_in_todos FROM note_task_settings")).toInt(), 0);

    // The index was rebuilt over the new table and the triggers follow later edits.
    NoteRepository notes(m_database.get());
    QList<Note> found = notes.search(QStringLiteral("zebra"));
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().id, QStringLiteral("n-default"));
    QCOMPARE(found.first().notebookId, QString());
    QCOMPARE(notes.search(QStringLiteral("walrus")).size(), 1);
    QCOMPARE(notes.search(QStringLiteral("yak")).size(), 0); // trashed

    const QString error = execAll(db, {QStringLiteral(
        "UPDATE notes SET body = '[{\"insert\":\"okapi\\n\"}]' WHERE id = 'n-default'")});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(notes.search(QStringLiteral("zebra")).size(), 0);
    QCOMPARE(notes.search(QStringLiteral("okapi")).size(), 1);
    QCOMPARE(notes.noteCountsByNotebook().value(QString()), 1);
}

void TestDatabase::failedMigrationTwoKeepsVersionOne_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("removal");

    // Fails the first statement of the migration.
    QTest::newRow("notes_new-exists") << QStringLiteral("CREATE TABLE notes_new (x INTEGER)")
                                      << QStringLiteral("DROP TABLE notes_new");
    // Fails the last statement, after the old notes table has been dropped and replaced.
    QTest::newRow("default-delete-blocked")
        << QStringLiteral("CREATE TRIGGER block_delete BEFORE DELETE ON notebooks BEGIN"
                          " SELECT RAISE(ABORT, 'blocked'); END")
        << QStringLiteral("DROP TRIGGER block_delete");
}

void TestDatabase::failedMigrationTwoKeepsVersionOne()
{
    QFETCH(QString, obstacle);
    QFETCH(QString, removal);

    buildVersionOne(1);
    if (QTest::currentTestFailed())
        return;
    const QSqlDatabase db = m_database->handle();
    QString error = execAll(db, {obstacle});
    QVERIFY2(error.isEmpty(), qPrintable(error));

    QSignalSpy applied(m_database.get(), &Database::migrationApplied);
    QSignalSpy failed(m_database.get(), &Database::migrationError);
    QVERIFY(!m_database->migrate());
    QCOMPARE(applied.count(), 0);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().at(0).toInt(), 2);
    QCOMPARE(failed.first().at(1).toString(), QStringLiteral("Failed to drop notebook FK"));

    QCOMPARE(column(db, QStringLiteral("SELECT version FROM schema_version")), QStringList{QStringLiteral("1")});
    QCOMPARE(column(db, QStringLiteral("SELECT id FROM notebooks ORDER BY id")),
             (QStringList{QStringLiteral("nb-default"), QStringLiteral("nb-work")}));
    QCOMPARE(column(db, QStringLiteral("SELECT id || '=' || notebook_id FROM notes ORDER BY id")),
             (QStringList{QStringLiteral("n-default=nb-default"), QStringLiteral("n-trashed=nb-default"),
                          QStringLiteral("n-work=nb-work")}));
    QCOMPARE(column(db, QStringLiteral("PRAGMA foreign_key_list(notes)"), 2), QStringList{QStringLiteral("notebooks")});
    QCOMPARE(column(db, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'trigger' AND name LIKE 'notes_%'"
                                       " ORDER BY name")),
             (QStringList{QStringLiteral("notes_ad"), QStringLiteral("notes_ai"), QStringLiteral("notes_au")}));
    QCOMPARE(column(db, QStringLiteral("SELECT n.id FROM notes n JOIN notes_fts f ON n.rowid = f.rowid"
                                       " WHERE notes_fts MATCH 'zebra'")),
             QStringList{QStringLiteral("n-default")});
    QCOMPARE(scalar(db, QStringLiteral("PRAGMA foreign_keys")).toInt(), 1);
    QCOMPARE(scalar(db, QStringLiteral("SELECT COUNT(*) FROM note_snapshots")).toInt(), 1);

    // The next start retries and succeeds once the obstacle is gone.
    error = execAll(db, {removal});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(m_database->migrate());
    QCOMPARE(versionsOf(applied), QList<int>{2});
    QCOMPARE(column(db, QStringLiteral("SELECT version FROM schema_version")), QStringList{QStringLiteral("2")});
    QCOMPARE(column(db, QStringLiteral("SELECT id FROM notebooks")), QStringList{QStringLiteral("nb-work")});
}

void TestDatabase::failedMigrationOneRollsBack()
{
    openFresh();
    // A view named like a table satisfies "IF NOT EXISTS" but cannot be indexed.
    const QString error = execAll(m_database->handle(),
                                  {QStringLiteral("CREATE VIEW notebooks AS SELECT 1 AS deleted_at, 2 AS sync_status")});
    QVERIFY2(error.isEmpty(), qPrintable(error));

    QSignalSpy applied(m_database.get(), &Database::migrationApplied);
    QSignalSpy failed(m_database.get(), &Database::migrationError);
    QVERIFY(!m_database->migrate());
    QCOMPARE(applied.count(), 0);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().at(0).toInt(), 1);
    QCOMPARE(failed.first().at(1).toString(), QStringLiteral("Failed to create initial schema"));

    const QSqlDatabase db = m_database->handle();
    QCOMPARE(column(db, QStringLiteral("SELECT version FROM schema_version")), QStringList{QStringLiteral("0")});
    QCOMPARE(scalar(db, QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE name IN"
                                       " ('notes', 'notes_fts', 'preferences', 'note_snapshots')")).toInt(), 0);
}

void TestDatabase::negativeVersionFailsMigrate()
{
    openFresh();
    const QString error = execAll(m_database->handle(),
                                  {QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL DEFAULT 0)"),
                                   QStringLiteral("INSERT INTO schema_version (version) VALUES (-1)")});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QSignalSpy applied(m_database.get(), &Database::migrationApplied);
    QVERIFY(!m_database->migrate());
    QCOMPARE(applied.count(), 0);
    QCOMPARE(scalar(m_database->handle(), QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE name = 'notes'")).toInt(), 0);
}

void TestDatabase::newerVersionIsLeftAlone()
{
    openFresh();
    const QString error = execAll(m_database->handle(),
                                  {QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL DEFAULT 0)"),
                                   QStringLiteral("INSERT INTO schema_version (version) VALUES (3)")});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QSignalSpy applied(m_database.get(), &Database::migrationApplied);
    QVERIFY(m_database->migrate());
    QCOMPARE(applied.count(), 0);
    QCOMPARE(column(m_database->handle(), QStringLiteral("SELECT version FROM schema_version")),
             QStringList{QStringLiteral("3")});
    QCOMPARE(scalar(m_database->handle(), QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE name = 'notes'")).toInt(), 0);
}

void TestDatabase::garbageFileFailsMigrateUnchanged()
{
    QByteArray garbage;
    for (int i = 0; garbage.size() < 8192; ++i)
        garbage += "not a database, line " + QByteArray::number(i) + '\n';
    const QString path = databasePath();
    QVERIFY(writeFile(path, garbage));

    {
        Database database;
        QSignalSpy applied(&database, &Database::migrationApplied);
        const bool opened = database.open(path);
        if (opened)
            QVERIFY(!database.migrate());
        QCOMPARE(applied.count(), 0);
        // The start-up error box shows this reason rather than a guess at permissions.
        QVERIFY2(database.errorText().contains(QStringLiteral("file is not a database")),
                 qPrintable(database.errorText()));
        QCOMPARE(readAll(path), garbage);
    }
    QCOMPARE(readAll(path), garbage);
}

void TestDatabase::twoDatabasesDoNotShareAConnection()
{
    const QString path = databasePath();
    auto first = std::make_unique<Database>();
    Database second;
    QVERIFY(!first->connectionName().isEmpty());
    QVERIFY(first->connectionName() != second.connectionName());

    QVERIFY(first->open(path));
    QVERIFY(second.open(path));
    QCOMPARE(first->handle().connectionName(), first->connectionName());
    QCOMPARE(second.handle().connectionName(), second.connectionName());
    QVERIFY(first->migrate());

    // The second connection sees the schema written through the first.
    QCOMPARE(column(second.handle(), QStringLiteral("SELECT version FROM schema_version")),
             QStringList{QStringLiteral("2")});

    const QString firstName = first->connectionName();
    first.reset();
    QVERIFY(!QSqlDatabase::contains(firstName));
    QVERIFY(second.isOpen());
    QVERIFY(second.migrate());
    QCOMPARE(scalar(second.handle(), QStringLiteral("SELECT COUNT(*) FROM notes")).toInt(), 0);
}

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
