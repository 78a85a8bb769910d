#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, and runs every test: the suite,
# the same suite under the sanitizers, the fuzzers, and the web page in Chromium. Naming parts
# runs only those.
# Usage: scripts/test.sh [suite] [asan] [fuzz] [web]
set -euo pipefail
cd "$(dirname "$0")/.."
parts=" ${*:-suite asan fuzz web} "
for part in $parts; do
  case $part in suite|asan|fuzz|web) ;; *) echo "usage: scripts/test.sh [suite] [asan] [fuzz] [web]" >&2; exit 2 ;; esac
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
# The web page built as WebAssembly, then driven in headless Chromium; its output is judged
# against the filter's and the RTF writer's, built natively.
if [[ $parts == *" web "* ]]; then
  cmake --preset web
  cmake --build --preset web
  cmake --preset ci
  cmake --build --preset ci --target zimbrots-convert web_rtf_runs
  /usr/bin/python3 tests/web/web_test.py build/web build/ci/cli/zimbrots-convert build/ci/tests/web_rtf_runs build/web-test
fi
