// The word being typed through the input method: the letters as typed, and what they show as.
// Knows nothing of any input method framework.
#pragma once

#include <string>

namespace zimbrots {

class TypedWord {
public:
    bool Empty() const { return typed_.empty(); }
    void Add(char32_t letter) { typed_ += letter; }
    // Takes back the last letter typed, not one character of its replacement; false when
    // there is none.
    bool TakeBack();
    void Clear() { typed_.clear(); }
    // The letters as typed, and in hacker writing, both in UTF-8.
    std::string Typed() const;
    std::string Converted() const;

private:
    std::u32string typed_;
};

// Whether a character belongs to a word: a letter, or a combining mark that follows one.
// Anything else ends the word.
bool BelongsToWord(char32_t c);

// One character in UTF-8.
std::string Utf8Of(char32_t c);

}  // namespace zimbrots
