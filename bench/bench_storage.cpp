// Storage benchmarks on a generated library of 100,000 notes in 200 notebooks.
//
//   build/bench/bench_storage                      all of them
//   build/bench/bench_storage --benchmark_filter=Search
//
// The library is generated once and cached (see LibraryGenerator::cacheDirectory());
// every run works on copies of it inside a temporary data directory.

#include "database.h"
#include "documentcorpus.h"
#include "librarygenerator.h"
#include "note.h"
#include "noterepository.h"
#include "notetextindex.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

Q_LOGGING_CATEGORY(lcBenchStorage, "ombrel.bench.storage")

namespace {

// An opened copy of the library with its repositories.
struct Library
{
    explicit Library(const QString &path)
        : notes(&database)
    {
        ok = database.open(path) && database.migrate();
    }

    Database database;
    NoteRepository notes;
    bool ok = false;
};

struct Environment
{
    explicit Environment(const LibraryGenerator::Options &options)
        : generator(options)
    {
    }

    LibraryGenerator generator;
    QString dataDirectory;
    QString readPath;  // never written by a benchmark
    QString writePath; // updated and inserted into
    std::unique_ptr<Library> reader;
    std::unique_ptr<Library> writer;
    int insertedNotes = 0;
};

Environment *env = nullptr;

// Per-call latencies of one benchmark, reported as percentiles in milliseconds.
class Latencies
{
public:
    void add(double ms) { m_samples.push_back(ms); }

    double percentile(double p)
    {
        if (m_samples.empty())
            return 0;
        std::sort(m_samples.begin(), m_samples.end());
        const auto rank = std::size_t(std::max(1.0, std::ceil(p / 100.0 * double(m_samples.size()))));
        return m_samples[std::min(rank, m_samples.size()) - 1];
    }

    void report(benchmark::State &state)
    {
        state.counters["p50_ms"] = percentile(50);
        state.counters["p95_ms"] = percentile(95);
        state.counters["max_ms"] = percentile(100);
    }

private:
    std::vector<double> m_samples;
};

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

Note newNote(int serial, const QString &body)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    Note note;
    note.id = env->generator.noteId(env->generator.options().noteCount + serial);
    note.notebookId = env->generator.notebookId(serial % env->generator.options().notebookCount);
    note.body = body;
    note.createdAt = now;
    note.updatedAt = now;
    note.modifiedAt = now;
    return note;
}

std::vector<QString> sampleBodies(int count, int bytes)
{
    std::vector<QString> bodies;
    for (int i = 0; i < count; ++i)
        bodies.push_back(BenchCorpus::deltaBody(0xB0D1E5ull + std::uint64_t(i), bytes, i % 20 == 0));
    return bodies;
}

void BM_OpenMigrated(benchmark::State &state)
{
    for (auto _ : state) {
        Database database;
        if (!database.open(env->readPath) || !database.migrate()) {
            state.SkipWithError("open or migrate failed");
            break;
        }
    }
}
BENCHMARK(BM_OpenMigrated)->Unit(benchmark::kMillisecond);

void BM_OpenFresh(benchmark::State &state)
{
    const QString path = env->dataDirectory + QLatin1String("/fresh.db");
    for (auto _ : state) {
        state.PauseTiming();
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(path + QLatin1String(suffix));
        state.ResumeTiming();
        Database database;
        if (!database.open(path) || !database.migrate()) {
            state.SkipWithError("open or migrate failed");
            break;
        }
    }
}
BENCHMARK(BM_OpenFresh)->Unit(benchmark::kMillisecond);

void BM_AllNotes(benchmark::State &state)
{
    qsizetype count = 0;
    for (auto _ : state) {
        const QList<Note> notes = env->reader->notes.allNotes();
        count = notes.size();
        benchmark::DoNotOptimize(notes.constData());
    }
    state.counters["notes"] = double(count);
}
BENCHMARK(BM_AllNotes)->Unit(benchmark::kMillisecond)->Iterations(5);

