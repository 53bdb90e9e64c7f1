#!/usr/bin/env bash
# Start-up benchmark: time from process start to the main window first shown, and the
# resident memory once the game sits idle; median of 5 runs on a virtual screen.
# Usage: bench/startup/run.sh [BUILD_DIR]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
if [ -z "${HF_BENCH_INSIDE:-}" ]; then
    export HF_BENCH_INSIDE=1
    exec "$root/tests/run-xvfb" "$0" "$build"
fi

runs=5
work=$(mktemp -d)
game_pid=
trap '[ -n "$game_pid" ] && kill "$game_pid" 2>/dev/null; rm -rf "$work"' EXIT
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"
"$build/bin/hollyfrost-messenger" init "$work/m" --name Robin --uin 40001 \
    --buddy 40002:Sam:127.0.0.2 --buddy 40003:Alex:127.0.0.3 >/dev/null
export WINDIR="$work/m/Windows" HOLLYFROST_BENCH_STARTUP=1

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
times=()
rss=()
for (( run = 1; run <= runs; run++ )); do
    cp "$work/m/Games/online.txt" "$work/online.txt" 2>/dev/null || true
    out="$work/out.$run"
    : >"$out"
    start=$(date +%s%3N)
    "$work/m/Games/hollyfrost-games" 40002 >"$out" 2>/dev/null &
    game_pid=$!
    shown=
    for (( i = 0; i < 200; i++ )); do
        shown=$(sed -n 's/^hollyfrost: main window shown at \([0-9]*\)$/\1/p' "$out" | head -n 1)
        [ -n "$shown" ] && break
        sleep 0.05
    done
    [ -n "$shown" ] || { echo "run $run: the window never showed" >&2; exit 1; }
    sleep 2   # idle
    kb=$(awk '/^VmRSS:/ { print $2 }' "/proc/$game_pid/status")
    kill "$game_pid"; wait "$game_pid" 2>/dev/null || true
    game_pid=
    cp "$work/online.txt" "$work/m/Games/online.txt" 2>/dev/null || true
    times+=($(( shown - start )))
    rss+=("$kb")
    echo "run $run: shown after $(( shown - start )) ms, idle RSS $(( kb / 1024 )) MB"
done
t=$(printf '%s\n' "${times[@]}" | median)
r=$(printf '%s\n' "${rss[@]}" | median)
echo "median: start-up $t ms (target < 250 ms), idle RSS $(( r / 1024 )) MB (target < 60 MB)"
