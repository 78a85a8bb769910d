// The passes with AVX-512 and VBMI2.
//
// 64 input bytes are loaded and each gets a class: its row in the table (0 to 26), NoRow (the
// byte stands for itself) or SecondHalf (the second byte of a UTF-8 letter already written).
// Then they go out in blocks. For a block, the 64 lanes of a register are read as cells, one
// per input byte: with cells of four lanes, lane s belongs to input byte s / 4 and holds byte
// s % 4 of its replacement; zero lanes are dropped, and VPCOMPRESSB packs the rest into the
// output. Cells of four take sixteen bytes a block, all 64 in four.
//
// Shuffles are what limits these passes (port 5 on Intel), so a cell's first byte comes from a
// register of first bytes (the byte itself where it has no row), and the other three from one
// register of the 16 distinct tails, looked up by the tail's number: a block costs three
// one-register look-ups. ū and Ū, whose six bytes are one half twice, get two lanes (Spread).
// The in-place pass, which writes from the end, takes a register holding ū or Ū in cells of
// six instead: ten bytes a block, 60 of the 64 in six, each cell looked up at 6 x class + s % 6
// in a table where each replacement is followed by zeros.
#include "vector_passes.h"

#if defined(__x86_64__)

#include "rows.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <immintrin.h>

namespace zimbrots::vector_detail {

namespace {

constexpr std::uint8_t SecondHalf = NoRow + 1;  // adds nothing: the letter was written already

// Replacement length by class, for the size of a whole text.
constexpr std::array<std::uint8_t, 64> LengthOfClass = [] {
    std::array<std::uint8_t, 64> lengths{};
    std::copy(LengthOfRow.begin(), LengthOfRow.end(), lengths.begin());
    return lengths;  // SecondHalf: 0
}();

// Lane k takes lane k + 1: the byte after each byte.
constexpr std::array<std::uint8_t, 64> NextLane = [] {
    std::array<std::uint8_t, 64> next{};
    for (int k = 0; k < 64; ++k)
        next[k] = std::uint8_t(k < 63 ? k + 1 : 63);
    return next;
}();

static_assert([] {
    for (const HackerRow& row : HackerTable)
        for (char c : row.replacement)
            if (c == 0)
                return false;
    return true;
}(), "a zero byte marks where a replacement ends");

// The replacements but ū's in cells of four by their tails (all but the first byte): cell 0 is
// for nothing (the second half of a UTF-8 letter), and every other cell has a nonzero mark in
// its first lane, where the replacement's first byte goes, and its tail in the lanes after, so
// that a lane is kept where the cell's byte is not zero. Rows with the same tail share a cell.
struct TailCells {
    std::array<std::uint8_t, 64> bytes{};
    std::array<std::uint8_t, 64> cellOfClass{};   // 4 x the cell, by class
    std::array<std::uint8_t, 64> firstOfClass{};  // the replacement's first byte; 0: the byte itself
    int count = 1;
};
constexpr TailCells MakeTailCells()
{
    TailCells t;
    auto cellOf = [&t](std::string_view tail) {
        std::array<std::uint8_t, 4> cell{1, 0, 0, 0};
        for (std::size_t k = 0; k < tail.size(); ++k)
            cell[1 + k] = std::uint8_t(tail[k]);
        int c = 1;
        while (c < t.count && !(t.bytes[4 * c + 1] == cell[1] && t.bytes[4 * c + 2] == cell[2] &&
                                t.bytes[4 * c + 3] == cell[3]))
            ++c;
        if (c == t.count) {
            if (t.count++ == 16)
                throw "more than 16 tails";
            for (int k = 0; k < 4; ++k)
                t.bytes[4 * c + k] = cell[k];
        }
        return c;
    };
    t.cellOfClass[NoRow] = std::uint8_t(4 * cellOf(""));
    for (std::size_t r = 0; r < HackerTable.size(); ++r) {
        // ū's replacement is two cells of the same half (Spread gives it two lanes).
        const std::string_view replacement =
            r == WideRow ? HackerTable[r].replacement.substr(0, HackerTable[r].replacement.size() / 2)
                         : HackerTable[r].replacement;
        t.cellOfClass[r] = std::uint8_t(4 * cellOf(replacement.substr(1)));
        t.firstOfClass[r] = std::uint8_t(replacement[0]);
    }
    return t;  // SecondHalf: cell 0
}
constexpr TailCells Tails = MakeTailCells();
static_assert([] {
    const std::string_view wide = HackerTable[WideRow].replacement;
    return wide.size() == 6 && wide.substr(0, 3) == wide.substr(3);
}(), "ū's replacement is one half twice");
static_assert(Tails.cellOfClass[SecondHalf] == 0 && Tails.firstOfClass[NoRow] == 0);

// Windows-1257 bytes straight to first bytes and cells by 64-entry look-ups: a capital is its
// small letter less 0x20 in both halves of the code page, and shares its replacement, so every
// byte with a row has bit 6 set, and bits 0 to 4 and 7 tell which.
struct ByteTables {
    std::array<std::uint8_t, 64> first{}, self{}, cell{};
};
constexpr std::uint8_t FoldedIndex(int byte) { return std::uint8_t((byte & 0x1F) | (byte >> 2 & 0x20)); }
constexpr ByteTables MakeByteTables()
{
    ByteTables t;
    for (int byte = 0x60; byte < 0x100; byte += byte == 0x7F ? 0x61 : 1) {
        const std::uint8_t row = RowOfByte[byte];
        t.first[FoldedIndex(byte)] = Tails.firstOfClass[row];
        t.self[FoldedIndex(byte)] = row == NoRow ? 0xFF : 0;
        t.cell[FoldedIndex(byte)] = Tails.cellOfClass[row];
    }
    return t;
}
constexpr ByteTables ByByte = MakeByteTables();
static_assert([] {
    for (int byte = 0; byte < 256; ++byte) {
        const int folded = byte & 0x40 ? byte | 0x20 : -1;
        if (RowOfByte[byte] != (folded < 0 ? NoRow : RowOfByte[folded]))
            return false;
    }
    return true;
}(), "every byte with a row has bit 6, and shares its row with the byte 0x20 above");

// Every replacement in a cell of six bytes, zeros after it, at 6 x its row; the cells of NoRow
// and SecondHalf are all zeros: 29 x 6 = 174 bytes.
constexpr auto WideCellReplacements = [] {
    std::array<std::uint8_t, 256> bytes{};
    for (std::size_t r = 0; r < HackerTable.size(); ++r)
        for (std::size_t k = 0; k < HackerTable[r].replacement.size(); ++k)
            bytes[6 * r + k] = std::uint8_t(HackerTable[r].replacement[k]);
    return bytes;
}();

// With cells of Width lanes, a block takes 64 / Width input bytes. Lane s of block k belongs
// to input lane (64 / Width) k + s / Width, and is byte s % Width of its cell; lanes past the
// last whole cell belong to nothing kept.
template <int Width>
constexpr auto CellOwners()
{
    constexpr int perBlock = 64 / Width;
    std::array<std::array<std::uint8_t, 64>, 64 / perBlock> owners{};
    for (std::size_t k = 0; k < owners.size(); ++k)
        for (int s = 0; s < 64; ++s)
            owners[k][s] = std::uint8_t(perBlock * int(k) + (s < perBlock * Width ? s / Width : 0));
    return owners;
}

template <int Width>
constexpr auto CellPlaces()
{
    std::array<std::uint8_t, 64> place{};
    for (int s = 0; s < 64; ++s)
        place[s] = std::uint8_t(s % Width);
    return place;
}

// The lanes that begin a cell, and the lanes that belong to a whole cell.
template <int Width>
constexpr std::uint64_t CellStarts()
{
    std::uint64_t mask = 0;
    for (int s = 0; s + Width <= 64; s += Width)
        mask |= std::uint64_t(1) << s;
    return mask;
}
template <int Width>
constexpr std::uint64_t CellLanes()
{
    constexpr int lanes = 64 / Width * Width;
    return lanes == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << lanes) - 1;
}
static_assert(CellOwners<6>().size() == 6 && CellOwners<4>().size() == 4);
static_assert(CellStarts<4>() == 0x1111111111111111ull && CellLanes<6>() == (std::uint64_t(1) << 60) - 1);

// What these passes are compiled for, and so what the processor must have to take them.
#define ZIMBROTS_AVX512_FEATURES "avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,popcnt"
#define ZIMBROTS_AVX512 __attribute__((target(ZIMBROTS_AVX512_FEATURES)))

// Byte k of the result is table[index[k] % 64]. (The masked form: GCC 12 warns that the
// plain one reads an undefined register.)
ZIMBROTS_AVX512 inline __m512i PermuteBytes(__m512i index, __m512i table)
{
    return _mm512_maskz_permutexvar_epi8(~__mmask64(0), index, table);
}

// A register with byte in every lane, made out of the compiler's sight: it then keeps it, or
// reloads it from the stack, rather than making it again in the loop from a general register,
// which takes the shuffle port that limits these passes.
ZIMBROTS_AVX512 inline __m512i Splat(char byte)
{
    __m512i lanes = _mm512_set1_epi8(byte);
    asm("" : "+v"(lanes));
    return lanes;
}

// The first count lanes, count from 0 to 64.
inline __mmask64 LowLanes(unsigned count) { return count >= 64 ? ~__mmask64(0) : (__mmask64(1) << count) - 1; }

// A table of 128 or 256 bytes in two or four registers: byte k of the result is table[index[k]].
template <std::size_t Size>
struct RegisterTable {
    __m512i part[Size / 64];

