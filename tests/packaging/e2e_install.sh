#!/usr/bin/env bash
# The installed game, as a user meets it after installing the package:
#  1. cmake --install lays out bin/, share/hollyfrost/, the desktop entry (valid), the
#     icon (SVG and bitmaps of their stated sizes), the messenger's and the character
#     tool's manual pages and the sample character, which the installed tool packs; the
#     software centres' entry (valid, with the desktop entry it launches) and the licence;
#     the package recommends the Avahi daemon;
#  2. the menu's command, with no environment variable of ours, makes the messenger
#     folder from share/hollyfrost and opens the installed game's main window;
#  3. a second menu start keeps the folder and the player's identity.
set -uo pipefail
: "${HF_BUILD_DIR:?}" "${DISPLAY:?}"
source "$(dirname "$0")/../e2e/shell-helpers.sh"
use_work_folder

pass() { echo "ok: $*"; }

# 1. The layout.
prefix="$work/usr"
cmake --install "$HF_BUILD_DIR" --prefix "$prefix" >/dev/null || fail "cmake --install failed"
data="$prefix/share/hollyfrost"
for file in bin/hollyfrost-games bin/hollyfrost-messenger bin/hollyfrost-character; do
    [ -x "$prefix/$file" ] || fail "$file is not installed"
done
for file in Announcer.acs GameSkin1.jpg race1.mid stdtalk.lst stdtalk.bak wlist.lst help/index.html \
            Languages/stdtalk-de.lst Windows/msagent/chars/Pip.acs; do
    [ -s "$data/$file" ] || fail "share/hollyfrost/$file is missing"
done
for file in Languages/stdtalk-fr.lst Languages/stdtalk-fr.bak help/index-fr.html help/characters-fr.html; do
    [ -s "$data/$file" ] || fail "share/hollyfrost/$file is missing"
done
[ -z "$(find "$prefix/bin" -type f ! -name 'hollyfrost-games' ! -name 'hollyfrost-messenger' ! -name 'hollyfrost-character')" ] \
    || fail "bin/ holds more than the three programs"
entry="$prefix/share/applications/hollyfrost-games.desktop"
desktop-file-validate "$entry" || fail "the desktop entry is not valid"
grep -qx 'Exec=hollyfrost-messenger launch' "$entry" || fail "the desktop entry does not start the messenger"
icons="$prefix/share/icons/hicolor"
[ -s "$icons/scalable/apps/hollyfrost-games.svg" ] || fail "no scalable icon"
for size in 16 32 48 256; do
    got=$(/usr/bin/identify -format '%wx%h' "$icons/${size}x${size}/apps/hollyfrost-games.png") \
        || fail "no ${size}px icon"
    [ "$got" = "${size}x${size}" ] || fail "the ${size}px icon is $got"
done
man -l "$prefix/share/man/man1/hollyfrost-messenger.1" 2>/dev/null | grep -q 'launch' \
    || fail "the manual page does not render"
metainfo="$prefix/share/metainfo/invalid.hollyfrost.games.metainfo.xml"
[ -s "$metainfo" ] || fail "no AppStream metainfo"
appstreamcli validate-tree --no-net "$prefix" || fail "the AppStream metainfo is not valid"
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" || fail "the metainfo names no licence"
grep -q '^License: GPL-3+$' "$prefix/share/doc/hollyfrost-games/copyright" || fail "no copyright file naming the licence"
grep -q 'CPACK_DEBIAN_PACKAGE_RECOMMENDS.*avahi-daemon' "$HF_BUILD_DIR/CPackConfig.cmake" \
    || fail "the package does not recommend the Avahi daemon"
man -l "$prefix/share/man/man1/hollyfrost-character.1" 2>/dev/null | grep -q 'preview' \
    || fail "the character tool's manual page does not render"
(cd "$work" && "$prefix/bin/hollyfrost-character" pack "$data/sample-character" -o "$work/Sample.acs") >/dev/null \
    && "$prefix/bin/hollyfrost-character" check "$work/Sample.acs" || fail "the installed sample character does not pack clean"
pass "installed layout, desktop entry, icons, manual pages, sample character, metainfo and licence"

# 2. The menu's start in a fresh home: no variable of ours, no build tree on the path.
unset HOLLYFROST_REGISTRY HOLLYFROST_PROGRAM_FOLDER HOLLYFROST_CHARACTER_LIBRARY WINDIR XDG_DATA_HOME XDG_CONFIG_HOME
export HOME="$work/home"
mkdir -p "$HOME"
folder="$HOME/.local/share/hollyfrost/messenger"
visible_window() { xdotool search --onlyvisible --name "$1" | head -n 1; }
has_window() { [ -n "$(visible_window "$1")" ]; }
gone() { ! kill -0 "$1" 2>/dev/null; }
start_from_menu() {
    (cd "$HOME" && exec env PATH="$prefix/bin:/usr/bin:/bin" hollyfrost-messenger launch) >"$work/menu.log" 2>&1 &
    menu=$!; pids+=("$menu")
    wait_for 30 has_window '^Hollyfrost Games 1\.17$' || { cat "$work/menu.log" >&2; fail "the main window did not appear"; }
    pgrep -f "^$prefix/bin/hollyfrost-games" >/dev/null || fail "the running game is not the installed one"
}
exit_game() {
    local main
    main=$(visible_window '^Hollyfrost Games 1\.17$')
    eval "$(xdotool getwindowgeometry --shell "$main")"
    xdotool mousemove --sync $(( X + 382 )) $(( Y + 328 )) click 1
    wait_for 20 gone "$menu" || fail "Exit did not end the game"
}
start_from_menu
[ -s "$folder/Games/hollyfro.opt" ] && [ -s "$folder/Games/stdtalk.lst" ] && [ -s "$folder/Windows/msagent/chars/Pip.acs" ] \
    || fail "the messenger folder was not made from share/hollyfrost"
[ ! -e "$folder/Games/hollyfrost-games" ] || fail "the installed game was copied into the folder"
grep -q "exedir=$folder/hollyfro.exe" "$HOME/.config/hollyfrost/registry.ini" || fail "the registry does not name the folder"
identity=$(md5sum <"$folder/Games/hollyfro.opt")
exit_game
pass "the menu's first start made the folder and opened the installed game"

# 3. The second start keeps the folder.
start_from_menu
[ "$(md5sum <"$folder/Games/hollyfro.opt")" = "$identity" ] || fail "the second start changed the player's options"
exit_game
pass "the second start kept the folder"