// Argument: the notebook's rank (0 holds the most notes, the last one the fewest).
void BM_NotesInNotebook(benchmark::State &state)
{
    const QString notebookId = env->generator.notebookId(int(state.range(0)));
    qsizetype count = 0;
    for (auto _ : state) {
        const QList<Note> notes = env->reader->notes.notesInNotebook(notebookId);
        count = notes.size();
        benchmark::DoNotOptimize(notes.constData());
    }
    state.counters["notes"] = double(count);
}
BENCHMARK(BM_NotesInNotebook)->Unit(benchmark::kMillisecond)->Arg(0)->Arg(100)->Arg(199);

void BM_NoteCountsByNotebook(benchmark::State &state)
{
    Latencies latencies;
    for (auto _ : state) {
        const auto start = Clock::now();
        const QHash<QString, int> counts = env->reader->notes.noteCountsByNotebook();
        latencies.add(millisecondsSince(start));
        benchmark::DoNotOptimize(counts.size());
    }
    latencies.report(state);
}
BENCHMARK(BM_NoteCountsByNotebook)->Unit(benchmark::kMillisecond)->Iterations(50);

enum class Term { Rare, Common, Prefix };

QString searchText(Term term)
{
    switch (term) {
    case Term::Rare: return BenchCorpus::rareTerm();
    case Term::Common: return QStringLiteral("meeting");
    case Term::Prefix: return QStringLiteral("proj");
    }
    return QString();
}

// Each query is timed on its own; the percentiles are over those times.
void BM_Search(benchmark::State &state, Term term)
{
    const QString text = searchText(term);
    Latencies latencies;
    qsizetype results = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const QList<Note> notes = env->reader->notes.search(text);
        const double ms = millisecondsSince(start);
        state.SetIterationTime(ms / 1000.0);
        latencies.add(ms);
        results = notes.size();
    }
    latencies.report(state);
    state.counters["results"] = double(results);
}
BENCHMARK_CAPTURE(BM_Search, rare, Term::Rare)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(200);
BENCHMARK_CAPTURE(BM_Search, common, Term::Common)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK_CAPTURE(BM_Search, prefix, Term::Prefix)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

// The bare floor: the ranked MATCH on the body index alone, as SQLite answers it.
double timeBareMatch(QSqlDatabase db, const QString &match, qsizetype *rows)
{
    const auto start = Clock::now();
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT rowid FROM notes_fts WHERE notes_fts MATCH ? ORDER BY rank"));
    query.addBindValue(match);
    qsizetype count = 0;
    if (query.exec()) {
        while (query.next())
            ++count;
    }
    *rows = count;
    return millisecondsSince(start);
}

// searchIds beside its floor, alternating call by call so that both see the same machine.
void BM_SearchIdsVsFloor(benchmark::State &state, Term term)
{
    const QString text = searchText(term);
    Latencies ours;
    Latencies floor;
    qsizetype results = 0;
    qsizetype floorRows = 0;
    for (auto _ : state) {
        floor.add(timeBareMatch(env->reader->database.handle(), text + QLatin1Char('*'), &floorRows));
        const auto start = Clock::now();
        results = env->reader->notes.searchIds(text).size();
        const double ms = millisecondsSince(start);
        state.SetIterationTime(ms / 1000.0);
        ours.add(ms);
    }
    ours.report(state);
    state.counters["floor_p50_ms"] = floor.percentile(50);
    state.counters["floor_p95_ms"] = floor.percentile(95);
    state.counters["ratio_p50"] = ours.percentile(50) / std::max(1e-9, floor.percentile(50));
    state.counters["results"] = double(results);
    state.counters["floor_rows"] = double(floorRows);
}
BENCHMARK_CAPTURE(BM_SearchIdsVsFloor, common, Term::Common)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);
BENCHMARK_CAPTURE(BM_SearchIdsVsFloor, rare, Term::Rare)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(400);