    ZIMBROTS_AVX512 explicit RegisterTable(const std::array<std::uint8_t, Size>& table)
    {
        for (std::size_t q = 0; q < Size / 64; ++q)
            part[q] = _mm512_loadu_si512(table.data() + 64 * q);
    }
    ZIMBROTS_AVX512 __m512i operator()(__m512i index) const
    {
        const __m512i low = _mm512_permutex2var_epi8(part[0], index, part[1]);
        if constexpr (Size == 128) {
            return low;
        } else {
            const __m512i high = _mm512_permutex2var_epi8(part[2], index, part[3]);
            return _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high);
        }
    }
};

// The blocks in cells of six: which input byte and which byte of its replacement each lane
// holds, and the replacements.
struct WideCells {
    static constexpr auto OwnerTable = CellOwners<6>();
    static constexpr auto PlaceTable = CellPlaces<6>();

    __m512i owner[OwnerTable.size()], place;
    RegisterTable<WideCellReplacements.size()> replacements{WideCellReplacements};

    ZIMBROTS_AVX512 WideCells()
    {
        for (std::size_t k = 0; k < OwnerTable.size(); ++k)
            owner[k] = _mm512_loadu_si512(OwnerTable[k].data());
        place = _mm512_loadu_si512(PlaceTable.data());
    }

