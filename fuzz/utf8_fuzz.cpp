// The UTF-8 pass against a plain reference on arbitrary bytes, and streamed in pieces against
// the one-shot conversion; each vector path against the scalar pass, the Windows-1257 pass too.
#include "conversion/convert.h"
#include "codepage/windows1257.h"
#include "conversion/hacker_table.h"
#include "conversion/conversion_path.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace zimbrots;

namespace {

// One decoded item: a code point and the bytes it came from, or an invalid byte (-1).
struct Item {
    long codePoint;
    std::string bytes;
};

std::vector<Item> Decode(const std::string& in)
{
    std::vector<Item> items;
    std::size_t i = 0;
    while (i < in.size()) {
        const unsigned char b = static_cast<unsigned char>(in[i]);
        int length = b < 0x80 ? 1 : (b >= 0xC2 && b <= 0xDF) ? 2 : (b >= 0xE0 && b <= 0xEF) ? 3 : (b >= 0xF0 && b <= 0xF4) ? 4 : 0;
        long cp = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
        bool valid = length > 0 && i + length <= in.size();
        for (int k = 1; valid && k < length; ++k) {
            const unsigned char c = static_cast<unsigned char>(in[i + k]);
            valid = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (valid && ((length == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF))))
            valid = false;
        if (!valid) {
            items.push_back({-1, in.substr(i, 1)});
            ++i;
        } else {
            items.push_back({cp, in.substr(i, std::size_t(length))});
            i += std::size_t(length);
        }
    }
    return items;
}

const HackerRow* RowOf(long cp)
{
    if (cp < 0)
        return nullptr;
    const int byte = UnicodeToWindows1257(char32_t(cp));
    if (byte < 0)
        return nullptr;
    for (const HackerRow& row : HackerTable)
        if (row.lower == byte || row.upper == byte)
            return &row;
    return nullptr;
}

// The Latvian letter a base letter and a combining mark make, or 0.
long Compose(long base, long mark)
{
    static const struct { char base; long mark; long composed; } table[] = {
        {'a', 0x304, 0x101}, {'c', 0x30C, 0x10D}, {'e', 0x304, 0x113}, {'g', 0x327, 0x123}, {'i', 0x304, 0x12B},
        {'k', 0x327, 0x137}, {'l', 0x327, 0x13C}, {'n', 0x327, 0x146}, {'s', 0x30C, 0x161}, {'u', 0x304, 0x16B},
        {'z', 0x30C, 0x17E}};
    for (const auto& t : table) {
        if (mark == t.mark && base == t.base)
            return t.composed;
        if (mark == t.mark && base == t.base - 'a' + 'A')
            return t.composed - 1;  // the capital stands just before the small letter
    }
    return 0;
}

std::string Reference(const std::string& in)
{
    const std::vector<Item> items = Decode(in);
    std::string out;
    for (std::size_t k = 0; k < items.size(); ++k) {
        const Item& item = items[k];
        const bool letter = (item.codePoint >= 'a' && item.codePoint <= 'z') || (item.codePoint >= 'A' && item.codePoint <= 'Z');
        if (letter && k + 1 < items.size() && items[k + 1].codePoint >= 0x300 && items[k + 1].codePoint <= 0x36F) {
            const long composed = Compose(item.codePoint, items[k + 1].codePoint);
            if (composed) {
                out += RowOf(composed)->replacement;
            } else {
                out += item.bytes;
                out += items[k + 1].bytes;
            }
            ++k;
            continue;
        }
        const HackerRow* row = RowOf(item.codePoint);
        out += row ? std::string(row->replacement) : item.bytes;
    }
    return out;
}

// One path: the UTF-8 pass against the reference, whole and streamed.
void CheckUtf8(const std::string& input)
{
    const std::string whole = ConvertUtf8(input);
    if (whole != Reference(input))
        std::abort();
    // Streamed: every split point of the input into two pieces, and byte by byte.
    for (std::size_t split = 0; split <= input.size() && split < 64; ++split) {
        Utf8StreamConverter stream;
        std::string out;
        stream.Convert(std::string_view(input).substr(0, split), out);
        stream.Convert(std::string_view(input).substr(split), out);
        stream.Finish(out);
        if (out != whole)
            std::abort();
    }
    Utf8StreamConverter stream;
    std::string out;
    for (char c : input)
        stream.Convert(std::string_view(&c, 1), out);
    stream.Finish(out);
    if (out != whole)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    // The scalar pass first, as the reference for the Windows-1257 forms; then each vector
    // path this processor offers, forced in turn.
    std::string inPlace, appended;
    for (const ConversionPath path : AllConversionPaths) {
        if (!UseConversionPath(path))
            continue;
        CheckUtf8(input);
        std::string bytes = input, pieces;
        ConvertToHacker(bytes);
        AppendConvertedWindows1257(input, pieces);
        if (path == ConversionPath::Scalar) {
            inPlace = bytes;
            appended = pieces;
        } else if (bytes != inPlace || pieces != appended) {
            std::abort();
        }
    }
    return 0;
}
