// The passes with AVX2, which shuffles bytes only within each 16-byte half of a register and
// cannot compress.
//
// 32 input bytes are loaded and each gets a code (0: stands for itself, its row's, or
// SecondHalfCode) by 16-entry look-ups. Look-ups by code give the first to fourth byte of every
// replacement (the first by two shuffles, the others by one: see Codes); interleaving them puts
// four input bytes' cells of four lanes in each 16-byte half. Two blocks are put in cells
// before either is written. A group's four lengths, read as a number in base 5 (its shape,
// ShapeOf), pick a shuffle from a table that packs its bytes together, and one 16-byte store
// writes them. A block holding ū or Ū, whose replacement takes six bytes, goes in cells of
// eight instead: two input bytes to a group, their lengths read in base 9.
#include "vector_passes.h"

#if defined(__x86_64__)

#include "codes.h"
#include "rows.h"

#include <array>
#include <cassert>
#include <cstdint>
#include <immintrin.h>
#include <span>

namespace zimbrots::vector_detail {

namespace {

// What these passes are compiled for, and so what the processor must have to take them.
#define ZIMBROTS_AVX2_FEATURES "avx2"
#define ZIMBROTS_AVX2 __attribute__((target(ZIMBROTS_AVX2_FEATURES)))

// Codes of the bytes whose high nibble is 6, 7, E or F, by low nibble. Capitals are folded onto
// these first: in both Windows-1257 and ASCII a capital is its small letter less 0x20.
constexpr std::array<std::uint8_t, 4> LetterNibbles{0x6, 0x7, 0xE, 0xF};
constexpr auto CodeOfFoldedByte = [] {
    std::array<std::array<std::uint8_t, 16>, 4> codes{};
    for (std::size_t h = 0; h < 4; ++h)
        for (int low = 0; low < 16; ++low)
            codes[h][low] = CodeOfRow(RowOfByte[LetterNibbles[h] << 4 | low]);
    return codes;
}();
static_assert([] {
    for (const HackerRow& row : HackerTable)
        if (row.upper + 0x20 != row.lower || (row.upper & 0x40) == 0)
            return false;
    return true;
}());

// The weights that VPMADDUBSW and VPMADDWD give the lengths to make shapes: each cell's place
// value, read off ShapeOf.
template <int Width>
constexpr int PlaceValue(int cell)
{
    std::array<int, 4> lengths{};
    lengths[cell] = 1;
    return ShapeOf<Width>(std::span<const int>(lengths.data(), cell + 1));
}
// Cells of four: lengths weighted 1 and 5 in pairs, then the pairs 1 and 25.
constexpr std::int16_t PairOfFourWeights = std::int16_t(PlaceValue<4>(0) | PlaceValue<4>(1) << 8);
constexpr std::int32_t GroupOfFourWeights = PlaceValue<4>(0) | PlaceValue<4>(2) << 16;
// Cells of eight: lengths weighted 1 and 9 in pairs.
constexpr std::int16_t PairOfEightWeights = std::int16_t(PlaceValue<8>(0) | PlaceValue<8>(1) << 8);
static_assert(PairOfFourWeights == 0x0501 && GroupOfFourWeights == 0x00190001 && PairOfEightWeights == 0x0901);

ZIMBROTS_AVX2 inline __m256i BothHalves(const std::uint8_t* table16)
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table16)));
}

// A register with byte in every lane, made out of the compiler's sight: where registers run
// short it then reloads it from the stack, a load, rather than making it again in the loop from
// a general register, which takes the shuffle port that limits these passes.
ZIMBROTS_AVX2 inline __m256i Splat(char byte)
{
    __m256i lanes = _mm256_set1_epi8(byte);
    asm("" : "+x"(lanes));
    return lanes;
}

// Byte k of the result is table[bytes[k] & 15] where bytes[k] >> 4 is high, else 0: after the
// XOR that nibble is 0 exactly then, and the saturating addition sets bit 7, which makes the
// shuffle give 0, in every other case.
// highNibble holds high << 4 in every byte, plus70 0x70.
ZIMBROTS_AVX2 inline __m256i LookUpByLowNibble(__m256i bytes, __m256i table, __m256i highNibble, __m256i plus70)
{
    return _mm256_shuffle_epi8(table, _mm256_adds_epu8(_mm256_xor_si256(bytes, highNibble), plus70));
}

