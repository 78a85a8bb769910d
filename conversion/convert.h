// Conversion of text into hacker writing. Pure C++, no Qt: the window, the command-line
// filter and the benchmarks all call it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Windows-1257 bytes, rewritten in place. Every byte without a row passes unchanged.
void ConvertToHacker(std::string& text);

// UTF-16 text (what the editor holds), rewritten in place. Characters outside the code page,
// surrogates included, pass unchanged; a Latvian letter written as base letter plus its
// combining mark converts like its composed form.
void ConvertToHacker(std::u16string& text);
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
    void ConvertJoined(std::string_view piece, bool final, std::string& out);

    char held_[2] = {};
    std::size_t heldSize_ = 0;
};

// Windows-1257 pieces need no state: every byte converts on its own.
void AppendCp1257Converted(std::string_view piece, std::string& out);
