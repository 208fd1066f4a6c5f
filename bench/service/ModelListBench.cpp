// Merging a model listing into the model list: 200,000 and 1,000,000 listed names (every
// tenth one already listed in another letter case, every hundredth one not valid) into a
// list of 50 names. MergeModelNames alone, and NewModelNames, which also counts the names
// refused and keeps what Models.txt can hold.
#include "service/ModelList.h"

#include <QStringList>

#include <benchmark/benchmark.h>

namespace {

using namespace Qt::StringLiterals;

QStringList currentNames() {
    QStringList names;
    for (int i = 0; i < 50; ++i)
        names.append(u"gemini-2.5-flash-%1"_s.arg(i));
    return names;
}

QStringList listedNames(int count) {
    QStringList names;
    names.reserve(count);
    for (int i = 0; i < count; ++i) {
        if (i % 100 == 99)
            names.append(u"../models/%1"_s.arg(i));
        else if (i % 10 == 0)
            names.append(u"GEMINI-2.5-FLASH-%1"_s.arg(i % 50));
        else
            names.append(u"gemini-exp-%1-preview"_s.arg(i));
    }
    return names;
}

void BM_MergeModelNames(benchmark::State& state) {
    const QStringList current = currentNames();
    const QStringList listed = listedNames(int(state.range(0)));
    qsizetype merged = 0;
    for (auto _ : state)
        merged = MergeModelNames(current, listed).size();
    state.counters["merged"] = double(merged);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_MergeModelNames)
    ->Arg(200000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_NewModelNames(benchmark::State& state) {
    const QStringList current = currentNames();
    const QStringList listed = listedNames(int(state.range(0)));
    ModelListAddition addition;
    for (auto _ : state)
        addition = NewModelNames(current, listed, TextFormat{});
    state.counters["added"] = double(addition.Added.size());
    state.counters["left_out"] = double(addition.LeftOut);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_NewModelNames)
    ->Arg(200000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

} // namespace

BENCHMARK_MAIN();
