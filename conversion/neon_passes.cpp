// The pass with NEON, which every arm64 processor has. It has no compress, so the bytes are
// packed as simdutf's arm64 kernels pack theirs: by a table of shuffles.
//
// 16 input bytes each get a code (0: stands for itself, else its row's) by a 256-entry look-up,
// then the first byte of their replacements by a 32-entry look-up by code, the second to
// fourth by 16-entry ones (SharedPlaces). Zipping
// those gives each input byte four lanes; a group of four input bytes fills a register, and
// its four lengths, read as a number in base 5 (its shape), pick the shuffle that packs its
// bytes to the front for one 16-byte store. Sixteen bytes holding ū or Ū (six bytes) go
// through the scalar slots instead. In UTF-8 a ū has two bytes, and each takes half its
// replacement ("|_|" twice), so cells of four always do.
#include "vector_passes.h"

#if defined(ZIMBROTS_NEON_PASSES)

#include "byte_slots.h"
#include "codes.h"
#include "rows.h"

#include <arm_neon.h>
#include <array>
#include <cstdint>
#include <string_view>

namespace zimbrots::vector_detail {

namespace {

constexpr auto CodeOfByte = [] {
    std::array<std::uint8_t, 256> codes{};
    for (int byte = 0; byte < 256; ++byte)
        codes[byte] = CodeOfRow(RowOfByte[byte]);
    return codes;
}();

inline uint8x16x2_t Table32(const std::array<std::uint8_t, 32>& table) { return vld1q_u8_x2(table.data()); }

// The tables, loaded once a call.
struct NeonExpander {
    uint8x16x4_t codeOfByte[4];
    uint8x16x2_t length, first;
    uint8x16_t later[3];  // the second to fourth bytes by SharedPlaces: one register each

    NeonExpander()
    {
        for (int q = 0; q < 4; ++q)
            codeOfByte[q] = vld1q_u8_x4(CodeOfByte.data() + 64 * q);
        length = Table32(ByCode[0]);
        first = Table32(ByCode[1]);
        for (int k = 0; k < 3; ++k)
            later[k] = vld1q_u8(SharedPlaces[k].data());
    }

    // Codes of the bytes below 0x80, or of all of them; an index past a table gives 0 or
    // leaves the lane, so four look-ups cover 256 entries.
    uint8x16_t Codes(uint8x16_t bytes, bool asciiOnly) const
    {
        const uint8x16_t quarter = vdupq_n_u8(64);
        const uint8x16_t second64 = vsubq_u8(bytes, quarter);
        uint8x16_t codes = vqtbx4q_u8(vqtbl4q_u8(codeOfByte[0], bytes), codeOfByte[1], second64);
        if (!asciiOnly) {
            const uint8x16_t third64 = vsubq_u8(second64, quarter);
            codes = vqtbx4q_u8(codes, codeOfByte[2], third64);
            codes = vqtbx4q_u8(codes, codeOfByte[3], vsubq_u8(third64, quarter));
        }
        return codes;
    }

