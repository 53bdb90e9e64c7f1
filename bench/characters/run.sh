#!/usr/bin/env bash
# Cost per character: runs the character benchmark under Xvfb with 0 (the floor: the
# toolkit alone), 1, 7 and 30 characters animating and gliding about the screen, each
# RUNS times for SECONDS seconds, and prints for each count the median CPU use (percent
# of one core, from /proc/PID/stat utime+stime), the peak resident memory (VmHWM), the
# X server's growth (its largest VmRSS during the run minus its VmRSS before), the load
# time of a character file (median and worst) and how late frames were painted after
# their due time. BENCH_WARMUP (seconds, default 0.5) delays the measurement: with 30 or
# more, each character has shown most of its pictures once and the figures are the
# steady state.
#
#   bench/characters/run.sh [build-dir] [character files...]
#
# The build directory defaults to ./build; the benchmark target is built if needed.
# Without files it loads the shipped characters of that build (the contestants and the
# Announcer), in turn. COUNTS, RUNS and BENCH_SECONDS override "0 1 7 30", 3 and 15.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

if [ "${1:-}" = "--inside" ]; then
  # One run on the virtual screen: xvfb-run is our parent, its Xvfb our sibling.
  shift
  frames=$1 out=$2
  shift 2
  xserver=$(pgrep -P "$PPID" -x Xvfb | head -n 1)
  rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }
  before=$(rss "$xserver") peak=$before
  HOLLYFROST_BENCH_FRAMES=$frames "$@" >"$out" &
  bench=$!
  while kill -0 "$bench" 2>/dev/null; do
    now=$(rss "$xserver")
    [ "${now:-0}" -gt "$peak" ] && peak=$now
    sleep 0.25
  done
  wait "$bench"
  echo "xserver_growth_kb $((peak - before))" >>"$out"
  exit 0
fi

build=$(cd "${1:-$root/build}" && pwd)
[ $# -gt 0 ] && shift
cmake --build "$build" --target hf_bench_characters -j2 >/dev/null
bench="$build/bench/hf_bench_characters"
files=("$@")
if [ ${#files[@]} -eq 0 ]; then
  for f in "$build"/Windows/msagent/chars/*.acs "$build/bin/Announcer.acs"; do
    [ -f "$f" ] && files+=("$f")
  done
fi

work=$(mktemp -d)
chmod 700 "$work"
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=xcb
unset HOLLYFROST_TIME_SCALE

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
field() { awk -v k="$1" '$1 == k { print $2 }' "$2"; }
for count in ${COUNTS:-0 1 7 30}; do
  cpu=() rss=() xs=() loadm=() loadw=()
  : >"$work/frames.all"
  for (( run = 1; run <= ${RUNS:-3}; run++ )); do
    rm -f "$work/frames"
    xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" "$0" --inside "$work/frames" "$work/out" \
      "$bench" "${BENCH_SECONDS:-15}" "$count" "${files[@]}" 2> >(grep -v PulseAudio >&2)
    cpu+=("$(field cpu_percent "$work/out")") rss+=("$(field peak_rss_kb "$work/out")")
    xs+=("$(field xserver_growth_kb "$work/out")")
    loadm+=("$(field load_ms_median "$work/out")") loadw+=("$(field load_ms_worst "$work/out")")
    [ -f "$work/frames" ] && cat "$work/frames" >>"$work/frames.all"
  done
  echo "== $count characters (${#cpu[@]} runs)"
  echo "cpu: median $(printf '%s\n' "${cpu[@]}" | median) % of one core (runs: ${cpu[*]})"
  mb() { sort -g | tail -n 1 | awk '{ printf "%.1f", $1 / 1024 }'; }
  echo "peak RSS: $(printf '%s\n' "${rss[@]}" | mb) MB; X server growth: $(printf '%s\n' "${xs[@]}" | mb) MB"
  if [ "$count" -gt 0 ]; then
    echo "load: median $(printf '%s\n' "${loadm[@]}" | median) ms, worst $(printf '%s\n' "${loadw[@]}" | sort -g | tail -n 1) ms"
    sort -g "$work/frames.all" | awk '{ v[NR] = $1 / 1000; if ($1 <= 5000) ok++ }
      END { if (NR) printf "frames: %d painted, late by median %.1f ms, 95%% %.1f ms, 99%% %.1f ms, worst %.1f ms; %.1f%% within 5 ms\n",
            NR, v[int(NR * 0.5) + 1], v[int(NR * 0.95) + 1], v[int(NR * 0.99) + 1], v[NR], 100 * ok / NR }'
  fi
done
