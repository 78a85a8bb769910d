// The vector passes: AVX-512 with VBMI2 where present, else AVX2, chosen at run time. Every
// other processor, and every byte these cannot decide, takes the scalar passes of convert.cpp.
//
// How text converts with AVX-512. 64 input bytes are loaded and each gets a class: its row in
// the table (0 to 26), NoRow (the byte stands for itself) or Skip (it is the second half of a
// letter already written). Then they go out in blocks. For a block, the 64 lanes of a register
// are read as slots, one per input byte: with slots of six, lane s belongs to input byte s / 6
// and holds byte s % 6 of its replacement, looked up at 6 x class + s % 6 in a table where each
// replacement is followed by zeros. Zero lanes are dropped, and VPCOMPRESSB packs the rest
// into the output. Slots of six take ten bytes a block, 60 of the 64 in six blocks; where no
// ū or Ū (six bytes) is among them, slots of four take sixteen bytes a block, all 64 in four.
//
// How text converts with AVX2, which shuffles bytes only within each 16-byte half of a
// register and cannot compress. 32 input bytes are loaded and each gets a code (0: stands for
// itself, row + 1, or SkipCode) by 16-entry look-ups. Four look-ups by code give the first to
// fourth byte of every replacement; interleaving them puts four input bytes' slots of four in
// each 16-byte half. A group's four lengths, read as a number in base 5, pick a shuffle from a
// table that packs its bytes together, and one 16-byte store writes them. A block holding ū or
// Ū, whose replacement takes six bytes, goes byte by byte instead.
#include "vector_passes.h"

#include "byte_slots.h"
#include "cp1257.h"
#include "hacker_table.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#define ZIMBROTS_X86 1
#endif

