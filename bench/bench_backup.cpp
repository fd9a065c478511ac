// Backup and restore of the generated 100,000-note library (plus 300 attachment files of
// 64 KB), each measured against the "zip -r" / "unzip" programs on the same unpacked tree
// in the same iteration. The reported time is ours; "floor_s" is the program's and
// "ratio" ours divided by it; "cpu_s", "floor_cpu_s" and "cpu_ratio" the same in CPU
// seconds, which a loaded machine distorts less.
//
//   build/bench/bench_backup
//   OMBREL_BENCH_NOTES=5000 build/bench/bench_backup     a quick trial

#include "archivefixtures.h"
#include "attachmentrepository.h"
#include "backup.h"
#include "database.h"
#include "librarygenerator.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "paths.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

struct Setup
{
    QString libraryDir;  // data directory holding the full library
    QString backupZip;   // written once by our backup
    QString unpackedDir; // the backup unpacked, for the zip floor
    QString scratchDir;
};
Setup setup;

struct OpenLibrary
{
    OpenLibrary()
        : notes(&database)
        , notebooks(&database)
        , attachments(&database)
    {
        ok = database.open(databasePath()) && database.migrate();
    }
    IoRepositories repositories() { return {&database, &notes, &notebooks, &attachments}; }

    Database database;
    NoteRepository notes;
    NotebookRepository notebooks;
    AttachmentRepository attachments;
    bool ok = false;
};

// CPU seconds (user and system) of this process, or of its finished children.
double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Wall and CPU time of one run: on a loaded machine the CPU figures compare fairer.
struct Times
{
    double wall = 0;
    double cpu = 0;
    Times &operator+=(const Times &other)
    {
        wall += other.wall;
        cpu += other.cpu;
        return *this;
    }
};

void report(benchmark::State &state, const Times &ours, const Times &floor, int count)
{
    if (!count)
        return;
    state.counters["floor_s"] = floor.wall / count;
    state.counters["ratio"] = ours.wall / floor.wall;
    state.counters["cpu_s"] = ours.cpu / count;
    state.counters["floor_cpu_s"] = floor.cpu / count;
    state.counters["cpu_ratio"] = ours.cpu / floor.cpu;
}

Times runProgramTimed(const QString &program, const QStringList &arguments, const QString &workingDirectory)
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    const double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(600000) || process.exitCode() != 0)
        return {-1, -1};
    return {double(timer.nsecsElapsed()) / 1e9, cpuSeconds(RUSAGE_CHILDREN) - cpuBefore};
}

double runProgram(const QString &program, const QStringList &arguments, const QString &workingDirectory)
{
    return runProgramTimed(program, arguments, workingDirectory).wall;
}

// Runs work once, timing it by the wall clock and by this process's CPU.
template<typename Work>
Times timed(Work &&work, bool *ok)
{
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    QElapsedTimer timer;
    timer.start();
    *ok = work();
    return {double(timer.nsecsElapsed()) / 1e9, cpuSeconds(RUSAGE_SELF) - cpuBefore};
}

// Runs both sides of one iteration, in turns first: deleting a big tree makes the next
// file creations slower for a while (the file system skips recently freed inodes), and
// neither side should always be the one that follows a deletion.
template<typename Ours, typename Floor>
bool interleaved(int iteration, Ours &&ours, Floor &&floor)
{
    return iteration % 2 == 0 ? ours() && floor() : floor() && ours();
}

