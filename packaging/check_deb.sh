#!/usr/bin/env bash
# Builds the Debian package from a build tree and checks what it holds.
# Usage: check_deb.sh BUILD_DIR OUTPUT_DIR [PROGRAM ...]
set -euo pipefail
build=$1
out=$2
shift 2
programs=("$@")

rm -rf "$out"
mkdir -p "$out"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || {
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
expect "desktop entry" has_file usr/share/applications/quarvel-sdr.desktop
expect "icon" has_file usr/share/icons/hicolor/scalable/apps/quarvel-sdr.svg
expect "udev rule" has_file usr/lib/udev/rules.d/60-quarvel-sdr.rules

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

exit $fail
