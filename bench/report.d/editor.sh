#!/usr/bin/env bash
# bench/report part: the editor's task list on 10,000 tasks, next to reading
# the same values from the file alone (offscreen platform).
set -euo pipefail
bin="${BUILD:-build-bench}/bench/bench_editor"
[ -x "$bin" ] || exit 0
out=$(QT_QPA_PLATFORM=offscreen "$bin" --benchmark_filter='/10000$' 2>/dev/null | sed 's/\x1b\[[0-9;]*m//g')
# "LoadTaskList/10000: 26.9 ms, 1.57x the reading alone (...)"
line=$(grep '^LoadTaskList/10000:' <<<"$out")
load=$(sed -E 's/^[^:]*: ([0-9.]+) ms.*/\1/' <<<"$line")
ratio=$(sed -E 's/.*, ([0-9.]+)x the reading alone.*/\1/' <<<"$line")
read=$(awk -v a="$load" -v r="$ratio" 'BEGIN { printf "%.1f", (r > 0 ? a / r : 0) }')
met=$(awk -v v="$load" 'BEGIN { print (v < 300 ? "yes" : "NO") }')
echo "editor LoadTaskList, 10,000 tasks (ms)|$load|$read|$ratio|< 300|$met"
