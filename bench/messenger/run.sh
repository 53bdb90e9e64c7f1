#!/usr/bin/env bash
# The messenger's relays to friends on the internet (root: network namespaces): delay that
# the relays add to a datagram, and the messenger's CPU and memory with 5 friends idle.
# Usage: bench/messenger/run.sh [build-dir]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../../build}" && pwd)"
nice cmake --build "$build" --target hollyfrost-messenger -j2 >/dev/null
HF_INTERNET_SCRIPT="$here/relay.py" exec "$here/../../tests/tools/messenger/internet_links.sh" \
  "$build/bin/hollyfrost-messenger"