    // The replacements of block k's input bytes, by their classes, packed at the start of the
    // result. count is how many bytes they take.
    ZIMBROTS_AVX512 __m512i Block(int k, __m512i bytes, __m512i classes, unsigned& count) const
    {
        const __m512i laneByte = PermuteBytes(owner[k], bytes);
        const __m512i laneClass = PermuteBytes(owner[k], classes);
        // 6 x class + place, with additions rather than another look-up.
        const __m512i twice = _mm512_add_epi8(laneClass, laneClass);
        const __m512i times = _mm512_add_epi8(twice, _mm512_add_epi8(twice, twice));
        const __m512i replacement = replacements(_mm512_add_epi8(times, place));
        // Kept: a replacement byte, or the first lane of a byte that stands for itself.
        const __mmask64 own = _mm512_cmpeq_epi8_mask(laneClass, _mm512_set1_epi8(NoRow)) & CellStarts<6>();
        const __mmask64 keep = (_mm512_test_epi8_mask(replacement, replacement) | own) & CellLanes<6>();
        count = unsigned(_mm_popcnt_u64(keep));
        return _mm512_maskz_compress_epi8(keep, _mm512_mask_blend_epi8(own, replacement, laneByte));
    }
};

// Cells of four by tails: the first bytes and the tails' cells of 64 input bytes are found
// once (Prepare), then each block of sixteen costs three one-register shuffles and the packing.
struct NarrowCells {
    static constexpr auto OwnerTable = CellOwners<4>();
    static constexpr auto PlaceTable = CellPlaces<4>();

