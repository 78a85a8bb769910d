// Conversion of text into hacker writing. Pure C++, no Qt: the window, the command-line
// filter and the benchmarks all call it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zimbrots {

// The Windows-1257 pass: the bytes are rewritten in place, each byte without a row unchanged.
// A UTF-8 string given here is taken for Windows-1257 bytes: use ConvertUtf8 for that.
void ConvertToHacker(std::string& windows1257Text);

// UTF-16 text (what the editor holds), converted into a new string. Characters outside the
// code page, surrogates included, pass unchanged; a Latvian letter written as base letter plus
// its combining mark converts like its composed form.
std::u16string ConvertUtf16(std::u16string_view text);

// UTF-8 text. Invalid sequences pass byte for byte.
std::string ConvertUtf8(std::string_view text);

// Converts UTF-8 that arrives in pieces: a sequence or a decomposed letter split between two
// pieces converts as if whole. Holds back at most two bytes between calls.
class Utf8StreamConverter {
public:
    // Appends the converted form of what can be decided so far to out.
    void Convert(std::string_view piece, std::string& out);
    // Appends whatever was held back; the converter is then ready for a new text.
    void Finish(std::string& out);

private:
    void ConvertPiece(std::string_view piece, std::string& out);
    void ConvertJoined(std::string_view piece, bool final, std::string& out);

    char held_[2] = {};
    std::size_t heldSize_ = 0;
};

// Windows-1257 pieces need no state: every byte converts on its own.
void AppendConvertedWindows1257(std::string_view windows1257Piece, std::string& out);

}  // namespace zimbrots
