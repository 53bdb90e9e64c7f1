#!/usr/bin/env bash
# Runs the character benchmark under Xvfb three times for 20 s each and prints the
# median CPU use (percent of one core, from /proc/PID/stat utime+stime) and the peak
# resident memory (VmHWM).
#
#   bench/characters/run.sh [build-dir] [character files...]
#
# The build directory defaults to ./build; the benchmark target is built if needed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build}
[ $# -gt 0 ] && shift
cmake --build "$build" --target hf_bench_characters -j2 >/dev/null
bench="$build/bench/hf_bench_characters"

runtime=$(mktemp -d)
chmod 700 "$runtime"
trap 'rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=xcb
unset HOLLYFROST_TIME_SCALE

cpu=() rss=()
for run in 1 2 3; do
  out=$(xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$bench" 20 "$@")
  c=$(awk '/^cpu_percent/ {print $2}' <<<"$out")
  r=$(awk '/^peak_rss_kb/ {print $2}' <<<"$out")
  echo "run $run: cpu ${c}% of one core, peak RSS $((r / 1024)) MB"
  cpu+=("$c") rss+=("$r")
done
median_cpu=$(printf '%s\n' "${cpu[@]}" | sort -g | sed -n 2p)
peak_rss=$(printf '%s\n' "${rss[@]}" | sort -g | tail -1)
echo "median CPU: ${median_cpu}% of one core"
echo "peak RSS: $((peak_rss / 1024)) MB"
