// The codes the vector passes without a compress (AVX2, NEON) look their tables up by, the
// two-byte letters' codes by a hash, and the shuffles that pack groups of cells by their shape.
#pragma once

#include "rows.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace zimbrots::vector_detail {

// Codes: 0 for a byte that stands for itself, one for each row, SecondHalfCode for the second
// byte of a UTF-8 letter already written. Tables by code have 32 entries, so a 16-entry
// look-up (one shuffle) reads codes 16 apart from one place: the rows are given codes such
// that two that share a place agree on their second to fourth replacement bytes wherever both
// have them, and those bytes' tables take one look-up (SharedPlaces).
struct CodeAssignment {
    std::array<std::uint8_t, NoRow + 1> ofRow;
    std::uint8_t secondHalf;
};
inline constexpr CodeAssignment Codes = [] {
    constexpr int Free = -1, Itself = NoRow;
    std::array<int, 32> rowOfCode{};
    rowOfCode.fill(Free);
    rowOfCode[0] = Itself;
    const auto agree = [](std::size_t row, int other) {
        if (other == Free || other == Itself)
            return true;
        const std::string_view a = HackerTable[row].replacement, b = HackerTable[std::size_t(other)].replacement;
        for (std::size_t k = 1; k < 4 && k < a.size() && k < b.size(); ++k)
            if (a[k] != b[k])
                return false;
        return true;
    };
    CodeAssignment codes{};
    // The longest replacements first, while most places are free.
    for (std::size_t length = MaxReplacementLength; length > 0; --length)
        for (std::size_t row = 0; row < HackerTable.size(); ++row) {
            if (HackerTable[row].replacement.size() != length)
                continue;
            // The first free code whose place another code began and agrees with; else the
            // first free code in a place that agrees (32: none).
            const auto firstFit = [&](bool begun) {
                int code = 1;
                while (code < 32 && !(rowOfCode[code] == Free && (!begun || rowOfCode[code ^ 16] != Free) &&
                                      agree(row, rowOfCode[code ^ 16])))
                    ++code;
                return code;
            };
            int code = firstFit(true);
            if (code == 32)
                code = firstFit(false);
            if (code == 32)
                throw "no code is left for a row";  // stops the compilation
            rowOfCode[code] = int(row);
            codes.ofRow[row] = std::uint8_t(code);
        }
    codes.ofRow[NoRow] = 0;
    int code = 1;
    while (code < 32 && rowOfCode[code] != Free)
        ++code;
    if (code == 32)
        throw "no code is left for second halves";  // stops the compilation
    codes.secondHalf = std::uint8_t(code);
    return codes;
}();

constexpr std::uint8_t CodeOfRow(std::uint8_t row) { return Codes.ofRow[row]; }
inline constexpr std::uint8_t SecondHalfCode = Codes.secondHalf;
inline constexpr std::uint8_t WideCode = CodeOfRow(WideRow);

// The row whose replacement is half of ū's, and its code.
inline constexpr std::uint8_t HalfOfWideRow = [] {
    const std::string_view wide = HackerTable[WideRow].replacement;
    for (std::size_t r = 0; r < HackerTable.size(); ++r) {
        const std::string_view half = HackerTable[r].replacement;
        if (wide.size() == 2 * half.size() && wide.substr(0, half.size()) == half && wide.substr(half.size()) == half)
            return std::uint8_t(r);
    }
    throw "no row is half of ū's";  // stops the compilation
}();
inline constexpr std::uint8_t HalfOfWideCode = CodeOfRow(HalfOfWideRow);

// Codes of the two-byte letters U+0100 to U+017F by the seven bits of RowOfC4C5Pair's index,
// through a hash: the index's bits 3 to 6 and, above them, its bit 0 tell the 22 letters
// apart, so two 32-entry look-ups (the letter's index and its code) and a comparison do.
constexpr std::uint8_t PairHash(int index) { return std::uint8_t((index >> 3 & 15) | (index & 1) << 4); }
struct PairHashTables {
    std::array<std::uint8_t, 32> index, code;
};
inline constexpr PairHashTables PairHashed = [] {
    PairHashTables t{};
    t.index.fill(0xFF);  // no index is that
    for (int index = 0; index < 128; ++index) {
        const std::uint8_t code = CodeOfRow(RowOfC4C5Pair[index]);
        if (code == 0)
            continue;
        if (t.index[PairHash(index)] != 0xFF)
            throw "two letters share a hash";  // stops the compilation
        t.index[PairHash(index)] = std::uint8_t(index);
        t.code[PairHash(index)] = code;
    }
    return t;
}();

