#!/usr/bin/env bash
# On demand, as root: two copies of the game in two network namespaces on a bridge, each
# with an Avahi daemon of its own, on one virtual desktop (e2e_lan_games.py). Builds first.
set -euo pipefail
cd "$(dirname "$0")/../../.."
if ! ip netns add hflan-probe-$$ 2>/dev/null; then
  echo "SKIPPED: cannot make network namespaces here (needs root)"
  exit 77
fi
ip netns del hflan-probe-$$
scripts/build plain >/dev/null
export PYTHONPATH="$PWD/tests/e2e:$PWD/tests/net" HF_BIN_DIR="$PWD/build/bin"
exec tests/run-desktop /usr/bin/python3 tests/tools/messenger/e2e_lan_games.py "$@"