    __m512i owner[4], place;
    __m512i tails = _mm512_loadu_si512(Tails.bytes.data());
    __m512i cellOfClass = _mm512_loadu_si512(Tails.cellOfClass.data());
    __m512i firstOfClass = _mm512_loadu_si512(Tails.firstOfClass.data());
    __m512i byteFirst = _mm512_loadu_si512(ByByte.first.data());
    __m512i byteSelf = _mm512_loadu_si512(ByByte.self.data());
    __m512i byteCell = _mm512_loadu_si512(ByByte.cell.data());

    ZIMBROTS_AVX512 NarrowCells()
    {
        for (std::size_t k = 0; k < 4; ++k)
            owner[k] = _mm512_loadu_si512(OwnerTable[k].data());
        place = _mm512_loadu_si512(PlaceTable.data());
    }

    struct Prepared {
        __m512i first, cell;
    };
    ZIMBROTS_AVX512 Prepared Prepare(__m512i bytes, __m512i classes) const
    {
        const __mmask64 self = _mm512_cmpeq_epi8_mask(classes, _mm512_set1_epi8(NoRow));
        return {_mm512_mask_mov_epi8(PermuteBytes(classes, firstOfClass), self, bytes),
                PermuteBytes(classes, cellOfClass)};
    }

    // The same straight from Windows-1257 bytes, and which of them are ū or Ū.
    ZIMBROTS_AVX512 Prepared PrepareWindows1257(__m512i bytes, __mmask64& wide) const
    {
        // Bits 0 to 4 of the byte, and bit 7 as bit 5.
        const __m512i index =
            _mm512_ternarylogic_epi32(_mm512_set1_epi8(0x1F), bytes, _mm512_srli_epi16(bytes, 2), 0xCA);
        const __mmask64 bit6 = _mm512_movepi8_mask(_mm512_add_epi8(bytes, bytes));  // 0x40 moved to the sign
        const __m512i first = _mm512_maskz_permutexvar_epi8(bit6, index, byteFirst);
        const __m512i self = _mm512_mask_permutexvar_epi8(_mm512_set1_epi8(-1), bit6, index, byteSelf);
        wide = _mm512_cmpeq_epi8_mask(_mm512_or_si512(bytes, _mm512_set1_epi8(0x20)),
                                      _mm512_set1_epi8(char(HackerTable[WideRow].lower)));
        return {_mm512_ternarylogic_epi32(first, bytes, self, 0xF8),  // first | (bytes & self)
                _mm512_mask_permutexvar_epi8(_mm512_set1_epi8(char(Tails.cellOfClass[NoRow])), bit6, index, byteCell)};
    }

    // Gives each ū or Ū (wide lanes) a second lane for its second half, moving the lanes after
    // it on; lanes moved past the last one are left for the next 64. Returns how many of the
    // input lanes the 64 now hold; a last one whose second half would not fit is left too, and
    // its cell cleared from lastBlock, the lanes of block 3.
    ZIMBROTS_AVX512 unsigned Spread(Prepared& in, __mmask64 wide, __mmask64& lastBlock) const
    {
        std::uint64_t seconds = 0;
        unsigned moved = 0, cut = 0;
        for (std::uint64_t rest = wide; rest != 0; rest &= rest - 1, ++moved) {
            const unsigned at = unsigned(__builtin_ctzll(rest)) + moved;
            if (at >= 63) {
                if (at == 63) {
                    lastBlock = CellLanes<4>() >> 4;
                    cut = 1;
                }
                break;
            }
            seconds |= std::uint64_t(2) << at;
        }
        in.first = _mm512_mask_expand_epi8(_mm512_set1_epi8(char(Tails.firstOfClass[WideRow])), ~seconds, in.first);
        in.cell = _mm512_mask_expand_epi8(_mm512_set1_epi8(char(Tails.cellOfClass[WideRow])), ~seconds, in.cell);
        return 64 - unsigned(_mm_popcnt_u64(seconds)) - cut;
    }