// Byte k of the result is table[index[k]], index below 32: below 16 the first shuffle's index
// keeps bit 7 clear and the second's has it set (which gives 0); from 16, the other way round.
// plus70 holds 0x70 in every byte, sixteen 16.
ZIMBROTS_AVX2 inline __m256i LookUp32(const std::array<std::uint8_t, 32>& table, __m256i index, __m256i plus70,
                                      __m256i sixteen)
{
    return _mm256_or_si256(_mm256_shuffle_epi8(BothHalves(table.data()), _mm256_adds_epu8(index, plus70)),
                           _mm256_shuffle_epi8(BothHalves(table.data() + 16), _mm256_sub_epi8(index, sixteen)));
}

// A 32-entry table by code.
struct CodeTable {
    __m256i low, high;

    ZIMBROTS_AVX2 explicit CodeTable(const std::array<std::uint8_t, 32>& table)
        : low(BothHalves(table.data())), high(BothHalves(table.data() + 16))
    {
    }
    // highCodes: 0xFF where the code is 16 or more.
    ZIMBROTS_AVX2 __m256i operator()(__m256i codes, __m256i highCodes) const
    {
        return _mm256_blendv_epi8(_mm256_shuffle_epi8(low, codes), _mm256_shuffle_epi8(high, codes), highCodes);
    }
};

// 32 input bytes as groups of 16 lanes: cells[k] holds group k in its low half and group
// k + Count / 2 in its high half, and Shape(g) is group g's shape. Eight groups of four input
// bytes in cells of four, or sixteen groups of two in cells of eight.
template <int Count>
struct Groups {
    __m256i cells[Count / 2];
    // The shapes as stored from a register: sixteen 16-bit shapes for sixteen groups, or eight
    // 32-bit ones, whose low halves (a shape is below 625) are at even places, for eight.
    alignas(32) std::uint16_t shapes[16];

    std::uint16_t Shape(int group) const { return shapes[group * 16 / Count]; }
};

template <typename Tables>
ZIMBROTS_AVX2 inline char* PackGroup(const Tables& tables, __m128i cells, std::uint16_t shape, char* dest)
{
    const __m128i order = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tables.order[shape].data()));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), _mm_shuffle_epi8(cells, order));
    return dest + tables.length[shape];
}

// Writes the groups' bytes from dest on, storing up to 15 bytes past their end; returns the end.
template <int Count, typename Tables>
ZIMBROTS_AVX2 inline char* WriteGroups(const Tables& tables, const Groups<Count>& g, char* dest)
{
#pragma GCC unroll 8
    for (int k = 0; k < Count / 2; ++k)
        dest = PackGroup(tables, _mm256_castsi256_si128(g.cells[k]), g.Shape(k), dest);
#pragma GCC unroll 8
    for (int k = 0; k < Count / 2; ++k)
        dest = PackGroup(tables, _mm256_extracti128_si256(g.cells[k], 1), g.Shape(Count / 2 + k), dest);
    return dest;
}

// How many bytes the groups' text takes.
template <int Count, typename Tables>
std::size_t GroupsLength(const Tables& tables, const Groups<Count>& g)
{
    std::size_t total = 0;
    for (int k = 0; k < Count; ++k)
        total += tables.length[g.Shape(k)];
    return total;
}

struct Avx2Expander {
    __m256i folded[4], letterNibble[4], plus70, bit6, wideCode, fifteen, sixteen;
    CodeTable length{ByCode[0]}, first{ByCode[1]};
    __m256i later[5];  // the second to sixth bytes by SharedPlaces: one shuffle each

    ZIMBROTS_AVX2 Avx2Expander()
        : plus70(Splat(0x70)), bit6(Splat(0x40)), wideCode(Splat(char(WideCode))), fifteen(Splat(15)),
          sixteen(Splat(16))
    {
        for (int h = 0; h < 4; ++h) {
            folded[h] = BothHalves(CodeOfFoldedByte[h].data());
            letterNibble[h] = Splat(char(LetterNibbles[h] << 4));
        }
        for (int k = 0; k < 5; ++k)
            later[k] = BothHalves(SharedPlaces[k].data());
    }

    // Codes of Windows-1257 bytes; with asciiOnly, of the ASCII bytes alone (others get 0).
    ZIMBROTS_AVX2 __m256i Codes(__m256i bytes, bool asciiOnly) const
    {
        // Bit 6 moved to bit 5: capitals become small letters, which are all that the tables hold.
        const __m256i small =
            _mm256_or_si256(bytes, _mm256_srli_epi16(_mm256_and_si256(bytes, bit6), 1));
        __m256i codes = _mm256_or_si256(LookUpByLowNibble(small, folded[0], letterNibble[0], plus70),
                                        LookUpByLowNibble(small, folded[1], letterNibble[1], plus70));
        if (!asciiOnly)
            codes = _mm256_or_si256(codes, _mm256_or_si256(LookUpByLowNibble(small, folded[2], letterNibble[2], plus70),
                                                           LookUpByLowNibble(small, folded[3], letterNibble[3], plus70)));
        return codes;
    }

