// The task walk's own cost per task: 10,000 SQL tasks for which no server
// profile is available, so each catalog fails at once; the log path is empty,
// so the figure leaves out the log write.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include "bench/BenchTaskFile.h"
#include "runner/RunFrame.h"
#include "runner/TaskWalk.h"

using namespace znx;

static void TaskWalkPerTask(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::string path = "/tmp/znx-bench-walk-" + std::to_string(getpid()) + ".ini";
    bench::WriteTaskFile(path, n);
    CreateProcessState();
    TRunnerActions actions;
    for (auto _ : state) RunTaskWalk(path, "", "", "", actions);
    state.SetItemsProcessed(state.iterations() * n);
    state.counters["us_per_task"] =
        benchmark::Counter(static_cast<double>(state.iterations() * n), benchmark::Counter::kIsRate |
                                                                           benchmark::Counter::kInvert);
    unlink(path.c_str());
}
BENCHMARK(TaskWalkPerTask)->Arg(10000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
