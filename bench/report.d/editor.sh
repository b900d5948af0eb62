#!/usr/bin/env bash
# bench/report part: the editor's task list on 10,000 tasks, next to reading
# the same values from the file alone (offscreen platform).
set -euo pipefail
bin="${BUILD:-build-bench}/bench/bench_editor"
[ -x "$bin" ] || exit 0
csv=$(QT_QPA_PLATFORM=offscreen "$bin" --benchmark_filter='/10000$' --benchmark_format=csv 2>/dev/null)
ms() { awk -F, -v f="$1" 'index($1, f) { print $3; exit }' <<<"$csv"; }
load=$(ms '"LoadTaskList/10000"')
read=$(ms '"ReadListValues/10000"')
ratio=$(awk -v a="$load" -v b="$read" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
met=$(awk -v v="$load" 'BEGIN { print (v < 300 ? "yes" : "NO") }')
echo "editor LoadTaskList, 10,000 tasks (ms)|$load|$read|$ratio|< 300|$met"
