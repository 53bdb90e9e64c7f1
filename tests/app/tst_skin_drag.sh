#!/usr/bin/env bash
# The real program on a virtual screen without a window manager: the skin moves the
# borderless main window when dragged with the left button, and not with the right.
set -uo pipefail
: "${HF_BIN_DIR:?}" "${DISPLAY:?}"

work=$(mktemp -d)
game=
cleanup() {
    [ -n "$game" ] && kill "$game" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"
source "$(dirname "$0")/../e2e/shell-helpers.sh"
main_window() { xdotool search --onlyvisible --name "Hollyfrost Games 1.17" | head -n 1; }
position() { xdotool getwindowgeometry --shell "$1" | awk -F= '/^[XY]=/ { printf "%s ", $2 }'; }
moved_to() { [ "$(position "$1")" = "$2" ]; }

"$HF_BIN_DIR/hollyfrost-messenger" init "$work/messenger" --name Robin --uin 40001 >/dev/null \
    || fail "the messenger folder could not be made"
"$work/messenger/Games/hollyfrost-games" 40002 >"$work/game.log" 2>&1 &
game=$!
wait_for 20 main_window || fail "no main window"
window=$(main_window)
read -r x y <<<"$(position "$window")"

# A left drag from a point of the skin between the controls.
xdotool mousemove $((x + 425)) $((y + 200)) mousedown 1 mousemove $((x + 400)) $((y + 170)) \
    mousemove $((x + 325)) $((y + 100)) mouseup 1
wait_for 5 moved_to "$window" "$((x - 100)) $((y - 100)) " \
    || fail "left drag: window at $(position "$window"), expected $((x - 100)) $((y - 100))"
echo "ok: a left drag moves the window"

x=$((x - 100)); y=$((y - 100))
xdotool mousemove $((x + 425)) $((y + 200)) mousedown 3 mousemove $((x + 400)) $((y + 170)) \
    mousemove $((x + 325)) $((y + 100)) mouseup 3
sleep 0.3
xdotool key Escape
[ "$(position "$window")" = "$x $y " ] || fail "right drag moved the window to $(position "$window")"
echo "ok: a right drag leaves the window where it is"