namespace zimbrots {

namespace {

constexpr std::uint8_t NoRow = 27;  // the byte stands for itself
constexpr std::uint8_t Skip = 28;   // the byte adds nothing: the letter was written already

// Row of each Windows-1257 byte.
constexpr std::array<std::uint8_t, 256> RowOfByte = [] {
    std::array<std::uint8_t, 256> rows{};
    for (auto& row : rows)
        row = NoRow;
    for (std::size_t r = 0; r < HackerTable.size(); ++r) {
        rows[HackerTable[r].lower] = std::uint8_t(r);
        rows[HackerTable[r].upper] = std::uint8_t(r);
    }
    return rows;
}();

// Row of each two-byte UTF-8 letter with lead byte C4 or C5 (U+0100 to U+017F), by the lead's
// last bit and the continuation's six.
constexpr std::array<std::uint8_t, 128> RowOfC4C5Pair = [] {
    std::array<std::uint8_t, 128> rows{};
    for (int index = 0; index < 128; ++index) {
        const int byte = UnicodeToCp1257(char32_t(0x100 + index));
        rows[index] = byte < 0 ? NoRow : RowOfByte[byte];
    }
    return rows;
}();

// Replacement length by class, for the size of a whole text.
constexpr std::array<std::uint8_t, 64> LengthOfClass = [] {
    std::array<std::uint8_t, 64> lengths{};
    for (std::size_t r = 0; r < HackerTable.size(); ++r)
        lengths[r] = std::uint8_t(HackerTable[r].replacement.size());
    lengths[NoRow] = 1;
    return lengths;  // Skip: 0
}();

// Lane k takes lane k + 1: the byte after each byte.
constexpr std::array<std::uint8_t, 64> NextLane = [] {
    std::array<std::uint8_t, 64> next{};
    for (int k = 0; k < 64; ++k)
        next[k] = std::uint8_t(k < 63 ? k + 1 : 63);
    return next;
}();

// Every replacement in a slot of six bytes, zeros after it, at 6 x its class: 29 x 6 = 174 of
// 256 bytes. No replacement holds a zero byte, so a zero marks where one ends; the slots of
// NoRow and Skip are all zeros.
constexpr std::array<std::uint8_t, 256> Replacements = [] {
    std::array<std::uint8_t, 256> bytes{};
    for (std::size_t r = 0; r < HackerTable.size(); ++r)
        for (std::size_t k = 0; k < HackerTable[r].replacement.size(); ++k)
            bytes[6 * r + k] = std::uint8_t(HackerTable[r].replacement[k]);
    return bytes;
}();

static_assert([] {
    for (const HackerRow& row : HackerTable)
        for (char c : row.replacement)
            if (c == 0)
                return false;
    return true;
}());

// With slots of Width lanes, a block takes 64 / Width input bytes. Lane s of block k belongs
// to input lane (64 / Width) k + s / Width, and is byte s % Width of its slot; lanes past the
// last whole slot belong to nothing kept.
template <int Width>
constexpr auto SlotOwners()
{
    constexpr int perBlock = 64 / Width;
    std::array<std::array<std::uint8_t, 64>, 64 / perBlock> owners{};
    for (std::size_t k = 0; k < owners.size(); ++k)
        for (int s = 0; s < 64; ++s)
            owners[k][s] = std::uint8_t(perBlock * int(k) + (s < perBlock * Width ? s / Width : 0));
    return owners;
}

template <int Width>
constexpr auto SlotPlaces()
{
    std::array<std::uint8_t, 64> place{};
    for (int s = 0; s < 64; ++s)
        place[s] = std::uint8_t(s % Width);
    return place;
}

constexpr auto BlockOwner = SlotOwners<6>();  // six blocks of ten bytes
constexpr auto SlotPlace = SlotPlaces<6>();

// Lanes that begin a slot, and the 60 lanes that belong to a slot at all.
constexpr std::uint64_t SlotStarts = [] {
    std::uint64_t mask = 0;
    for (int s = 0; s < 60; s += 6)
        mask |= std::uint64_t(1) << s;
    return mask;
}();
constexpr std::uint64_t SlotLanes = (std::uint64_t(1) << 60) - 1;

// Narrow slots: every replacement but that of ū and Ū fits in four bytes, so a register
// without them takes sixteen bytes a block, four lanes each, and their replacements fit in one
// 128-byte table (29 x 4 = 116 bytes).
constexpr std::uint8_t WideRow = RowOfByte[0xFB];  // ū and Ū: six bytes
static_assert([] {
    for (std::size_t r = 0; r < HackerTable.size(); ++r)
        if (HackerTable[r].replacement.size() > (r == WideRow ? 6u : 4u))
            return false;
    return true;
}());

constexpr std::array<std::uint8_t, 128> NarrowReplacements = [] {
    std::array<std::uint8_t, 128> bytes{};
    for (std::size_t r = 0; r < HackerTable.size(); ++r)
        if (r != WideRow)
            for (std::size_t k = 0; k < HackerTable[r].replacement.size(); ++k)
                bytes[4 * r + k] = std::uint8_t(HackerTable[r].replacement[k]);
    return bytes;
}();

constexpr auto NarrowOwner = SlotOwners<4>();  // four blocks of sixteen bytes
constexpr auto NarrowPlace = SlotPlaces<4>();
static_assert(BlockOwner.size() == 6 && NarrowOwner.size() == 4);

constexpr std::uint64_t NarrowStarts = 0x1111111111111111ull;

ConversionPath Detect()
{
    for (const ConversionPath path : {ConversionPath::Avx512Vbmi2, ConversionPath::Avx2})
        if (ProcessorHas(path))
            return path;
    return ConversionPath::Scalar;
}

std::atomic<ConversionPath>& Current()
{
    static std::atomic<ConversionPath> path{BestConversionPath()};
    return path;
}

#if ZIMBROTS_X86

#define ZIMBROTS_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,popcnt")))

// Byte k of the result is table[index[k] % 64]. (The masked form: GCC 12 warns that the
// plain one reads an undefined register.)
ZIMBROTS_AVX512 inline __m512i PermuteBytes(__m512i index, __m512i table)
{
    return _mm512_maskz_permutexvar_epi8(~__mmask64(0), index, table);
}

// The first count lanes, count from 0 to 64.
inline __mmask64 LowLanes(unsigned count) { return count >= 64 ? ~__mmask64(0) : (__mmask64(1) << count) - 1; }

// A 256-byte table in four registers: byte k of the result is table[index[k]].
struct Table256 {
    __m512i quarter[4];

    ZIMBROTS_AVX512 explicit Table256(const std::array<std::uint8_t, 256>& table)
    {
        for (int q = 0; q < 4; ++q)
            quarter[q] = _mm512_loadu_si512(table.data() + 64 * q);
    }
    ZIMBROTS_AVX512 __m512i operator()(__m512i index) const
    {
        const __m512i low = _mm512_permutex2var_epi8(quarter[0], index, quarter[1]);
        const __m512i high = _mm512_permutex2var_epi8(quarter[2], index, quarter[3]);
        return _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high);
    }
};

struct Expander {
    Table256 rows{RowOfByte}, replacements{Replacements};
    __m512i owner[6], place;
    __m512i narrow0, narrow1, narrowOwner[4], narrowPlace;

    ZIMBROTS_AVX512 Expander()
    {
        for (int k = 0; k < 6; ++k)
            owner[k] = _mm512_loadu_si512(BlockOwner[k].data());
        place = _mm512_loadu_si512(SlotPlace.data());
        narrow0 = _mm512_loadu_si512(NarrowReplacements.data());
        narrow1 = _mm512_loadu_si512(NarrowReplacements.data() + 64);
        for (int k = 0; k < 4; ++k)
            narrowOwner[k] = _mm512_loadu_si512(NarrowOwner[k].data());
        narrowPlace = _mm512_loadu_si512(NarrowPlace.data());
    }