// search() of a rare term beside two floors: the bare unranked MATCH of it, and the very
// statement search() runs (ranked, whole rows) stepped through SQLite directly, prepared once.
// The second leaves only our own cost: binding, reading rows into notes.
void BM_SearchRareVsFloor(benchmark::State &state)
{
    const QString text = searchText(Term::Rare);
    Latencies ours;
    Latencies floor;
    Latencies sameStatement;
    QSqlDatabase db = env->reader->database.handle();
    QSqlQuery bare(db);
    bare.setForwardOnly(true);
    bare.prepare(QStringLiteral("SELECT rowid FROM notes_fts WHERE notes_fts MATCH ?"));
    const QVariant handle = db.driver()->handle();
    sqlite3 *raw = qstrcmp(handle.typeName(), "sqlite3*") == 0 ? *static_cast<sqlite3 *const *>(handle.constData()) : nullptr;
    sqlite3_stmt *statement = nullptr;
    if (raw)
        sqlite3_prepare_v3(raw, NoteRepository::searchNotesSql(), -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
    const QByteArray match = NoteRepository::matchText(text, false).toUtf8();
    qsizetype results = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        bare.bindValue(0, text + QLatin1Char('*'));
        if (bare.exec()) {
            while (bare.next()) {
            }
        }
        bare.finish();
        floor.add(millisecondsSince(start));
        if (statement) {
            start = Clock::now();
            sqlite3_bind_text(statement, 1, match.constData(), int(match.size()), SQLITE_STATIC);
            const int columns = sqlite3_column_count(statement);
            std::size_t bytes = 0;
            while (sqlite3_step(statement) == SQLITE_ROW) {
                for (int c = 0; c < columns; ++c)
                    bytes += std::size_t(sqlite3_column_bytes(statement, c)) + (sqlite3_column_text(statement, c) ? 1 : 0);
            }
            sqlite3_reset(statement);
            benchmark::DoNotOptimize(bytes);
            sameStatement.add(millisecondsSince(start));
        }
        start = Clock::now();
        results = env->reader->notes.search(text).size();
        const double ms = millisecondsSince(start);
        state.SetIterationTime(ms / 1000.0);
        ours.add(ms);
    }
    sqlite3_finalize(statement);
    ours.report(state);
    state.counters["floor_p50_ms"] = floor.percentile(50);
    state.counters["floor_p95_ms"] = floor.percentile(95);
    state.counters["ratio_p50"] = ours.percentile(50) / std::max(1e-9, floor.percentile(50));
    if (raw) {
        state.counters["same_stmt_p50_ms"] = sameStatement.percentile(50);
        state.counters["same_stmt_ratio_p50"] = ours.percentile(50) / std::max(1e-9, sameStatement.percentile(50));
    }
    state.counters["results"] = double(results);
}
BENCHMARK(BM_SearchRareVsFloor)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(500);

double tableBytes(QSqlDatabase db, const QString &prefix)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT SUM(pgsize) FROM dbstat WHERE name LIKE ?"));
    query.addBindValue(prefix + QLatin1Char('%'));
    return query.exec() && query.next() ? query.value(0).toDouble() : -1;
}

