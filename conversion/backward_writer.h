// Converting Windows-1257 text in place, from its end.
#pragma once

#include "byte_slots.h"

#include <cstddef>
#include <cstring>

namespace zimbrots {

// The text's first read bytes are still to be read; its converted form ends at data + write and
// grows down from there. No replacement is shorter than its letter, so write never falls below
// read. The rule that every backward loop keeps: a store may reach below write, into the gap,
// but never below read, where the bytes still to be read are.
struct BackwardWriter {
    char* data;
    std::size_t read;
    std::size_t write;

    // Whether the last count bytes to read, whose replacements take length bytes, can be
    // written with stores that reach reach bytes below their replacements.
    bool Fits(std::size_t count, std::size_t length, std::size_t reach) const
    {
        return write - length >= read - count + reach;
    }
    // The last count bytes to read became length bytes.
    void Advance(std::size_t count, std::size_t length)
    {
        read -= count;
        write -= length;
    }
    // Converts the last byte to read, storing exactly its replacement: always within the rule.
    void PutExact()
    {
        const Slot& slot = ByteSlots[static_cast<unsigned char>(data[read - 1])];
        Advance(1, slot.length);
        std::memcpy(data + write, &slot.bytes, slot.length);
    }
};

}  // namespace zimbrots
