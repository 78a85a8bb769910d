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
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
# Each package by its program: the filter on its own, the desktop program that brings it, and
# the input method for IBus and for Fcitx5 (an add-on it loads).
declare -A program_package=([zimbrots-convert]=zimbrots-convert [zimbrots]=zimbrots [ibus-engine-zimbrots]=ibus-zimbrots
                            [libzimbrots.so]=fcitx5-zimbrots)
declare -A program_path=([zimbrots-convert]=usr/bin/zimbrots-convert [zimbrots]=usr/bin/zimbrots
                         [ibus-engine-zimbrots]=usr/libexec/ibus-engine-zimbrots
                         [libzimbrots.so]=usr/lib/$multiarch/fcitx5/libzimbrots.so)
declare -A contents=(
  [zimbrots-convert]="usr/bin/zimbrots-convert usr/share/man/man1/zimbrots-convert.1.gz
    usr/share/locale/lv/LC_MESSAGES/zimbrots-convert.mo usr/share/bash-completion/completions/zimbrots-convert"
  [zimbrots]="usr/bin/zimbrots usr/share/applications/lv.zimbrots.Zimbrots.desktop usr/share/man/man1/zimbrots.1.gz
    usr/share/metainfo/lv.zimbrots.Zimbrots.metainfo.xml usr/share/icons/hicolor/32x32/apps/zimbrots.png"
  [ibus-zimbrots]="usr/libexec/ibus-engine-zimbrots usr/share/ibus/component/zimbrots.xml
    usr/share/ibus-zimbrots/zimbrots.svg"
  [fcitx5-zimbrots]="usr/lib/$multiarch/fcitx5/libzimbrots.so usr/share/fcitx5/addon/zimbrots.conf
    usr/share/fcitx5/inputmethod/zimbrots.conf usr/share/icons/hicolor/scalable/apps/fcitx-zimbrots.svg")
check "the changelog's version is the project's ($version)" \
  test "$(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)" = "$version"
debs=()
for package in "${program_package[@]}"; do
  debs+=("$work/first/${package}_${version}_${arch}.deb")
  check "the package $package, named by Debian's rule" test -f "${debs[-1]}"
done
# Which files of two packages differ; both are kept for a look.
packages_differ() {  # packages_differ DEB OTHER-DEB
  kept=${out:-$source/..}/unreproducible/$(basename "$1" .deb)
  rm -rf "$kept" && mkdir -p "$kept"
  cp "$1" "$kept/first.deb" && cp "$2" "$kept/second.deb"
  dpkg-deb -R "$1" "$kept/first" && dpkg-deb -R "$2" "$kept/second"
  echo "$(cd "$kept" && diff -rq first second | sed -n 's|^Files first/\(.*\) and .*|\1|p' | paste -sd ' ') (both packages kept in $kept)"
}
for package in "${program_package[@]}"; do
  deb=$work/first/${package}_${version}_${arch}.deb
  check "$package: package fields" test "$(dpkg-deb -f "$deb" Package Version Architecture)" = \
    "$(printf 'Package: %s\nVersion: %s\nArchitecture: %s' "$package" "$version" "$arch")"
  other=$work/second/elsewhere/$(basename "$deb")
  if cmp -s "$deb" "$other"; then
    passes
  else
    fails "two builds in different folders gave different $package packages, in $(packages_differ "$deb" "$other"); diffoscope says:"
    diffoscope --text - "$deb" "$other" 2>&1 | head -n 80
  fi
  dpkg-deb -c "$deb" | awk '{print $6}' >"$work/contents"
  for file in ${contents[$package]} usr/share/doc/$package/copyright usr/share/doc/$package/changelog.gz; do
    check "$package holds $file" grep -qx "./$file" "$work/contents"
  done
  dpkg-deb -x "$deb" "$work/root"
done
check "the desktop package brings the filter's own version" \
  grep -qF "zimbrots-convert (= $version)" <<<"$(dpkg-deb -f "$work/first/zimbrots_${version}_${arch}.deb" Depends)"
for package in zimbrots-convert ibus-zimbrots fcitx5-zimbrots; do
  check "the package $package needs no Qt" \
    bash -c "! dpkg-deb -f '$work/first/${package}_${version}_${arch}.deb' Depends | grep -qi qt"
done
check "the package fcitx5-zimbrots needs no IBus" \
  bash -c "! dpkg-deb -f '$work/first/fcitx5-zimbrots_${version}_${arch}.deb' Depends | grep -qi ibus"
check "the input method's component names the installed engine" \
  grep -qF '<exec>/usr/libexec/ibus-engine-zimbrots --ibus</exec>' "$work/root/usr/share/ibus/component/zimbrots.xml"

# Debian's own checker, on the source package, the .changes and the .debs: no error and no warning.
check "lintian finds nothing" lintian --fail-on error,warning --pedantic "$work/first/zimbrots_${version}_${arch}.changes"

protections=("Position Independent Executable: yes" "Stack protected: yes" "Fortify Source functions: yes"
             "Read-only relocations: yes" "Immediate binding: yes")
# Control-flow protection where this release's flags ask for it and its toolchain can mark a
# program so: the linker drops the mark when the C library's start files lack it (Debian 13's
# own programs carry none).
if DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CXXFLAGS | grep fcf-protection >/dev/null; then
  printf 'int main(void) { return 0; }\n' >"$work/probe.c"
  if cc -fcf-protection -o "$work/probe" "$work/probe.c" && readelf -n "$work/probe" | grep 'x86 feature: IBT, SHSTK' >/dev/null; then
    protections+=("Control flow integrity: yes")
  else
    echo "not checked: control-flow protection (this toolchain marks no program with it, not even an empty one)"
  fi
fi
for program in "${!program_path[@]}"; do
  check "$program is stripped" bash -c "file '$work/root/${program_path[$program]}' | grep -q ', stripped'"
  report=$(hardening-check "$work/root/${program_path[$program]}")
  for protection in "${protections[@]}"; do
    # An add-on is a shared library: position-independent by nature, and not an executable.
    [[ $program != *.so || $protection != "Position Independent"* ]] || continue
    check "$program: $protection" grep -qF "$protection" <<<"$report"
  done
done
check "the packaged filter runs" test "$(echo 'Labdien, Žūžū!' | "$work/root/usr/bin/zimbrots-convert")" = \
  '|_4bd|3|\|, 2|-||_||_|2|-||_||_|!'

# Every library a program loads must come from a package that its own package's Depends names,
# by its own name or by one it provides (Debian 13 renamed many libraries, which provide the old names).
for program in "${!program_path[@]}"; do
  package=${program_package[$program]}
  depends=" $(dpkg-deb -f "$work/first/${package}_${version}_${arch}.deb" Depends | sed 's/([^)]*)//g; s/[,|]/ /g') "
  for lib in $(readelf -d "$work/root/${program_path[$program]}" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    path=$(/sbin/ldconfig -p | awk -v lib="$lib" -v abi="$abi" '$1 == lib && index($0, "(" abi ")") {print $NF; exit}')
    # dpkg knows a file by the path its package ships, before or after /usr was merged.
    owner=$( (dpkg -S "$path" || dpkg -S "$(readlink -f "$path")") 2>/dev/null | head -1 | cut -d: -f1)
    names="$owner $(dpkg-query -W -f='${Provides}' "$owner" 2>/dev/null | sed 's/([^)]*)//g; s/,/ /g')"
    named=""
    for name in $names; do [[ "$depends" == *" $name "* ]] && named=$name; done
    check "$program: $lib (from ${owner:-no package}) is a dependency of $package" test -n "$owner" -a -n "$named"
  done
done

[ -n "$out" ] && mkdir -p "$out" && cp "${debs[@]}" "$out/"
checks_end deb-test