    // True when no byte of the lanes has a six-byte replacement: narrow slots will do.
    ZIMBROTS_AVX512 static bool Narrow(__m512i classes, __mmask64 lanes)
    {
        return !_mm512_mask_cmpeq_epi8_mask(lanes, classes, _mm512_set1_epi8(char(WideRow)));
    }

    // As Block, with sixteen input bytes, 16k to 16k + 15, in slots of four; lanes limits the
    // slots to those of some of them.
    ZIMBROTS_AVX512 __m512i NarrowBlock(int k, __m512i bytes, __m512i classes, __mmask64 lanes, unsigned& count) const
    {
        const __m512i laneByte = PermuteBytes(narrowOwner[k], bytes);
        const __m512i laneClass = PermuteBytes(narrowOwner[k], classes);
        const __m512i twice = _mm512_add_epi8(laneClass, laneClass);
        const __m512i index = _mm512_add_epi8(_mm512_add_epi8(twice, twice), narrowPlace);
        const __m512i replacement = _mm512_permutex2var_epi8(narrow0, index, narrow1);
        const __mmask64 own = _mm512_cmpeq_epi8_mask(laneClass, _mm512_set1_epi8(NoRow)) & NarrowStarts;
        const __mmask64 keep = (_mm512_test_epi8_mask(replacement, replacement) | own) & lanes;
        count = unsigned(_mm_popcnt_u64(keep));
        return _mm512_maskz_compress_epi8(keep, _mm512_mask_blend_epi8(own, replacement, laneByte));
    }

