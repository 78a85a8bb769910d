// The pass with NEON, which every arm64 processor has. It has no compress, so the bytes are
// packed as simdutf's arm64 kernels pack theirs: by a table of shuffles.
//
// 16 input bytes each get a code (0: stands for itself, else row + 1) by a 256-entry look-up,
// then the first to fourth byte of their replacements by 32-entry look-ups by code. Zipping
// those gives each input byte four lanes; a group of four input bytes fills a register, and
// its four lengths, read as a number in base 5 (its shape), pick the shuffle that packs its
// bytes to the front for one 16-byte store. Sixteen bytes holding ū or Ū (six bytes) go
// through the scalar slots instead.
#include "vector_passes.h"

#if defined(__aarch64__)

#include "byte_slots.h"
#include "rows.h"

#include <arm_neon.h>
#include <array>
#include <cstdint>

namespace zimbrots::vector_detail {

namespace {

constexpr std::uint8_t CodeOfRow(std::uint8_t row) { return row == NoRow ? 0 : std::uint8_t(row + 1); }
constexpr std::uint8_t WideCode = WideRow + 1;

constexpr auto CodeOfByte = [] {
    std::array<std::uint8_t, 256> codes{};
    for (int byte = 0; byte < 256; ++byte)
        codes[byte] = CodeOfRow(RowOfByte[byte]);
    return codes;
}();

// Length, then first to fourth replacement byte, by code; ū's are never used.
constexpr auto ByCode = [] {
    std::array<std::array<std::uint8_t, 32>, 5> tables{};
    for (std::size_t r = 0; r <= HackerTable.size(); ++r)
        tables[0][CodeOfRow(std::uint8_t(r))] = LengthOfRow[r];
    for (std::size_t r = 0; r < HackerTable.size(); ++r)
        for (std::size_t k = 0; k < HackerTable[r].replacement.size() && k < 4; ++k)
            tables[1 + k][r + 1] = std::uint8_t(HackerTable[r].replacement[k]);
    return tables;
}();

// For each of the 625 shapes of four cells of four lanes: the shuffle that packs their bytes
// to the front (lanes past them 0x80, which gives 0), and how many there are.
struct PackTable {
    std::array<std::array<std::uint8_t, 16>, 625> order{};
    std::array<std::uint8_t, 625> length{};
};
constexpr PackTable Pack = [] {
    PackTable t;
    for (int shape = 0; shape < 625; ++shape) {
        int n = 0;
        for (int cell = 0, rest = shape; cell < 4; ++cell, rest /= 5)
            for (int k = 0; k < rest % 5; ++k)
                t.order[shape][n++] = std::uint8_t(4 * cell + k);
        t.length[shape] = std::uint8_t(n);
        for (; n < 16; ++n)
            t.order[shape][n] = 0x80;
    }
    return t;
}();

inline uint8x16x2_t Table32(const std::array<std::uint8_t, 32>& table) { return vld1q_u8_x2(table.data()); }

std::size_t Windows1257Forward(const unsigned char* in, std::size_t size, char*& out)
{
    const uint8x16x4_t codeTable[4] = {vld1q_u8_x4(CodeOfByte.data()), vld1q_u8_x4(CodeOfByte.data() + 64),
                                       vld1q_u8_x4(CodeOfByte.data() + 128), vld1q_u8_x4(CodeOfByte.data() + 192)};
    const uint8x16x2_t length = Table32(ByCode[0]), first = Table32(ByCode[1]), second = Table32(ByCode[2]),
                       third = Table32(ByCode[3]), fourth = Table32(ByCode[4]);
    const uint8x16_t quarter = vdupq_n_u8(64);
    std::size_t done = 0;
    char* dest = out;
    for (; done + 16 <= size; done += 16) {
        const uint8x16_t bytes = vld1q_u8(in + done);
        // Out-of-range indexes give 0, or leave the lane, so four look-ups cover 256 entries.
        const uint8x16_t second64 = vsubq_u8(bytes, quarter), third64 = vsubq_u8(second64, quarter);
        uint8x16_t codes = vqtbl4q_u8(codeTable[0], bytes);
        codes = vqtbx4q_u8(codes, codeTable[1], second64);
        codes = vqtbx4q_u8(codes, codeTable[2], third64);
        codes = vqtbx4q_u8(codes, codeTable[3], vsubq_u8(third64, quarter));
        if (vmaxvq_u8(vceqq_u8(codes, vdupq_n_u8(WideCode))) != 0) {
            for (std::size_t i = done; i < done + 16; ++i)
                dest = PutSlot(dest, ByteSlots[in[i]]);
            continue;
        }
        const uint8x16_t itself = vandq_u8(bytes, vceqzq_u8(codes));
        const uint8x16_t b0 = vorrq_u8(vqtbl2q_u8(first, codes), itself), b1 = vqtbl2q_u8(second, codes),
                         b2 = vqtbl2q_u8(third, codes), b3 = vqtbl2q_u8(fourth, codes);
        // Zipping bytes, then pairs, gives each input byte its four lanes in order.
        const uint8x16_t low01 = vzip1q_u8(b0, b1), high01 = vzip2q_u8(b0, b1);
        const uint8x16_t low23 = vzip1q_u8(b2, b3), high23 = vzip2q_u8(b2, b3);
        const uint8x16_t cells[4] = {
            vreinterpretq_u8_u16(vzip1q_u16(vreinterpretq_u16_u8(low01), vreinterpretq_u16_u8(low23))),
            vreinterpretq_u8_u16(vzip2q_u16(vreinterpretq_u16_u8(low01), vreinterpretq_u16_u8(low23))),
            vreinterpretq_u8_u16(vzip1q_u16(vreinterpretq_u16_u8(high01), vreinterpretq_u16_u8(high23))),
            vreinterpretq_u8_u16(vzip2q_u16(vreinterpretq_u16_u8(high01), vreinterpretq_u16_u8(high23)))};
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
    }
    out = dest;
    return done;
}

}  // namespace

const VectorPasses NeonPasses{"", Windows1257Forward, nullptr, nullptr, nullptr};

}  // namespace zimbrots::vector_detail

#endif  // __aarch64__
