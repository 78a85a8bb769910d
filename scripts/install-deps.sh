#!/usr/bin/env bash
# Installs the Debian packages that building (and, with "test", testing) Zimbrots needs.
# Only what is missing is installed, so a second run costs nothing.
set -euo pipefail

build_packages=(cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev librsvg2-bin fonts-liberation fonts-dejavu-core)
test_packages=(clang libclang-rt-14-dev libx11-dev debootstrap libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth xdotool xclip x11-utils imagemagick
               desktop-file-utils appstream libreoffice-writer-nogui perl file lintian qemu-user
               qt6-gtk-platformtheme qt6-wayland weston at-spi2-core python3-pyatspi dbus)

packages=("${build_packages[@]}")
[ "${1:-}" = test ] && packages+=("${test_packages[@]}")

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