    // Writes 16 bytes with their codes, none of them ū's, from dest on, storing up to 15 bytes
    // past their end; returns the end.
    char* Write(uint8x16_t bytes, uint8x16_t codes, char* dest) const
    {
        const uint8x16_t itself = vandq_u8(bytes, vceqzq_u8(codes));
        const uint8x16_t places = vandq_u8(codes, vdupq_n_u8(15));
        const uint8x16_t b0 = vorrq_u8(vqtbl2q_u8(first, codes), itself), b1 = vqtbl1q_u8(later[0], places),
                         b2 = vqtbl1q_u8(later[1], places), b3 = vqtbl1q_u8(later[2], places);
        // Zipping bytes, then pairs, gives each input byte its four lanes in order.
        const uint16x8_t low01 = vreinterpretq_u16_u8(vzip1q_u8(b0, b1)), high01 = vreinterpretq_u16_u8(vzip2q_u8(b0, b1));
        const uint16x8_t low23 = vreinterpretq_u16_u8(vzip1q_u8(b2, b3)), high23 = vreinterpretq_u16_u8(vzip2q_u8(b2, b3));
        const uint8x16_t cells[4] = {vreinterpretq_u8_u16(vzip1q_u16(low01, low23)), vreinterpretq_u8_u16(vzip2q_u16(low01, low23)),
                                     vreinterpretq_u8_u16(vzip1q_u16(high01, high23)),
                                     vreinterpretq_u8_u16(vzip2q_u16(high01, high23))};
        // Shapes: lengths weighted 1 and 5 in pairs, then the pairs 1 and 25.
        const uint16x8_t lengths = vreinterpretq_u16_u8(vqtbl2q_u8(length, codes));
        const uint16x8_t pairs = vmlaq_n_u16(vandq_u16(lengths, vdupq_n_u16(0xFF)), vshrq_n_u16(lengths, 8), 5);
        const uint32x4_t shapes = vmlaq_n_u32(vandq_u32(vreinterpretq_u32_u16(pairs), vdupq_n_u32(0xFFFF)),
                                              vshrq_n_u32(vreinterpretq_u32_u16(pairs), 16), 25);
        std::uint32_t shape[4];
        vst1q_u32(shape, shapes);
#pragma GCC unroll 4
        for (int g = 0; g < 4; ++g) {
            vst1q_u8(reinterpret_cast<std::uint8_t*>(dest), vqtbl1q_u8(cells[g], vld1q_u8(Pack.order[shape[g]].data())));
            dest += Pack.length[shape[g]];
        }
        return dest;
    }
};

std::size_t Windows1257Forward(const unsigned char* in, std::size_t size, char*& out)
{
    const NeonExpander e;
    std::size_t done = 0;
    char* dest = out;
    for (; done + 16 <= size; done += 16) {
        const uint8x16_t bytes = vld1q_u8(in + done);
        const uint8x16_t codes = e.Codes(bytes, false);
        if (vmaxvq_u8(vceqq_u8(codes, vdupq_n_u8(WideCode))) != 0) {
            for (std::size_t i = done; i < done + 16; ++i)
                dest = PutSlot(dest, ByteSlots[in[i]]);
            continue;
        }
        dest = e.Write(bytes, codes, dest);
    }
    out = dest;
    return done;
}

std::size_t Utf8Forward(const unsigned char* in, std::size_t size, char*& out)
{
    const NeonExpander e;
    const uint8x16x2_t pairIndex = Table32(PairHashed.index), pairCode = Table32(PairHashed.code);
    const uint8x16_t top7 = vdupq_n_u8(0xFE), half = vdupq_n_u8(HalfOfWideCode);
    std::size_t done = 0;
    char* dest = out;
    // Their lane 15 begins a letter written already, or a ū.
    uint8x16_t lastLetters = vdupq_n_u8(0), lastWide = vdupq_n_u8(0);
    // 17 bytes are read and 16 converted: the 17th only tells what follows the 16th.
    while (done + 17 <= size) {
        const uint8x16_t bytes = vld1q_u8(in + done), following = vld1q_u8(in + done + 1);
        // A combining mark (lead byte CC or CD) may change the letter before it: scalar.
        const uint8x16_t markLead = vdupq_n_u8(0xCC);
        if (vmaxvq_u8(vorrq_u8(vceqq_u8(vandq_u8(bytes, top7), markLead), vceqq_u8(vandq_u8(following, top7), markLead))) != 0)
            break;
        // A lead byte C4 or C5 with a continuation after it: U+0100 to U+017F. Its code comes
        // from the lead's last bit and the continuation's six.
        const uint8x16_t pairStart = vandq_u8(vceqq_u8(vandq_u8(bytes, top7), vdupq_n_u8(0xC4)),
                                              vceqq_u8(vandq_u8(following, vdupq_n_u8(0xC0)), vdupq_n_u8(0x80)));
        const uint8x16_t index = vorrq_u8(vshlq_n_u8(vandq_u8(bytes, vdupq_n_u8(1)), 6), vandq_u8(following, vdupq_n_u8(0x3F)));
        const uint8x16_t hash = vorrq_u8(vshrq_n_u8(index, 3), vshlq_n_u8(vandq_u8(index, vdupq_n_u8(1)), 4));
        uint8x16_t pairCodes = vandq_u8(vqtbl2q_u8(pairCode, hash), vandq_u8(vceqq_u8(vqtbl2q_u8(pairIndex, hash), index), pairStart));
        const uint8x16_t letters = vtstq_u8(pairCodes, pairCodes), wide = vceqq_u8(pairCodes, vdupq_n_u8(WideCode));
        // Second halves: the letters moved one lane on, lane 0 taking the last lane of the 16 before.
        const uint8x16_t secondHalves = vextq_u8(lastLetters, letters, 15), wideSeconds = vextq_u8(lastWide, wide, 15);
        // Both bytes of ū or Ū take half its replacement.
        pairCodes = vbslq_u8(wide, half, pairCodes);
        const uint8x16_t secondCodes = vandq_u8(vbslq_u8(wideSeconds, half, vdupq_n_u8(SecondHalfCode)), secondHalves);
        // Other bytes, valid or not, stand for themselves, as do both halves of a pair with no row.
        dest = e.Write(bytes, vorrq_u8(vorrq_u8(e.Codes(bytes, true), pairCodes), secondCodes), dest);
        lastLetters = letters;
        lastWide = wide;
        done += 16;
    }
    // A ū's second half is not written with its first: its half of the replacement goes here.
    if (vgetq_lane_u8(lastWide, 15) != 0)
        dest = PutSlot(dest, ByteSlots[HackerTable[HalfOfWideRow].lower]);
    out = dest;
    // A letter's second half at the stop was written with its first (or just now): step over it.
    return done + (vgetq_lane_u8(lastLetters, 15) != 0 ? 1 : 0);
}

}  // namespace

const VectorPasses NeonPasses{"", Windows1257Forward, nullptr, nullptr, Utf8Forward};

}  // namespace zimbrots::vector_detail

#endif  // ZIMBROTS_NEON_PASSES
