#!/usr/bin/env bash
# The Qt-free part (conversion, RTF writer, filter) on Debian's other processors: built with
# Debian's cross compilers, its tests run under qemu-user, and the filter must give this
# machine's bytes on a mixed text in both encodings. s390x is the big-endian one.
# Usage: tests/cpu/other_architectures.sh [ARCH...]   (default: arm64 armhf i386 ppc64el s390x)
# Installs the cross compilers and qemu-user first (scripts/install-deps.sh cross).
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$repo/build/cross
architectures=("$@")
[ ${#architectures[@]} -gt 0 ] || architectures=(arm64 armhf i386 ppc64el s390x)
declare -A triplets=([arm64]=aarch64-linux-gnu [armhf]=arm-linux-gnueabihf [i386]=i686-linux-gnu
                     [ppc64el]=powerpc64le-linux-gnu [s390x]=s390x-linux-gnu)
declare -A emulators=([arm64]=aarch64 [armhf]=arm [i386]=i386 [ppc64el]=ppc64le [s390x]=s390x)
declare -A processors=([arm64]=aarch64 [armhf]=arm [i386]=i686 [ppc64el]=ppc64le [s390x]=s390x)
started=$(date +%s)
say() { printf 'other architectures [%4ds]: %s\n' $(($(date +%s) - started)) "$*"; }

"$repo/scripts/install-deps.sh" cross

say "this machine's filter, the reference"
cmake -S "$repo" -B "$build/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZIMBROTS_GUI=OFF \
  -DZIMBROTS_TESTS=OFF >/dev/null
cmake --build "$build/native" --target zimbrots-convert >/dev/null
"$repo/tests/cpu/mixed_text.sh" "$build/text"
for encoding in utf-8 windows-1257; do
  "$build/native/cli/zimbrots-convert" --encoding "$encoding" "$build/text" >"$build/native-$encoding"
done

. "$repo/tests/checks.sh"
for arch in "${architectures[@]}"; do
  triplet=${triplets[$arch]:?unknown architecture $arch}
  dir=$build/$arch
  mkdir -p "$dir"
  emulator="qemu-${emulators[$arch]};-L;/usr/$triplet"
  # qemu-i386 finds the C++ runtime only through the library path; without it a forked child hangs.
  [ "$arch" = i386 ] && emulator+=";-E;LD_LIBRARY_PATH=/usr/$triplet/lib"
  cat >"$dir/toolchain.cmake" <<TOOLCHAIN
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${processors[$arch]})
set(CMAKE_C_COMPILER $triplet-gcc)
set(CMAKE_CXX_COMPILER $triplet-g++)
set(CMAKE_FIND_ROOT_PATH /usr/$triplet)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR "$emulator")
TOOLCHAIN
  say "$arch: build with $triplet-g++"
  if ! { cmake -S "$repo" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$dir/toolchain.cmake" \
           -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZIMBROTS_GUI=OFF -DZIMBROTS_TESTS=ON -DZIMBROTS_WERROR=ON &&
         cmake --build "$dir"; } >"$dir/build.log" 2>&1; then
    fails "$arch: the build failed:"; grep -m 5 -E 'error|Error' "$dir/build.log" || tail -n 20 "$dir/build.log"
    continue
  fi
  # Debian's clang targets arm64 too, and clang 19 (Debian 13's) crashed on an earlier form of
  # the NEON pass: each clang here must compile it.
  if [ "$arch" = arm64 ]; then
    for clang in clang++ clang++-19; do
      command -v "$clang" >/dev/null || continue
      if "$clang" --target="$triplet" -std=c++20 -O2 -Wall -Wextra -Werror -I"$repo" \
           -c "$repo/conversion/neon_passes.cpp" -o "$dir/neon-$clang.o" >"$dir/neon-$clang.log" 2>&1; then
        passes
      else
        fails "arm64: $($clang --version | head -n 1) cannot compile the NEON pass:"
        grep -m 3 -E 'error|Stack dump|PLEASE' "$dir/neon-$clang.log" || tail -n 5 "$dir/neon-$clang.log"
      fi
    done
  fi
  say "$arch: tests under qemu-${emulators[$arch]}"
  if ! ctest --test-dir "$dir" -j 2 --timeout 600 --output-on-failure >"$dir/test.log" 2>&1; then
    fails "$arch: the first failing test is$(sed -n '/The following tests FAILED:/{n;s/^[[:space:]]*[0-9]* -//p;q}' "$dir/test.log")"
    grep -m 1 -E '^[0-9]+% tests passed' "$dir/test.log"
    # Its first failed assertion, with what it expected.
    grep -m 1 -B 1 -A 4 -E '^.*: Failure$' "$dir/test.log" || true
    continue
  fi
  same=1
  for encoding in utf-8 windows-1257; do
    "$dir/tests/zimbrots-convert-emulated" --encoding "$encoding" "$build/text" >"$dir/$encoding"
    if ! cmp "$build/native-$encoding" "$dir/$encoding" >"$dir/cmp-$encoding" 2>&1; then
      echo "$arch: the filter ($encoding) gave other bytes than this machine's: $(head -n 1 "$dir/cmp-$encoding")"
      same=0
    fi
  done
  if [ $same = 1 ]; then
    say "ok: $arch ($(grep -oE '[0-9]+ tests passed|tests passed, [0-9]+ tests failed out of [0-9]+' "$dir/test.log" | tail -n 1))"
    passes
  else
    fails "$arch: the filter's bytes"
  fi
done
checks_end other-architectures