    // The replacements of input lanes 10k to 10k + 9, by their classes, packed at the start of
    // the result; count is how many bytes they take.
    ZIMBROTS_AVX512 __m512i Block(int k, __m512i bytes, __m512i classes, unsigned& count) const
    {
        const __m512i laneByte = PermuteBytes(owner[k], bytes);
        const __m512i laneClass = PermuteBytes(owner[k], classes);
        // 6 x class + place, with additions rather than another look-up.
        const __m512i twice = _mm512_add_epi8(laneClass, laneClass);
        const __m512i index = _mm512_add_epi8(_mm512_add_epi8(twice, _mm512_add_epi8(twice, twice)), place);
        const __m512i replacement = replacements(index);
        // Kept: a replacement byte, or the first lane of a byte that stands for itself.
        const __mmask64 own = _mm512_cmpeq_epi8_mask(laneClass, _mm512_set1_epi8(NoRow)) & SlotStarts;
        const __mmask64 keep = (_mm512_test_epi8_mask(replacement, replacement) | own) & SlotLanes;
        count = unsigned(_mm_popcnt_u64(keep));
        return _mm512_maskz_compress_epi8(keep, _mm512_mask_blend_epi8(own, replacement, laneByte));
    }
};

ZIMBROTS_AVX512 std::size_t Windows1257ForwardAvx512(const unsigned char* in, std::size_t size, char*& out)
{
    const Expander e;
    std::size_t done = 0;
    char* dest = out;
    while (done + 64 <= size) {
        const __m512i bytes = _mm512_loadu_si512(in + done);
        const __m512i classes = e.rows(bytes);
        unsigned count;
        if (Expander::Narrow(classes, ~__mmask64(0))) {
            for (int k = 0; k < 4; ++k) {
                _mm512_storeu_si512(dest, e.NarrowBlock(k, bytes, classes, ~__mmask64(0), count));
                dest += count;
            }
            done += 64;
        } else {
            for (int k = 0; k < 6; ++k) {
                _mm512_storeu_si512(dest, e.Block(k, bytes, classes, count));
                dest += count;
            }
            done += 60;
        }
    }
    out = dest;
    return done;
}

ZIMBROTS_AVX512 std::size_t Windows1257BackwardAvx512(char* data, std::size_t read, std::size_t& write)
{
    const Expander e;
    // A block's output ends where the next block's begins and starts no lower than the block
    // itself, so storing exactly its bytes never overwrites a byte still to be read.
    while (read >= 64) {
        __m512i bytes = _mm512_loadu_si512(data + read - 64);
        __m512i classes = e.rows(bytes);
        unsigned count;
        if (Expander::Narrow(classes, ~__mmask64(0))) {
            read -= 64;
            for (int k = 3; k >= 0; --k) {
                const __m512i packed = e.NarrowBlock(k, bytes, classes, ~__mmask64(0), count);
                write -= count;
                _mm512_mask_storeu_epi8(data + write, LowLanes(count), packed);
            }
            continue;
        }
        read -= 60;
        bytes = _mm512_maskz_loadu_epi8(SlotLanes, data + read);
        classes = e.rows(bytes);
        for (int k = 5; k >= 0; --k) {
            const __m512i packed = e.Block(k, bytes, classes, count);
            write -= count;
            _mm512_mask_storeu_epi8(data + write, LowLanes(count), packed);
        }
    }
    return read;
}

ZIMBROTS_AVX512 std::size_t Windows1257SizeAvx512(const unsigned char* in, std::size_t size)
{
    const Table256 rows{RowOfByte};
    const __m512i lengthOfClass = _mm512_loadu_si512(LengthOfClass.data());
    __m512i sums = _mm512_setzero_si512();
    std::size_t i = 0;
    for (; i + 64 <= size; i += 64) {
        const __m512i lengths = PermuteBytes(rows(_mm512_loadu_si512(in + i)), lengthOfClass);
        sums = _mm512_add_epi64(sums, _mm512_sad_epu8(lengths, _mm512_setzero_si512()));
    }
    alignas(64) std::uint64_t lanes[8];
    _mm512_store_si512(lanes, sums);
    std::size_t total = 0;
    for (const std::uint64_t lane : lanes)
        total += lane;
    for (; i < size; ++i)
        total += LengthOfClass[RowOfByte[in[i]]];
    return total;
}

ZIMBROTS_AVX512 std::size_t Utf8ForwardAvx512(const unsigned char* in, std::size_t size, char*& out)
{
    const Expander e;
    const __m512i pair0 = _mm512_loadu_si512(RowOfC4C5Pair.data()), pair1 = _mm512_loadu_si512(RowOfC4C5Pair.data() + 64);
    const __m512i noRow = _mm512_set1_epi8(NoRow), skip = _mm512_set1_epi8(Skip);
    const __m512i next = _mm512_loadu_si512(NextLane.data());
    std::size_t done = 0;
    char* dest = out;
    bool secondHalfFirst = false;  // lane 0 ends a two-byte letter written already
    // 64 bytes are read and 60 converted: lanes 60 to 63 only tell what follows lane 59.
    while (done + 64 <= size) {
        const __m512i bytes = _mm512_loadu_si512(in + done);
        const __m512i top7 = _mm512_and_si512(bytes, _mm512_set1_epi8(char(0xFE)));
        // A combining mark (lead byte CC or CD) may change the letter before it: scalar.
        if (_mm512_cmpeq_epi8_mask(top7, _mm512_set1_epi8(char(0xCC))) & ((SlotLanes << 1) | 1))
            break;
        const __mmask64 ascii = ~_mm512_movepi8_mask(bytes);
        const __mmask64 lead = _mm512_cmpeq_epi8_mask(top7, _mm512_set1_epi8(char(0xC4)));
        const __mmask64 continuation = _mm512_cmpeq_epi8_mask(_mm512_and_si512(bytes, _mm512_set1_epi8(char(0xC0))),
                                                              _mm512_set1_epi8(char(0x80)));
        // A lead byte C4 or C5 with a continuation after it: U+0100 to U+017F. Its row comes
        // from the lead's last bit and the continuation's six; lane 0 may be the second half
        // of a letter that began in the previous 60.
        const __mmask64 pairStart = lead & (continuation >> 1);
        const __m512i following = PermuteBytes(next, bytes);
        const __m512i pairIndex =
            _mm512_or_si512(_mm512_slli_epi16(_mm512_and_si512(bytes, _mm512_set1_epi8(1)), 6),
                            _mm512_and_si512(following, _mm512_set1_epi8(0x3F)));
        const __m512i pairRow = _mm512_permutex2var_epi8(pair0, pairIndex, pair1);
        // Other bytes, valid or not, stand for themselves, as do both halves of a pair with no row.
        __m512i classes = _mm512_mask_mov_epi8(noRow, ascii, e.rows(bytes));
        classes = _mm512_mask_mov_epi8(classes, pairStart, pairRow);
        const __mmask64 secondHalves = ((pairStart & _mm512_cmpneq_epi8_mask(pairRow, noRow)) << 1) |
                                       __mmask64(secondHalfFirst);
        classes = _mm512_mask_mov_epi8(classes, secondHalves, skip);
        unsigned count;
        if (Expander::Narrow(classes, SlotLanes)) {
            for (int k = 0; k < 4; ++k) {
                // The last block stops at lane 59.
                _mm512_storeu_si512(dest, e.NarrowBlock(k, bytes, classes, k < 3 ? ~__mmask64(0) : (std::uint64_t(1) << 48) - 1, count));
                dest += count;
            }
        } else {
            for (int k = 0; k < 6; ++k) {
                _mm512_storeu_si512(dest, e.Block(k, bytes, classes, count));
                dest += count;
            }
        }
        secondHalfFirst = (secondHalves >> 60) & 1;
        done += 60;
    }
    out = dest;
    // A letter's second half at the stop was written with its first: step over it.
    return done + (secondHalfFirst ? 1 : 0);
}

// ---- AVX2 ----

#define ZIMBROTS_AVX2 __attribute__((target("avx2")))

// Codes: 0 for a byte that stands for itself, row + 1 for a letter, SkipCode for the second
// half of a letter already written. Tables by code have 32 entries.
constexpr std::uint8_t SkipCode = 28;
constexpr std::uint8_t WideCode = WideRow + 1;

constexpr std::uint8_t CodeOfRow(std::uint8_t row) { return row == NoRow ? 0 : std::uint8_t(row + 1); }

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

// Codes of the two-byte letters U+0100 to U+017F, by the seven bits of RowOfC4C5Pair's index:
// eight tables by the top three.
constexpr auto CodeOfPair = [] {
    std::array<std::array<std::uint8_t, 16>, 8> codes{};
    for (int index = 0; index < 128; ++index)
        codes[index >> 4][index & 15] = CodeOfRow(RowOfC4C5Pair[index]);
    return codes;
}();

// Length, and first to sixth replacement byte, by code.
constexpr auto ByCode = [] {
    std::array<std::array<std::uint8_t, 32>, 7> tables{};
    tables[0][0] = 1;
    for (std::size_t r = 0; r < HackerTable.size(); ++r) {
        const std::string_view replacement = HackerTable[r].replacement;
        tables[0][r + 1] = std::uint8_t(replacement.size());
        for (std::size_t k = 0; k < replacement.size(); ++k)
            tables[1 + k][r + 1] = std::uint8_t(replacement[k]);
    }
    return tables;  // SkipCode: length 0, no bytes
}();

// For each shape of a group, Slots slots of Width lanes whose lengths (0 to Width) are read
// as a number in base Width + 1: the shuffle that packs the group's bytes to the front, and
// how many there are.
template <int Slots, int Width>
struct PackTables {
    static constexpr int Shapes = [] {
        int shapes = 1;
        for (int slot = 0; slot < Slots; ++slot)
            shapes *= Width + 1;
        return shapes;
    }();
    std::array<std::array<std::uint8_t, 16>, Shapes> order;
    std::array<std::uint8_t, Shapes> length;
};

template <int Slots, int Width>
constexpr PackTables<Slots, Width> MakePackTables()
{
    PackTables<Slots, Width> tables{};
    for (int shape = 0; shape < tables.Shapes; ++shape) {
        int n = 0;
        for (int slot = 0, rest = shape; slot < Slots; ++slot, rest /= Width + 1)
            for (int k = 0; k < rest % (Width + 1); ++k)
                tables.order[shape][n++] = std::uint8_t(Width * slot + k);
        tables.length[shape] = std::uint8_t(n);
        for (; n < 16; ++n)
            tables.order[shape][n] = 0x80;  // a zero: past the packed bytes
    }
    return tables;
}

constexpr auto Pack = MakePackTables<4, 4>();      // four slots of four: 625 shapes
constexpr auto WidePack = MakePackTables<2, 8>();  // two slots of eight: 81 shapes

ZIMBROTS_AVX2 inline __m256i BothHalves(const std::uint8_t* table16)
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table16)));
}

