#!/usr/bin/env bash
# Runs test_internet.py in a mount and network namespace of its own, where it builds an
# "internet" of network namespaces (ip netns, names private to this mount namespace): an
# XMPP and TURN server and three homes behind NAT routers. Without namespaces (not root),
# prosody or coturn it reports itself skipped (77).
# Usage: internet_links.sh MESSENGER [TEST...]; HF_INTERNET_SCRIPT runs another script there
# (the relay benchmark).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${HF_XMPP_INSIDE:-}" != 1 ]; then
  if ! unshare -n -m true 2>/dev/null; then
    echo "SKIPPED: cannot make a network and mount namespace here (needs root)"
    exit 77
  fi
  for tool in prosody openssl turnserver nft; do
    if ! command -v $tool >/dev/null; then
      echo "SKIPPED: $tool is needed (scripts/install-deps)"
      exit 77
    fi
  done
  HF_XMPP_INSIDE=1 exec unshare -n -m -- "$0" "$@"
fi
folder=$(mktemp -d)
trap 'for ns in $(ip netns list | cut -d" " -f1); do ip netns pids $ns | xargs -r kill -9; done; rm -rf "$folder"' EXIT
mount --make-rprivate /
mkdir -p /run/netns
mount -t tmpfs none /run/netns
printf '127.0.0.1 localhost\n192.0.2.10 hollyfrost.test\n' > "$folder/hosts"
mount --bind "$folder/hosts" /etc/hosts
HF_XMPP_FOLDER=$folder PYTHONPATH=$here python3 "${HF_INTERNET_SCRIPT:-$here/test_internet.py}" "$@"