// Length, and first to sixth replacement byte, by code.
inline constexpr auto ByCode = [] {
    std::array<std::array<std::uint8_t, 32>, 7> tables{};
    for (std::size_t r = 0; r <= HackerTable.size(); ++r)
        tables[0][CodeOfRow(std::uint8_t(r))] = LengthOfRow[r];
    for (std::size_t r = 0; r < HackerTable.size(); ++r) {
        const std::string_view replacement = HackerTable[r].replacement;
        for (std::size_t k = 0; k < replacement.size(); ++k)
            tables[1 + k][CodeOfRow(std::uint8_t(r))] = std::uint8_t(replacement[k]);
    }
    return tables;  // SecondHalfCode: length 0, no bytes
}();

// The second to sixth replacement bytes as 16-entry tables: codes 16 apart share a place
// (Codes), and a code's bytes past its replacement's end are never read.
inline constexpr auto SharedPlaces = [] {
    std::array<std::array<std::uint8_t, 16>, 5> tables{};
    std::array<std::array<bool, 16>, 5> taken{};
    for (int code = 0; code < 32; ++code)
        for (int k = 1; k < ByCode[0][code]; ++k) {
            const std::uint8_t byte = ByCode[1 + k][code];
            if (taken[k - 1][code & 15] && tables[k - 1][code & 15] != byte)
                throw "two codes that share a place differ";  // stops the compilation
            tables[k - 1][code & 15] = byte;
            taken[k - 1][code & 15] = true;
        }
    return tables;
}();

// The shape of a group of cells of Width lanes: their replacements' lengths (0 to Width), the
// first cell's first, read as a number in base Width + 1.
template <int Width>
constexpr int ShapeOf(std::span<const int> lengths)
{
    int shape = 0;
    for (std::size_t cell = lengths.size(); cell-- > 0;)
        shape = shape * (Width + 1) + lengths[cell];
    return shape;
}

// For each shape of a group of Cells cells of Width lanes: the shuffle that packs the group's
// bytes to the front, and how many there are.
template <int Cells, int Width>
struct PackTables {
    static constexpr int Shapes = [] {
        int shapes = 1;
        for (int cell = 0; cell < Cells; ++cell)
            shapes *= Width + 1;
        return shapes;
    }();
    std::array<std::array<std::uint8_t, 16>, Shapes> order;
    std::array<std::uint8_t, Shapes> length;
};

template <int Cells, int Width>
constexpr PackTables<Cells, Width> MakePackTables()
{
    PackTables<Cells, Width> tables{};
    for (int shape = 0; shape < tables.Shapes; ++shape) {
        std::array<int, Cells> lengths{};
        for (int cell = 0, rest = shape; cell < Cells; ++cell, rest /= Width + 1)
            lengths[cell] = rest % (Width + 1);
        if (ShapeOf<Width>(lengths) != shape)
            throw "a shape's lengths give another shape";  // stops the compilation
        int n = 0;
        for (int cell = 0; cell < Cells; ++cell)
            for (int k = 0; k < lengths[cell]; ++k)
                tables.order[shape][n++] = std::uint8_t(Width * cell + k);
        tables.length[shape] = std::uint8_t(n);
        for (; n < 16; ++n)
            tables.order[shape][n] = 0x80;  // a zero: past the packed bytes
    }
    return tables;
}

inline constexpr auto Pack = MakePackTables<4, 4>();      // four cells of four: 625 shapes
inline constexpr auto WidePack = MakePackTables<2, 8>();  // two cells of eight: 81 shapes

}  // namespace zimbrots::vector_detail