// Byte k of the result is table[bytes[k] & 15] where bytes[k] >> 4 is high, else 0: after the
// XOR that nibble is 0 exactly then, and the saturating addition sets bit 7, which makes the
// shuffle give 0, in every other case.
ZIMBROTS_AVX2 inline __m256i LookUpByLowNibble(__m256i bytes, __m256i table, int high)
{
    const __m256i index = _mm256_adds_epu8(_mm256_xor_si256(bytes, _mm256_set1_epi8(char(high << 4))),
                                           _mm256_set1_epi8(0x70));
    return _mm256_shuffle_epi8(table, index);
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

// Lane k is 0xFF where bit k of mask is set.
ZIMBROTS_AVX2 inline __m256i MaskToLanes(std::uint32_t mask)
{
    const __m256i spread = _mm256_shuffle_epi8(
        _mm256_set1_epi32(int(mask)),
        _mm256_setr_epi64x(0, 0x0101010101010101, 0x0202020202020202, 0x0303030303030303));
    const __m256i bit = _mm256_set1_epi64x(std::int64_t(0x8040201008040201));
    return _mm256_cmpeq_epi8(_mm256_and_si256(spread, bit), bit);
}

// 32 input bytes as groups of 16 lanes: slots[k] holds group k in its low half and group
// k + Count / 2 in its high half, and Shape(g) is group g's shape. Eight groups of four input
// bytes in slots of four, or sixteen groups of two in slots of eight.
template <int Count>
struct Groups {
    __m256i slots[Count / 2];
    // The shapes as stored from a register: group g's at shapes[g * 16 / Count].
    alignas(32) std::uint16_t shapes[16];

    std::uint16_t Shape(int group) const { return shapes[group * 16 / Count]; }
};

template <typename Tables>
ZIMBROTS_AVX2 inline char* PackGroup(const Tables& tables, __m128i slots, std::uint16_t shape, char* dest)
{
    const __m128i order = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tables.order[shape].data()));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), _mm_shuffle_epi8(slots, order));
    return dest + tables.length[shape];
}

