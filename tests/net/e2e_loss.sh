#!/usr/bin/env bash
# The two-copy LAN race in a network namespace of its own, where nftables drops one in
# five datagrams at random once the race starts: both copies must still finish it. The
# namespace needs root (or user namespaces) and nftables; without them the test reports
# itself skipped (exit 77).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${1:-}" != "--inside" ]; then
  if ! command -v nft >/dev/null || ! command -v ip >/dev/null; then
    echo "SKIPPED: nftables or iproute2 is not installed"
    exit 77
  fi
  if ! unshare -n true 2>/dev/null; then
    echo "SKIPPED: cannot make a network namespace here"
    exit 77
  fi
  exec unshare -n -- "$0" --inside
fi
ip link set lo up
if ! nft add table inet hollyfrost_loss 2>/dev/null; then
  echo "SKIPPED: nftables cannot filter inside the namespace"
  exit 77
fi
# Every datagram of the game arrives through the loopback input hook once.
nft add chain inet hollyfrost_loss input '{ type filter hook input priority 0; policy accept; }'
export HF_NETWORK_LOSS_COMMAND="nft add rule inet hollyfrost_loss input meta l4proto udp numgen random mod 5 == 0 counter drop"
export HF_NETWORK_LOSS_REPORT="nft list chain inet hollyfrost_loss input"
status=0
# One race only: the loss, once turned on at its start, stays on for the rest of the run.
"$here/../run-desktop" /usr/bin/python3 "$here/e2e_network.py" \
  NetworkRaceTest.test_lan_race_from_invitation_to_both_scoreboards || status=$?
echo "e2e_loss: the desktop run ended with $status"
exit $status
