#!/usr/bin/env bash
# Keeps the demo output shown in README.md true to what the demo prints.
#
#   update-readme-demo.sh [MEX_DIR]           runs examples/demo_sparse_pca.m
#                                             and rewrites the README's block
#                                             between the demo-output markers
#   update-readme-demo.sh --check [MEX_DIR]   runs it and fails when the block
#                                             no longer matches (the test
#                                             package.readme_demo does this)
#
# MEX_DIR holds the built MEX-files (default build/mex; run scripts/build.sh
# mex first). The excerpt is the second run's progress table without its
# time column (timings differ from run to run), "...", and the summary lines
# chosen below. The check compares numbers to 1e-9 relative (and treats
# values below 1e-12, rounding noise such as |X'X - I|, as equal), since the
# last bits of the matrix products the demo prints depend on the BLAS build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
readme=$root/README.md
begin_marker='<!-- demo-output:begin'
end_marker='<!-- demo-output:end -->'

# What the excerpt shows: the lines from the first match of table_start up to
# (not including) the first later match of table_end, then "...", then the
# first line matching each of the summary patterns, in this order.
table_start='^-- Run 2'
table_end='^stopped'
summary=('^objective F\(X\)' '^best single pair step' '^sparsity' '^planted support recovered')

check=0
if [[ ${1:-} == --check ]]; then
  check=1
  shift
fi
mex_dir=$(cd "${1:-$root/build/mex}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$work" && octave-cli --no-gui --norc --quiet --no-history --eval \
  "addpath('$mex_dir'); addpath('$root/examples'); png_dir = '$work'; demo_sparse_pca") \
  >"$work/demo.out" 2>"$work/demo.err" || {
  cat "$work/demo.out" "$work/demo.err" >&2
  echo "update-readme-demo: the demo failed" >&2
  exit 1
}

# The progress rows start with the time column, the header with "time [s]".
awk -v start="$table_start" -v stop="$table_end" '
  $0 ~ start { on = 1 }
  on && $0 ~ stop { exit }
  on {
    if ($0 ~ /^[[:space:]]*time \[s\]/) sub(/^[[:space:]]*time \[s\][[:space:]]*/, "")
    else if ($1 ~ /^[0-9]+\.[0-9]+$/) sub(/^[[:space:]]*[^[:space:]]+[[:space:]]*/, "")
    print
  }' "$work/demo.out" >"$work/excerpt"
if [[ ! -s $work/excerpt ]]; then
  echo "update-readme-demo: no line of the demo output matches '$table_start'" >&2
  exit 1
fi
echo "..." >>"$work/excerpt"
for pattern in "${summary[@]}"; do
  line=$(grep -m1 -E "$pattern" "$work/demo.out") || {
    echo "update-readme-demo: no line of the demo output matches '$pattern'" >&2
    exit 1
  }
  echo "$line" >>"$work/excerpt"
done

if ! grep -q "^$begin_marker" "$readme" || ! grep -qF "$end_marker" "$readme"; then
  echo "update-readme-demo: README.md lacks the demo-output markers" >&2
  exit 1
fi
# The README's block: the lines between the markers, without the fence.
awk -v b="$begin_marker" -v e="$end_marker" '
  index($0, b) == 1 { on = 1; next }
  index($0, e) == 1 { on = 0 }
  on && !/^```/' "$readme" >"$work/shown"

if ((check)); then
  if awk '
      function numeric(t) { return t ~ /^[-+]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][-+]?[0-9]+)?$/ }
      function same(a, b,   x, y, scale) {
        if (a == b) return 1
        if (!numeric(a) || !numeric(b)) return 0
        x = a + 0; y = b + 0
        if (x < 0 ? -x < 1e-12 : x < 1e-12) if (y < 0 ? -y < 1e-12 : y < 1e-12) return 1
        scale = (x < 0 ? -x : x) > (y < 0 ? -y : y) ? (x < 0 ? -x : x) : (y < 0 ? -y : y)
        return (x - y < 0 ? y - x : x - y) <= 1e-9 * scale
      }
      NR == FNR { shown[NR] = $0; n_shown = NR; next }
      {
        n_now = FNR
        if (FNR > n_shown) { bad = 1; exit }
        k = split(shown[FNR], a); m = split($0, b)
        if (k != m) { bad = 1; exit }
        for (i = 1; i <= k; i++) if (!same(a[i], b[i])) { bad = 1; exit }
      }
      END { exit (bad || n_now != n_shown) ? 1 : 0 }' "$work/shown" "$work/excerpt"; then
    echo "README.md: the demo output shown is up to date"
  else
    echo "README.md: the demo output shown is stale; the demo now prints:" >&2
    diff "$work/shown" "$work/excerpt" >&2 || true
    echo "If the solver's path or its output format was meant to change, rewrite the block" >&2
    echo "with: bash scripts/update-readme-demo.sh. Otherwise this is a change of the" >&2
    echo "solver's result that the other tests did not see: look for its cause first." >&2
    exit 1
  fi
else
  awk -v b="$begin_marker" -v e="$end_marker" -v excerpt="$work/excerpt" '
    index($0, b) == 1 {
      print; print "```text"
      while ((getline line < excerpt) > 0) print line
      print "```"; skip = 1; next
    }
    index($0, e) == 1 { skip = 0 }
    !skip' "$readme" >"$work/README.md"
  cp "$work/README.md" "$readme"
  echo "README.md: demo output updated"
fi
