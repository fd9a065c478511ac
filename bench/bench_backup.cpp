// Backup and restore of the generated 100,000-note library (plus 300 attachment files of
// 64 KB), each measured against the "zip -r" / "unzip" programs on the same unpacked tree
// in the same iteration. The reported time is ours; "floor_s" is the program's and
// "ratio" ours divided by it.
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

double runProgram(const QString &program, const QStringList &arguments, const QString &workingDirectory)
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(600000) || process.exitCode() != 0)
        return -1;
    return double(timer.nsecsElapsed()) / 1e9;
}

void BM_BackupAgainstZip(benchmark::State &state)
{
    qputenv("NOTES_DATA_DIR", setup.libraryDir.toUtf8());
    OpenLibrary library;
    double floorTotal = 0;
    double oursTotal = 0;
    int count = 0;
    for (auto _ : state) {
        const QString ours = setup.scratchDir + QStringLiteral("/ours.zip");
        QElapsedTimer timer;
        timer.start();
        const BackupResult result = createBackup(ours, library.repositories());
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        if (result.errors) {
            state.SkipWithError("backup failed");
            break;
        }
        state.SetIterationTime(seconds);
        const QString theirs = setup.scratchDir + QStringLiteral("/floor.zip");
        QFile::remove(theirs);
        const double floor = runProgram(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-r"), theirs,
                                                                QStringLiteral(".")},
                                        setup.unpackedDir);
        if (floor <= 0) {
            state.SkipWithError("zip failed or is missing");
            break;
        }
        QFile::remove(ours);
        QFile::remove(theirs);
        oursTotal += seconds;
        floorTotal += floor;
        ++count;
    }
    if (count) {
        state.counters["floor_s"] = floorTotal / count;
        state.counters["ratio"] = oursTotal / floorTotal;
    }
}
BENCHMARK(BM_BackupAgainstZip)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(3);

void BM_RestoreAgainstUnzip(benchmark::State &state)
{
    double floorTotal = 0;
    double oursTotal = 0;
    int count = 0;
    for (auto _ : state) {
        QTemporaryDir emptyLibrary(setup.scratchDir + QStringLiteral("/restore-XXXXXX"));
        qputenv("NOTES_DATA_DIR", emptyLibrary.path().toUtf8());
        double seconds = 0;
        {
            OpenLibrary library;
            QElapsedTimer timer;
            timer.start();
            const BackupResult result = restoreBackup(setup.backupZip, library.repositories(), 0);
            seconds = double(timer.nsecsElapsed()) / 1e9;
            if (result.errors || result.count == 0) {
                state.SkipWithError("restore failed");
                break;
            }
        }
        state.SetIterationTime(seconds);
        QTemporaryDir unpacked(setup.scratchDir + QStringLiteral("/unzip-XXXXXX"));
        const double floor = runProgram(QStringLiteral("unzip"), {QStringLiteral("-q"), QStringLiteral("-o"),
                                                                  setup.backupZip, QStringLiteral("-d"), unpacked.path()},
                                        setup.scratchDir);
        if (floor <= 0) {
            state.SkipWithError("unzip failed or is missing");
            break;
        }
        oursTotal += seconds;
        floorTotal += floor;
        ++count;
    }
    if (count) {
        state.counters["floor_s"] = floorTotal / count;
        state.counters["ratio"] = oursTotal / floorTotal;
    }
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
