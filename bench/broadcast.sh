#!/usr/bin/env bash
# Measures build/windows/Quorvane.exe (or EXE): its size and imports, and the wall time of
# "/broadcast" under Wine against the least program that makes the same call, alone and
# with 1 to 300 listening windows. Before each row's timed runs, one untimed run of each
# program must give the right output and status and reach every window exactly once, or
# the benchmark stops with the reason: a broken program is never timed.
#
#   bash bench/broadcast.sh [RUNS [EXE]]   RUNS per program and row (default 31); EXE in
#                                          place of build/windows/Quorvane.exe
#
# Needs the windows preset built (cmake --build --preset windows).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-31}
build=build/windows
out=build/bench
exe=${2:-$build/Quorvane.exe}
name=$(basename "$exe")
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

/usr/bin/python3 checks/exe.py --headers-only "$exe"
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

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# What each program must write: Quorvane its two lines, the least program nothing.
printf '\r\nMaking WM_SETTINGCHANGE message for Environment broadcast...\r\n%s\r\n' \
  'WM_SETTINGCHANGE message for Environment was broadcast' >"$out/quorvane.want"
: >"$out/least.want"

# listen COUNT [report]: starts a listener with COUNT windows; with report, they write what
# reaches them to $out/report.
listener=
listen() {
  local ready=$out/ready
  rm -f "$ready"
  : >"$out/report"
  $wine $build/listener.exe "$@" 2>"$ready" >>"$out/report" &
  listener=$!
  for _ in $(seq 600); do grep -q ready "$ready" 2>/dev/null && break; sleep 0.1; done
  grep -q ready "$ready" || fail "the listener with $1 windows did not start"
}
unlisten() {
  kill "$listener" 2>/dev/null || true
  wait "$listener" 2>/dev/null || true
  listener=
}

# judge NAME PROGRAM COUNT: one untimed run, which must exit with 0, write what NAME should,
# and reach each of COUNT reporting windows once with "Environment".
judge() {
  local name=$1 program=$2 count=$3 status=0 heard
  : >"$out/report"
  $wine "$program" /broadcast >"$out/output" 2>&1 || status=$?
  ((status == 0)) || fail "$program /broadcast exited with $status"
  cmp -s "$out/output" "$out/$name.want" ||
    fail "$program /broadcast wrote: $(od -An -c "$out/output" | head -n 4)"
  heard=$(tr -d '\r' <"$out/report" |
    grep -cE '^window [0-9]+ received WM_SETTINGCHANGE: wParam 0, "Environment"$' || true)
  (($(wc -l <"$out/report") == count && heard == count)) &&
    (($(cut -d' ' -f2 "$out/report" | sort -u | wc -l) == count)) ||
    fail "$program /broadcast: $count windows, what they heard: $(head -n 3 "$out/report")"
}
judge_both() {
  judge quorvane "$exe" "$1"
  judge least "$out/least.exe" "$1"
}

# Keeps one Wine server up for the whole run, as a desktop session would.
$wine stop
$wine persist
trap 'unlisten; $wine stop' EXIT

# Warms the prefix's caches for both.
for _ in 1 2 3; do
  $wine "$exe" /broadcast >/dev/null
  $wine "$out/least.exe" /broadcast >/dev/null
done
# Both programs are judged with a reporting window before anything is timed.
listen 1 report
judge_both 1
unlisten
compare
printf 'median wall time of "/broadcast" under Wine, %d alternating runs each:\n' "$runs"
printf '  %-13s %8.1f ms\n  %-13s %8.1f ms\n  %-13s %8.3f\n\n' "$name" "$q_median" least \
  "$l_median" ratio "$(awk -v a="$q_median" -v b="$l_median" 'BEGIN { print a / b }')"

printf '%8s %14s %12s %12s\n' windows "${name%.exe} ms" "least ms" "difference"
for windows in 1 10 100 300; do
  listen "$windows" report
  judge_both "$windows"
  unlisten
  listen "$windows"
  compare
  unlisten
  printf '%8d %14.1f %12.1f %12.1f\n' "$windows" "$q_median" "$l_median" \
    "$(awk -v a="$q_median" -v b="$l_median" 'BEGIN { print a - b }')"
done
