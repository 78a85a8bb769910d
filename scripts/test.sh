#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, and runs every test: the suite,
# the same suite under the sanitizers, and the fuzzers. Naming parts runs only those.
# Usage: scripts/test.sh [suite] [asan] [fuzz]
set -euo pipefail
cd "$(dirname "$0")/.."
parts=" ${*:-suite asan fuzz} "
for part in $parts; do
  case $part in suite|asan|fuzz) ;; *) echo "usage: scripts/test.sh [suite] [asan] [fuzz]" >&2; exit 2 ;; esac
done
scripts/install-deps.sh test
if [[ $parts == *" suite "* ]]; then
  cmake --preset ci
  cmake --build --preset ci
  ctest --preset ci
fi
# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
if [[ $parts == *" asan "* ]]; then
  cmake --preset asan
  cmake --build --preset asan
  ctest --preset asan
fi
# libFuzzer targets, each for a bounded time.
if [[ $parts == *" fuzz "* ]]; then
  cmake -S fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++
  cmake --build build/fuzz
  ctest --test-dir build/fuzz --output-on-failure
fi
