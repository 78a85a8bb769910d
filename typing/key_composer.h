// What a key types once dead keys and the Compose key have had their part: the engine takes
// the keys before any of the application's own composing could see them.
#pragma once

#include <cstdint>

namespace zimbrots {

class KeyComposer {
public:
    enum class Outcome {
        Waiting,     // a dead key or Compose sequence goes on: nothing to type yet
        Dropped,     // a Compose sequence that makes nothing: nothing is typed
        Composed,    // a character made by a dead key or Compose, in typed
        Typed,       // the key's own character, in typed
        NoCharacter  // a key without a character (arrows, F1, Return's own action is the caller's)
    };
    // Feeds a pressed key's keysym and the character it gives on its own (0 for none).
    Outcome Feed(std::uint32_t keysym, char32_t character, char32_t& typed);
    bool Waiting() const { return mark_ != 0 || composing_; }
    void Reset();

private:
    char32_t mark_ = 0;       // the combining mark of a dead key pressed
    bool composing_ = false;  // after the Compose key
    char32_t first_ = 0;      // the first character of a Compose sequence
};

}  // namespace zimbrots
