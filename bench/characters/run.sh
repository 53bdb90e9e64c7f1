#!/usr/bin/env bash
# Cost per character: runs the character benchmark under Xvfb with 0 (the floor: the
# toolkit alone), 1, 7 and 30 characters animating and gliding about the screen, each
# RUNS times for SECONDS seconds, and prints for each count the median CPU use (percent
# of one core, from /proc/PID/stat utime+stime), the peak resident memory (VmHWM), the
# X server's growth (its largest VmRSS during the run minus its VmRSS before), the load
# time of a character file (median and worst) and how late frames were painted after
# their due time. The X server's CPU use over the same time is printed beside the game's,
# and the two together. The glide steps, frame changes and first showings of a picture
# per second are printed with the game's CPU time spent in each, and all the game's CPU
# time (event loop and all, first showings left out) per glide step or frame change.
# BENCH_WARMUP (seconds, default 0.5) delays the measurement: with 10 or more the
# characters run in their steady state. HOLLYFROST_CHARACTER_WINDOWS=toolkit measures the
# toolkit's windows instead of those the X server draws.
#
# SETUPS names the desktops measured one after the other on the same virtual screen:
# "bare" (no compositing manager) and "xcompmgr" (xcompmgr running, whose CPU use is
# printed as the compositor's). ONEKO=1 adds a side-by-side run on each desktop: right
# after our characters, as many figures of Debian's oneko package (installed here if
# missing) chase the pointer, which moves to a random place every 1.5 s, for as long;
# their CPU use and the X server's and compositor's are printed beside ours. SETUPS
# defaults to "bare", with ONEKO=1 to "bare xcompmgr".
#
#   bench/characters/run.sh [build-dir] [character files...]
#
# The build directory defaults to ./build; the benchmark target is built if needed.
# Without files it loads the shipped characters of that build (the contestants and the
# Announcer), in turn. COUNTS, RUNS and BENCH_SECONDS override "0 1 7 30", 3 and 15.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
setups=${SETUPS:-bare${ONEKO:+ xcompmgr}}

