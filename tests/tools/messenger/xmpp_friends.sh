#!/usr/bin/env bash
# Runs test_xmpp.py against an XMPP server of its own (prosody), on the loopback interface of
# a network and mount namespace of its own (unshare -n -m), where the server's name comes from
# a hosts file of the test and no DNS server answers. Without namespaces (not root) or
# without prosody it reports itself skipped (77).
# Usage: xmpp_friends.sh MESSENGER [TEST...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${HF_XMPP_INSIDE:-}" != 1 ]; then
  if ! unshare -n -m true 2>/dev/null; then
    echo "SKIPPED: cannot make a network and mount namespace here (needs root)"
    exit 77
  fi
  if ! command -v prosody >/dev/null || ! command -v openssl >/dev/null; then
    echo "SKIPPED: prosody and openssl are needed (scripts/install-deps)"
    exit 77
  fi
  HF_XMPP_INSIDE=1 exec unshare -n -m -- "$0" "$@"
fi
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
ip link set lo up
printf '127.0.0.1 localhost hollyfrost.test\n' > "$folder/hosts"
printf 'nameserver 127.0.0.1\n' > "$folder/resolv.conf"
mount --bind "$folder/hosts" /etc/hosts
mount --bind "$folder/resolv.conf" /etc/resolv.conf
HF_XMPP_FOLDER=$folder python3 "$here/test_xmpp.py" "$@"
