// The vector passes: AVX-512 with VBMI2, chosen at run time. Every other processor, and every
// byte these cannot decide, takes the scalar passes of convert.cpp.
//
// How text converts. 64 input bytes are loaded and each gets a class: its row in the table
// (0 to 26), NoRow (the byte stands for itself) or Skip (it is the second half of a letter
// already written). Then they go out in blocks. For a block, the 64 lanes of a register are
// read as slots, one per input byte: with slots of six, lane s belongs to input byte s / 6 and
// holds byte s % 6 of its replacement, looked up at 6 x class + s % 6 in a table where each
// replacement is followed by zeros. Zero lanes are dropped, and VPCOMPRESSB packs the rest
// into the output. Slots of six take ten bytes a block, 60 of the 64 in six blocks; where no
// ū or Ū (six bytes) is among them, slots of four take sixteen bytes a block, all 64 in four.
#include "vector_passes.h"

#include "cp1257.h"
#include "hacker_table.h"

#include <array>
#include <atomic>
#include <cstdint>

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
#if ZIMBROTS_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2") &&
        __builtin_cpu_supports("popcnt"))
        return ConversionPath::Avx512Vbmi2;
#endif
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

#endif  // ZIMBROTS_X86

}  // namespace

ConversionPath BestConversionPath()
{
    static const ConversionPath best = Detect();
    return best;
}

ConversionPath CurrentConversionPath() { return Current().load(std::memory_order_relaxed); }

bool UseConversionPath(ConversionPath path)
{
    if (path != ConversionPath::Scalar && path != BestConversionPath())
        return false;
    Current().store(path, std::memory_order_relaxed);
    return true;
}

namespace vector_detail {

std::size_t ConvertWindows1257Forward(const unsigned char* in, std::size_t size, char*& out)
{
#if ZIMBROTS_X86
    if (CurrentConversionPath() == ConversionPath::Avx512Vbmi2)
        return Windows1257ForwardAvx512(in, size, out);
#endif
    (void)in, (void)size, (void)out;
    return 0;
}

std::size_t ConvertWindows1257Backward(char* data, std::size_t read, std::size_t& write)
{
#if ZIMBROTS_X86
    if (CurrentConversionPath() == ConversionPath::Avx512Vbmi2)
        return Windows1257BackwardAvx512(data, read, write);
#endif
    (void)data, (void)write;
    return read;
}

bool ConvertedWindows1257Size(const unsigned char* in, std::size_t size, std::size_t& total)
{
#if ZIMBROTS_X86
    if (CurrentConversionPath() == ConversionPath::Avx512Vbmi2) {
        total = Windows1257SizeAvx512(in, size);
        return true;
    }
#endif
    (void)in, (void)size, (void)total;
    return false;
}

std::size_t ConvertUtf8Forward(const unsigned char* in, std::size_t size, char*& out)
{
#if ZIMBROTS_X86
    if (CurrentConversionPath() == ConversionPath::Avx512Vbmi2)
        return Utf8ForwardAvx512(in, size, out);
#endif
    (void)in, (void)size, (void)out;
    return 0;
}

}  // namespace vector_detail

}  // namespace zimbrots
