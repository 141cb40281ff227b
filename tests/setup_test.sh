#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# scripts/setup.sh as an ordinary user on a machine where one package is missing, with sudo,
# dpkg-query and apt-get stood in for: the non-interactive front end and the C locale reach
# apt-get through sudo's reset environment (which keeps the language), a list update that finds
# apt's lock held is tried again, and any other failure ends with one line that names what
# could not be installed.
set -euo pipefail
setup=$1
fake=$(mktemp -d)
trap 'rm -rf "$fake"' EXIT
cat >"$fake/dpkg-query" <<'STUB'
#!/bin/sh
for p; do :; done
[ "$p" = xdotool ] || echo "install ok installed"
STUB
cat >"$fake/id" <<'STUB'
#!/bin/sh
echo 1000
STUB
cat >"$fake/sudo" <<'STUB'
#!/bin/sh
exec env -i PATH="$PATH" LANG="$LANG" FAKE="$FAKE" UPDATE_FAILS="$UPDATE_FAILS" "$@"
STUB
cat >"$fake/apt-get" <<'STUB'
#!/bin/sh
echo "DEBIAN_FRONTEND=${DEBIAN_FRONTEND:-} LC_ALL=${LC_ALL:-} $*" >>"$FAKE/log"
case " $* " in
  *" update "*)
    n=$(cat "$FAKE/updates" 2>/dev/null || echo 0)
    echo $((n + 1)) >"$FAKE/updates"
    if [ "$n" -lt 2 ]; then echo "E: $UPDATE_FAILS" >&2; exit 100; fi ;;
esac
STUB
chmod +x "$fake"/*
export FAKE=$fake PATH="$fake:$PATH" QUARVEL_SETUP_RETRY_S=0 LANG=de_DE.UTF-8
fail() { echo "FAIL: $*" >&2; exit 1; }

UPDATE_FAILS="Could not get lock /var/lib/apt/lists/lock. It is held by process 1013" \
  bash "$setup" 2>"$fake/err" || fail "lock held twice: $(cat "$fake/err")"
grep -q 'Waiting for another package manager' "$fake/err" || fail "no word while waiting"
[ "$(grep -c ' update ' "$fake/log")" = 3 ] || fail "update not tried again: $(cat "$fake/log")"
grep -q '^DEBIAN_FRONTEND=noninteractive LC_ALL=C .*DPkg::Lock::Timeout=300 install .*xdotool' \
  "$fake/log" || fail "install: $(cat "$fake/log")"
! grep -q '^DEBIAN_FRONTEND= ' "$fake/log" || fail "front end lost: $(cat "$fake/log")"

rm -f "$fake/log" "$fake/updates"
if UPDATE_FAILS="Failed to fetch http://deb.debian.org/debian/dists/bookworm/InRelease" \
  bash "$setup" 2>"$fake/err"; then
  fail "an update that cannot fetch was taken for success"
fi
grep -q '^Could not install: xdotool\.' "$fake/err" || fail "no closing line: $(cat "$fake/err")"
[ "$(grep -c ' update ' "$fake/log")" = 1 ] || fail "a fetch failure was tried again"
echo "setup: ok"
