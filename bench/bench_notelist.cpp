// Note list with a 100,000-note library: filling (at once and in chunks), the incremental
// updates an autosave makes, scrolling and painting.
//
//   build/bench/bench_notelist
//   build/bench/bench_notelist --benchmark_filter=PlaceEntry

#include "documentcorpus.h"
#include "notelistdelegate.h"
#include "notelistwidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr int NoteCount = 100000;

QString noteId(int i)
{
    return QStringLiteral("0b5e%1-7c1d-4e2a-9f00-%2")
        .arg(i, 4, 16, QLatin1Char('0'))
        .arg(quint64(BenchCorpus::mix(quint64(i))) & 0xffffffffffffULL, 12, 16, QLatin1Char('0'));
}

// Newest first, as the repository lists them.
const QList<NoteListEntry> &libraryEntries()
{
    static const QList<NoteListEntry> entries = [] {
        QList<NoteListEntry> list;
        list.reserve(NoteCount);
        const QDateTime newest = QDateTime::currentDateTimeUtc();
        for (int i = 0; i < NoteCount; ++i) {
            NoteListEntry entry;
            entry.id = noteId(i);
            entry.notebookId = i % 20 == 0 ? QString() : QStringLiteral("notebook-%1").arg(i % 200);
            entry.updatedAt = newest.addSecs(-qint64(i) * 600);
            entry.version = 1 + i % 7;
            entry.syncStatus = i % 11 == 0 ? SyncStatus::Pending : SyncStatus::Synced;
            entry.isShared = i % 37 == 0;
            list.append(entry);
        }
        return list;
    }();
    return entries;
}

const QHash<QString, NoteListEntry> &entriesById()
{
    static const QHash<QString, NoteListEntry> byId = [] {
        QHash<QString, NoteListEntry> hash;
        for (const NoteListEntry &entry : libraryEntries())
            hash.insert(entry.id, entry);
        return hash;
    }();
    return byId;
}

// Stands in for the repository: a body of about 2 KB per note, built on request.
QString bodyOf(const QString &id)
{
    return BenchCorpus::deltaBody(qHash(id), 2048);
}

void configure(NoteListWidget &list)
{
    list.setBodyProvider(&bodyOf);
    list.setNotebookNameResolver([](const QString &id) {
        return id.isEmpty() ? QString() : QStringLiteral("Notebook ") + id.mid(9);
    });
    list.resize(320, 1000);
}

struct Samples {
    std::vector<double> ms;
    void report(benchmark::State &state)
    {
        std::sort(ms.begin(), ms.end());
        const auto at = [this](double q) {
            return ms.empty() ? 0.0 : ms[std::min(ms.size() - 1, size_t(q * double(ms.size())))];
        };
        state.counters["p50_ms"] = at(0.50);
        state.counters["p95_ms"] = at(0.95);
        state.counters["max_ms"] = ms.empty() ? 0.0 : ms.back();
    }
};

// Start-up: a new list filled and shown, up to its first painted frame.
void BM_FirstShow(benchmark::State &state)
{
    for (auto _ : state) {
        auto *list = new NoteListWidget;
        configure(*list);
        list->setEntries(libraryEntries());
        list->show();
        benchmark::DoNotOptimize(list->grab());
        state.PauseTiming();
        delete list;
        state.ResumeTiming();
    }
}

// A full refresh of a shown list (search, notebook switch): the old rows go, the texts
// of unchanged visible notes are kept.
void BM_SetEntries(benchmark::State &state)
{
    NoteListWidget list;
    configure(list);
    list.show();
    list.setEntries(libraryEntries());
    list.selectNote(libraryEntries().at(3).id);
    list.grab();
    for (auto _ : state) {
        list.setEntries(libraryEntries());
        benchmark::ClobberMemory();
    }
}

