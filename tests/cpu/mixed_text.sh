#!/usr/bin/env bash
# Writes the text the filter is compared on across processors: Latvian and English prose,
# decomposed letters, letters cut by the end of a line, bytes that are not UTF-8 and every
# byte value once, repeated past many vector blocks.
# Usage: mixed_text.sh FILE
line=$'Ūdens, čūska, žagata, ķirbis, ģērbties; ļoti garām rindām ņaudēt. Hello, world!\n'
line+=$'a\xCC\x84 u\xCC\x84 o\xCC\x88 \xC4 \xC5\xAB\xC5 \x80\xFF\xE2\x82\xAC \xF0\x9F\x98\x80 mmmmmmmmmmmmmmmm\n'
{
  for _ in $(seq 2000); do printf '%s' "$line"; done
  for byte in $(seq 0 255); do printf "\\x$(printf %02x "$byte")"; done
} >"$1"
