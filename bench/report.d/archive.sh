#!/usr/bin/env bash
# bench/report part: the archiver component against zip and bsdtar on about
# 500 MB of generated files (bench/archive.sh, one round).
set -euo pipefail
cd "$(dirname "$0")/../.."
ARCHIVE_ROWS=1 exec bench/archive.sh "${BUILD:-build-bench}" 1
