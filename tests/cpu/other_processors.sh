#!/usr/bin/env bash
# The conversion on processors that this machine is not, emulated by qemu: plain x86-64, which
# has neither AVX2 nor AVX-512, and a Haswell, which has AVX2 alone. On each, the conversion
# tests pass on the path that processor offers, and the filter gives the native filter's bytes.
# Usage: other_processors.sh CONVERSION_TEST ZIMBROTS_CONVERT
set -uo pipefail
conversion_test=$1
convert=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Haswell less what qemu cannot emulate, so that it warns of nothing.
declare -A processors=([x86-64]=qemu64 [haswell]=Haswell-noTSX,-pcid,-x2apic,-tsc-deadline,-invpcid)
# Which way the test of the vector paths must end there.
declare -A vector_test=([x86-64]="SKIPPED" [haswell]="OK")

"$(dirname "$0")/mixed_text.sh" "$work/text" || exit 1

. "$(dirname "$0")/../checks.sh"
for encoding in utf-8 windows-1257; do
  "$convert" --encoding "$encoding" "$work/text" >"$work/native-$encoding"
done
for name in "${!processors[@]}"; do
  cpu=${processors[$name]}
  if ! qemu-x86_64 -cpu "$cpu" "$conversion_test" >"$work/test-$name" 2>&1; then
    fails "the conversion tests on $name:"; tail -20 "$work/test-$name"
  else
    check "on $name the test of the vector paths ends ${vector_test[$name]}" \
      grep -q "^\[ *${vector_test[$name]} *\] ConversionPaths.EveryPathGivesTheScalarBytes" "$work/test-$name"
  fi
  for encoding in utf-8 windows-1257; do
    check "the filter ($encoding) on $name gives this machine's bytes" \
      bash -c 'qemu-x86_64 -cpu "$1" "$2" --encoding "$3" "$4" | cmp -s "$5" -' _ "$cpu" "$convert" "$encoding" "$work/text" "$work/native-$encoding"
  done
done
checks_end other-processors
