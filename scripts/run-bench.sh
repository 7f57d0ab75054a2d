#!/usr/bin/env bash
# Builds and runs the benchmark: production kernels against the literal
# references and against their floors, side by side in one process, ending
# with the table (the README's "Speed" section shows one). It first checks on
# its own data that production and literal versions agree bit for bit.
# Extra arguments go to Google Benchmark (e.g. --benchmark_filter=brevak).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh >/dev/null
./build/bench/orthopair_bench --benchmark_color=false "$@"
