#!/usr/bin/env bash
# Builds the Debian package from a build folder and checks what a user would get from it: its
# fields and files, a dependency on every library the programs load, and programs that run.
# Usage: deb_test.sh BUILD_DIR VERSION
set -uo pipefail
build=$1 version=$2
# How ldconfig marks a library of this machine's own ABI, e.g. "x86-64".
abi=$(/sbin/ldconfig -p | awk '$1 ~ /^libc\.so\.6$/ {sub(/.*\(/, ""); sub(/\).*/, ""); print; exit}')
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $1"; fi
}

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null || { echo "cpack failed"; exit 1; }
deb=$(ls "$work"/out/*.deb)
arch=$(dpkg --print-architecture)
check "one package, named by Debian's rule" test "$(basename "$deb")" = "zimbrots_${version}_${arch}.deb"
check "package fields" test "$(dpkg-deb -f "$deb" Package Version Architecture)" = \
  "$(printf 'Package: zimbrots\nVersion: %s\nArchitecture: %s' "$version" "$arch")"

dpkg-deb -c "$deb" | awk '{print $6}' >"$work/contents"
for file in usr/bin/zimbrots usr/bin/zimbrots-convert usr/share/applications/lv.zimbrots.Zimbrots.desktop \
            usr/share/metainfo/lv.zimbrots.Zimbrots.metainfo.xml usr/share/icons/hicolor/32x32/apps/zimbrots.png \
            usr/share/doc/zimbrots/copyright usr/share/doc/zimbrots/changelog.gz \
            usr/share/man/man1/zimbrots.1.gz usr/share/man/man1/zimbrots-convert.1.gz; do
  check "holds $file" grep -qx "./$file" "$work/contents"
done

# Debian's own checker: no error and no warning.
check "lintian finds nothing" lintian --fail-on error,warning --pedantic "$deb"

dpkg-deb -x "$deb" "$work/root"
for program in zimbrots zimbrots-convert; do
  check "$program is stripped" bash -c "file '$work/root/usr/bin/$program' | grep -q ', stripped'"
done
check "the packaged filter runs" test "$(echo 'Labdien, Žūžū!' | "$work/root/usr/bin/zimbrots-convert")" = \
  '|_4bd|3|\|, 2|-||_||_|2|-||_||_|!'

# Every library the programs load must come from a package that Depends names, by its own
# name or by one it provides (Debian 13 renamed many libraries, which provide the old names).
depends=" $(dpkg-deb -f "$deb" Depends | sed 's/([^)]*)//g; s/[,|]/ /g') "
for lib in $(readelf -d "$work/root/usr/bin/zimbrots" "$work/root/usr/bin/zimbrots-convert" |
             sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort -u); do
  path=$(/sbin/ldconfig -p | awk -v lib="$lib" -v abi="$abi" '$1 == lib && index($0, "(" abi ")") {print $NF; exit}')
  # dpkg knows a file by the path its package ships, before or after /usr was merged.
  owner=$( (dpkg -S "$path" || dpkg -S "$(readlink -f "$path")") 2>/dev/null | head -1 | cut -d: -f1)
  names="$owner $(dpkg-query -W -f='${Provides}' "$owner" 2>/dev/null | sed 's/([^)]*)//g; s/,/ /g')"
  named=""
  for name in $names; do [[ "$depends" == *" $name "* ]] && named=$name; done
  check "$lib (from ${owner:-no package}) is a dependency" test -n "$owner" -a -n "$named"
done

echo "$passed checks passed, $failed failed"
[ "$failed" = 0 ]
