// Renderers and task extraction on generated note bodies.
//
//   build/bench/bench_deltarender
//   build/bench/bench_deltarender --benchmark_filter=Extract

#include "deltarender.h"
#include "documentcorpus.h"
#include "taskextractor.h"
#include "taskextractor_p.h"

#include <QDateTime>
#include <QStringList>

#include <benchmark/benchmark.h>

namespace {

constexpr int TypicalBytes = 4 * 1024;
constexpr int LargeBytes = 1024 * 1024;

// range(0): 0 = a typical 4 KB body, 1 = a 1 MB body with tables.
const QString &body(int which)
{
    static const QString typical = BenchCorpus::deltaBody(7, TypicalBytes, false);
    static const QString large = BenchCorpus::deltaBody(11, LargeBytes, true);
    return which == 0 ? typical : large;
}

// 200 distinct typical bodies, one in twenty with tables as in a real library.
const QStringList &library()
{
    static const QStringList bodies = [] {
        QStringList list;
        for (int i = 0; i < 200; ++i)
            list.append(BenchCorpus::deltaBody(1000 + i, TypicalBytes, i % 20 == 0));
        return list;
    }();
    return bodies;
}

void render(benchmark::State &state, int format)
{
    const QString &text = body(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(renderDelta(text, format));
    state.SetBytesProcessed(state.iterations() * text.toUtf8().size());
}

void BM_RenderPlainText(benchmark::State &state)
{
    render(state, RenderPlainText);
}

void BM_RenderMarkdown(benchmark::State &state)
{
    render(state, RenderMarkdown);
}

void BM_RenderHtml(benchmark::State &state)
{
    render(state, RenderHtml);
}

void BM_ExtractTasks(benchmark::State &state)
{
    const QString &text = body(int(state.range(0)));
    const QString noteId = QStringLiteral("3f0c9a52-5c1e-4f0b-9a1e-2b7d1c0e4a11");
    const QDateTime updated = QDateTime::currentDateTimeUtc();
    for (auto _ : state)
        benchmark::DoNotOptimize(extractTasks(noteId, text, updated));
    state.SetBytesProcessed(state.iterations() * text.toUtf8().size());
}

// What the To-Dos screen does on every refresh of a 100,000-note library.
template<typename Extract>
void extractLibrary(benchmark::State &state, Extract extract)
{
    const QStringList &bodies = library();
    const QString noteId = QStringLiteral("3f0c9a52-5c1e-4f0b-9a1e-2b7d1c0e4a11");
    const QDateTime updated = QDateTime::currentDateTimeUtc();
    qsizetype tasks = 0;
    for (auto _ : state) {
        for (int round = 0; round < 500; ++round) {
            for (const QString &text : bodies)
                tasks += extract(noteId, text, updated).size();
        }
    }
    state.counters["tasks"] = benchmark::Counter(double(tasks) / double(state.iterations()));
}

void BM_ExtractTasks100k(benchmark::State &state)
{
    extractLibrary(state, &extractTasks);
}

void BM_ExtractTasks100kFullParse(benchmark::State &state)
{
    extractLibrary(state, &extractTasksByFullParse);
}

// The first generated body of that size from `seed` on that holds a checklist item.
QString bodyWithChecklist(std::uint64_t seed, int bytes, bool withTables, int &line)
{
    for (;; ++seed) {
        const QString text = BenchCorpus::deltaBody(seed, bytes, withTables);
        for (const Task &task : extractTasks(QStringLiteral("n"), text, {})) {
            if (task.source == TaskSource::Checklist && !setTaskCompleted(text, task.lineIndex, true).isEmpty()) {
                line = task.lineIndex;
                return text;
            }
        }
    }
}

void BM_SetTaskCompleted(benchmark::State &state)
{
    int line = 0;
    const QString text = state.range(0) == 0 ? bodyWithChecklist(7, TypicalBytes, false, line)
                                             : bodyWithChecklist(11, LargeBytes, true, line);
    for (auto _ : state)
        benchmark::DoNotOptimize(setTaskCompleted(text, line, true));
}

} // namespace

BENCHMARK(BM_RenderPlainText)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderMarkdown)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderHtml)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExtractTasks)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SetTaskCompleted)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExtractTasks100k)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExtractTasks100kFullParse)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
