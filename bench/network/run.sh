#!/usr/bin/env bash
# Network play: the dispatch time of 10,000 datagrams, then a six-copy race under Xvfb
# (time, CPU, memory and scoreboard of each copy).
# Usage: bench/network/run.sh [build-dir] [six_copies.py options: --lan --game NAME --runs N]
#   bench/network/run.sh build --lan --game "Simple Math" --runs 20   (root: namespaces, lossy links)
# HF_NETWORK_TIME_SCALE: race speed, default 0.25.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$here/../../build"
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  build="$1"
  shift
fi
build="$(cd "$build" && pwd)"
cmake --build "$build" --target hf_bench_network_dispatch -j2 >/dev/null
"$build/bench/hf_bench_network_dispatch" 2>/dev/null
export HF_BIN_DIR="$build/bin"
export HF_NETWORK_TIME_SCALE="${HF_NETWORK_TIME_SCALE:-0.25}"
export PYTHONPATH="$here/../../tests/e2e:$here/../../tests/net"
exec "$here/../../tests/run-desktop" /usr/bin/python3 "$here/six_copies.py" "$@"
