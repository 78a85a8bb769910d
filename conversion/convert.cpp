#include "convert.h"

#include "backward_writer.h"
#include "byte_slots.h"
#include "rows.h"
#include "vector_passes.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

namespace zimbrots {

namespace {

// The same slots with the replacement in the last bytes, for writing backwards.
constexpr std::array<Slot, 256> RightAlignedSlots = [] {
    std::array<Slot, 256> slots = ByteSlots;
    for (Slot& slot : slots)
        slot.bytes = MovedLater(slot.bytes, 8 - slot.length);
    return slots;
}();

// Replacement lengths alone: small enough to stay in the first-level cache.
constexpr std::array<std::uint8_t, 256> ByteLengths = [] {
    std::array<std::uint8_t, 256> lengths{};
    for (int byte = 0; byte < 256; ++byte)
        lengths[byte] = LengthOfRow[RowOfByte[byte]];
    return lengths;
}();

// Right-aligned replacement bytes alone, for the grouped backward pass.
constexpr std::array<std::uint64_t, 256> RightAlignedBytes = [] {
    std::array<std::uint64_t, 256> bytes{};
    for (int byte = 0; byte < 256; ++byte)
        bytes[byte] = RightAlignedSlots[byte].bytes;
    return bytes;
}();

constexpr bool IsCombiningMark(char32_t c) { return c >= 0x0300 && c <= 0x036F; }

// How the Latvian letters decompose (Unicode canonical decomposition of the lower-case forms).
struct Composition {
    char base;
    char16_t mark;
    char16_t composed;
};
constexpr char16_t Macron = 0x0304, Caron = 0x030C, Cedilla = 0x0327;
constexpr std::array<Composition, 11> LatvianCompositions{{
    {'a', Macron, 0x0101}, {'c', Caron, 0x010D}, {'e', Macron, 0x0113}, {'g', Cedilla, 0x0123},
    {'i', Macron, 0x012B}, {'k', Cedilla, 0x0137}, {'l', Cedilla, 0x013C}, {'n', Cedilla, 0x0146},
    {'s', Caron, 0x0161}, {'u', Macron, 0x016B}, {'z', Caron, 0x017E},
}};

// For each ASCII base letter: the mark that makes it a Latvian letter, and that letter's row.
struct Decomposed {
    char16_t mark = 0;
    std::uint8_t row = NoRow;
};
constexpr std::array<Decomposed, 128> DecomposedOfBase = [] {
    std::array<Decomposed, 128> table{};
    for (const Composition& c : LatvianCompositions) {
        const Decomposed entry{c.mark, RowOfCodePoint[c.composed]};
        table[static_cast<unsigned char>(c.base)] = entry;
        table[static_cast<unsigned char>(c.base - 'a' + 'A')] = entry;
    }
    return table;
}();

static_assert([] {
    for (const Composition& c : LatvianCompositions)
        if (RowOfCodePoint[c.composed] == NoRow)
            return false;
    return true;
}());

// The replacements widened once, for the UTF-16 pass.
constexpr auto Utf16Replacements = [] {
    std::array<std::array<char16_t, MaxReplacementLength>, HackerTable.size()> wide{};
    for (std::size_t r = 0; r < HackerTable.size(); ++r)
        for (std::size_t k = 0; k < HackerTable[r].replacement.size(); ++k)
            wide[r][k] = static_cast<char16_t>(HackerTable[r].replacement[k]);
    return wide;
}();

inline char* PutRow(char* out, int row) { return PutSlot(out, ByteSlots[HackerTable[row].lower]); }

// Converts a Windows-1257 block into out, which has room for 6 bytes per input byte plus
// vector_detail::Slack.
char* ConvertWindows1257Block(const unsigned char* in, std::size_t size, char* out)
{
    const vector_detail::VectorPasses* passes = vector_detail::Passes();
    for (std::size_t i = passes ? passes->windows1257Forward(in, size, out) : 0; i < size; ++i)
        out = PutSlot(out, ByteSlots[in[i]]);
    return out;
}

// Converts as much UTF-8 as can be decided; with final false it stops before a tail that the
// next piece could change. Needs room for 4 output bytes per input byte plus
// vector_detail::Slack.
char* ConvertUtf8Block(const unsigned char* in, std::size_t size, bool final, std::size_t& consumed, char* out)
{
    const vector_detail::VectorPasses* passes = vector_detail::Passes();
    std::size_t i = 0;
    std::size_t scalarUntil = 0;  // where the vector pass may take over again
    while (i < size) {
        if (passes && passes->utf8Forward && i >= scalarUntil) {
            i += passes->utf8Forward(in + i, size - i, out);
            // It stopped at a mark or near the end: a few bytes for the scalar pass.
            scalarUntil = i + 16;
            if (i >= size)
                break;
        }
        const unsigned char b = in[i];
        if (b < 0x80) {
            const Decomposed& d = DecomposedOfBase[b];
            const Slot& slot = ByteSlots[b];
            if (d.mark == 0 && slot.length == 1 && ByteAt(slot.bytes, 0) == b) {
                // Fast path: no row and not a base of a Latvian letter. A combining mark that
                // follows passes through by itself.
                *out++ = static_cast<char>(b);
                ++i;
                continue;
            }
            // A letter: a combining mark after it makes it another letter.
            if (i + 1 >= size || ((in[i + 1] == 0xCC || in[i + 1] == 0xCD) && i + 2 >= size)) {
                if (!final)
                    break;
            } else if ((in[i + 1] == 0xCC || in[i + 1] == 0xCD) && (in[i + 2] & 0xC0) == 0x80) {
                const char32_t mark = char32_t((in[i + 1] & 0x1F) << 6) | (in[i + 2] & 0x3F);
                if (IsCombiningMark(mark)) {
                    if (mark == char32_t(d.mark)) {
                        out = PutRow(out, d.row);
                    } else {
                        std::memcpy(out, in + i, 3);
                        out += 3;
                    }
                    i += 3;
                    continue;
                }
            }
            out = PutSlot(out, slot);
            ++i;
        } else if (b == 0xC4 || b == 0xC5) {
            // U+0100..U+017F, home of the Latvian letters.
            if (i + 1 >= size) {
                if (!final)
                    break;
                *out++ = static_cast<char>(b);
                ++i;
                continue;
            }
            const unsigned char c = in[i + 1];
            if ((c & 0xC0) != 0x80) {
                *out++ = static_cast<char>(b);
                ++i;
                continue;
            }
            const char32_t codePoint = char32_t((b & 0x1F) << 6) | (c & 0x3F);
            const int row = RowOfCodePoint[codePoint];
            if (row == NoRow) {
                std::memcpy(out, in + i, 2);
                out += 2;
            } else {
                out = PutRow(out, row);
            }
            i += 2;
        } else {
            // Other sequences hold no byte with a row: copying byte by byte keeps valid and
            // invalid input alike.
            *out++ = static_cast<char>(b);
            ++i;
        }
    }
    consumed = i;
    return out;
}

// Writes into room for maxSize bytes, then appends what was written. The room is a scratch
// buffer kept from call to call, at most six times BlockSize: growing the string itself by the
// most a piece can need would zero four to six times the piece first.
template <typename Writer>
void AppendWith(std::string& out, std::size_t maxSize, Writer write)
{
    thread_local std::unique_ptr<char[]> scratch;
    thread_local std::size_t scratchSize = 0;
    if (scratchSize < maxSize + vector_detail::Slack) {
        scratchSize = maxSize + vector_detail::Slack;
        scratch = std::make_unique_for_overwrite<char[]>(scratchSize);
    }
    const char* end = write(scratch.get());
    out.append(scratch.get(), static_cast<std::size_t>(end - scratch.get()));
}

// Longer input goes in blocks of this size, so that the scratch room stays in the cache.
constexpr std::size_t BlockSize = 16 * 1024;

}  // namespace

void ConvertToHacker(std::string& text)
{
    const std::size_t size = text.size();
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t sums[4] = {0, 0, 0, 0};
    const vector_detail::VectorPasses* passes = vector_detail::Passes();
    std::size_t i = passes && passes->windows1257Size ? passes->windows1257Size(bytes, size, sums[0]) : 0;
    // Four sums, so that the additions do not wait on each other.
    for (; i + 4 <= size; i += 4) {
        sums[0] += ByteLengths[bytes[i]];
        sums[1] += ByteLengths[bytes[i + 1]];
        sums[2] += ByteLengths[bytes[i + 2]];
        sums[3] += ByteLengths[bytes[i + 3]];
    }
    for (; i < size; ++i)
        sums[0] += ByteLengths[bytes[i]];
    const std::size_t resultSize = sums[0] + sums[1] + sums[2] + sums[3];
    if (resultSize == size) {
        // Only one-byte replacements: rewrite byte by byte.
        for (char& c : text)
            c = static_cast<char>(ByteAt(ByteSlots[static_cast<unsigned char>(c)].bytes, 0));
        return;
    }
    // Truly in place, from the end backwards (see BackwardWriter).
    text.resize(resultSize);
    BackwardWriter vectorPart{text.data(), size, resultSize};
    if (passes && passes->windows1257Backward)
        passes->windows1257Backward(vectorPart);
    // A copy whose address never escapes, so that the stores below, which may alias anything,
    // do not make the compiler read its fields from memory again.
    BackwardWriter out = vectorPart;
    // Eight letters at a time: their offsets come from their own lengths, so that only one
    // addition a group waits on the group before. The group is read before anything is
    // stored; its stores of eight bytes reach fewer than eight below its replacements.
    while (out.read >= 8) {
        std::uint64_t group;
        std::memcpy(&group, out.data + out.read - 8, 8);
        std::size_t offsets[9];
        offsets[8] = 0;
#pragma GCC unroll 8
        for (int k = 7; k >= 0; --k)
            offsets[k] = offsets[k + 1] + ByteLengths[ByteAt(group, k)];
        if (!out.Fits(8, offsets[0], 8))
            break;
#pragma GCC unroll 8
        for (int k = 7; k >= 0; --k) {
            const std::uint64_t bytes = RightAlignedBytes[ByteAt(group, k)];
            std::memcpy(out.data + out.write - offsets[k + 1] - 8, &bytes, 8);
        }
        out.Advance(8, offsets[0]);
    }
    // A letter at a time, a whole slot stored at once, while it fits.
    while (out.read > 0) {
        const Slot& slot = RightAlignedSlots[static_cast<unsigned char>(out.data[out.read - 1])];
        if (!out.Fits(1, slot.length, 8 - slot.length))
            break;
        std::memcpy(out.data + out.write - 8, &slot.bytes, 8);
        out.Advance(1, slot.length);
    }
    while (out.read > 0)
        out.PutExact();
}

void AppendConvertedWindows1257(std::string_view windows1257Piece, std::string& out)
{
    for (std::string_view rest = windows1257Piece; !rest.empty();) {
        const std::string_view piece = rest.substr(0, BlockSize);
        AppendWith(out, piece.size() * MaxReplacementLength, [&](char* dest) {
            return ConvertWindows1257Block(reinterpret_cast<const unsigned char*>(piece.data()), piece.size(), dest);
        });
        rest.remove_prefix(piece.size());
    }
}

std::u16string ConvertUtf16(std::u16string_view text)
{
    std::u16string out;
    // Room for twice the text: prose grows by about half, and a string of megabytes that has
    // to grow is copied whole.
    out.reserve(text.size() * 2);
    // Written into a small buffer a whole replacement at a time, and appended by the buffer.
    constexpr std::size_t Chunk = 4096;
    std::array<char16_t, Chunk + MaxReplacementLength> buffer;
    std::size_t used = 0;
    const std::size_t size = text.size();
    for (std::size_t i = 0; i < size; ++i) {
        if (used >= Chunk) {
            out.append(buffer.data(), used);
            used = 0;
        }
        const char16_t c = text[i];
        int row = c < RowOfCodePoint.size() ? RowOfCodePoint[c] : NoRow;
        if (c < 0x80 && i + 1 < size && IsCombiningMark(text[i + 1])) {
            const Decomposed& d = DecomposedOfBase[c];
            if (d.mark != 0 && text[i + 1] == d.mark) {
                row = d.row;
                ++i;
            } else {
                // Another letter, such as o with diaeresis: it stays as it stands.
                buffer[used++] = c;
                buffer[used++] = text[++i];
                continue;
            }
        }
        if (row == NoRow) {
            buffer[used++] = c;
        } else {
            std::memcpy(&buffer[used], Utf16Replacements[row].data(), MaxReplacementLength * sizeof(char16_t));
            used += LengthOfRow[row];
        }
    }
    out.append(buffer.data(), used);
    return out;
}

std::string ConvertUtf8(std::string_view text)
{
    Utf8StreamConverter converter;
    std::string out;
    out.reserve(2 * text.size());  // prose grows by about 1.6
    converter.Convert(text, out);
    converter.Finish(out);
    return out;
}

void Utf8StreamConverter::ConvertJoined(std::string_view piece, bool final, std::string& out)
{
    std::size_t consumed = 0;
    AppendWith(out, piece.size() * 4, [&](char* dest) {
        return ConvertUtf8Block(reinterpret_cast<const unsigned char*>(piece.data()), piece.size(), final,
                                consumed, dest);
    });
    const std::size_t rest = piece.size() - consumed;
    // Only a letter, or a letter and the first byte of a mark, is ever held back.
    std::memcpy(held_, piece.data() + consumed, rest);
    heldSize_ = rest;
}

void Utf8StreamConverter::Convert(std::string_view piece, std::string& out)
{
    while (piece.size() > BlockSize) {
        ConvertPiece(piece.substr(0, BlockSize), out);
        piece.remove_prefix(BlockSize);
    }
    ConvertPiece(piece, out);
}

void Utf8StreamConverter::ConvertPiece(std::string_view piece, std::string& out)
{
    if (heldSize_ == 0) {
        ConvertJoined(piece, false, out);
        return;
    }
    // Join the held bytes with enough of the new piece to decide them.
    char joined[5];
    const std::size_t held = heldSize_;
    const std::size_t borrow = piece.size() < 3 ? piece.size() : 3;
    std::memcpy(joined, held_, held);
    std::memcpy(joined + held, piece.data(), borrow);
    heldSize_ = 0;
    std::size_t consumed = 0;
    AppendWith(out, (held + borrow) * 4, [&](char* dest) {
        return ConvertUtf8Block(reinterpret_cast<const unsigned char*>(joined), held + borrow, false, consumed,
                                dest);
    });
    if (consumed < held) {
        // Still undecided: the piece was too short to settle it.
        const std::size_t rest = held + borrow - consumed;
        std::memcpy(held_, joined + consumed, rest);
        heldSize_ = rest;
        return;
    }
    ConvertJoined(piece.substr(consumed - held), false, out);
}

void Utf8StreamConverter::Finish(std::string& out)
{
    const std::string held(held_, heldSize_);
    ConvertJoined(held, true, out);  // final: nothing is held back again
}

}  // namespace zimbrots
