#!/usr/bin/env bash
# Counts the variables that live as long as the program in the game's code (src/ but for
# the platform layers): globals, file-level statics, single-instance pointers and static
# variables inside functions (a function that returns its own static is a global too).
# Constants are left out. State belongs to the object that owns it, so the number may only
# go down: the check fails, listing them, when there are more than the budget below.
# Lower the budget with every one that goes.
set -euo pipefail
budget=4
cd "$(dirname "$0")/.."
if ! command -v ctags >/dev/null; then
  echo "mutable_globals: ctags (universal-ctags) is not installed" >&2
  exit 1
fi
list=$(find src -path src/platform -prune -o \( -name '*.cpp' -o -name '*.h' \) -print | sort \
  | ctags -x --kinds-c++=vl --language-force=c++ -L - \
  | awk '$2 != "local" || / static /' \
  | grep -v -E '\b(constexpr|const)\b|Q_PROPERTY' \
  | awk '{ file = $4; line = $3; $1 = $2 = $3 = $4 = ""; sub(/^ +/, ""); print file ":" line "  " $0 }' || true)
count=$(printf '%s' "$list" | grep -c . || true)
if [ "$count" -gt "$budget" ]; then
  printf '%s\n' "$list"
  echo "mutable_globals: $count program-long variables outside src/platform, more than the budget of $budget" >&2
  exit 1
fi
echo "mutable_globals: $count program-long variables outside src/platform (budget $budget)"
