// The substitution table of hacker writing, in Windows-1257 codes.
#pragma once

#include <array>
#include <string_view>

namespace zimbrots {

struct HackerRow {
    unsigned char lower;   // Windows-1257 code of the lower-case letter
    unsigned char upper;   // Windows-1257 code of the capital
    std::string_view replacement;
};

// Both cases share one replacement; j and k inside a replacement stay lower case.
inline constexpr std::array<HackerRow, 27> HackerTable{{
    {0x61, 0x41, "4"},
    {0x63, 0x43, "("},
    {0x65, 0x45, "3"},
    {0x67, 0x47, "9"},
    {0x68, 0x48, "|-|"},
    {0x69, 0x49, "|"},
    {0x6C, 0x4C, "|_"},
    {0x6D, 0x4D, "|\\/|"},
    {0x6E, 0x4E, "|\\|"},
    {0x6F, 0x4F, "0"},
    {0x72, 0x52, "|2"},
    {0x73, 0x53, "5"},
    {0x74, 0x54, "7"},
    {0x75, 0x55, "|_|"},
    {0x76, 0x56, "\\/"},
    {0x7A, 0x5A, "2"},
    {0xE2, 0xC2, "44"},      // ā
    {0xE8, 0xC8, "(|-|"},    // č
    {0xE7, 0xC7, "33"},      // ē
    {0xEC, 0xCC, "9j"},      // ģ
    {0xEE, 0xCE, "||"},      // ī
    {0xED, 0xCD, "kj"},      // ķ
    {0xEF, 0xCF, "|_j"},     // ļ
    {0xF2, 0xD2, "|\\|j"},   // ņ
    {0xF0, 0xD0, "5|-|"},    // š
    {0xFB, 0xDB, "|_||_|"},  // ū
    {0xFE, 0xDE, "2|-|"},    // ž
}};

// No replacement is longer than this, so a text grows by at most this factor.
inline constexpr std::size_t MaxReplacementLength = 6;

}  // namespace zimbrots
