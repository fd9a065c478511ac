// Import of a generated Joplin export: 5,000 notes in 20 notebooks, about 20 MB of
// Markdown, one note in ten with an image referenced twice. Each iteration imports into a
// fresh, empty library. Judge by CPU time on a loaded machine.
//
//   build/bench/bench_import
//
// With the peer's command-line client (JOPLIN=/path/to/joplin, or "joplin" on PATH),
// BM_PeerJoplinImport5000 times its own import of the same archive into a private
// profile, once, for comparison (wall time: the work is in the child process).

#include "archivefixtures.h"
#include "archivereader.h"
#include "markdowntodelta.h"
#include "attachmentrepository.h"
#include "database.h"
#include "joplinimporter.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "paths.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QString archivePath;

void BM_JoplinImport5000(benchmark::State &state)
{
    int imported = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dataDir;
        qputenv("NOTES_DATA_DIR", dataDir.path().toUtf8());
        auto database = std::make_unique<Database>();
        if (!database->open(databasePath()) || !database->migrate()) {
            state.SkipWithError("no library");
            break;
        }
        NoteRepository notes(database.get());
        NotebookRepository notebooks(database.get());
        AttachmentRepository attachments(database.get());
        state.ResumeTiming();

        const ImportResult result = importJex(archivePath, {database.get(), &notes, &notebooks, &attachments}, {});

        state.PauseTiming();
        imported = result.imported;
        if (result.imported != 5000 || result.errors != 0)
            state.SkipWithError("import incomplete");
        database.reset();
        state.ResumeTiming();
    }
    state.counters["notes"] = imported;
    state.counters["archive_MB"] = double(QFileInfo(archivePath).size()) / (1024.0 * 1024.0);
}
// Process CPU: the notes are prepared on a worker thread.
BENCHMARK(BM_JoplinImport5000)->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime()->UseRealTime();

// The Markdown conversion alone, over the same 5,000 bodies, to tell it from the storing.
void BM_MarkdownConversion5000(benchmark::State &state)
{
    static const QStringList bodies = [] {
        QStringList list;
        ArchiveReader reader(archivePath);
        ArchiveReader::Entry entry;
        if (!reader.open())
            return list;
        while (reader.next(&entry)) {
            QByteArray data;
            reader.readData(&data, 1 << 26);
            const JoplinItem item = parseJoplinItem(QString::fromUtf8(data));
            if (item.type == 1)
                list.append(item.body);
        }
        return list;
    }();
    for (auto _ : state) {
        for (const QString &body : bodies)
            benchmark::DoNotOptimize(markdownToDelta(body));
    }
    state.counters["notes"] = bodies.size();
}
BENCHMARK(BM_MarkdownConversion5000)->Unit(benchmark::kMillisecond)->Iterations(1);

QString peerClient()
{
    const QString configured = qEnvironmentVariable("JOPLIN");
    return configured.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("joplin")) : configured;
}

void BM_PeerJoplinImport5000(benchmark::State &state)
{
    const QString client = peerClient();
    if (client.isEmpty()) {
        state.SkipWithError("no Joplin client (set JOPLIN)");
        return;
    }
    for (auto _ : state) {
        QTemporaryDir home;
        QProcess peer;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        peer.setProcessEnvironment(environment);
        peer.setProcessChannelMode(QProcess::MergedChannels);
        QElapsedTimer timer;
        timer.start();
        peer.start(client, {QStringLiteral("--profile"), home.filePath(QStringLiteral("profile")), QStringLiteral("import"),
                            QStringLiteral("--format"), QStringLiteral("jex"), archivePath});
        const bool finished = peer.waitForFinished(10 * 60 * 1000);
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        if (!finished || peer.exitStatus() != QProcess::NormalExit || peer.exitCode() != 0) {
            peer.kill();
            peer.waitForFinished(5000);
            state.SkipWithError(qPrintable(QStringLiteral("peer import failed: ") + QString::fromLocal8Bit(peer.readAll().right(300))));
            break;
        }
    }
}
BENCHMARK(BM_PeerJoplinImport5000)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

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
    QTemporaryDir work;
    archivePath = work.filePath(QStringLiteral("export.jex"));
    if (!ArchiveFixtures::writeJoplinExport(archivePath, 5000, 20, 4000, 10))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
