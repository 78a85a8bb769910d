// Each character's row in the hacker table, derived once from the table for every pass: by
// Windows-1257 byte, by code point, and by the two bytes of a UTF-8 letter; and each row's
// replacement length.
#pragma once

#include "codepage/windows1257.h"
#include "hacker_table.h"

#include <array>
#include <cstdint>

namespace zimbrots {

// The row of a character that has none: it stands for itself.
inline constexpr std::uint8_t NoRow = HackerTable.size();

inline constexpr std::array<std::uint8_t, 256> RowOfByte = [] {
    std::array<std::uint8_t, 256> rows{};
    rows.fill(NoRow);
    for (std::size_t r = 0; r < HackerTable.size(); ++r) {
        rows[HackerTable[r].lower] = std::uint8_t(r);
        rows[HackerTable[r].upper] = std::uint8_t(r);
    }
    return rows;
}();

// By code point below U+0180, where every letter with a row lives.
inline constexpr std::array<std::uint8_t, 0x180> RowOfCodePoint = [] {
    std::array<std::uint8_t, 0x180> rows{};
    rows.fill(NoRow);
    for (int byte = 0; byte < 256; ++byte)
        if (RowOfByte[byte] != NoRow)
            rows[Windows1257ToUnicode[byte]] = RowOfByte[byte];
    return rows;
}();

// By a two-byte UTF-8 letter with lead byte C4 or C5 (U+0100 to U+017F): the lead's last bit
// and the continuation's six.
inline constexpr std::array<std::uint8_t, 128> RowOfC4C5Pair = [] {
    std::array<std::uint8_t, 128> rows{};
    for (int index = 0; index < 128; ++index)
        rows[index] = RowOfCodePoint[0x100 + index];
    return rows;
}();

// Each row's replacement length; a character with no row stands for itself, one long.
inline constexpr std::array<std::uint8_t, HackerTable.size() + 1> LengthOfRow = [] {
    std::array<std::uint8_t, HackerTable.size() + 1> lengths{};
    for (std::size_t r = 0; r < HackerTable.size(); ++r)
        lengths[r] = std::uint8_t(HackerTable[r].replacement.size());
    lengths[NoRow] = 1;
    return lengths;
}();

// ū and Ū, the one row whose replacement is longer than four bytes.
inline constexpr std::uint8_t WideRow = RowOfByte[0xFB];
static_assert([] {
    for (std::size_t r = 0; r < HackerTable.size(); ++r)
        if (LengthOfRow[r] > (r == WideRow ? MaxReplacementLength : 4u))
            return false;
    return true;
}());

}  // namespace zimbrots
