#!/usr/bin/env bash
# Runs a command whose system certificate store is STORE: mounted over /etc/ssl/certs in a mount
# namespace of the command's own, so that the machine's store is neither read nor changed.
# Usage: own_ca_store.sh STORE COMMAND [ARGUMENT...]
set -euo pipefail
store="$1"
shift
if [ -z "${QOLVI_OWN_CA_STORE:-}" ]; then
  unshare=(unshare --mount --propagation private)
  [ "$(id -u)" -eq 0 ] || unshare=(unshare --user --map-root-user --mount --propagation private)
  QOLVI_OWN_CA_STORE=1 exec "${unshare[@]}" -- bash "$0" "$store" "$@"
fi
mount --bind "$store" /etc/ssl/certs
exec "$@"