void BM_BackupAgainstZip(benchmark::State &state)
{
    qputenv("NOTES_DATA_DIR", setup.libraryDir.toUtf8());
    OpenLibrary library;
    Times oursTotal;
    Times floorTotal;
    int count = 0;
    for (auto _ : state) {
        const QString ours = setup.scratchDir + QStringLiteral("/ours.zip");
        const QString theirs = setup.scratchDir + QStringLiteral("/floor.zip");
        Times mine;
        Times floor;
        const bool ok = interleaved(
            count,
            [&] {
                bool written = false;
                mine = timed([&] { return createBackup(ours, library.repositories()).errors == 0; }, &written);
                return written;
            },
            [&] {
                floor = runProgramTimed(QStringLiteral("zip"),
                                        {QStringLiteral("-q"), QStringLiteral("-r"), theirs, QStringLiteral(".")},
                                        setup.unpackedDir);
                return floor.wall > 0;
            });
        QFile::remove(ours);
        QFile::remove(theirs);
        if (!ok) {
            state.SkipWithError("backup or zip failed");
            break;
        }
        state.SetIterationTime(mine.wall);
        oursTotal += mine;
        floorTotal += floor;
        ++count;
    }
    report(state, oursTotal, floorTotal, count);
}
BENCHMARK(BM_BackupAgainstZip)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(3);

void BM_RestoreAgainstUnzip(benchmark::State &state)
{
    Times oursTotal;
    Times floorTotal;
    int count = 0;
    for (auto _ : state) {
        QTemporaryDir emptyLibrary(setup.scratchDir + QStringLiteral("/restore-XXXXXX"));
        QTemporaryDir unpacked(setup.scratchDir + QStringLiteral("/unzip-XXXXXX"));
        Times mine;
        Times floor;
        const bool ok = interleaved(
            count,
            [&] {
                qputenv("NOTES_DATA_DIR", emptyLibrary.path().toUtf8());
                OpenLibrary library;
                bool restored = false;
                mine = timed([&] {
                    const BackupResult result = restoreBackup(setup.backupZip, library.repositories(), 0);
                    return result.errors == 0 && result.count > 0;
                }, &restored);
                return restored;
            },
            [&] {
                floor = runProgramTimed(QStringLiteral("unzip"),
                                        {QStringLiteral("-q"), QStringLiteral("-o"), setup.backupZip,
                                         QStringLiteral("-d"), unpacked.path()},
                                        setup.scratchDir);
                return floor.wall > 0;
            });
        if (!ok) {
            state.SkipWithError("restore or unzip failed");
            break;
        }
        state.SetIterationTime(mine.wall);
        oursTotal += mine;
        floorTotal += floor;
        ++count;
    }
    report(state, oursTotal, floorTotal, count);
}
BENCHMARK(BM_RestoreAgainstUnzip)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(3);

bool prepare(const QString &root)
{
    LibraryGenerator::Options options;
    bool sized = false;
    const int notes = qEnvironmentVariableIntValue("OMBREL_BENCH_NOTES", &sized);
    if (sized && notes > 0)
        options.noteCount = notes;
    LibraryGenerator generator(options);

    setup.libraryDir = root + QStringLiteral("/library");
    setup.scratchDir = root + QStringLiteral("/scratch");
    setup.unpackedDir = root + QStringLiteral("/unpacked");
    QDir().mkpath(setup.libraryDir);
    QDir().mkpath(setup.scratchDir);
    qputenv("NOTES_DATA_DIR", setup.libraryDir.toUtf8());
    if (generator.copyTo(setup.libraryDir, QFileInfo(databasePath()).fileName()).isEmpty()) {
        qWarning("library generation failed: %s", qPrintable(generator.errorString()));
        return false;
    }
    QByteArray bytes(64 * 1024, '\0');
    for (int i = 0; i < 300; ++i) {
        for (int b = 0; b < bytes.size(); ++b)
            bytes[b] = char((b * 131 + i * 7) ^ (b >> 5));
        QFile file(attachmentsDirectory() + QLatin1Char('/') + QUuid::createUuid().toString(QUuid::WithoutBraces));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return false;
    }
    setup.backupZip = root + QStringLiteral("/backup.zip");
    {
        OpenLibrary library;
        if (!library.ok || createBackup(setup.backupZip, library.repositories()).errors)
            return false;
    }
    return runProgram(QStringLiteral("unzip"), {QStringLiteral("-q"), setup.backupZip, QStringLiteral("-d"),
                                                setup.unpackedDir},
                      root)
        > 0;
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QLoggingCategory::setFilterRules(QStringLiteral("ombrel.*.info=false"));
    QTemporaryDir root;
    if (!root.isValid() || !prepare(root.path()))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