if [ "${1:-}" = "--inside" ]; then
  # One run on the virtual screen, every setup in turn: xvfb-run is our parent, its Xvfb
  # our sibling. Each line of the output starts with the setup's name.
  shift
  frames=$1 out=$2
  shift 2
  seconds=$2 count=$3
  xserver=$(pgrep -P "$PPID" -x Xvfb | head -n 1)
  rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }
  ticks() { local t=0 p; for p in "$@"; do t=$((t + $(awk '{ print $14 + $15 }' "/proc/$p/stat"))); done; echo $t; }
  : >"$out"
  for setup in $setups; do
    compositor=()
    if [ "$setup" = xcompmgr ]; then
      xcompmgr 2>/dev/null &
      compositor=($!)
      sleep 1   # it takes the compositing manager's selection
    fi
    before=$(rss "$xserver") peak=$before
    HOLLYFROST_BENCH_FRAMES=$frames.$setup BENCH_XSERVER_PID=$xserver BENCH_COMPOSITOR_PID="${compositor[*]}" \
      "$@" >"$out.part" &
    bench=$!
    while kill -0 "$bench" 2>/dev/null; do
      now=$(rss "$xserver")
      [ "${now:-0}" -gt "$peak" ] && peak=$now
      sleep 0.25
    done
    wait "$bench"
    echo "xserver_growth_kb $((peak - before))" >>"$out.part"
    if [ -n "${ONEKO:-}" ] && [ "$count" -gt 0 ]; then
      # The same number of classic figures, spread around the pointer they chase.
      nekos=()
      for (( i = 0; i < count; i++ )); do
        /usr/games/oneko -position "+$(( (i % 6) * 90 - 225 ))+$(( (i / 6) * 90 - 200 ))" -name "neko$i" &
        nekos+=($!)
      done
      ( while :; do xdotool mousemove $((300 + RANDOM % 680)) $((250 + RANDOM % 520)); sleep 1.5; done ) &
      mover=$!
      sleep "${BENCH_WARMUP:-0.5}"
      start=$(ticks "${nekos[@]}") xstart=$(ticks "$xserver") cstart=$(ticks "${compositor[@]}") t0=$(date +%s.%N)
      sleep "$seconds"
      end=$(ticks "${nekos[@]}") xend=$(ticks "$xserver") cend=$(ticks "${compositor[@]}") t1=$(date +%s.%N)
      kill "$mover" 2>/dev/null || true
      kill -KILL "${nekos[@]}" 2>/dev/null || true   # a figure may not end on a plain kill
      wait "$mover" "${nekos[@]}" 2>/dev/null || true
      hz=$(getconf CLK_TCK)
      awk -v hz="$hz" -v t0="$t0" -v t1="$t1" -v a="$start" -v b="$end" -v xa="$xstart" -v xb="$xend" \
        -v ca="$cstart" -v cb="$cend" 'BEGIN { s = t1 - t0
        printf "oneko_cpu_percent %.2f\noneko_xserver_cpu_percent %.2f\noneko_compositor_cpu_percent %.2f\n",
          100 * (b - a) / hz / s, 100 * (xb - xa) / hz / s, 100 * (cb - ca) / hz / s }' >>"$out.part"
    fi
    if [ ${#compositor[@]} -gt 0 ]; then
      kill "${compositor[@]}" 2>/dev/null || true
      wait "${compositor[@]}" 2>/dev/null || true
    fi
    sed "s/^/$setup:/" "$out.part" >>"$out"
  done
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
# Every run's value of one key of one setup ("bare:cpu_percent"), one a line.
values() { cat "$work"/*.out | awk -v k="$1" '$1 == k { print $2 }'; }
# "median (runs: a b c)" of a key, or of the sum of several keys.
summary() {
  local keys=("$@") run sums=()
  for run in "$work"/*.out; do
    sums+=("$(awk -v list="${keys[*]}" 'BEGIN { n = split(list, k, " "); for (i = 1; i <= n; i++) want[k[i]] = 1 }
      ($1 in want) { s += $2; found = 1 } END { if (found) printf "%.2f", s }' "$run")")
  done
  [ -n "${sums[0]:-}" ] || return 0
  echo "$(printf '%s\n' "${sums[@]}" | median) (runs: ${sums[*]})"
}
for count in ${COUNTS:-0 1 7 30}; do
  rm -f "$work"/*.out "$work"/frames.*
  for (( run = 1; run <= ${RUNS:-3}; run++ )); do
    xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" "$0" --inside "$work/frames.$run" "$work/run.$run.out" \
      "$bench" "${BENCH_SECONDS:-15}" "$count" "${files[@]}" 2> >(grep -v PulseAudio >&2)
  done
  echo "== $count characters (${RUNS:-3} runs)"
  for setup in $setups; do
    k() { local key; for key in "$@"; do printf '%s ' "$setup:$key"; done; }
    echo "-- $setup"
    echo "game cpu: median $(summary $(k cpu_percent)) % of one core"
    echo "X server cpu: median $(summary $(k xserver_cpu_percent)) %"
    [ "$setup" = bare ] || echo "compositor cpu: median $(summary $(k compositor_cpu_percent)) %"
    echo "together: median $(summary $(k cpu_percent xserver_cpu_percent compositor_cpu_percent)) %"
    if [ -n "$(values "$setup:oneko_cpu_percent")" ]; then
      echo "oneko x $count: game $(summary $(k oneko_cpu_percent)) %, X server $(summary $(k oneko_xserver_cpu_percent)) %$(
        [ "$setup" = bare ] || echo ", compositor $(summary $(k oneko_compositor_cpu_percent)) %")"
      echo "oneko x $count together: median $(summary $(k oneko_cpu_percent oneko_xserver_cpu_percent oneko_compositor_cpu_percent)) %"
    fi
    mb() { sort -g | tail -n 1 | awk '{ printf "%.1f", $1 / 1024 }'; }
    echo "peak RSS: $(values "$setup:peak_rss_kb" | mb) MB; X server growth: $(values "$setup:xserver_growth_kb" | mb) MB"
    [ "$count" -gt 0 ] || continue
    echo "load: median $(values "$setup:load_ms_median" | median) ms, worst $(values "$setup:load_ms_worst" | sort -g | tail -n 1) ms"
    echo "per second: $(summary $(k glide_steps_per_s)) glide steps, $(summary $(k frame_changes_per_s)) frame changes, $(summary $(k first_showings_per_s)) first showings"
    echo "game cpu in each: glide step $(summary $(k glide_steps_us)) us, frame change $(summary $(k frame_changes_us)) us, first showing $(summary $(k first_showings_us)) us"
    echo "all the game's cpu, first showings left out: $(summary $(k steady_cpu_percent)) % of one core, $(summary $(k all_us_per_step_or_frame)) us per glide step or frame change"
    cat "$work"/frames.*."$setup" 2>/dev/null | sort -g | awk '{ v[NR] = $1 / 1000; if ($1 <= 5000) ok++ }
      END { if (NR) printf "frames: %d painted, late by median %.1f ms, 95%% %.1f ms, 99%% %.1f ms, worst %.1f ms; %.1f%% within 5 ms\n",
            NR, v[int(NR * 0.5) + 1], v[int(NR * 0.95) + 1], v[int(NR * 0.99) + 1], v[NR], 100 * ok / NR }'
  done
done
