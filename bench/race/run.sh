#!/usr/bin/env bash
# One six-contestant Local Race at time scale 1 under Xvfb (about two minutes).
# Usage: bench/race/run.sh [build-dir]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../../build}"
export HF_BIN_DIR="$(cd "$build" && pwd)/bin"
export PYTHONPATH="$here/../../tests/e2e"
exec "$here/../../tests/run-desktop" /usr/bin/python3 "${BENCH_SCRIPT:-$here/race_bench.py}"
