#!/usr/bin/env bash
# The real program on a virtual screen, started as the messenger starts it:
#  0. with no display at all: a one-line message and status 1.
#  1. without an argument: the refusal box appears; Return dismisses it; the program ends.
#  2. with an argument: the main window "Hollyfrost Games 1.17", 442 x 373, centred.
#  3. a second start hands over and ends quickly; one copy remains, its window on top.
#  4. "Exit" ends the program with status 0.
#  5. TERM and HUP end it with status 0 too.
set -uo pipefail
: "${HF_GAME:?}" "${HF_MESSENGER:?}" "${DISPLAY:?}"
source "$(dirname "$0")/../e2e/shell-helpers.sh"
use_work_folder

# A private runtime folder for the instance guard, so other runs cannot interfere.
export TMPDIR="$work/tmp" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$TMPDIR"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
demo="$work/messenger"

pass() { echo "ok: $*"; }

visible_window() { xdotool search --onlyvisible --name "$1" | head -n 1; }
has_window() { [ -n "$(visible_window "$1")" ]; }
gone() { ! kill -0 "$1" 2>/dev/null; }
# Sets status to the exit status of a background job, or "timeout" when it does not end.
finish() {
    if wait_for "$2" gone "$1"; then
        wait "$1"; status=$?
    else
        status=timeout
    fi
}

"$HF_MESSENGER" init "$demo" --name Robin --uin 40001 --buddy 40002:Sam:127.0.0.2 >/dev/null \
    || fail "the messenger folder could not be made"
[ -x "$demo/Games/hollyfrost-games" ] || fail "init did not install the game"

# 0. Without any display: one line on stderr and status 1, not the toolkit's abort.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$demo/Games/hollyfrost-games" 40002 \
    >"$work/nodisplay.out" 2>"$work/nodisplay.err"
status=$?
[ "$status" = 1 ] || fail "without a display the game ended with status $status: $(head -c 300 "$work/nodisplay.err")"
[ "$(wc -l <"$work/nodisplay.err")" = 1 ] && grep -q 'no display' "$work/nodisplay.err" \
    || fail "without a display stderr was: $(head -c 300 "$work/nodisplay.err")"
[ ! -s "$work/nodisplay.out" ] || fail "without a display the game wrote to stdout"
pass "start without a display: $(cat "$work/nodisplay.err")"

# 1. Without an argument.
"$HF_MESSENGER" launch "$demo" & refused=$!; pids+=("$refused")
wait_for 20 has_window '^Hollyfrost Games$' || fail "no refusal box appeared"
box=$(visible_window '^Hollyfrost Games$')
xdotool windowfocus --sync "$box" 2>/dev/null || xdotool windowfocus "$box"
xdotool key --clearmodifiers Return
finish "$refused" 10
[ "$status" = 0 ] || fail "the refused start ended with status $status"
pass "start without an argument refused and ended"

# 2. With an argument.
"$HF_MESSENGER" launch "$demo" 40002 & first=$!; pids+=("$first")
wait_for 20 has_window '^Hollyfrost Games 1\.17$' || fail "the main window did not appear"
main=$(visible_window '^Hollyfrost Games 1\.17$')
geometry=$(xdotool getwindowgeometry --shell "$main")
eval "$geometry"
[ "$WIDTH" = 442 ] && [ "$HEIGHT" = 373 ] || fail "main window is ${WIDTH}x${HEIGHT}"
[ "$X" = $(( (1280 - 442) / 2 )) ] && [ "$Y" = $(( (1024 - 373) / 2 )) ] || fail "main window at $X,$Y"
pass "main window 442x373 at $X,$Y"
[ ! -e "$demo/Games/online.txt" ] || fail "online.txt was not taken up"

# 3. A second start while the first runs; another window covers the game first.
xmessage -geometry 700x600+250+200 "cover" & cover=$!; pids+=("$cover")
wait_for 10 has_window '^xmessage$' || fail "the covering window did not appear"
stacked_above() {   # true when window $1 lies above window $2 (xwininfo lists the top first)
    local order a b
    order=$(xwininfo -root -children | grep -oE '^ +0x[0-9a-f]+' | tr -d ' ')
    a=$(printf '0x%x' "$1"); b=$(printf '0x%x' "$2")
    local pa pb
    pa=$(echo "$order" | grep -nx "$a" | cut -d: -f1); pb=$(echo "$order" | grep -nx "$b" | cut -d: -f1)
    [ -n "$pa" ] && [ -n "$pb" ] && [ "$pa" -lt "$pb" ]
}
coverwin=$(visible_window '^xmessage$')
wait_for 5 stacked_above "$coverwin" "$main" || fail "the covering window is not above the game"
start=$(date +%s%N)
"$HF_MESSENGER" launch "$demo" 40003 & second=$!; pids+=("$second")
finish "$second" 10
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$status" = 0 ] || fail "the second start ended with status $status"
[ "$elapsed" -lt 5000 ] || fail "the second start took $elapsed ms"
kill -0 "$first" 2>/dev/null || fail "the first copy ended"
copies=$(pgrep -fc "^$demo/Games/hollyfrost-games" || true)
[ "$copies" = 1 ] || fail "$copies copies run"
wait_for 5 stacked_above "$main" "$coverwin" || fail "the first copy's window was not raised"
pass "second start handed over in $elapsed ms; the first copy came to the front"
kill "$cover" 2>/dev/null

# 4. "Exit" (360, 317, 45 x 22 on the window) ends the program.
xdotool mousemove --sync $(( X + 382 )) $(( Y + 328 )) click 1
finish "$first" 10
[ "$status" = 0 ] || fail "Exit ended the game with status $status"
pass "Exit ended the game"

# 5. TERM and HUP end it as Exit does: through the event loop, with status 0.
for signal in TERM HUP; do
    "$HF_MESSENGER" launch "$demo" 40002 & launched=$!; pids+=("$launched")
    wait_for 20 has_window '^Hollyfrost Games 1\.17$' || fail "the main window did not appear for $signal"
    game=$(pgrep -f "^$demo/Games/hollyfrost-games" | head -n 1)
    [ -n "$game" ] || fail "no game process to send $signal to"
    kill -"$signal" "$game"
    finish "$launched" 10
    [ "$status" = 0 ] || fail "$signal ended the game with status $status"
    pass "$signal ended the game as Exit does"
done
