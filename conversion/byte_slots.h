// Each Windows-1257 byte's replacement in one 8-byte word, shared by the scalar passes and the
// vector passes' fallback.
#pragma once

#include "hacker_table.h"

#include <array>
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

inline constexpr std::uint64_t PackBytes(std::string_view text)
{
    std::uint64_t packed = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        packed |= std::uint64_t(static_cast<unsigned char>(text[i])) << (8 * i);
    return packed;  // little-endian order: the first byte is stored first
}

inline constexpr std::array<Slot, 256> ByteSlots = [] {
    std::array<Slot, 256> slots{};
    for (int byte = 0; byte < 256; ++byte)
        slots[byte] = {std::uint64_t(byte), 1};
    for (const HackerRow& row : HackerTable) {
        const Slot slot{PackBytes(row.replacement), std::uint8_t(row.replacement.size())};
        slots[row.lower] = slot;
        slots[row.upper] = slot;
    }
    return slots;
}();

inline char* PutSlot(char* out, const Slot& slot)
{
    std::memcpy(out, &slot.bytes, sizeof slot.bytes);
    return out + slot.length;
}

// Converts the byte before data + read in place, writing its replacement to end at
// data + write, exactly: nothing is stored at or above write.
inline void PutSlotBackward(char* data, std::size_t& read, std::size_t& write)
{
    const Slot& slot = ByteSlots[static_cast<unsigned char>(data[--read])];
    write -= slot.length;
    std::memcpy(data + write, &slot.bytes, slot.length);
}

}  // namespace zimbrots