// An autosave: the edited note goes from the middle to the top with a new version.
// range(0): 0 = the current note, placeEntry alone (restoring the current row lays the
// view out at once); 1 = the same with the repaint that follows; 2 = a note that is not
// current (a sync update), whose relayout waits for the next paint.
void BM_PlaceEntryMiddleToTop(benchmark::State &state)
{
    const bool paint = state.range(0) == 1;
    const bool current = state.range(0) != 2;
    NoteListWidget list;
    configure(list);
    list.show();
    list.setEntries(libraryEntries());
    list.grab();
    Samples samples;
    int version = 100;
    for (auto _ : state) {
        state.PauseTiming();
        const QString id = list.noteIdAt(NoteCount / 2);
        NoteListEntry entry = entriesById().value(id);
        if (current)
            list.selectNote(id);
        else
            list.selectNote(libraryEntries().at(5).id);
        entry.version = ++version;
        QApplication::processEvents();
        state.ResumeTiming();

        QElapsedTimer timer;
        timer.start();
        list.placeEntry(entry, 0);
        if (paint) {
            QApplication::processEvents();
            list.viewport()->repaint();
        }
        samples.ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    samples.report(state);
}

// A note trashed from the middle of the list (put back outside the timing).
void BM_RemoveEntry(benchmark::State &state)
{
    NoteListWidget list;
    configure(list);
    list.show();
    list.setEntries(libraryEntries());
    list.grab();
    Samples samples;
    for (auto _ : state) {
        state.PauseTiming();
        const NoteListEntry entry = libraryEntries().at(NoteCount / 2);
        list.selectNote(entry.id);
        QApplication::processEvents();
        state.ResumeTiming();

        QElapsedTimer timer;
        timer.start();
        list.removeEntry(entry.id);
        samples.ms.push_back(double(timer.nsecsElapsed()) / 1e6);

        state.PauseTiming();
        list.placeEntry(entry, NoteCount / 2);
        state.ResumeTiming();
    }
    samples.report(state);
}

// Filling a shown list in the background: 100,000 rows appended in chunks, as the start-up
// fill does, each chunk with the repaint that follows it.
void BM_AppendEntriesInChunks(benchmark::State &state)
{
    const qsizetype chunk = state.range(0);
    Samples samples;
    for (auto _ : state) {
        state.PauseTiming();
        auto list = std::make_unique<NoteListWidget>();
        configure(*list);
        list->show();
        list->setEntries(libraryEntries().mid(0, chunk));
        list->grab();
        state.ResumeTiming();
        for (qsizetype from = chunk; from < NoteCount; from += chunk) {
            QElapsedTimer timer;
            timer.start();
            list->appendEntries(libraryEntries().mid(from, chunk));
            list->viewport()->repaint();
            samples.ms.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        state.PauseTiming();
        list.reset();
        state.ResumeTiming();
    }
    samples.report(state);
}

// Scrolling a page at a time through rows not painted before: each page derives the texts
// of its cards from their bodies. Beside it, a page of rows already painted.
void BM_ScrollPage(benchmark::State &state)
{
    const bool fresh = state.range(0) == 1;
    NoteListWidget list;
    configure(list);
    list.show();
    list.setEntries(libraryEntries());
    list.grab();
    const int pageRows = std::max(1, list.viewport()->height() / NoteListDelegate::rowHeight());
    Samples samples;
    int page = 0;
    for (auto _ : state) {
        // Fresh pages walk down the list; painted ones alternate between two pages.
        ++page;
        const int row = fresh ? (page * pageRows) % NoteCount : (page % 2) * pageRows;
        QElapsedTimer timer;
        timer.start();
        list.scrollTo(list.indexOfRow(row), QAbstractItemView::PositionAtTop);
        benchmark::DoNotOptimize(list.viewport()->grab());
        samples.ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    samples.report(state);
}

// Painting the visible cards of a 100,000-row list whose texts are known.
void BM_Paint(benchmark::State &state)
{
    NoteListWidget list;
    configure(list);
    list.show();
    list.setEntries(libraryEntries());
    list.grab();
    for (auto _ : state)
        benchmark::DoNotOptimize(list.grab());
}

} // namespace

BENCHMARK(BM_FirstShow)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SetEntries)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_PlaceEntryMiddleToTop)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond)->Iterations(200);
BENCHMARK(BM_RemoveEntry)->Unit(benchmark::kMicrosecond)->Iterations(200);
BENCHMARK(BM_AppendEntriesInChunks)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ScrollPage)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(BM_Paint)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
