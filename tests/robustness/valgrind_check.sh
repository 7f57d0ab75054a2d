#!/usr/bin/env bash
# Runs the bad-call script inside Octave under Valgrind's memcheck twice, with
# N and with 4N calls of each MEX-file, and fails when
#   - there is any invalid read or write, use of uninitialised memory or bad
#     free, wherever it is reported (Octave alone gives none),
#   - any leak record has a frame in one of our MEX-files, or
#   - the memory lost (definitely, and indirectly through it) grows with the
#     number of calls by more than Octave's own run-to-run wander.
# Octave itself loses a fixed amount at exit, the same in both runs; its leak
# records have no frame of ours and are not failures.
#
# usage: valgrind_check.sh MEX_DIR SCRIPT_DIR WORK_DIR [N]
set -euo pipefail

mex_dir=$(cd "$1" && pwd)
script_dir=$(cd "$2" && pwd)
work=$3
n=${4:-100}
source "$script_dir/../../scripts/scratch-folder.sh"
scratch_folder "$work"

run() {  # calls per function, log name
  bash "$script_dir/run_octave.sh" "$mex_dir" "$script_dir" "bad_calls($1)" \
    valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect,possible \
    --num-callers=50 --log-file="$work/$2.log" >"$work/$2.out" 2>&1
}

# Prints the reports of one log that have a frame in a MEX-file of ours.
ours() {
  awk '
    /^==[0-9]+== *$/ { if (block ~ /\(in [^)]*\.mex\)/) printf "%s\n", block; block = ""; next }
    { block = block $0 "\n" }
    END { if (block ~ /\(in [^)]*\.mex\)/) printf "%s\n", block }
  ' "$1"
}

# Bytes definitely lost, counting what those blocks alone point to
# (indirectly lost): how valgrind splits the two depends on the order in
# which it finds the blocks, their sum does not.
lost_bytes() {
  sed -n 's/.*\(definitely\|indirectly\) lost: \([0-9,]*\) bytes.*/\2/p' "$1" | tr -d , |
    awk '{ s += $1; n++ } END { if (n == 2) print s }'
}

start=$SECONDS
# Both runs at once: each is one Octave process on one core.
run "$n" small &
small_pid=$!
run "$((4 * n))" large &
large_pid=$!
status=0
declare -A code
for log in small large; do
  pid_var=${log}_pid
  code[$log]=0
  wait "${!pid_var}" || code[$log]=$?
done
for log in small large; do
  if ((code[$log] == 0)); then
    tail -n 2 "$work/$log.out"
    continue
  fi
  # Valgrind's decoder does not know every instruction of every processor:
  # where a system library that Octave loads at start-up uses one it cannot
  # decode (RDTSCP in libhwy on some machines), Octave dies before any MEX-file
  # is loaded, and this machine cannot run the check at all. That is no
  # finding about our code: say so and skip (exit 77), never pass.
  if grep -q 'Unrecognised instruction' "$work/$log.log" && [[ -z $(ours "$work/$log.log") ]]; then
    grep -m1 -B4 'Unrecognised instruction' "$work/$log.log" | grep -v '^==[0-9]*== *$' || true
    grep -m1 -A1 'Unrecognised instruction' "$work/$log.log" | tail -n 1
    echo "SKIPPED: valgrind cannot run octave-cli on this processor"
    exit 77
  fi
  cat "$work/$log.out"
  echo "FAILED: the $log run did not finish cleanly"
  status=1
done
((status == 0)) || exit 1

for log in small large; do
  found=$(ours "$work/$log.log")
  if [[ -n $found ]]; then
    echo "FAILED: reports with frames in our MEX-files ($log run):"
    echo "$found" | head -n 80
    status=1
  fi
  # Octave itself reads and writes cleanly: any such report counts, in
  # whichever library its innermost frame lies.
  memory=$(grep -E '^==[0-9]+== (Invalid|Conditional|Use of uninit|Syscall param|Mismatched|Source and dest|Argument .* of function)' \
    "$work/$log.log" || true)
  if [[ -n $memory ]]; then
    echo "FAILED: memory errors ($log run):"
    echo "$memory" | sort | uniq -c
    status=1
  fi
  echo "$log run: $(grep 'ERROR SUMMARY' "$work/$log.log" | sed 's/^==[0-9]*== //');" \
       "lost: $(lost_bytes "$work/$log.log") bytes"
done

# Octave's own loss at exit wanders by a kilobyte or so from run to run. The
# large run makes 3N more calls of each of the three MEX-files; a leak of even
# the smallest heap block (16 bytes) on some path hit by a quarter of them
# would add 36N bytes, so growth counts only above 4 bytes per extra call.
margin=$((4 * 9 * n))
small=$(lost_bytes "$work/small.log")
large=$(lost_bytes "$work/large.log")
if [[ -z $small || -z $large ]]; then
  echo "FAILED: no leak summary in the valgrind logs"
  status=1
elif ((large - small > margin)); then
  echo "FAILED: lost memory grows with the number of calls: $small -> $large bytes"
  status=1
fi
echo "valgrind: $n and $((4 * n)) calls per MEX-file in $((SECONDS - start)) s"
if ((status == 0)); then
  echo "valgrind: no report in our code, no leak that grows with the calls"
fi
exit $status