    // Codes of two-byte letters by their seven-bit index, 0 to 127.
    ZIMBROTS_AVX2 __m256i PairCodes(__m256i index) const
    {
        const __m256i hash = _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi16(index, 3), fifteen),
                                             _mm256_and_si256(_mm256_slli_epi16(index, 4), sixteen));
        const __m256i found = _mm256_cmpeq_epi8(LookUp32(PairHashed.index, hash, plus70, sixteen), index);
        return _mm256_and_si256(LookUp32(PairHashed.code, hash, plus70, sixteen), found);
    }

    ZIMBROTS_AVX2 bool HoldsWide(__m256i codes) const
    {
        return _mm256_movemask_epi8(_mm256_cmpeq_epi8(codes, wideCode)) != 0;
    }
    ZIMBROTS_AVX2 bool HoldsWide(__m256i codes, __m256i moreCodes) const
    {
        return _mm256_movemask_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(codes, wideCode),
                                                    _mm256_cmpeq_epi8(moreCodes, wideCode))) != 0;
    }

    ZIMBROTS_AVX2 __m256i Lengths(__m256i codes) const
    {
        return length(codes, _mm256_cmpgt_epi8(codes, fifteen));
    }

    // The first Count replacement bytes of every lane; a byte that stands for itself is its own
    // first byte.
    template <int Count>
    ZIMBROTS_AVX2 void ReplacementBytes(__m256i bytes, __m256i codes, __m256i highCodes, __m256i (&b)[Count]) const
    {
        const __m256i itself = _mm256_and_si256(bytes, _mm256_cmpeq_epi8(codes, _mm256_setzero_si256()));
        b[0] = _mm256_or_si256(first(codes, highCodes), itself);
#pragma GCC unroll 6
        for (int k = 1; k < Count; ++k)
            b[k] = _mm256_shuffle_epi8(later[k - 1], codes);
    }

    // 32 bytes with their codes, none of them WideCode, in cells of four.
    ZIMBROTS_AVX2 Groups<8> InCellsOfFour(__m256i bytes, __m256i codes) const
    {
        const __m256i highCodes = _mm256_cmpgt_epi8(codes, fifteen);
        __m256i b[4];
        ReplacementBytes(bytes, codes, highCodes, b);
        // Interleaving bytes, then pairs of bytes, gives each input byte its four lanes in order.
        const __m256i low01 = _mm256_unpacklo_epi8(b[0], b[1]), high01 = _mm256_unpackhi_epi8(b[0], b[1]);
        const __m256i low23 = _mm256_unpacklo_epi8(b[2], b[3]), high23 = _mm256_unpackhi_epi8(b[2], b[3]);
        Groups<8> g;
        g.cells[0] = _mm256_unpacklo_epi16(low01, low23);
        g.cells[1] = _mm256_unpackhi_epi16(low01, low23);
        g.cells[2] = _mm256_unpacklo_epi16(high01, high23);
        g.cells[3] = _mm256_unpackhi_epi16(high01, high23);
        const __m256i pairs = _mm256_maddubs_epi16(length(codes, highCodes), _mm256_set1_epi16(PairOfFourWeights));
        _mm256_store_si256(reinterpret_cast<__m256i*>(g.shapes), _mm256_madd_epi16(pairs, _mm256_set1_epi32(GroupOfFourWeights)));
        return g;
    }

    // 32 bytes with their codes, any of them, in cells of eight.
    ZIMBROTS_AVX2 Groups<16> InCellsOfEight(__m256i bytes, __m256i codes) const
    {
        const __m256i highCodes = _mm256_cmpgt_epi8(codes, fifteen);
        __m256i b[6];
        ReplacementBytes(bytes, codes, highCodes, b);
        const __m256i zero = _mm256_setzero_si256();
        // Bytes, then pairs, then fours interleaved: each input byte gets its eight lanes.
        const __m256i pairs[2][3] = {
            {_mm256_unpacklo_epi8(b[0], b[1]), _mm256_unpacklo_epi8(b[2], b[3]), _mm256_unpacklo_epi8(b[4], b[5])},
            {_mm256_unpackhi_epi8(b[0], b[1]), _mm256_unpackhi_epi8(b[2], b[3]), _mm256_unpackhi_epi8(b[4], b[5])}};
        Groups<16> g;
        for (int h = 0; h < 2; ++h) {
            const __m256i first[2] = {_mm256_unpacklo_epi16(pairs[h][0], pairs[h][1]),
                                      _mm256_unpackhi_epi16(pairs[h][0], pairs[h][1])};
            const __m256i second[2] = {_mm256_unpacklo_epi16(pairs[h][2], zero), _mm256_unpackhi_epi16(pairs[h][2], zero)};
            for (int q = 0; q < 2; ++q) {
                g.cells[4 * h + 2 * q] = _mm256_unpacklo_epi32(first[q], second[q]);
                g.cells[4 * h + 2 * q + 1] = _mm256_unpackhi_epi32(first[q], second[q]);
            }
        }
        _mm256_store_si256(reinterpret_cast<__m256i*>(g.shapes),
                           _mm256_maddubs_epi16(length(codes, highCodes), _mm256_set1_epi16(PairOfEightWeights)));
        return g;
    }
};

