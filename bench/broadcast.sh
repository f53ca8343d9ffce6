#!/usr/bin/env bash
# Measures build/windows/Quorvane.exe: its size and imports, and the wall time of
# "/broadcast" under Wine against the least program that makes the same call, alone and
# with 1 to 300 listening windows. Prints figures; judges nothing.
#
#   bash bench/broadcast.sh [RUNS]     RUNS per program and row (default 31)
#
# Needs the windows preset built (cmake --build --preset windows).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-31}
build=build/windows
out=build/bench
exe=$build/Quorvane.exe
# Everything Wine runs, its server included, shares one CPU: on a small machine the
# scheduler's moves otherwise spread the times far wider than the programs differ.
cpu=$(($(nproc) - 1))
wine="taskset -c $cpu sh $build/wine.sh"
cc=x86_64-w64-mingw32-gcc-posix
mkdir -p "$out"

[ -f "$exe" ] && [ -f "$build/wine.sh" ] || { echo "build the windows preset first" >&2; exit 1; }
$cc -Os -s -o "$out/least.exe" bench/least.c -luser32
cmake --build --preset windows --target listener >/dev/null
$wine setup >/dev/null

bash scripts/check-exe.sh "$exe" || true
echo "least program: $(stat -c %s "$out/least.exe") bytes"
echo

# Microseconds that one run of PROGRAM /broadcast takes, its output discarded.
time_ms() {
  local start end
  start=$(date +%s%N)
  $wine "$1" /broadcast >/dev/null
  end=$(date +%s%N)
  echo $(((end - start) / 1000))
}

median() { sort -n | awk '{ v[NR] = $1 } END { m = int((NR + 1) / 2); printf "%.1f", (NR % 2 ? v[m] : (v[m] + v[m + 1]) / 2) / 1000 }'; }

# Alternates the two programs, each going first in turn, so that drift in the machine's
# load and any cost of going first or second hit both alike.
compare() {
  local q=() l=() i
  for ((i = 0; i < runs; i++)); do
    if ((i % 2)); then
      l+=("$(time_ms "$out/least.exe")")
      q+=("$(time_ms "$exe")")
    else
      q+=("$(time_ms "$exe")")
      l+=("$(time_ms "$out/least.exe")")
    fi
  done
  q_median=$(printf '%s\n' "${q[@]}" | median)
  l_median=$(printf '%s\n' "${l[@]}" | median)
}

# Keeps one Wine server up for the whole run, as a desktop session would.
$wine stop
$wine persist
trap '$wine stop' EXIT

# Warms the prefix's caches for both.
for _ in 1 2 3; do
  $wine "$exe" /broadcast >/dev/null
  $wine "$out/least.exe" /broadcast >/dev/null
done
compare
printf 'median wall time of "/broadcast" under Wine, %d alternating runs each:\n' "$runs"
printf '  Quorvane.exe %8.1f ms\n  least        %8.1f ms\n  ratio        %8.3f\n\n' \
  "$q_median" "$l_median" "$(awk -v a="$q_median" -v b="$l_median" 'BEGIN { print a / b }')"

printf '%8s %14s %12s %12s\n' windows "Quorvane ms" "least ms" "difference"
for windows in 1 10 100 300; do
  ready=$out/ready.$windows
  rm -f "$ready"
  $wine $build/listener.exe "$windows" 2>"$ready" >/dev/null &
  listener=$!
  for _ in $(seq 600); do grep -q ready "$ready" 2>/dev/null && break; sleep 0.1; done
  grep -q ready "$ready" || { echo "the listener with $windows windows did not start" >&2; exit 1; }
  compare
  kill "$listener" 2>/dev/null || true
  wait "$listener" 2>/dev/null || true
  printf '%8d %14.1f %12.1f %12.1f\n' "$windows" "$q_median" "$l_median" \
    "$(awk -v a="$q_median" -v b="$l_median" 'BEGIN { print a - b }')"
done
