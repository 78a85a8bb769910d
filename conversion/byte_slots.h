// Each Windows-1257 byte's replacement in one 8-byte word, shared by the scalar passes and the
// vector passes' fallback.
#pragma once

#include "rows.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace zimbrots {

// Each replacement sits in an 8-byte slot, so that writing one is a single unaligned store
// followed by a move of the output pointer by its length. Writers keep 8 bytes of slack.
struct Slot {
    std::uint64_t bytes;
    std::uint8_t length;
};

// A word holds its bytes in memory order: stored, its byte i lands at address i, whatever the
// processor's byte order. These are the shifts that put byte i there.
inline constexpr unsigned ShiftOfByte(std::size_t i)
{
    return unsigned(8 * (std::endian::native == std::endian::little ? i : 7 - i));
}

// Byte i of a word read from memory.
inline constexpr unsigned char ByteAt(std::uint64_t word, std::size_t i)
{
    return static_cast<unsigned char>(word >> ShiftOfByte(i));
}

// The word's bytes moved count places later in memory (the first count become zero).
inline constexpr std::uint64_t MovedLater(std::uint64_t word, std::size_t count)
{
    if (count >= 8)
        return 0;
    return std::endian::native == std::endian::little ? word << (8 * count) : word >> (8 * count);
}

inline constexpr std::uint64_t PackBytes(std::string_view text)
{
    std::uint64_t packed = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        packed |= std::uint64_t(static_cast<unsigned char>(text[i])) << ShiftOfByte(i);
    return packed;
}

inline constexpr std::array<Slot, 256> ByteSlots = [] {
    std::array<Slot, 256> slots{};
    for (int byte = 0; byte < 256; ++byte) {
        const int row = RowOfByte[byte];
        slots[byte] = row == NoRow ? Slot{std::uint64_t(byte) << ShiftOfByte(0), 1}
                                   : Slot{PackBytes(HackerTable[row].replacement),
                                          LengthOfRow[row]};
    }
    return slots;
}();

inline char* PutSlot(char* out, const Slot& slot)
{
    std::memcpy(out, &slot.bytes, sizeof slot.bytes);
    return out + slot.length;
}

}  // namespace zimbrots
