// What a key does in one input context: the word being typed, the keys' composing and the
// switch, answered as what the program must receive. It knows no input method framework: the
// IBus and Fcitx5 engines hand it keys and carry out its answers.
#pragma once

#include "typing/key_composer.h"
#include "typing/typed_word.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace zimbrots {

struct Key {
    std::uint32_t keysym = 0;
    std::uint32_t modifiers = 0;  // X modifier masks (typing/keys.h)
    char32_t character = 0;       // what the key gives by the keyboard layout, 0 for none
    bool released = false;
};

// What the program must receive for a key, in this order: takeBack characters just before the
// cursor deleted (they are the word's own, committed before, and read takenBack), the preedit
// shown or cleared, commit put into the text; then, unless handled, the key itself.
struct Answer {
    std::size_t takeBack = 0;
    std::string takenBack;
    bool preeditChanged = false;
    std::string preedit;
    std::string commit;
    bool handled = true;
    bool switched = false;  // hacker writing was turned on or off: the panel shows which
};

// Shared by every input context of one engine process, so that the switch holds for the session.
struct TypingSettings {
    bool converting = true;
    // The key that turns hacker writing on and off; none (keysym 0) unless the user sets one.
    std::uint32_t switchKeysym = 0;
    std::uint32_t switchModifiers = 0;
};

class Typing {
public:
    explicit Typing(TypingSettings& settings) : settings_(settings) {}

    // Direct: each letter goes into the text as it is typed, and a change to the word is made
    // there, so no word is left open to lose; for programs that tell the text around the cursor.
    // Otherwise the word shows as preedit until it ends. Takes effect when no word is open.
    void SetDirect(bool direct);
    bool Direct() const { return direct_; }

    Answer Press(const Key& key);
    Answer SetConverting(bool on);

    // The program reset the field, or it lost the keys: the word is done. Returns the preedit
    // word, for an engine whose framework does not commit it itself.
    std::string Reset();
    // The word's text is not where it was put (the program says so): start afresh.
    void Forget();

private:
    bool IsSwitchKey(const Key& key) const;
    Answer PressConverting(const Key& key);
    Answer PressAsTyped(const Key& key);
    // The word now shows as text: in the preedit, or replacing what it put into the text.
    void Show(const std::string& text, Answer& answer);
    // Ends the word where it stands; what ended it, if anything, follows it.
    void Finish(Answer& answer, const std::string& then = {});

    TypingSettings& settings_;
    bool direct_ = false;
    TypedWord word_;
    KeyComposer composer_;
    std::string shown_;  // the word as it shows: the preedit, or the text it committed
};

}  // namespace zimbrots