// Writes the groups' bytes from dest on, storing up to 15 bytes past their end; returns the end.
template <int Count, typename Tables>
ZIMBROTS_AVX2 inline char* WriteGroups(const Tables& tables, const Groups<Count>& g, char* dest)
{
#pragma GCC unroll 8
    for (int k = 0; k < Count / 2; ++k)
        dest = PackGroup(tables, _mm256_castsi256_si128(g.slots[k]), g.Shape(k), dest);
#pragma GCC unroll 8
    for (int k = 0; k < Count / 2; ++k)
        dest = PackGroup(tables, _mm256_extracti128_si256(g.slots[k], 1), g.Shape(Count / 2 + k), dest);
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
    __m256i folded[4], pair[8];
    CodeTable length{ByCode[0]}, byte[6]{CodeTable(ByCode[1]), CodeTable(ByCode[2]), CodeTable(ByCode[3]),
                                         CodeTable(ByCode[4]), CodeTable(ByCode[5]), CodeTable(ByCode[6])};

    ZIMBROTS_AVX2 Avx2Expander()
    {
        for (int h = 0; h < 4; ++h)
            folded[h] = BothHalves(CodeOfFoldedByte[h].data());
        for (int h = 0; h < 8; ++h)
            pair[h] = BothHalves(CodeOfPair[h].data());
    }

    // Codes of Windows-1257 bytes; with asciiOnly, of the ASCII bytes alone (others get 0).
    ZIMBROTS_AVX2 __m256i Codes(__m256i bytes, bool asciiOnly) const
    {
        // Bit 6 moved to bit 5: capitals become small letters, which are all that the tables hold.
        const __m256i small =
            _mm256_or_si256(bytes, _mm256_srli_epi16(_mm256_and_si256(bytes, _mm256_set1_epi8(0x40)), 1));
        __m256i codes = _mm256_or_si256(LookUpByLowNibble(small, folded[0], LetterNibbles[0]),
                                        LookUpByLowNibble(small, folded[1], LetterNibbles[1]));
        if (!asciiOnly)
            codes = _mm256_or_si256(codes, _mm256_or_si256(LookUpByLowNibble(small, folded[2], LetterNibbles[2]),
                                                           LookUpByLowNibble(small, folded[3], LetterNibbles[3])));
        return codes;
    }

    // Codes of two-byte letters by their seven-bit index, 0 to 127.
    ZIMBROTS_AVX2 __m256i PairCodes(__m256i index) const
    {
        __m256i codes = _mm256_setzero_si256();
        for (int h = 0; h < 8; ++h)
            codes = _mm256_or_si256(codes, LookUpByLowNibble(index, pair[h], h));
        return codes;
    }

    ZIMBROTS_AVX2 static bool HoldsWide(__m256i codes)
    {
        return _mm256_movemask_epi8(_mm256_cmpeq_epi8(codes, _mm256_set1_epi8(char(WideCode)))) != 0;
    }

    ZIMBROTS_AVX2 __m256i Lengths(__m256i codes) const
    {
        return length(codes, _mm256_cmpgt_epi8(codes, _mm256_set1_epi8(15)));
    }

    // The first Count replacement bytes of every lane; a byte that stands for itself is its own
    // first byte.
    template <int Count>
    ZIMBROTS_AVX2 void ReplacementBytes(__m256i bytes, __m256i codes, __m256i highCodes, __m256i (&b)[Count]) const
    {
        const __m256i itself = _mm256_and_si256(bytes, _mm256_cmpeq_epi8(codes, _mm256_setzero_si256()));
        b[0] = _mm256_or_si256(byte[0](codes, highCodes), itself);
#pragma GCC unroll 6
        for (int k = 1; k < Count; ++k)
            b[k] = byte[k](codes, highCodes);
    }

    // 32 bytes with their codes, none of them WideCode, in slots of four.
    ZIMBROTS_AVX2 Groups<8> InSlotsOfFour(__m256i bytes, __m256i codes) const
    {
        const __m256i highCodes = _mm256_cmpgt_epi8(codes, _mm256_set1_epi8(15));
        __m256i b[4];
        ReplacementBytes(bytes, codes, highCodes, b);
        // Interleaving bytes, then pairs of bytes, gives each input byte its four lanes in order.
        const __m256i low01 = _mm256_unpacklo_epi8(b[0], b[1]), high01 = _mm256_unpackhi_epi8(b[0], b[1]);
        const __m256i low23 = _mm256_unpacklo_epi8(b[2], b[3]), high23 = _mm256_unpackhi_epi8(b[2], b[3]);
        Groups<8> g;
        g.slots[0] = _mm256_unpacklo_epi16(low01, low23);
        g.slots[1] = _mm256_unpackhi_epi16(low01, low23);
        g.slots[2] = _mm256_unpacklo_epi16(high01, high23);
        g.slots[3] = _mm256_unpackhi_epi16(high01, high23);
        // Shapes: lengths weighted 1 and 5 in pairs, then the pairs 1 and 25.
        const __m256i pairs = _mm256_maddubs_epi16(length(codes, highCodes), _mm256_set1_epi16(0x0501));
        _mm256_store_si256(reinterpret_cast<__m256i*>(g.shapes), _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00190001)));
        return g;
    }

    // 32 bytes with their codes, any of them, in slots of eight.
    ZIMBROTS_AVX2 Groups<16> InSlotsOfEight(__m256i bytes, __m256i codes) const
    {
        const __m256i highCodes = _mm256_cmpgt_epi8(codes, _mm256_set1_epi8(15));
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
                g.slots[4 * h + 2 * q] = _mm256_unpacklo_epi32(first[q], second[q]);
                g.slots[4 * h + 2 * q + 1] = _mm256_unpackhi_epi32(first[q], second[q]);
            }
        }
        // Shapes: lengths weighted 1 and 9 in pairs.
        _mm256_store_si256(reinterpret_cast<__m256i*>(g.shapes),
                           _mm256_maddubs_epi16(length(codes, highCodes), _mm256_set1_epi16(0x0901)));
        return g;
    }
};

