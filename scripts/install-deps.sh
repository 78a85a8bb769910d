#!/usr/bin/env bash
# Installs the Debian packages that building Zimbrots needs: with "test", also testing it;
# with "cross", building and testing the filter for other processors instead.
# Only what is missing is installed, so a second run costs nothing.
set -euo pipefail

build_packages=(cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev librsvg2-bin fonts-liberation fonts-dejavu-core
                qt6-l10n-tools qt6-translations-l10n gettext)
test_packages=(clang libclang-rt-dev python3-xlib debootstrap libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth xdotool xclip x11-utils x11-xserver-utils imagemagick
               desktop-file-utils appstream libreoffice-writer-nogui perl file lintian qemu-user
               qt6-gtk-platformtheme qt6-wayland weston at-spi2-core python3-pyatspi dbus locales)

# The check on Debian's other processors: cross compilers and the emulator.
cross_packages=(cmake ninja-build g++ libgtest-dev qemu-user g++-aarch64-linux-gnu g++-arm-linux-gnueabihf
                g++-i686-linux-gnu g++-powerpc64le-linux-gnu g++-s390x-linux-gnu)

case "${1:-}" in
  "") packages=("${build_packages[@]}") ;;
  test) packages=("${build_packages[@]}" "${test_packages[@]}") ;;
  cross) packages=("${cross_packages[@]}") ;;
  *) echo "usage: install-deps.sh [test|cross]" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
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
