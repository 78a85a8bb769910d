#!/usr/bin/env bash
# The README's commands on a fresh Debian 12, as a new user meets them:
#  1. scripts/run.sh in a minimal root brings up the window, which closes with status 0;
#  2. in the same root, scripts/install-deps.sh test and the ci preset's build and tests;
#  3. the .deb built there, installed with apt into a second fresh root, shows its window and
#     converts in its filter.
# The minimal root (debootstrap minbase, git and ca-certificates, from the host's own mirror)
# and the downloaded packages are cached outside the checkout; each root used is a throwaway
# overlay over that cache, unmounted and removed afterwards.
# Usage: tests/fresh/fresh_debian.sh [COMMIT]   (as root; COMMIT defaults to HEAD)
# Environment: ZIMBROTS_FRESH_CACHE, the cache folder (default /var/cache/zimbrots-fresh).
set -euo pipefail

if [ -n "${ZIMBROTS_FRESH_ROOT:-}" ]; then
  echo "fresh Debian check: already inside a fresh root; not run again"
  exit 0
fi
[ "$(id -u)" = 0 ] || { echo "fresh Debian check: needs root (debootstrap, mount, chroot)"; exit 1; }

repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
commit=$(git -C "$repo" rev-parse --verify "${1:-HEAD}^{commit}")
cache=${ZIMBROTS_FRESH_CACHE:-/var/cache/zimbrots-fresh}
base=$cache/bookworm-minbase
debs=$cache/apt-archives
version=$(sed -n 's/^project(Zimbrots VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
title="Zimbrots v$version"
work=$(mktemp -d /tmp/zimbrots-fresh.XXXXXX)
log=$work/step.log
roots=()
started=$(date +%s)

say() { printf 'fresh Debian check [%4ds]: %s\n' $(($(date +%s) - started)) "$*"; }

# Runs one step with its output in the log; on failure names the step and its own error line.
passed=0
step() {  # step DESCRIPTION COMMAND...
  say "$1"
  if "${@:2}" >"$log" 2>&1; then
    passed=$((passed + 1))
  else
    local line
    line=$(grep -iE 'error|fail|cannot|unable|not found|no such' "$log" | grep -v '^Get:' | tail -n 1)
    [ -n "$line" ] || line=$(tail -n 1 "$log")
    echo "fresh Debian check: step failed: $1"
    echo "  its error: $line"
    echo "  last lines of its output:"
    tail -n 25 "$log" | sed 's/^/    /'
    echo "fresh-debian: $passed passed, 1 failed"
    exit 1
  fi
}

mirror() {  # the first Debian mirror the host's apt uses for bookworm
  local uri
  uri=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
  [ -n "$uri" ] || uri=$(awk '$1 == "deb" && $3 ~ /^bookworm/ {print $2; exit}' /etc/apt/sources.list 2>/dev/null || true)
  echo "${uri:-http://deb.debian.org/debian}"
}

make_base() {
  rm -rf "$base.partial"
  debootstrap --variant=minbase --include=git,ca-certificates bookworm "$base.partial" "$(mirror)"
  # The root takes the host's sources, so that it sees the same updates as the host.
  rm -f "$base.partial/etc/apt/sources.list"
  cp -a /etc/apt/sources.list.d/*.sources "$base.partial/etc/apt/sources.list.d/" 2>/dev/null ||
    cp /etc/apt/sources.list "$base.partial/etc/apt/sources.list"
  rm -rf "$base.partial/var/cache/apt/archives/"*.deb
  mv "$base.partial" "$base"
}

# A throwaway root over the cached base: an overlay, with the system's file systems, the
# package cache, the network's name service and the X socket folder inside.
new_root() {  # new_root NAME; sets root
  local layer=$work/$1
  mkdir -p "$layer"/{upper,work,root}
  mount -t overlay overlay -o "lowerdir=$base,upperdir=$layer/upper,workdir=$layer/work" "$layer/root"
  root=$layer/root
  roots+=("$root")
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys" && mount --make-rslave "$root/sys"
  mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev"
  mkdir -p "$root/tmp/.X11-unix" "$debs"
  mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
  mount --bind "$debs" "$root/var/cache/apt/archives"
  cp -L /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
}

in_root() {  # in_root ROOT COMMAND...: a login-like environment, as on a new machine
  local r=$1; shift
  chroot "$r" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 TERM=dumb DISPLAY="$DISPLAY" ZIMBROTS_FRESH_ROOT=1 CI="${CI:-}" "$@"
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
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
  sleep 0.5
  for r in "${roots[@]}"; do
    umount -R "$r" 2>/dev/null || umount -R -l "$r" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT

# Waits for the window of the given title and closes it as a window manager would.
close_window_expect_zero() {  # close_window_expect_zero PID MINUTES
  local pid=$1 window=""
  for _ in $(seq $(($2 * 60 * 5))); do
    window=$(xdotool search --name "^${title//./\\.}\$" 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    kill -0 "$pid" 2>/dev/null || { echo "the program ended before its window appeared"; return 1; }
    sleep 0.2
  done
  [ -n "$window" ] || { echo "error: no window titled \"$title\" appeared"; return 1; }
  echo "window $window appeared"
  sleep 1
  "$work/wm_close" "$window"
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  local status=0
  wait "$pid" || status=$?
  [ "$status" = 0 ] || { echo "error: the program ended with status $status, not 0 (output follows)"; cat "$work/program.log"; return 1; }
}

run_readme_command() {
  in_root "$root" bash -c 'cd /root/zimbrots && scripts/run.sh' >"$work/program.log" 2>&1 &
  app=$!
  close_window_expect_zero "$app" 30 || { tail -n 20 "$work/program.log"; return 1; }
  app=""
}

run_installed_program() {
  in_root "$root" zimbrots >"$work/program.log" 2>&1 &
  app=$!
  close_window_expect_zero "$app" 2
  app=""
  local converted
  converted=$(printf 'Žūžū\n' | in_root "$root" zimbrots-convert)
  [ "$converted" = '2|-||_||_|2|-||_||_|' ] || { echo "error: zimbrots-convert gave '$converted'"; return 1; }
}

start_display() {
  exec 3< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null & echo "pid $!")
  read -r _ xvfb <&3
  read -r number <&3
  export DISPLAY=":$number"
}

say "commit $(git -C "$repo" log -1 --format='%h %s' "$commit")"
command -v debootstrap >/dev/null && command -v Xvfb >/dev/null && command -v xdotool >/dev/null ||
  step "install debootstrap, Xvfb and xdotool on the host" \
    env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap xvfb xdotool libx11-dev g++
step "build the window-closing helper" c++ -O1 -o "$work/wm_close" "$repo/tests/desktop/wm_close.cpp" -lX11
mkdir -p "$cache"
if [ -d "$base" ]; then
  say "minimal Debian 12 root cached in $base"
else
  step "debootstrap a minimal Debian 12 root into $base (once)" make_base
fi
start_display

new_root first
step "clone the commit under test into the root" \
  bash -c "git clone -q --no-checkout '$repo' '$root/root/zimbrots' && git -C '$root/root/zimbrots' checkout -q '$commit'"
step "scripts/run.sh builds and starts the program; closing its window gives status 0" run_readme_command
step "scripts/install-deps.sh test installs what the tests need" in_root "$root" bash -c 'cd /root/zimbrots && scripts/install-deps.sh test'
step "configure the ci preset" in_root "$root" bash -c 'cd /root/zimbrots && cmake --preset ci'
step "build the ci preset" in_root "$root" bash -c 'cd /root/zimbrots && cmake --build --preset ci'
step "run the ci preset's tests" in_root "$root" bash -c 'cd /root/zimbrots && ctest --preset ci'
step "build the Debian package" in_root "$root" bash -c 'cd /root/zimbrots/build/ci && cpack -G DEB -B /root/package'
deb=$(ls "$root"/root/package/*.deb)

new_root second
cp "$deb" "$root/root/"
step "apt installs the package and all it depends on into a second fresh root" \
  in_root "$root" bash -c "apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q /root/$(basename "$deb")"
step "the installed zimbrots shows its window, the installed zimbrots-convert converts" run_installed_program

say "done in $(($(date +%s) - started)) s"
echo "fresh-debian: $passed passed, 0 failed"