    // Block k's replacements packed at the start of the result, limited to lanes; count is
    // how many bytes they take.
    ZIMBROTS_AVX512 __m512i Block(int k, const Prepared& in, __mmask64 lanes, unsigned& count) const
    {
        const __m512i laneFirst = PermuteBytes(owner[k], in.first);
        const __m512i tail = PermuteBytes(_mm512_add_epi8(PermuteBytes(owner[k], in.cell), place), tails);
        const __mmask64 keep = _mm512_test_epi8_mask(tail, tail) & lanes;
        count = unsigned(_mm_popcnt_u64(keep));
        return _mm512_maskz_compress_epi8(keep, _mm512_mask_blend_epi8(CellStarts<4>(), tail, laneFirst));
    }
};

struct Avx512Expander {
    RegisterTable<256> rows{RowOfByte};
    WideCells wide;
    NarrowCells narrow;

    // True when no byte of the lanes has a six-byte replacement: cells of four will do.
    ZIMBROTS_AVX512 static bool Narrow(__m512i classes, __mmask64 lanes)
    {
        return !_mm512_mask_cmpeq_epi8_mask(lanes, classes, _mm512_set1_epi8(char(WideRow)));
    }
};

ZIMBROTS_AVX512 std::size_t Windows1257Forward(const unsigned char* in, std::size_t size, char*& out)
{
    const NarrowCells narrow;  // not the whole expander: its rows and cells of six would be loaded for nothing
    std::size_t done = 0;
    char* dest = out;
    unsigned count;
    while (done + 64 <= size) {
        const __m512i bytes = _mm512_loadu_si512(in + done);
        __mmask64 wide, lastBlock = ~__mmask64(0);
        NarrowCells::Prepared prepared = narrow.PrepareWindows1257(bytes, wide);
        done += wide ? narrow.Spread(prepared, wide, lastBlock) : 64;
#pragma GCC unroll 4
        for (int k = 0; k < 4; ++k) {
            _mm512_storeu_si512(dest, narrow.Block(k, prepared, k < 3 ? ~__mmask64(0) : lastBlock, count));
            dest += count;
        }
    }
    out = dest;
    return done;
}

ZIMBROTS_AVX512 std::size_t Windows1257Backward(BackwardWriter& caller)
{
    BackwardWriter text = caller;  // kept in registers: the stores below may alias anything
    const Avx512Expander e;
    const std::size_t start = text.read;
    unsigned count;
    // Each block's stores are exact and its replacements begin no lower than the block: no
    // store reaches below them.
    while (text.read >= 64) {
        __m512i bytes = _mm512_loadu_si512(text.data + text.read - 64);
        __m512i classes = e.rows(bytes);
        if (Avx512Expander::Narrow(classes, ~__mmask64(0))) {
            text.Advance(64, 0);
            const NarrowCells::Prepared prepared = e.narrow.Prepare(bytes, classes);
            for (int k = 3; k >= 0; --k) {
                const __m512i packed = e.narrow.Block(k, prepared, ~__mmask64(0), count);
                text.Advance(0, count);
                _mm512_mask_storeu_epi8(text.data + text.write, LowLanes(count), packed);
            }
            assert(text.write >= text.read);
            continue;
        }
        text.Advance(60, 0);
        bytes = _mm512_maskz_loadu_epi8(CellLanes<6>(), text.data + text.read);
        classes = e.rows(bytes);
        for (int k = 5; k >= 0; --k) {
            const __m512i packed = e.wide.Block(k, bytes, classes, count);
            text.Advance(0, count);
            _mm512_mask_storeu_epi8(text.data + text.write, LowLanes(count), packed);
        }
        assert(text.write >= text.read);
    }
    caller = text;
    return start - text.read;
}

ZIMBROTS_AVX512 std::size_t Windows1257Size(const unsigned char* in, std::size_t size, std::size_t& total)
{
    const RegisterTable<256> rows{RowOfByte};
    const __m512i lengthOfClass = _mm512_loadu_si512(LengthOfClass.data());
    __m512i sums = _mm512_setzero_si512();
    std::size_t i = 0;
    for (; i + 64 <= size; i += 64) {
        const __m512i lengths = PermuteBytes(rows(_mm512_loadu_si512(in + i)), lengthOfClass);
        sums = _mm512_add_epi64(sums, _mm512_sad_epu8(lengths, _mm512_setzero_si512()));
    }
    alignas(64) std::uint64_t lanes[8];
    _mm512_store_si512(lanes, sums);
    for (const std::uint64_t lane : lanes)
        total += lane;
    return i;
}

