#!/usr/bin/env bash
# Shows Quorvane's one job for real: builds Quorvane.exe, starts a window under Wine's
# headless desktop that reports what reaches it, runs "Quorvane.exe /broadcast", and
# prints the program's output and then the window's report. Exits with 0 only when Quorvane
# did and the window heard the broadcast exactly once; otherwise says what went wrong.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Quorvane listener >/dev/null
build=build/windows
wine="sh $build/wine.sh"
$wine setup >/dev/null 2>&1

report=$(mktemp)
ready=$(mktemp)
listener=
stop() {
  [ -z "$listener" ] || kill "$listener" 2>/dev/null || true
  $wine stop
  rm -f "$report" "$ready"
}
trap stop EXIT

$wine $build/listener.exe 1 report >"$report" 2>"$ready" &
listener=$!
for _ in $(seq 600); do grep -q ready "$ready" && break; sleep 0.1; done
grep -q ready "$ready" || { echo "the listening window did not start" >&2; exit 1; }

echo "> Quorvane.exe /broadcast"
status=0
$wine $build/Quorvane.exe /broadcast || status=$?
echo
echo "> what the listening window received"
if [ -s "$report" ]; then cat "$report"; else echo "nothing"; fi
heard=$(tr -d '\r' <"$report")
want='window 1 received WM_SETTINGCHANGE: wParam 0, "Environment"'
if ((status != 0)); then
  echo "FAIL: Quorvane.exe /broadcast exited with $status" >&2
elif [[ $heard != "$want" ]]; then
  echo "FAIL: the window should have heard, once: $want" >&2
  status=1
fi
exit $status