// Writes 32 bytes with their codes from dest on, storing up to 15 bytes past their end;
// returns the end.
ZIMBROTS_AVX2 inline char* WriteBlock(const Avx2Expander& e, __m256i bytes, __m256i codes, char* dest)
{
    if (e.HoldsWide(codes))
        return WriteGroups(WidePack, e.InCellsOfEight(bytes, codes), dest);
    return WriteGroups(Pack, e.InCellsOfFour(bytes, codes), dest);
}

// The same for two blocks, the second after the first. Both are put in cells before either is
// written, so that the work on one fills the time the other waits for its shapes.
ZIMBROTS_AVX2 inline char* WriteTwoBlocks(const Avx2Expander& e, __m256i bytes, __m256i codes, __m256i nextBytes,
                                          __m256i nextCodes, char* dest)
{
    if (e.HoldsWide(codes, nextCodes))
        return WriteBlock(e, nextBytes, nextCodes, WriteBlock(e, bytes, codes, dest));
    const Groups<8> first = e.InCellsOfFour(bytes, codes), second = e.InCellsOfFour(nextBytes, nextCodes);
    return WriteGroups(Pack, second, WriteGroups(Pack, first, dest));
}

ZIMBROTS_AVX2 std::size_t Windows1257Forward(const unsigned char* in, std::size_t size, char*& out)
{
    const Avx2Expander e;
    std::size_t done = 0;
    char* dest = out;
    for (; done + 64 <= size; done += 64) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + done));
        const __m256i nextBytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + done + 32));
        dest = WriteTwoBlocks(e, bytes, e.Codes(bytes, false), nextBytes, e.Codes(nextBytes, false), dest);
    }
    for (; done + 32 <= size; done += 32) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + done));
        dest = WriteBlock(e, bytes, e.Codes(bytes, false), dest);
    }
    out = dest;
    return done;
}

// Writes the groups so that their text ends at write, and puts back the 16 bytes above it
// that the last store reaches. Their text begins no lower than their own input bytes, already
// loaded: no store reaches below it.
template <int Count, typename Tables>
ZIMBROTS_AVX2 inline void WriteGroupsBelow(const Tables& tables, const Groups<Count>& g, BackwardWriter& text)
{
    const std::size_t length = GroupsLength(tables, g);
    assert(text.Fits(32, length, 0));
    text.Advance(32, length);
    char* const end = text.data + text.write + length;
    const __m128i above = _mm_loadu_si128(reinterpret_cast<const __m128i*>(end));
    WriteGroups(tables, g, text.data + text.write);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(end), above);
}

ZIMBROTS_AVX2 std::size_t Windows1257Backward(BackwardWriter& caller)
{
    BackwardWriter text = caller;  // kept in registers: the stores below may alias anything
    const Avx2Expander e;
    const std::size_t start = text.read;
    // A block's last store reaches up to 15 bytes past its text, where the bytes are put back
    // afterwards: so the top goes byte by byte until 16 converted bytes lie above.
    const std::size_t end = text.write;
    while (text.read > 0 && end - text.write < 16)
        text.PutExact();
    while (text.read >= 32) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text.data + text.read - 32));
        const __m256i codes = e.Codes(bytes, false);
        if (e.HoldsWide(codes))
            WriteGroupsBelow(WidePack, e.InCellsOfEight(bytes, codes), text);
        else
            WriteGroupsBelow(Pack, e.InCellsOfFour(bytes, codes), text);
    }
    caller = text;
    return start - text.read;
}

