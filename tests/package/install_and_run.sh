#!/usr/bin/env bash
# The Debian package as a candidate gets it: built from the release preset with the local exam
# service's values as a provider gives them (no extra authority: the service's is in the
# system's store; its key and a backup pinned, computed with openssl as the README says),
# checked, installed with apt-get, started under X against the local exam service, and removed
# again whatever happens. Needs root (apt-get) and a dev configure (for
# the local certificate authority and the service). Usage: install_and_run.sh
set -euo pipefail
cd "$(dirname "$0")/../.."

port=47443
source tests/support/session.sh
installed=false
after_processes_end() {
  if $installed; then apt-get remove -y -qq qolvi-desktop-agent >/dev/null || true; fi
}
fail() { echo "FAIL: $*"; for log in "$work"/*.log; do echo "--- $log"; cat "$log"; done; exit 1; }

cmake --build --preset dev --target qolvi-exam-service list_toplevels kwin_keys
digest() { openssl dgst -sha256 -binary | base64; }
ca_pin="sha256/$(openssl x509 -in build/dev/local-ca/ca.pem -pubkey -noout | openssl pkey -pubin -outform der | digest)"
backup_pin="sha256/$(openssl pkey -in build/dev/local-ca/backup.key -pubout -outform der | digest)"
cmake --preset release -DQOLVI_SERVICE_BASE_URL="https://127.0.0.1:$port/tr/" \
  -DQOLVI_EXAM_SITE_URL="https://127.0.0.1:$port" -DQOLVI_EXTRA_CA_FILE= \
  -DQOLVI_SERVICE_PINS="$ca_pin;$backup_pin"
cmake --build --preset release
rm -f build/release/qolvi-desktop-agent_*.deb
cpack --preset release
deb="$(ls build/release/qolvi-desktop-agent_*.deb)"
echo "Package: $deb, $(stat -c %s "$deb") bytes"
dpkg-deb -f "$deb" Depends

# No error from lintian; the one warning left is about Debian's own bug tracker.
lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root' | tee "$work/lintian.log"
! grep -q '^E:' "$work/lintian.log" || fail "lintian found errors"

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >"$work/apt.log" 2>&1 || fail "apt-get could not install $deb"
installed=true
outside="$(dpkg -L qolvi-desktop-agent | grep -v -e '^/usr/' -e '^/usr$' -e '^/\.$' || true)"
[ -z "$outside" ] || fail "installed outside /usr: $outside"
desktop-file-validate /usr/share/applications/com.qolvi.DesktopAgent.desktop || fail "desktop entry"
appstreamcli validate --no-net /usr/share/metainfo/com.qolvi.DesktopAgent.metainfo.xml || fail "metainfo"

# The installed agent runs as every test's agent does: nothing outside can answer it. The local
# exam service's authority is in the system's store as a public one would be: a store of the
# test's own, over /etc/ssl/certs in a mount namespace of its own.
mkdir "$work/store"
cp build/dev/local-ca/ca.pem "$work/store/qolvi-local-ca.pem"
openssl rehash "$work/store"
tests/support/own_ca_store.sh "$work/store" bash tests/package/run_installed.sh "$port" \
  || fail "the installed agent did not run"
echo "PASS: the package installs, validates, its agent maps its window as com.qolvi.DesktopAgent and reaches the service through the system's store, pinned; a copy of it in a candidate's folder sends nothing; launched from its entry on sway, KWin and GNOME Shell, the keyboard alone sends the key"
echo "package: 1 passed, 0 failed"
