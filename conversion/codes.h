// The codes the vector passes without a compress (AVX2, NEON) look their tables up by, the
// two-byte letters' codes by a hash, and the shuffles that pack groups of cells by their shape.
#pragma once

#include "rows.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace zimbrots::vector_detail {

// Codes: 0 for a byte that stands for itself, row + 1 for a letter, SecondHalfCode for the
// second byte of a UTF-8 letter already written. Tables by code have 32 entries.
inline constexpr std::uint8_t SecondHalfCode = NoRow + 1;
inline constexpr std::uint8_t WideCode = WideRow + 1;

constexpr std::uint8_t CodeOfRow(std::uint8_t row) { return row == NoRow ? 0 : std::uint8_t(row + 1); }

// The code of the row whose replacement is half of ū's.
inline constexpr std::uint8_t HalfOfWideCode = [] {
    const std::string_view wide = HackerTable[WideRow].replacement;
    for (std::size_t r = 0; r < HackerTable.size(); ++r) {
        const std::string_view half = HackerTable[r].replacement;
        if (wide.size() == 2 * half.size() && wide.substr(0, half.size()) == half && wide.substr(half.size()) == half)
            return CodeOfRow(std::uint8_t(r));
    }
    throw "no row is half of ū's";  // stops the compilation
}();

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
            tables[1 + k][r + 1] = std::uint8_t(replacement[k]);
    }
    return tables;  // SecondHalfCode: length 0, no bytes
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
