// The INI class on a generated task file: load, read every key the way the
// runner does, save. Run with the section count as argument; the time must
// grow linearly with it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include "bench/BenchTaskFile.h"
#include "storage/PLVIni.h"
#include "storage/TaskFile.h"

using namespace znx;

static void IniSweep(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::string path = "/tmp/znx-bench-ini-" + std::to_string(getpid()) + ".ini";
    bench::WriteTaskFile(path, n);
    size_t sink = 0;
    for (auto _ : state) {
        TPLVIniFile ini(path);
        TStrings sections;
        ini.ReadSections(sections);
        for (const std::string& s : sections) {
            sink += ini.ReadString(s, TaskKeys::RunnerName, "").size();
            sink += static_cast<size_t>(TaskTypeOf(ini.ReadString(s, TaskKeys::RunnerType, "")));
            sink += ReadCommandLines(ini, s).size();
            sink += ReadCatalogs(ini, s).size();
            sink += static_cast<size_t>(ReadTimeout(ini, s));
        }
        ini.WriteString(sections.front(), "touched", "1");
        ini.UpdateFile();
    }
    benchmark::DoNotOptimize(sink);
    state.SetItemsProcessed(state.iterations() * n);
    unlink(path.c_str());
}
BENCHMARK(IniSweep)->Arg(1000)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