ZIMBROTS_AVX2 std::size_t Windows1257Size(const unsigned char* in, std::size_t size, std::size_t& total)
{
    const Avx2Expander e;
    __m256i sums = _mm256_setzero_si256();
    std::size_t i = 0;
    for (; i + 32 <= size; i += 32) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        sums = _mm256_add_epi64(sums, _mm256_sad_epu8(e.Lengths(e.Codes(bytes, false)), _mm256_setzero_si256()));
    }
    alignas(32) std::uint64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), sums);
    total += lanes[0] + lanes[1] + lanes[2] + lanes[3];
    return i;
}

// The codes of UTF-8 text, 32 bytes at a time.
struct Utf8Codes {
    const Avx2Expander& e;
    const __m256i top7 = Splat(char(0xFE)), markLead = Splat(char(0xCC)), pairLead = Splat(char(0xC4)),
                  top2 = Splat(char(0xC0)), continuation = Splat(char(0x80)), one = Splat(1), low6 = Splat(0x3F),
                  secondHalfCode = Splat(char(SecondHalfCode));

    // The codes of the 32 bytes at in, of which 33 are read: the 33rd only tells what follows
    // the 32nd. False at a combining mark (lead byte CC or CD), which may change the letter
    // before it: the scalar pass takes that. letters: lane 31 of the block before begins a
    // letter; then the same of this block.
    ZIMBROTS_AVX2 bool operator()(const unsigned char* in, __m256i& bytes, __m256i& codes, __m256i& letters) const
    {
        bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
        const __m256i following = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 1));
        const __m256i marks = _mm256_or_si256(_mm256_cmpeq_epi8(_mm256_and_si256(bytes, top7), markLead),
                                              _mm256_cmpeq_epi8(_mm256_and_si256(following, top7), markLead));
        if (!_mm256_testz_si256(marks, marks))
            return false;
        // A lead byte C4 or C5 with a continuation after it: U+0100 to U+017F. Its code comes
        // from the lead's last bit and the continuation's six.
        const __m256i lead = _mm256_cmpeq_epi8(_mm256_and_si256(bytes, top7), pairLead);
        const __m256i continued = _mm256_cmpeq_epi8(_mm256_and_si256(following, top2), continuation);
        const __m256i pairStart = _mm256_and_si256(lead, continued);
        const __m256i index =
            _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(bytes, one), 6), _mm256_and_si256(following, low6));
        const __m256i pairCodes = _mm256_and_si256(e.PairCodes(index), pairStart);
        const __m256i blockLetters = _mm256_cmpgt_epi8(pairCodes, _mm256_setzero_si256());
        // Second halves: the letters moved one lane on, lane 0 taking the last lane of the 32 before.
        const __m256i secondHalves =
            _mm256_alignr_epi8(blockLetters, _mm256_permute2x128_si256(blockLetters, letters, 0x03), 15);
        // Other bytes, valid or not, stand for themselves, as do both halves of a pair with no row.
        codes = _mm256_or_si256(_mm256_or_si256(e.Codes(bytes, true), pairCodes),
                                _mm256_and_si256(secondHalves, secondHalfCode));
        letters = blockLetters;
        return true;
    }
};

ZIMBROTS_AVX2 std::size_t Utf8Forward(const unsigned char* in, std::size_t size, char*& out)
{
    const Avx2Expander e;
    const Utf8Codes codesOf{e};
    std::size_t done = 0;
    char* dest = out;
    __m256i letters = _mm256_setzero_si256();  // its lane 31 begins a letter written already
    __m256i bytes, codes, nextBytes, nextCodes;
    for (; done + 65 <= size; done += 64) {
        __m256i blockLetters = letters;
        if (!codesOf(in + done, bytes, codes, blockLetters) ||
            !codesOf(in + done + 32, nextBytes, nextCodes, blockLetters))
            break;
        dest = WriteTwoBlocks(e, bytes, codes, nextBytes, nextCodes, dest);
        letters = blockLetters;
    }
    for (; done + 33 <= size && codesOf(in + done, bytes, codes, letters); done += 32)
        dest = WriteBlock(e, bytes, codes, dest);
    const std::uint32_t secondHalfFirst = std::uint32_t(_mm256_movemask_epi8(letters)) >> 31;
    out = dest;
    // A letter's second half at the stop was written with its first: step over it.
    return done + secondHalfFirst;
}

}  // namespace

const VectorPasses Avx2Passes{ZIMBROTS_AVX2_FEATURES, Windows1257Forward, Windows1257Backward, Windows1257Size,
                              Utf8Forward};

}  // namespace zimbrots::vector_detail

#endif  // __x86_64__