// The one-time fill of the text index on a library that predates it: time and size on
// disk beside notes_fts. Arg 1 builds it with prefix indexes of 2 and 3 characters, to
// weigh their size against short-prefix searches.
void BM_TextIndexBuild(benchmark::State &state)
{
    const bool prefixes = state.range(0) != 0;
    const QString path = env->generator.copyTo(env->dataDirectory, QStringLiteral("build.db"));
    Database database;
    if (path.isEmpty() || !database.open(path)) {
        state.SkipWithError("no copy of the library");
        return;
    }
    QSqlDatabase db = database.handle();
    Latencies shortPrefix;
    for (auto _ : state) {
        state.PauseTiming();
        QSqlQuery query(db);
        for (const char *sql : {"DROP TRIGGER IF EXISTS notes_text_ai", "DROP TRIGGER IF EXISTS notes_text_ad",
                                "DROP TRIGGER IF EXISTS notes_text_au", "DROP TABLE IF EXISTS notes_text_fts",
                                "DROP TABLE IF EXISTS notes_text_state"})
            query.exec(QLatin1String(sql));
        if (prefixes)
            query.exec(QStringLiteral("CREATE VIRTUAL TABLE notes_text_fts USING fts5(text, content='', prefix='2 3')"));
        query.exec(QStringLiteral("VACUUM"));
        state.ResumeTiming();
        if (!NoteTextIndex::ensure(db) || !NoteTextIndex::buildAll(db)) {
            state.SkipWithError("build failed");
            break;
        }
    }
    for (int i = 0; i < 10; ++i) {
        for (const char *prefix : {"me*", "pr*"}) {
            const auto start = Clock::now();
            QSqlQuery query(db);
            query.setForwardOnly(true);
            query.prepare(QString::fromLatin1(NoteRepository::rankedRowidsSql()));
            query.addBindValue(QString::fromLatin1(prefix));
            if (query.exec()) {
                while (query.next()) {
                }
            }
            shortPrefix.add(millisecondsSince(start));
        }
    }
    state.counters["text_index_bytes"] = tableBytes(db, QStringLiteral("notes_text_fts"));
    state.counters["notes_fts_bytes"] = tableBytes(db, QStringLiteral("notes_fts"));
    state.counters["two_letter_prefix_p50_ms"] = shortPrefix.percentile(50);
    database.handle().close();
    QFile::remove(path);
}
BENCHMARK(BM_TextIndexBuild)->Unit(benchmark::kMillisecond)->Arg(0)->Arg(1)->Iterations(1)->UseRealTime();

// The autosave write: a new body, both times now, version + 1, pending.
void BM_AutosaveUpdate(benchmark::State &state)
{
    // A live note from the middle of the library.
    int index = env->generator.options().noteCount / 2;
    while (env->generator.isTrashed(index))
        ++index;
    std::optional<Note> stored = env->writer->notes.findById(env->generator.noteId(index));
    if (!stored) {
        state.SkipWithError("note not found");
        return;
    }
    Note note = *stored;
    // Two versions of one note, the second a little longer, as successive edits are.
    const std::uint64_t seed = env->generator.bodySeed(index);
    const QString bodies[2] = {BenchCorpus::deltaBody(seed, 3000), BenchCorpus::deltaBody(seed, 3100)};
    Latencies latencies;
    int edits = 0;
    for (auto _ : state) {
        note.body = bodies[edits++ % 2];
        const auto start = Clock::now();
        note.updatedAt = QDateTime::currentDateTimeUtc();
        note.modifiedAt = note.updatedAt;
        ++note.version;
        note.syncStatus = SyncStatus::Pending;
        const bool ok = env->writer->notes.update(note);
        const double ms = millisecondsSince(start);
        state.SetIterationTime(ms / 1000.0);
        latencies.add(ms);
        if (!ok) {
            state.SkipWithError("update failed");
            break;
        }
    }
    latencies.report(state);
}
BENCHMARK(BM_AutosaveUpdate)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(500);

