#!/usr/bin/env bash
# Installs the Debian packages that building Zimbrots needs: with "test", also testing it;
# with "cross", building and testing the filter for other processors instead; with "web",
# building the web page alone.
# Only what is missing is installed, so a second run costs nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

# What builds and tests the package is listed once, in debian/control's Build-Depends; the
# compiler is Debian's build-essential, which that list takes for granted.
mapfile -t build_packages < <(
  awk '/^Build-Depends:/ { on = 1; sub(/^Build-Depends:/, ""); print; next } on && /^[ \t]/ { print; next } { on = 0 }' \
      debian/control |
    tr ',' '\n' | sed -E 's/\|.*//; s/\([^)]*\)//g; s/<[^>]*>//g; s/\[[^]]*\]//g; s/[[:space:]]//g' |
    grep -v -e '^$' -e '^debhelper-compat$')
build_packages+=(g++)
# What the desktop, input method, sanitizer, fuzz, benchmark and release checks add.
test_packages=(clang libclang-rt-dev python3-xlib debootstrap libgmock-dev libbenchmark-dev xvfb xauth xdotool xclip
               x11-utils x11-xserver-utils imagemagick desktop-file-utils appstream libreoffice-writer-nogui perl file
               lintian qemu-user qt6-gtk-platformtheme qt6-wayland weston at-spi2-core python3-pyatspi dbus
               ibus ibus-gtk3 ibus-gtk4 python3-gi gir1.2-gtk-3.0 gir1.2-gtk-4.0 xterm
               fcitx5 fcitx5-frontend-qt6 fcitx5-frontend-gtk3 fcitx5-frontend-gtk4 gnome-shell)
# The web page: WebAssembly from Debian's clang, lld, libc++ and wasi-libc; python3 assembles it.
web_packages=(cmake ninja-build clang-19 lld-19 libc++-19-dev-wasm32 libclang-rt-19-dev-wasm32 wasi-libc python3
              librsvg2-bin)
# Its tests: Debian's Chromium, driven through its WebDriver, with fonts for the Latvian letters.
web_test_packages=(chromium chromium-driver python3-selenium fonts-dejavu-core)
# The check on Debian's other processors: cross compilers and the emulator.
cross_packages=(qemu-user g++-aarch64-linux-gnu g++-arm-linux-gnueabihf g++-i686-linux-gnu g++-powerpc64le-linux-gnu
                g++-s390x-linux-gnu)

case "${1:-}" in
  "") packages=("${build_packages[@]}") ;;
  test) packages=("${build_packages[@]}" "${test_packages[@]}" "${web_packages[@]}" "${web_test_packages[@]}") ;;
  cross) packages=("${build_packages[@]}" "${cross_packages[@]}") ;;
  web) packages=("${web_packages[@]}") ;;
  *) echo "usage: install-deps.sh [test|cross|web]" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep "install ok installed" >/dev/null || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "Please install these Debian packages as root first (sudo is not installed): ${missing[*]}" >&2
    exit 1
  fi
  sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
