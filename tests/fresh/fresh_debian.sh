#!/usr/bin/env bash
# The README's commands on fresh Debian 12 and 13 machines, as a new user with sudo meets them:
#  1. in a minimal root of each release, that user runs scripts/run.sh: the window appears and
#     closes with status 0; then scripts/test.sh: every suite passes (with
#     ZIMBROTS_FRESH_HOST_TESTED=1, as .ci/run sets it after testing on the host, the host's own
#     release runs the suite without the sanitizers and fuzzers);
#  2. in a second root of each release, apt-get build-dep and the package test
#     (tests/package/deb_test.sh: dpkg-buildpackage twice, same bytes, lintian, hardening);
#  3. the filter's package built there, installed alone with apt into a fresh root of the same
#     release, converts and brings no Qt; so does the input method's, which ibus then lists, and
#     the Fcitx5 add-on's, which Fcitx5 lists, with no IBus either; all, installed into another, show the
#     window, convert and pass their autopkgtests; the Debian 12 packages do the same in a fresh
#     Debian 13 root;
#  4. on Debian 12 with only a compiler, CMake and Ninja, the filter alone builds and installs.
# Each release's minimal root (debootstrap minbase with git, ca-certificates and sudo, and the
# user "dev" who may use sudo) and its downloaded packages are cached outside the checkout. Each
# root used is a throwaway overlay over that cache, or a copy where no overlay can be mounted
# (inside a container); all are unmounted and removed afterwards.
# Usage: tests/fresh/fresh_debian.sh [--bases] [COMMIT]   (as root; COMMIT defaults to HEAD;
#   --bases only makes the cached minimal roots, which .ci/run does meanwhile the host tests)
# Environment: ZIMBROTS_FRESH_CACHE, the cache folder (default /var/cache/zimbrots-fresh);
#   ZIMBROTS_FRESH_RELEASES (default "bookworm trixie"); ZIMBROTS_FRESH_COPY=1 copies the roots;
#   ZIMBROTS_FRESH_HOST_TESTED=1: scripts/test.sh passed on this host for the commit.
set -euo pipefail

if [ -n "${ZIMBROTS_FRESH_ROOT:-}" ]; then
  echo "fresh Debian check: already inside a fresh root; not run again"
  exit 0
fi
[ "$(id -u)" = 0 ] || { echo "fresh Debian check: needs root (debootstrap, mount, chroot); run it with sudo"; exit 1; }

only_bases=0
[ "${1:-}" != --bases ] || { only_bases=1; shift; }
repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
commit=$(git -C "$repo" rev-parse --verify "${1:-HEAD}^{commit}")
cache=${ZIMBROTS_FRESH_CACHE:-/var/cache/zimbrots-fresh}
read -r -a releases <<<"${ZIMBROTS_FRESH_RELEASES:-bookworm trixie}"
declare -A release_number=([bookworm]=12 [trixie]=13)
# .ci/run has the host test the commit whole first; its release need not run that again.
host_release=""
[ -z "${ZIMBROTS_FRESH_HOST_TESTED:-}" ] || host_release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
work=$(mktemp -d /tmp/zimbrots-fresh.XXXXXX)
log=$work/step.log
roots=()
started=$(date +%s)

say() { printf 'fresh Debian check [%4ds]: %s\n' $(($(date +%s) - started)) "$*"; }