// One statement per note, each committing on its own, as the application writes them.
void BM_InsertIndividual(benchmark::State &state)
{
    const std::vector<QString> bodies = sampleBodies(64, int(state.range(0)));
    int i = 0;
    for (auto _ : state) {
        const Note note = newNote(env->insertedNotes++, bodies[std::size_t(i++) % bodies.size()]);
        if (!env->writer->notes.insert(note)) {
            state.SkipWithError("insert failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_InsertIndividual)->Unit(benchmark::kMillisecond)->Arg(2500)->Iterations(300)->UseRealTime();

void BM_InsertInTransaction(benchmark::State &state)
{
    constexpr int NotesPerTransaction = 1000;
    const std::vector<QString> bodies = sampleBodies(64, int(state.range(0)));
    for (auto _ : state) {
        QSqlDatabase handle = env->writer->database.handle();
        handle.transaction();
        bool ok = true;
        for (int i = 0; i < NotesPerTransaction && ok; ++i)
            ok = env->writer->notes.insert(newNote(env->insertedNotes++, bodies[std::size_t(i) % bodies.size()]));
        if (!ok || !handle.commit()) {
            handle.rollback();
            state.SkipWithError("insert failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * NotesPerTransaction);
}
BENCHMARK(BM_InsertInTransaction)->Unit(benchmark::kMillisecond)->Arg(2500)->Iterations(3)->UseRealTime();

// Sizes on disk of the untouched library; the time is meaningless.
void BM_DiskSize(benchmark::State &state)
{
    double fts = -1;
    double notesTable = -1;
    for (auto _ : state) {
        QSqlQuery query(env->reader->database.handle());
        if (query.exec(QStringLiteral("SELECT name, SUM(pgsize) FROM dbstat GROUP BY name"))) {
            fts = notesTable = 0;
            while (query.next()) {
                const QString name = query.value(0).toString();
                const double bytes = query.value(1).toDouble();
                if (name.startsWith(QLatin1String("notes_fts")))
                    fts += bytes;
                else if (name == QLatin1String("notes") || name.startsWith(QLatin1String("idx_notes_"))
                         || name == QLatin1String("sqlite_autoindex_notes_1"))
                    notesTable += bytes;
            }
        } else if (query.exec(QStringLiteral("SELECT (SELECT COALESCE(SUM(LENGTH(block)), 0) FROM notes_fts_data)"
                                             " + (SELECT COALESCE(SUM(LENGTH(sz)), 0) FROM notes_fts_docsize)"))
                   && query.next()) {
            // Without dbstat: the payload of the index's shadow tables, a lower bound.
            fts = query.value(0).toDouble();
        }
    }
    state.counters["db_bytes"] = double(QFileInfo(env->readPath).size());
    state.counters["fts_bytes"] = fts;
    state.counters["notes_bytes"] = notesTable;
}
BENCHMARK(BM_DiskSize)->Iterations(1);

bool prepareEnvironment(const QString &dataDirectory)
{
    env->dataDirectory = dataDirectory;
    if (env->generator.cachedLibrary().isEmpty()) {
        qCCritical(lcBenchStorage) << "Library generation failed:" << env->generator.errorString();
        return false;
    }
    env->readPath = env->generator.copyTo(dataDirectory, QStringLiteral("read.db"));
    env->writePath = env->generator.copyTo(dataDirectory, QStringLiteral("write.db"));
    if (env->readPath.isEmpty() || env->writePath.isEmpty()) {
        qCCritical(lcBenchStorage) << "Copying the library failed:" << env->generator.errorString();
        return false;
    }
    env->reader = std::make_unique<Library>(env->readPath);
    env->writer = std::make_unique<Library>(env->writePath);
    if (!env->reader->ok || !env->writer->ok) {
        qCCritical(lcBenchStorage) << "Opening the library copies failed";
        return false;
    }
    qCInfo(lcBenchStorage) << "Library:" << env->generator.options().noteCount << "notes,"
                           << env->generator.rareTermNoteCount() << "live notes with"
                           << BenchCorpus::rareTerm();
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir dataDirectory;
    if (!dataDirectory.isValid())
        return 1;
    qputenv("NOTES_DATA_DIR", dataDirectory.path().toUtf8());
    // The repositories log every database open; keep the benchmark table readable.
    QLoggingCategory::setFilterRules(QStringLiteral("ombrel.storage.info=false"));

    // OMBREL_BENCH_NOTES shrinks the library for a quick trial run.
    LibraryGenerator::Options options;
    bool sized = false;
    const int notes = qEnvironmentVariableIntValue("OMBREL_BENCH_NOTES", &sized);
    if (sized && notes > 0)
        options.noteCount = notes;
    Environment environment(options);
    env = &environment;
    if (!prepareEnvironment(dataDirectory.path()))
        return 1;

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    env->reader.reset();
    env->writer.reset();
    env = nullptr;
    return 0;
}
