#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
cmake --preset ci
cmake --build --preset ci
ctest --preset ci
# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
cmake --preset asan
cmake --build --preset asan
ctest --preset asan
# libFuzzer targets, each for a bounded time.
cmake -S fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++
cmake --build build/fuzz
ctest --test-dir build/fuzz --output-on-failure
