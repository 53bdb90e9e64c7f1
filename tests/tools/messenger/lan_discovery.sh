#!/usr/bin/env bash
# Runs test_lan.py against an Avahi daemon of its own, on the loopback interface of a
# network and mount namespace of its own (unshare -n -m) with a D-Bus system bus of its
# own. Without namespaces (not root, no user namespaces) it reports itself skipped (77).
# Usage: lan_discovery.sh MESSENGER [TEST...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${HF_LAN_INSIDE:-}" != 1 ]; then
  if ! unshare -n -m true 2>/dev/null; then
    echo "SKIPPED: cannot make a network and mount namespace here (needs root)"
    exit 77
  fi
  HF_LAN_INSIDE=1 exec unshare -n -m -- "$0" "$@"
fi
source "$here/lan-services.sh"
folder=$(mktemp -d)
trap 'stop_lan_services; rm -rf "$folder"' EXIT
ip link set lo up
ip link set lo multicast on
start_lan_services "$folder" lo lan-test
status=0
HF_LAN_FOLDER=$folder python3 "$here/test_lan.py" "$@" || status=$?
exit $status
