#!/usr/bin/env bash
# Builds and runs the benchmark: production kernels against the literal
# references, side by side in one process, ending with a table of ratios.
# Extra arguments go to Google Benchmark (e.g. --benchmark_filter=brevak).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh >/dev/null
./build/bench/orthopair_bench --benchmark_color=false "$@"
