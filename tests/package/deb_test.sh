#!/usr/bin/env bash
# Builds the Debian source and binary packages twice, from one snapshot of the checkout, in two
# folders and at different times, and checks what a user and Debian would get: the
# same bytes both times, fields and files, Debian's protections in both programs, lintian's
# silence, a dependency on every library the programs load, and programs that run.
# The first build also runs the package's own tests (dh_auto_test), as Debian's builders do.
# Usage: deb_test.sh SOURCE_DIR VERSION [OUT_DIR]   (OUT_DIR receives the .deb)
set -uo pipefail
source=$1 version=$2 out=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# How ldconfig marks a library of this machine's own ABI, e.g. "x86-64".
abi=$(/sbin/ldconfig -p | awk '$1 ~ /^libc\.so\.6$/ {sub(/.*\(/, ""); sub(/\).*/, ""); print; exit}')
. "$(dirname "$0")/../checks.sh"

# The package is built from what git would commit: tracked files and new ones it does not ignore,
# taken once, so that both builds have the same source whatever changes in the checkout meanwhile.
(cd "$source" && git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf -) >"$work/source.tar"
build() {  # build FOLDER OPTIONS: builds in FOLDER/zimbrots, leaves the packages in FOLDER
  mkdir -p "$1/zimbrots"
  tar -xf "$work/source.tar" -C "$1/zimbrots"
  (cd "$1/zimbrots" && DEB_BUILD_OPTIONS="$2 parallel=$(nproc)" dpkg-buildpackage -us -uc) >"$1/build.log" 2>&1 ||
    { echo "dpkg-buildpackage failed in $1:"; tail -n 30 "$1/build.log"; exit 1; }
}
build "$work/first" ""
build "$work/second/elsewhere" nocheck

arch=$(dpkg --print-architecture)
deb=$work/first/zimbrots_${version}_${arch}.deb
check "the changelog's version is the project's ($version)" \
  test "$(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)" = "$version"
check "one package, named by Debian's rule" test -f "$deb"
check "package fields" test "$(dpkg-deb -f "$deb" Package Version Architecture)" = \
  "$(printf 'Package: zimbrots\nVersion: %s\nArchitecture: %s' "$version" "$arch")"
# Which files of two packages differ; both are kept for a look.
packages_differ() {  # packages_differ DEB OTHER-DEB
  kept=${out:-$source/..}/unreproducible
  rm -rf "$kept" && mkdir -p "$kept"
  cp "$1" "$kept/first.deb" && cp "$2" "$kept/second.deb"
  dpkg-deb -R "$1" "$kept/first" && dpkg-deb -R "$2" "$kept/second"
  echo "$(cd "$kept" && diff -rq first second | sed -n 's|^Files first/\(.*\) and .*|\1|p' | paste -sd ' ') (both packages kept in $kept)"
}
other=$work/second/elsewhere/$(basename "$deb")
if cmp -s "$deb" "$other"; then
  passes
else
  fails "two builds in different folders gave different packages, in $(packages_differ "$deb" "$other"); diffoscope says:"
  diffoscope --text - "$deb" "$other" 2>&1 | head -n 80
fi

dpkg-deb -c "$deb" | awk '{print $6}' >"$work/contents"
for file in usr/bin/zimbrots usr/bin/zimbrots-convert usr/share/applications/lv.zimbrots.Zimbrots.desktop \
            usr/share/metainfo/lv.zimbrots.Zimbrots.metainfo.xml usr/share/icons/hicolor/32x32/apps/zimbrots.png \
            usr/share/doc/zimbrots/copyright usr/share/doc/zimbrots/changelog.gz \
            usr/share/man/man1/zimbrots.1.gz usr/share/man/man1/zimbrots-convert.1.gz \
            usr/share/locale/lv/LC_MESSAGES/zimbrots-convert.mo; do
  check "holds $file" grep -qx "./$file" "$work/contents"
done

# Debian's own checker, on the source package, the .changes and the .deb: no error and no warning.
check "lintian finds nothing" lintian --fail-on error,warning --pedantic "$work/first/zimbrots_${version}_${arch}.changes"

dpkg-deb -x "$deb" "$work/root"
protections=("Position Independent Executable: yes" "Stack protected: yes" "Fortify Source functions: yes"
             "Read-only relocations: yes" "Immediate binding: yes")
# Control-flow protection where this release's flags ask for it and its toolchain can mark a
# program so: the linker drops the mark when the C library's start files lack it (Debian 13's
# own programs carry none).
if DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CXXFLAGS | grep -q fcf-protection; then
  printf 'int main(void) { return 0; }\n' >"$work/probe.c"
  if cc -fcf-protection -o "$work/probe" "$work/probe.c" && readelf -n "$work/probe" | grep -q 'x86 feature: IBT, SHSTK'; then
    protections+=("Control flow integrity: yes")
  else
    echo "not checked: control-flow protection (this toolchain marks no program with it, not even an empty one)"
  fi
fi
for program in zimbrots zimbrots-convert; do
  check "$program is stripped" bash -c "file '$work/root/usr/bin/$program' | grep -q ', stripped'"
  report=$(hardening-check "$work/root/usr/bin/$program")
  for protection in "${protections[@]}"; do
    check "$program: $protection" grep -qF "$protection" <<<"$report"
  done
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

[ -n "$out" ] && mkdir -p "$out" && cp "$deb" "$out/"
checks_end deb-test
