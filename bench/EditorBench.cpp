// The editor's task list: LoadTaskList on a generated task file, next to a
// baseline measured in the same run that reads the same three values of
// every task through the INI class without any list. Target: 10,000 tasks
// in under 300 ms.
#include <QApplication>
#include <QTreeWidget>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <unistd.h>

#include "bench/BenchTaskFile.h"
#include "editor/NastPlan.h"
#include "storage/PLVIni.h"
#include "storage/TaskFile.h"

using namespace znx;

namespace {

std::string TaskFile(int n) {
    const std::string path =
        "/tmp/znx-bench-editor-" + std::to_string(getpid()) + "-" + std::to_string(n) + ".ini";
    bench::WriteTaskFile(path, n);
    return path;
}

// What LoadTaskList reads, without the list.
void ReadListValues(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::string path = TaskFile(n);
    TPLVIniFile ini(path);
    size_t sink = 0;
    for (auto _ : state) {
        TStrings sections;
        ini.ReadSections(sections);
        for (const std::string& s : sections) {
            sink += ini.ReadString(s, TaskKeys::Name, "").size();
            sink += KindDisplayName(ini.ReadString(s, TaskKeys::Type, "")).size();
            std::string command = ini.ReadString(s, TaskKeys::Sql, "");
            if (command.empty()) {
                TStrings lines = ReadKeyList(ini, s, TaskKeys::Sql);
                if (!lines.empty()) command = lines.front();
            }
            sink += command.size();
        }
    }
    benchmark::DoNotOptimize(sink);
    state.SetItemsProcessed(state.iterations() * n);
    unlink(path.c_str());
}
BENCHMARK(ReadListValues)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The main window's LoadTaskList: the list emptied and refilled.
void LoadTaskList(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::string path = TaskFile(n);
    editor::TFormNastPlan form(QString::fromStdString(path));
    form.show();
    for (auto _ : state) {
        form.LoadTaskList();
        QApplication::processEvents(); // the list lays out and paints its rows
    }
    if (form.ListView->topLevelItemCount() != n) state.SkipWithError("wrong row count");
    state.SetItemsProcessed(state.iterations() * n);
    form.close();
    unlink(path.c_str());
}
BENCHMARK(LoadTaskList)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Reports the ratio to the baseline and the target.
class Reporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const std::string name = run.benchmark_name();
            const double ms = run.GetAdjustedRealTime(); // in the benchmark's unit
            if (name.rfind("ReadListValues/", 0) == 0) baseline_[name.substr(15)] = ms;
            if (name.rfind("LoadTaskList/", 0) == 0) {
                const std::string arg = name.substr(13);
                const double base = baseline_.count(arg) ? baseline_[arg] : 0;
                char ratio[64] = "no baseline in this run";
                if (base > 0) std::snprintf(ratio, sizeof ratio, "%.2fx the reading alone", ms / base);
                std::fprintf(stdout, "LoadTaskList/%s: %.1f ms, %s%s\n", arg.c_str(), ms, ratio,
                             arg == "10000" ? (ms < 300 ? " (target under 300 ms: met)"
                                                        : " (target under 300 ms: MISSED)")
                                            : "");
            }
        }
    }

private:
    std::map<std::string, double> baseline_;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
