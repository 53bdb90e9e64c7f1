#!/usr/bin/env bash
# Cost per character: runs the character benchmark under Xvfb with 0 (the floor: the
# toolkit alone), 1, 7 and 30 characters animating and gliding about the screen, each
# RUNS times for SECONDS seconds, and prints for each count the median CPU use (percent
# of one core, from /proc/PID/stat utime+stime), the peak resident memory (VmHWM), the
# X server's growth (its largest VmRSS during the run minus its VmRSS before), the load
# time of a character file (median and worst) and how late frames were painted after
# their due time. The X server's CPU use over the same time is printed beside the game's,
# and the two together. BENCH_WARMUP (seconds, default 0.5) delays the measurement: with
# 30 or more, each character has shown most of its pictures once and the figures are the
# steady state. HOLLYFROST_CHARACTER_WINDOWS=toolkit measures the toolkit's windows
# instead of those the X server draws.
#
# ONEKO=1 adds a side-by-side run: on the same virtual screen, right after our
# characters, as many figures of Debian's oneko package (installed here if missing) chase
# the pointer, which jumps to a random place every 1.5 s, for as long; their CPU use and
# the X server's are printed beside ours.
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
  seconds=$2 count=$3
  xserver=$(pgrep -P "$PPID" -x Xvfb | head -n 1)
  rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }
  before=$(rss "$xserver") peak=$before
  HOLLYFROST_BENCH_FRAMES=$frames BENCH_XSERVER_PID=$xserver "$@" >"$out" &
  bench=$!
  while kill -0 "$bench" 2>/dev/null; do
    now=$(rss "$xserver")
    [ "${now:-0}" -gt "$peak" ] && peak=$now
    sleep 0.25
  done
  wait "$bench"
  echo "xserver_growth_kb $((peak - before))" >>"$out"
  if [ -n "${ONEKO:-}" ] && [ "$count" -gt 0 ]; then
    # The same number of classic figures, spread around the pointer they chase.
    ticks() { local t=0 p; for p in "$@"; do t=$((t + $(awk '{ print $14 + $15 }' "/proc/$p/stat"))); done; echo $t; }
    nekos=()
    for (( i = 0; i < count; i++ )); do
      /usr/games/oneko -position "+$(( (i % 6) * 90 - 225 ))+$(( (i / 6) * 90 - 200 ))" -name "neko$i" &
      nekos+=($!)
    done
    ( while :; do xdotool mousemove $((300 + RANDOM % 680)) $((250 + RANDOM % 520)); sleep 1.5; done ) &
    mover=$!
    sleep "${BENCH_WARMUP:-0.5}"
    start=$(ticks "${nekos[@]}") xstart=$(ticks "$xserver") t0=$(date +%s.%N)
    sleep "$seconds"
    end=$(ticks "${nekos[@]}") xend=$(ticks "$xserver") t1=$(date +%s.%N)
    kill "$mover" 2>/dev/null || true
    kill -KILL "${nekos[@]}" 2>/dev/null || true   # a figure may not end on a plain kill
    wait 2>/dev/null || true
    hz=$(getconf CLK_TCK)
    awk -v a="$start" -v b="$end" -v xa="$xstart" -v xb="$xend" -v t0="$t0" -v t1="$t1" -v hz="$hz" 'BEGIN {
      printf "oneko_cpu_percent %.2f\noneko_xserver_cpu_percent %.2f\n", 100 * (b - a) / hz / (t1 - t0), 100 * (xb - xa) / hz / (t1 - t0) }' >>"$out"
  fi
  exit 0
fi

if [ -n "${ONEKO:-}" ] && [ ! -x /usr/games/oneko ]; then
  apt-get install -y oneko >/dev/null
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
  cpu=() xcpu=() both=() neko=() nekox=() nekoboth=() rss=() xs=() loadm=() loadw=()
  : >"$work/frames.all"
  for (( run = 1; run <= ${RUNS:-3}; run++ )); do
    rm -f "$work/frames"
    xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" "$0" --inside "$work/frames" "$work/out" \
      "$bench" "${BENCH_SECONDS:-15}" "$count" "${files[@]}" 2> >(grep -v PulseAudio >&2)
    cpu+=("$(field cpu_percent "$work/out")") rss+=("$(field peak_rss_kb "$work/out")")
    xcpu+=("$(field xserver_cpu_percent "$work/out")")
    both+=("$(awk -v a="${cpu[-1]}" -v b="${xcpu[-1]}" 'BEGIN { printf "%.2f", a + b }')")
    if [ -n "$(field oneko_cpu_percent "$work/out")" ]; then
      neko+=("$(field oneko_cpu_percent "$work/out")") nekox+=("$(field oneko_xserver_cpu_percent "$work/out")")
      nekoboth+=("$(awk -v a="${neko[-1]}" -v b="${nekox[-1]}" 'BEGIN { printf "%.2f", a + b }')")
    fi
    xs+=("$(field xserver_growth_kb "$work/out")")
    loadm+=("$(field load_ms_median "$work/out")") loadw+=("$(field load_ms_worst "$work/out")")
    [ -f "$work/frames" ] && cat "$work/frames" >>"$work/frames.all"
  done
  echo "== $count characters (${#cpu[@]} runs)"
  echo "cpu: median $(printf '%s\n' "${cpu[@]}" | median) % of one core (runs: ${cpu[*]})"
  echo "X server cpu: median $(printf '%s\n' "${xcpu[@]}" | median) % (runs: ${xcpu[*]}); together: median $(printf '%s\n' "${both[@]}" | median) % (runs: ${both[*]})"
  if [ ${#neko[@]} -gt 0 ]; then
    echo "oneko x $count: cpu median $(printf '%s\n' "${neko[@]}" | median) %, X server $(printf '%s\n' "${nekox[@]}" | median) %; together: median $(printf '%s\n' "${nekoboth[@]}" | median) % (runs: ${nekoboth[*]})"
  fi
  mb() { sort -g | tail -n 1 | awk '{ printf "%.1f", $1 / 1024 }'; }
  echo "peak RSS: $(printf '%s\n' "${rss[@]}" | mb) MB; X server growth: $(printf '%s\n' "${xs[@]}" | mb) MB"
  if [ "$count" -gt 0 ]; then
    echo "load: median $(printf '%s\n' "${loadm[@]}" | median) ms, worst $(printf '%s\n' "${loadw[@]}" | sort -g | tail -n 1) ms"
    sort -g "$work/frames.all" | awk '{ v[NR] = $1 / 1000; if ($1 <= 5000) ok++ }
      END { if (NR) printf "frames: %d painted, late by median %.1f ms, 95%% %.1f ms, 99%% %.1f ms, worst %.1f ms; %.1f%% within 5 ms\n",
            NR, v[int(NR * 0.5) + 1], v[int(NR * 0.95) + 1], v[int(NR * 0.99) + 1], v[NR], 100 * ok / NR }'
  fi
done