ZIMBROTS_AVX512 std::size_t Utf8Forward(const unsigned char* in, std::size_t size, char*& out)
{
    const Avx512Expander e;
    const RegisterTable<128> pairRows{RowOfC4C5Pair};
    const __m512i noRow = Splat(NoRow), secondHalf = Splat(SecondHalf), top7 = Splat(char(0xFE)),
                  markLead = Splat(char(0xCC)), pairLead = Splat(char(0xC4)), top2 = Splat(char(0xC0)),
                  continued = Splat(char(0x80)), one = Splat(1), low6 = Splat(0x3F), wideRow = Splat(char(WideRow));
    const __m512i next = _mm512_loadu_si512(NextLane.data());
    std::size_t done = 0;
    char* dest = out;
    bool secondHalfFirst = false;  // lane 0 ends a two-byte letter written already
    unsigned count;
    // 64 bytes are read and 60 converted: lanes 60 to 63 only tell what follows lane 59.
    constexpr __mmask64 converted = CellLanes<6>();
    while (done + 64 <= size) {
        const __m512i bytes = _mm512_loadu_si512(in + done);
        const __m512i high7 = _mm512_and_si512(bytes, top7);
        // A combining mark (lead byte CC or CD) may change the letter before it: scalar.
        if (_mm512_cmpeq_epi8_mask(high7, markLead) & ((converted << 1) | 1))
            break;
        const __mmask64 ascii = ~_mm512_movepi8_mask(bytes);
        const __mmask64 lead = _mm512_cmpeq_epi8_mask(high7, pairLead);
        const __mmask64 continuation = _mm512_cmpeq_epi8_mask(_mm512_and_si512(bytes, top2), continued);
        // A lead byte C4 or C5 with a continuation after it: U+0100 to U+017F. Its row comes
        // from the lead's last bit and the continuation's six; lane 0 may be the second half
        // of a letter that began in the previous 60.
        const __mmask64 pairStart = lead & (continuation >> 1);
        const __m512i following = PermuteBytes(next, bytes);
        const __m512i pairIndex =
            _mm512_or_si512(_mm512_slli_epi16(_mm512_and_si512(bytes, one), 6), _mm512_and_si512(following, low6));
        const __m512i pairRow = pairRows(pairIndex);
        // Other bytes, valid or not, stand for themselves, as do both halves of a pair with no row.
        __m512i classes = _mm512_mask_mov_epi8(noRow, ascii, e.rows(bytes));
        classes = _mm512_mask_mov_epi8(classes, pairStart, pairRow);
        const __mmask64 secondHalves = ((pairStart & _mm512_cmpneq_epi8_mask(pairRow, noRow)) << 1) |
                                       __mmask64(secondHalfFirst);
        classes = _mm512_mask_mov_epi8(classes, secondHalves, secondHalf);
        // Lanes 60 to 63 give nothing: they are converted with the next 60.
        NarrowCells::Prepared prepared = e.narrow.Prepare(bytes, classes);
        prepared.first = _mm512_maskz_mov_epi8(converted, prepared.first);
        prepared.cell = _mm512_maskz_mov_epi8(converted, prepared.cell);
        __mmask64 lastBlock = ~__mmask64(0);
        const __mmask64 wide = _mm512_mask_cmpeq_epi8_mask(converted, classes, wideRow);
        const unsigned taken = wide ? std::min(e.narrow.Spread(prepared, wide, lastBlock), 60u) : 60u;
#pragma GCC unroll 4
        for (int k = 0; k < 4; ++k) {
            _mm512_storeu_si512(dest, e.narrow.Block(k, prepared, k < 3 ? ~__mmask64(0) : lastBlock, count));
            dest += count;
        }
        secondHalfFirst = (secondHalves >> taken) & 1;
        done += taken;
    }
    out = dest;
    // A letter's second half at the stop was written with its first: step over it.
    return done + (secondHalfFirst ? 1 : 0);
}

}  // namespace

const VectorPasses Avx512Passes{ZIMBROTS_AVX512_FEATURES, Windows1257Forward, Windows1257Backward, Windows1257Size,
                                Utf8Forward};

}  // namespace zimbrots::vector_detail

#endif  // __x86_64__