// Writes 32 bytes with their codes from dest on, storing up to 15 bytes past their end;
// returns the end.
ZIMBROTS_AVX2 inline char* WriteBlock(const Avx2Expander& e, __m256i bytes, __m256i codes, char* dest)
{
    if (Avx2Expander::HoldsWide(codes))
        return WriteGroups(WidePack, e.InSlotsOfEight(bytes, codes), dest);
    return WriteGroups(Pack, e.InSlotsOfFour(bytes, codes), dest);
}

ZIMBROTS_AVX2 std::size_t Windows1257ForwardAvx2(const unsigned char* in, std::size_t size, char*& out)
{
    const Avx2Expander e;
    std::size_t done = 0;
    char* dest = out;
    for (; done + 32 <= size; done += 32) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + done));
        dest = WriteBlock(e, bytes, e.Codes(bytes, false), dest);
    }
    out = dest;
    return done;
}

// Writes the groups so that their text ends at data + write, and puts back the 16 bytes that
// the last store reaches past it; returns where the text begins.
template <int Count, typename Tables>
ZIMBROTS_AVX2 inline std::size_t WriteGroupsBelow(const Tables& tables, const Groups<Count>& g, char* data,
                                                  std::size_t write)
{
    const std::size_t start = write - GroupsLength(tables, g);
    const __m128i above = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + write));
    WriteGroups(tables, g, data + start);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(data + write), above);
    return start;
}

ZIMBROTS_AVX2 std::size_t Windows1257BackwardAvx2(char* data, std::size_t read, std::size_t& write)
{
    const Avx2Expander e;
    // A block is written forwards from where its text begins, and its last store reaches up
    // to 15 bytes past its end, where the bytes are put back afterwards. So the top goes byte
    // by byte until 16 converted bytes lie above. The block's text begins no lower than the
    // block itself, since no replacement is shorter than its letter: its own bytes, already
    // loaded, are all that it overwrites below.
    const std::size_t end = write;
    while (read > 0 && end - write < 16)
        PutSlotBackward(data, read, write);
    while (read >= 32) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + read - 32));
        const __m256i codes = e.Codes(bytes, false);
        if (Avx2Expander::HoldsWide(codes))
            write = WriteGroupsBelow(WidePack, e.InSlotsOfEight(bytes, codes), data, write);
        else
            write = WriteGroupsBelow(Pack, e.InSlotsOfFour(bytes, codes), data, write);
        read -= 32;
    }
    return read;
}

ZIMBROTS_AVX2 std::size_t Windows1257SizeAvx2(const unsigned char* in, std::size_t size)
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
    std::size_t total = lanes[0] + lanes[1] + lanes[2] + lanes[3];
    for (; i < size; ++i)
        total += ByteSlots[in[i]].length;
    return total;
}

