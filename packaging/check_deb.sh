#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a build tree and checks what it holds.
# Usage: check_deb.sh BUILD_DIR OUTPUT_DIR [PROGRAM ...]
set -euo pipefail
build=$1
out=$2
shift 2
programs=("$@")

rm -rf "$out"
mkdir -p "$out"
# Under the strictest umask a packager may have: the package's folders must still be 0755.
(umask 077 && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out") >"$out/cpack.log" 2>&1 || {
  cat "$out/cpack.log"
  exit 1
}
debs=("$out"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "expected one .deb in $out"; exit 1; }
deb=${debs[0]}

fail=0
expect() {  # expect DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; fail=1; fi
}

contents=$(dpkg-deb -c "$deb")
has_file() {  # has_file PATH [MODE-PREFIX]
  grep -Eq "^${2:--}[^ ]* +[^ ]+ +[0-9]+ [0-9-]+ [0-9:]+ \./${1#/}\$" <<<"$contents"
}
for p in "${programs[@]}"; do
  expect "executable /usr/bin/$p" has_file "usr/bin/$p" "-rwxr-xr-x"
done
expect "desktop entry" has_file usr/share/applications/org.quarvel.QuarvelSDR.desktop
expect "AppStream metadata" has_file usr/share/metainfo/org.quarvel.QuarvelSDR.metainfo.xml
expect "icon" has_file usr/share/icons/hicolor/scalable/apps/quarvel-sdr.svg
for size in 48 64 128 256; do
  expect "icon ${size}x${size}" has_file usr/share/icons/hicolor/${size}x${size}/apps/quarvel-sdr.png
done
expect "copyright" has_file usr/share/doc/quarvel-sdr/copyright
expect "changelog" has_file usr/share/doc/quarvel-sdr/changelog.Debian.gz
for p in "${programs[@]}"; do
  expect "manual page of $p" has_file "usr/share/man/man1/$p.1.gz"
done
expect "udev rule" has_file usr/lib/udev/rules.d/60-quarvel-sdr.rules
folders_0755() { ! grep -E '^d' <<<"$contents" | grep -Ev '^drwxr-xr-x '; }
expect "every folder is drwxr-xr-x" folders_0755

rule=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/lib/udev/rules.d/60-quarvel-sdr.rules)
expect "udev rule: FTDI vendor, seat access, plugdev fallback" \
  grep -Eq 'ATTR\{idVendor\}=="0403".*TAG\+="uaccess".*GROUP="plugdev", MODE="0660"' <<<"$rule"

expect "package name" test "$(dpkg-deb -f "$deb" Package)" = quarvel-sdr
expect "architecture" test "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)"
expect "maintainer" test -n "$(dpkg-deb -f "$deb" Maintainer)"
expect "postinst" bash -c "dpkg-deb -I '$deb' postinst | grep -q 'udevadm trigger'"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
if [ ${#programs[@]} -gt 0 ]; then
  for lib in libqt6widgets6 libqt6gui6 libqt6core6 libftdi1-2 libstdc++6 libc6; do
    expect "depends on $lib" grep -Eq "(^|, )${lib//+/\\+}( |,|\$)" <<<"$depends"
  done
  expect "no sanitizer runtimes" bash -c "! grep -Eq 'libasan|libubsan' <<<'$depends'"
fi

# What Debian and software centres check, on the files as the package holds them.
tree=$out/tree
dpkg-deb -x "$deb" "$tree"
need() {  # need COMMAND: the checks below are part of the test, so their tools must be there
  command -v "$1" >/dev/null || { echo "FAILED: $1 is not installed (scripts/setup.sh installs it)"; fail=1; return 1; }
}
for size in 48 64 128 256; do
  expect "icon ${size}x${size} is a ${size} x ${size} PNG" \
    grep -q "PNG image data, $size x $size," \
    <<<"$(file "$tree/usr/share/icons/hicolor/${size}x${size}/apps/quarvel-sdr.png")"
done
metainfo=$tree/usr/share/metainfo/org.quarvel.QuarvelSDR.metainfo.xml
for p in "${programs[@]}"; do
  expect "metainfo provides $p" grep -q "<binary>$p</binary>" "$metainfo"
done
expect "metainfo provides the FTDI bridge's USB IDs" grep -q "<modalias>usb:v0403p" "$metainfo"
# Software centres lay the screenshot out by the size the metadata gives.
shot=$(dirname "$0")/../docs/panel.png
size=$(file "$shot" | grep -Eo '[0-9]+ x [0-9]+' | head -1)
expect "metainfo gives the screenshot's size ($size)" \
  grep -q "width=\"${size% x *}\" height=\"${size#* x }\"" "$metainfo"
# The desktop shell matches the running window to its launcher by the window's class, which
# is the program's name.
desktop=$tree/usr/share/applications/org.quarvel.QuarvelSDR.desktop
expect "desktop entry's window class is its program's" \
  grep -qx "StartupWMClass=$(sed -n 's/^Exec=//p' "$desktop" | head -1)" "$desktop"
# Started from the menu, standard output goes into the session's log: the simulated board's
# trace is left out there.
expect "desktop action for the simulated board prints no trace" \
  grep -qx "Exec=QuarvelSDR-sim --no-trace" "$desktop"
gzip -dc "$tree/usr/share/doc/quarvel-sdr/changelog.Debian.gz" >"$out/changelog"
expect "changelog names the package's version" \
  test "$(dpkg-parsechangelog -l "$out/changelog" -S Version)" = "$(dpkg-deb -f "$deb" Version)"
if need appstreamcli; then
  expect "appstreamcli validate --no-net" appstreamcli validate --no-net "$metainfo"
fi
if need desktop-file-validate; then
  expect "desktop-file-validate" \
    desktop-file-validate "$tree/usr/share/applications/org.quarvel.QuarvelSDR.desktop"
fi
if need man; then
  for p in "${programs[@]}"; do
    page=$tree/usr/share/man/man1/$p.1.gz
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    expect "man -l $p.1.gz renders without warnings" test -z "$warnings"
    [ -z "$warnings" ] || echo "$warnings"
    expect "man -l $p.1.gz has its name line" \
      grep -Eq "^ *$p +- " <<<"$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null)"
  done
fi
if need lintian; then
  # Errors and warnings fail; information tags are shown. Overrides with their reasons are in
  # packaging/lintian-overrides.
  # Its scratch files (it leaves some) go into the test's own folder, not /tmp.
  mkdir -p "$out/lintian-tmp"
  expect "lintian: no errors, no warnings" \
    env TMPDIR="$out/lintian-tmp" lintian --fail-on error,warning --info "$deb"
fi

exit $fail