. "$repo/tests/checks.sh"
title=$(program_title)
version=${title#Zimbrots v}
# Runs one step with its output in the log; on failure names the step and its own error line,
# and stops: the steps build on each other.
step() {  # step DESCRIPTION COMMAND...
  say "$1"
  if "${@:2}" >"$log" 2>&1; then
    passes
  else
    local line
    line=$(grep -iE 'error|fail|cannot|unable|not found|no such' "$log" | grep -v '^Get:' | tail -n 1)
    [ -n "$line" ] || line=$(tail -n 1 "$log")
    fails "$1"
    echo "  its error: $line"
    # The checks that failed, where the step's tests name them; its last lines either way.
    grep -E '^FAILED: |^\[  FAILED  \] [A-Za-z]' "$log" | sort -u | head -n 10 | sed 's/^/  failed: /' || true
    echo "  last lines of its output:"
    tail -n 25 "$log" | sed 's/^/    /'
    checks_end
    exit 1
  fi
}

host_uri() {  # host_uri N: the Nth URI the host's apt uses (1: Debian, 2: its security archive)
  { sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/*.sources 2>/dev/null
    awk '$1 == "deb" {print $2}' /etc/apt/sources.list 2>/dev/null; } | sed -n "${1}p"
}

make_base() {  # make_base RELEASE BASE
  local release=$1 base=$2 mirror security
  mirror=$(host_uri 1); mirror=${mirror:-http://deb.debian.org/debian}
  security=$(host_uri 2); [[ "$security" == *security* ]] || security=http://deb.debian.org/debian-security
  rm -rf "$base.partial"
  debootstrap --variant=minbase --include=git,ca-certificates,sudo "$release" "$base.partial" "$mirror"
  rm -f "$base.partial/etc/apt/sources.list"
  cat >"$base.partial/etc/apt/sources.list.d/debian.sources" <<SOURCES
Types: deb
URIs: $mirror
Suites: $release $release-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: $security
Suites: $release-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  # A new user who may use sudo, as on a desktop installed with a user account.
  chroot "$base.partial" useradd --create-home --uid 1000 --user-group --groups sudo --shell /bin/bash dev
  echo 'dev ALL=(ALL) NOPASSWD: ALL' >"$base.partial/etc/sudoers.d/dev"
  chmod 440 "$base.partial/etc/sudoers.d/dev"
  echo "127.0.1.1 $(hostname)" >>"$base.partial/etc/hosts"
  rm -rf "$base.partial/var/cache/apt/archives/"*.deb
  mv "$base.partial" "$base"
}

# A throwaway root over a release's cached base, with the system's file systems, the package
# cache, the network's name service and the X socket folder inside.
new_root() {  # new_root RELEASE NAME; sets root
  local base=$cache/$1-newcomer debs=$cache/apt-archives-$1 layer=$work/$2
  mkdir -p "$layer"/{upper,work,root} "$debs"
  if [ -n "${ZIMBROTS_FRESH_COPY:-}" ] ||
     ! mount -t overlay overlay -o "lowerdir=$base,upperdir=$layer/upper,workdir=$layer/work" "$layer/root" 2>/dev/null; then
    # An overlay cannot be mounted on an overlay, as in a container: copy the base instead.
    # A bind mount of the copy onto itself makes it a mount, so that the clean-up's recursive
    # unmount takes proc, sys and dev off it before anything is removed.
    cp -a "$base/." "$layer/root/"
    mount --bind "$layer/root" "$layer/root"
  fi
  root=$layer/root
  roots+=("$root")
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys" && mount --make-rslave "$root/sys"
  mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev"
  mkdir -p "$root/tmp/.X11-unix"
  mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
  mount --bind "$debs" "$root/var/cache/apt/archives"
  cp -L /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
}

in_root() {  # in_root ROOT COMMAND...: as root, for installing
  local r=$1; shift
  chroot "$r" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 TERM=dumb DISPLAY="$DISPLAY" ZIMBROTS_FRESH_ROOT=1 "$@"
}

as_user() {  # as_user ROOT COMMAND...: as "dev" after `su - dev`: a user's PATH, no LANG
  local r=$1; shift
  chroot --userspec=1000:1000 --groups=1000,27 "$r" /usr/bin/env -i HOME=/home/dev USER=dev LOGNAME=dev \
    PATH=/usr/local/bin:/usr/bin:/bin:/usr/games SHELL=/bin/bash TERM=dumb DISPLAY="$DISPLAY" \
    ZIMBROTS_FRESH_ROOT=1 CI="${CI:-}" bash -c 'cd && "$@"' _ "$@"
}

cleanup() {
  set +e
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null
  local r p
  for r in "${roots[@]}"; do
    # Whatever still runs inside the root holds its mounts.
    for p in /proc/[0-9]*; do
      [ "$(readlink "$p/root" 2>/dev/null)" = "$r" ] && kill -9 "${p#/proc/}" 2>/dev/null
    done
  done
  stop "${xvfb:-}"
  for r in "${roots[@]}"; do
    umount -R "$r" 2>/dev/null || umount -R -l "$r" 2>/dev/null
  done
  # Nothing of the host may be removed through a mount that stayed.
  if findmnt -rn -o TARGET | grep "^$work/" >/dev/null; then
    echo "fresh Debian check: $work still has mounts; left in place"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

run_readme_command() {
  as_user "$root" bash -c 'cd zimbrots && scripts/run.sh' >"$work/program.log" 2>&1 &
  app=$!
  closes_with 0 "$app" "$title" 1800 || { echo "error: $saw"; tail -n 20 "$work/program.log"; return 1; }
  app=""
}

filter_converts() {  # filter_converts RUNNER ROOT: the installed zimbrots-convert, run by RUNNER
  local converted
  converted=$(printf 'Žūžū\n' | "$@" zimbrots-convert)
  [ "$converted" = '2|-||_||_|2|-||_||_|' ] || { echo "error: zimbrots-convert gave '$converted'"; return 1; }
}

run_installed_program() {
  as_user "$root" zimbrots >"$work/program.log" 2>&1 &
  app=$!
  closes_with 0 "$app" "$title" 120 || { echo "error: $saw"; cat "$work/program.log"; return 1; }
  app=""
  filter_converts as_user "$root"
}

clone_as_user() {
  git clone -q --no-checkout "$repo" "$root/home/dev/zimbrots" && git -C "$root/home/dev/zimbrots" checkout -q "$commit" &&
    chown -R 1000:1000 "$root/home/dev/zimbrots"
}

package_checks() {  # package_checks VERSION: the package test, with the tools it needs
  in_root "$root" bash -c 'DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
      git lintian devscripts diffoscope-minimal file' &&
    as_user "$root" bash -c "cd zimbrots && tests/package/deb_test.sh . '$1' ~/package" && return
  # Two packages that differ are kept outside the throwaway root.
  [ ! -d "$root/home/dev/package/unreproducible" ] || cp -r "$root/home/dev/package/unreproducible" "$cache/"
  return 1
}

# autopkgtest's null runner tests the package on the root it runs in, installing what the
# tests depend on.
run_autopkgtest() {  # run_autopkgtest FOLDER: the packages in FOLDER
  clone_as_user &&
    in_root "$root" bash -c 'DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends autopkgtest' &&
    in_root "$root" bash -c 'autopkgtest /root/debs/*.deb /home/dev/zimbrots -- null'
}

install_package() {  # install_package ROOT FOLDER [PACKAGE]: PACKAGE of those in FOLDER, or all
  mkdir -p "$1/root/debs" && cp "$2"/*.deb "$1/root/debs/"
  in_root "$1" bash -c "apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q /root/debs/${3:-}*.deb"
}

# The filter's package alone, as on a server: it converts, and brings no Qt along.
install_filter_alone() {  # install_filter_alone FOLDER
  install_package "$root" "$1" zimbrots-convert_ && filter_converts in_root "$root" || return 1
  ! in_root "$root" dpkg-query -W -f='${db:Status-Abbrev}${Package}\n' 'libqt6*' 2>/dev/null | grep '^ii' ||
    { echo "error: the filter's package brought Qt along"; return 1; }
}

# The input method's package alone: IBus lists the engine, and no Qt comes along.
install_ibus_alone() {  # install_ibus_alone FOLDER
  install_package "$root" "$1" ibus-zimbrots_ || return 1
  ! in_root "$root" dpkg-query -W -f='${db:Status-Abbrev}${Package}\n' 'libqt6*' 2>/dev/null | grep '^ii' ||
    { echo "error: the input method's package brought Qt along"; return 1; }
  # A desktop has a session bus; this root gets one for the daemon.
  in_root "$root" bash -c 'DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends dbus-daemon' &&
    clone_as_user || return 1
  as_user "$root" bash -c 'cd zimbrots && tests/ibus/with_ibus_daemon.sh /usr/share/ibus/component ibus list-engine' |
    grep 'zimbrots - Zimbrots' >/dev/null || { echo "error: ibus list-engine does not list zimbrots"; return 1; }
}

# The Fcitx5 add-on's package alone, with what it needs and nothing it only recommends: Fcitx5
# lists the engine under Latvian, and neither Qt nor IBus comes along (Fcitx5 itself recommends
# its Qt tools, which apt adds by default).
install_fcitx5_alone() {  # install_fcitx5_alone FOLDER
  mkdir -p "$root/root/debs" && cp "$1"/fcitx5-zimbrots_*.deb "$root/root/debs/" &&
    in_root "$root" bash -c 'apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
      --no-install-recommends /root/debs/fcitx5-zimbrots_*.deb' || return 1
  ! in_root "$root" dpkg-query -W -f='${db:Status-Abbrev}${Package}\n' 'libqt*' 'ibus*' 2>/dev/null | grep '^ii' ||
    { echo "error: the Fcitx5 add-on's package brought Qt or IBus along"; return 1; }
  # A desktop has a session bus; this root gets one, and the test its client.
  in_root "$root" bash -c 'DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends dbus-daemon dbus-bin' &&
    clone_as_user && as_user "$root" bash -c 'cd zimbrots && debian/tests/fcitx5'
}

# A server's way: only a compiler, CMake and Ninja, and the filter alone, installed system-wide.
build_filter_alone() {
  in_root "$root" bash -c 'apt-get update -q &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends cmake ninja-build g++' &&
  git clone -q --no-checkout "$repo" "$root/root/zimbrots" && git -C "$root/root/zimbrots" checkout -q "$commit" &&
  in_root "$root" bash -c 'cd /root/zimbrots && cmake -S . -B build -G Ninja -DZIMBROTS_GUI=OFF &&
    cmake --build build && cmake --install build' || return 1
  [ -f "$root/usr/local/share/man/man1/zimbrots-convert.1.gz" ] || { echo "error: no manual page installed"; return 1; }
  filter_converts in_root "$root"
}

say "commit $(git -C "$repo" log -1 --format='%h %s' "$commit")"
command -v debootstrap >/dev/null && command -v Xvfb >/dev/null && /usr/bin/python3 -c 'import Xlib' 2>/dev/null ||
  step "install debootstrap, Xvfb and python3-xlib on the host" \
    env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap xvfb python3-xlib
mkdir -p "$cache"
[ "$only_bases" = 1 ] || step "start a display on the host" start_xvfb 1024x768

for release in "${releases[@]}"; do
  name="Debian ${release_number[$release]:-$release}"
  if [ -d "$cache/$release-newcomer" ]; then
    say "minimal $name root cached in $cache/$release-newcomer"
  else
    step "debootstrap a minimal $name root with a user who has sudo (once)" make_base "$release" "$cache/$release-newcomer"
  fi
done
if [ "$only_bases" = 1 ]; then
  checks_end
  exit
fi

declare -A package
for release in "${releases[@]}"; do
  name="Debian ${release_number[$release]:-$release}"
  new_root "$release" "$release-readme"
  step "$name: clone the commit under test as the user" clone_as_user
  step "$name: scripts/run.sh builds and starts the program; closing its window gives status 0" run_readme_command
  # Where the host ran the sanitizers and fuzzers on this release already, as root: here the
  # suite alone, as a new user. Another release runs everything.
  if [ "$release" = "$host_release" ]; then
    step "$name: scripts/test.sh suite builds and passes the suite" as_user "$root" bash -c 'cd zimbrots && scripts/test.sh suite'
  else
    step "$name: scripts/test.sh builds and passes every suite" as_user "$root" bash -c 'cd zimbrots && scripts/test.sh'
  fi

  # The source package in a root that has only its build dependencies, as Debian's builders.
  new_root "$release" "$release-package"
  step "$name: clone the commit under test as the user" clone_as_user
  step "$name: apt-get build-dep installs what the source package needs" \
    as_user "$root" bash -c 'cd zimbrots && sudo DEBIAN_FRONTEND=noninteractive apt-get build-dep -y -q ./'
  step "$name: dpkg-buildpackage builds and tests the package; a second build elsewhere gives the same bytes; lintian, hardening-check" \
    package_checks "$version"
  package[$release]=$work/$release
  mkdir "${package[$release]}" && cp "$root"/home/dev/package/*.deb "${package[$release]}/"

  new_root "$release" "$release-filter"
  step "$name: apt installs the filter's package alone into a fresh root; it converts and brings no Qt" \
    install_filter_alone "${package[$release]}"

  new_root "$release" "$release-ibus"
  step "$name: apt installs the input method's package alone; ibus lists the engine, and no Qt comes along" \
    install_ibus_alone "${package[$release]}"

  new_root "$release" "$release-fcitx5"
  step "$name: apt installs the Fcitx5 add-on's package alone; Fcitx5 lists the engine, and neither Qt nor IBus comes along" \
    install_fcitx5_alone "${package[$release]}"

  new_root "$release" "$release-install"
  step "$name: apt installs both packages and all they depend on into another fresh root" install_package "$root" "${package[$release]}"
  step "$name: the installed zimbrots shows its window, the installed zimbrots-convert converts" run_installed_program
  step "$name: the package's autopkgtests pass on the installed package" run_autopkgtest "${package[$release]}"
done

if [ -n "${package[bookworm]:-}" ] && [[ " ${releases[*]} " == *" trixie "* ]]; then
  new_root trixie bookworm-package-on-trixie
  step "Debian 13: apt installs the Debian 12 packages" install_package "$root" "${package[bookworm]}"
  step "Debian 13: the Debian 12 package's programs show the window and convert" run_installed_program
  step "Debian 13: the autopkgtests pass on the Debian 12 packages" run_autopkgtest "${package[bookworm]}"
fi

if [[ " ${releases[*]} " == *" bookworm "* ]]; then
  new_root bookworm filter-alone
  step "Debian 12 with only cmake, ninja-build and g++: the filter alone builds, installs and converts" build_filter_alone
fi

say "done in $(($(date +%s) - started)) s"
checks_end