ZIMBROTS_AVX2 std::size_t Utf8ForwardAvx2(const unsigned char* in, std::size_t size, char*& out)
{
    const Avx2Expander e;
    std::size_t done = 0;
    char* dest = out;
    std::uint32_t secondHalfFirst = 0;  // lane 0 ends a two-byte letter written already
    // 33 bytes are read and 32 converted: the 33rd only tells what follows the 32nd.
    while (done + 33 <= size) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + done));
        const __m256i following = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + done + 1));
        const __m256i top7 = _mm256_set1_epi8(char(0xFE));
        // A combining mark (lead byte CC or CD) may change the letter before it: scalar.
        const __m256i markLead = _mm256_set1_epi8(char(0xCC));
        const __m256i marks = _mm256_or_si256(_mm256_cmpeq_epi8(_mm256_and_si256(bytes, top7), markLead),
                                              _mm256_cmpeq_epi8(_mm256_and_si256(following, top7), markLead));
        if (!_mm256_testz_si256(marks, marks))
            break;
        // A lead byte C4 or C5 with a continuation after it: U+0100 to U+017F. Its code comes
        // from the lead's last bit and the continuation's six.
        const __m256i lead = _mm256_cmpeq_epi8(_mm256_and_si256(bytes, top7), _mm256_set1_epi8(char(0xC4)));
        const __m256i continued = _mm256_cmpeq_epi8(_mm256_and_si256(following, _mm256_set1_epi8(char(0xC0))),
                                                    _mm256_set1_epi8(char(0x80)));
        const __m256i pairStart = _mm256_and_si256(lead, continued);
        // Other bytes, valid or not, stand for themselves, as do both halves of a pair with no row.
        __m256i codes = e.Codes(bytes, true);
        std::uint32_t secondHalves = secondHalfFirst, lastHalf = 0;
        if (!_mm256_testz_si256(pairStart, pairStart)) {
            const __m256i index =
                _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(bytes, _mm256_set1_epi8(1)), 6),
                                _mm256_and_si256(following, _mm256_set1_epi8(0x3F)));
            const __m256i pairCodes = _mm256_and_si256(e.PairCodes(index), pairStart);
            codes = _mm256_or_si256(codes, pairCodes);
            const auto letters = std::uint32_t(_mm256_movemask_epi8(_mm256_cmpgt_epi8(pairCodes, _mm256_setzero_si256())));
            secondHalves |= letters << 1;
            lastHalf = letters >> 31;
        }
        // Second halves are continuation bytes, code 0 so far.
        codes = _mm256_or_si256(codes, _mm256_and_si256(MaskToLanes(secondHalves), _mm256_set1_epi8(char(SkipCode))));
        dest = WriteBlock(e, bytes, codes, dest);
        secondHalfFirst = lastHalf;
        done += 32;
    }
    out = dest;
    // A letter's second half at the stop was written with its first: step over it.
    return done + secondHalfFirst;
}

#endif  // ZIMBROTS_X86

}  // namespace

bool ProcessorHas(ConversionPath path)
{
#if ZIMBROTS_X86
    __builtin_cpu_init();
    switch (path) {
    case ConversionPath::Scalar:
        return true;
    case ConversionPath::Avx2:
        return __builtin_cpu_supports("avx2");
    case ConversionPath::Avx512Vbmi2:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2") &&
               __builtin_cpu_supports("popcnt");
    }
    return false;
#else
    return path == ConversionPath::Scalar;
#endif
}

ConversionPath BestConversionPath()
{
    static const ConversionPath best = Detect();
    return best;
}

ConversionPath CurrentConversionPath() { return Current().load(std::memory_order_relaxed); }

bool UseConversionPath(ConversionPath path)
{
    if (!ProcessorHas(path))
        return false;
    Current().store(path, std::memory_order_relaxed);
    return true;
}

namespace vector_detail {

std::size_t ConvertWindows1257Forward(const unsigned char* in, std::size_t size, char*& out)
{
#if ZIMBROTS_X86
    switch (CurrentConversionPath()) {
    case ConversionPath::Avx512Vbmi2:
        return Windows1257ForwardAvx512(in, size, out);
    case ConversionPath::Avx2:
        return Windows1257ForwardAvx2(in, size, out);
    case ConversionPath::Scalar:
        break;
    }
#endif
    (void)in, (void)size, (void)out;
    return 0;
}

std::size_t ConvertWindows1257Backward(char* data, std::size_t read, std::size_t& write)
{
#if ZIMBROTS_X86
    switch (CurrentConversionPath()) {
    case ConversionPath::Avx512Vbmi2:
        return Windows1257BackwardAvx512(data, read, write);
    case ConversionPath::Avx2:
        return Windows1257BackwardAvx2(data, read, write);
    case ConversionPath::Scalar:
        break;
    }
#endif
    (void)data, (void)write;
    return read;
}

bool ConvertedWindows1257Size(const unsigned char* in, std::size_t size, std::size_t& total)
{
#if ZIMBROTS_X86
    switch (CurrentConversionPath()) {
    case ConversionPath::Avx512Vbmi2:
        total = Windows1257SizeAvx512(in, size);
        return true;
    case ConversionPath::Avx2:
        total = Windows1257SizeAvx2(in, size);
        return true;
    case ConversionPath::Scalar:
        break;
    }
#endif
    (void)in, (void)size, (void)total;
    return false;
}

std::size_t ConvertUtf8Forward(const unsigned char* in, std::size_t size, char*& out)
{
#if ZIMBROTS_X86
    switch (CurrentConversionPath()) {
    case ConversionPath::Avx512Vbmi2:
        return Utf8ForwardAvx512(in, size, out);
    case ConversionPath::Avx2:
        return Utf8ForwardAvx2(in, size, out);
    case ConversionPath::Scalar:
        break;
    }
#endif
    (void)in, (void)size, (void)out;
    return 0;
}

}  // namespace vector_detail

}  // namespace zimbrots
