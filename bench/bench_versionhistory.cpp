// The version history of a note with many large snapshots: opening the dialog (the list
// filled) and previewing a row, each to the painted result.
//
//   build/bench/bench_versionhistory
//   OMBREL_BENCH_SNAPSHOTS=50 build/bench/bench_versionhistory    # a quicker trial
//
// The note gets 500 snapshots of a ~1 MB body in a fresh database in a temporary data
// directory. Opening is compared with its floor, the bodies of the same rows read once
// (what listing them whole would cost); previewing with reading its one body.

#include "appstate.h"
#include "benchstats.h"
#include "database.h"
#include "documentcorpus.h"
#include "noterepository.h"
#include "snapshotrepository.h"
#include "versionhistorydialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QSqlDatabase>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

struct Environment
{
    QTemporaryDir dir;
    std::unique_ptr<AppState> state;
    QString noteId;
    bool ok = false;
};

Environment *environment()
{
    static Environment *env = [] {
        auto *e = new Environment;
        if (!e->dir.isValid())
            return e;
        qputenv("NOTES_DATA_DIR", e->dir.path().toUtf8());
        e->state = std::make_unique<AppState>();
        if (!e->state->initialize())
            return e;
        const int count = qEnvironmentVariableIntValue("OMBREL_BENCH_SNAPSHOTS") > 0
            ? qEnvironmentVariableIntValue("OMBREL_BENCH_SNAPSHOTS")
            : 500;
        const QString body = BenchCorpus::deltaBody(42, 1024 * 1024);
        Note note;
        note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        note.body = body;
        note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
        note.version = count + 1;
        if (!e->state->notes()->insert(note))
            return e;
        QSqlDatabase db = e->state->database()->handle();
        db.transaction();
        for (int version = 1; version <= count; ++version) {
            Snapshot snapshot;
            snapshot.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
            snapshot.noteId = note.id;
            snapshot.version = version;
            // Each version differs a little, as real edits do.
            snapshot.body = body;
            snapshot.body.insert(12, QString::number(version));
            snapshot.createdAt = note.createdAt.addSecs(-60 * (count - version));
            e->state->snapshots()->insert(snapshot);
        }
        db.commit();
        e->noteId = note.id;
        e->ok = true;
        return e;
    }();
    return env;
}

void report(benchmark::State &state, const std::vector<double> &timed, const std::vector<double> &floor)
{
    state.counters["p50_ms"] = percentile(timed, 0.50);
    state.counters["p95_ms"] = percentile(timed, 0.95);
    const double floorP95 = percentile(floor, 0.95);
    state.counters["floor_p95_ms"] = floorP95;
    state.counters["ratio_p95"] = floorP95 > 0 ? percentile(timed, 0.95) / floorP95 : 0.0;
}

// Construction to the painted dialog with its list, against reading the rows whole.
void BM_HistoryOpen(benchmark::State &state)
{
    Environment *env = environment();
    if (!env->ok) {
        state.SkipWithError("no database");
        return;
    }
    std::vector<double> timed;
    std::vector<double> floor;
    int rows = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        VersionHistoryDialog dialog(env->state.get(), env->noteId);
        dialog.show();
        dialog.repaint();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        timed.push_back(ms);
        state.SetIterationTime(ms / 1000.0);
        rows = dialog.snapshotList()->count();

        state.PauseTiming();
        QElapsedTimer floorTimer;
        floorTimer.start();
        benchmark::DoNotOptimize(env->state->snapshots()->snapshotsForNote(env->noteId).size());
        floor.push_back(double(floorTimer.nsecsElapsed()) / 1e6);
        state.ResumeTiming();
    }
    state.counters["rows"] = rows;
    report(state, timed, floor);
}

// Moving to a row to its painted preview, against reading that row's body.
void BM_HistoryPreview(benchmark::State &state)
{
    Environment *env = environment();
    if (!env->ok) {
        state.SkipWithError("no database");
        return;
    }
    VersionHistoryDialog dialog(env->state.get(), env->noteId);
    dialog.show();
    QCoreApplication::processEvents();
    QListWidget *list = dialog.snapshotList();
    std::vector<double> timed;
    std::vector<double> floor;
    int i = 0;
    for (auto _ : state) {
        const int row = (i++ * 37) % list->count();
        QElapsedTimer timer;
        timer.start();
        list->setCurrentRow(row);
        dialog.flushPreview();
        dialog.repaint();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        timed.push_back(ms);
        state.SetIterationTime(ms / 1000.0);

        state.PauseTiming();
        QElapsedTimer floorTimer;
        floorTimer.start();
        benchmark::DoNotOptimize(env->state->snapshots()->findById(list->item(row)->data(Qt::UserRole).toString()));
        floor.push_back(double(floorTimer.nsecsElapsed()) / 1e6);
        state.ResumeTiming();
    }
    report(state, timed, floor);
}

} // namespace

BENCHMARK(BM_HistoryOpen)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_HistoryPreview)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QLoggingCategory::setFilterRules(QStringLiteral("*.info=false\n*.debug=false"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (Environment *env = environment())
        env->state.reset();
    return 0;
}
