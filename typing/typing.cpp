#include "typing/typing.h"

#include "conversion/convert.h"
#include "typing/keys.h"

#include <glib.h>

namespace zimbrots {
namespace {

// Letters compared as the keyboard gives them with or without Shift.
std::uint32_t Unshifted(std::uint32_t keysym) { return keysym >= 'A' && keysym <= 'Z' ? keysym + 32 : keysym; }

constexpr std::uint32_t SwitchModifiers = keys::ShiftMask | keys::ShortcutMask;

}  // namespace

void Typing::SetDirect(bool direct)
{
    if (word_.Empty())
        direct_ = direct;
}

std::string Typing::Reset()
{
    std::string open = direct_ ? std::string() : shown_;
    Forget();
    return open;
}

void Typing::Forget()
{
    word_.Clear();
    composer_.Reset();
    shown_.clear();
}

bool Typing::IsSwitchKey(const Key& key) const
{
    return settings_.switchKeysym != 0 && Unshifted(key.keysym) == Unshifted(settings_.switchKeysym) &&
           (key.modifiers & SwitchModifiers) == settings_.switchModifiers;
}

Answer Typing::SetConverting(bool on)
{
    Answer answer;
    if (on != settings_.converting) {
        composer_.Reset();
        Finish(answer);
        settings_.converting = on;
        answer.switched = true;
    }
    return answer;
}

Answer Typing::Press(const Key& key)
{
    if (key.released) {
        Answer answer;
        answer.handled = false;
        return answer;
    }
    if (IsSwitchKey(key))
        return SetConverting(!settings_.converting);
    return settings_.converting ? PressConverting(key) : PressAsTyped(key);
}

// Turned off, keys reach the program as they are, but for what dead keys and Compose make.
Answer Typing::PressAsTyped(const Key& key)
{
    Answer answer;
    answer.handled = false;
    if (key.modifiers & keys::ShortcutMask || keys::IsModifier(key.keysym)) {
        if (!keys::IsModifier(key.keysym))
            composer_.Reset();
        return answer;
    }
    if ((key.keysym == keys::BackSpace || key.keysym == keys::Escape) && composer_.Waiting()) {
        composer_.Reset();
        answer.handled = true;
        return answer;
    }
    char32_t c = 0;
    switch (composer_.Feed(key.keysym, key.character, c)) {
    case KeyComposer::Outcome::Waiting:
    case KeyComposer::Outcome::Dropped:
        answer.handled = true;
        break;
    case KeyComposer::Outcome::Composed:
        answer.commit = Utf8Of(c);
        answer.handled = true;
        break;
    case KeyComposer::Outcome::Typed:
    case KeyComposer::Outcome::NoCharacter:
        break;
    }
    return answer;
}

Answer Typing::PressConverting(const Key& key)
{
    Answer answer;
    // Keys the engine does not use go to the program, after the word: shortcuts keep working.
    const auto passOn = [&] {
        composer_.Reset();
        Finish(answer);
        answer.handled = false;
        return answer;
    };
    if (key.modifiers & keys::ShortcutMask)
        return passOn();
    if (keys::IsModifier(key.keysym)) {
        answer.handled = false;
        return answer;
    }
    if (key.keysym == keys::BackSpace || key.keysym == keys::Escape) {
        if (composer_.Waiting()) {
            composer_.Reset();
            return answer;
        }
        if (word_.Empty()) {
            answer.handled = false;
            return answer;
        }
        // Escape keeps the word as it was typed; Backspace takes back the last letter typed.
        if (key.keysym == keys::Escape) {
            Show(word_.Typed(), answer);
            Finish(answer);
        } else {
            word_.TakeBack();
            Show(word_.Converted(), answer);
        }
        return answer;
    }
    char32_t c = 0;
    switch (composer_.Feed(key.keysym, key.character, c)) {
    case KeyComposer::Outcome::Waiting:
    case KeyComposer::Outcome::Dropped:
        return answer;
    case KeyComposer::Outcome::NoCharacter:
        return passOn();
    case KeyComposer::Outcome::Typed:
    case KeyComposer::Outcome::Composed:
        break;
    }
    // Enter, Tab and the like act in the program as they always do.
    if (c < 0x20 || c == 0x7F)
        return passOn();
    if (BelongsToWord(c)) {
        word_.Add(c);
        Show(word_.Converted(), answer);
        return answer;
    }
    Finish(answer, ConvertUtf8(Utf8Of(c)));
    return answer;
}

void Typing::Show(const std::string& text, Answer& answer)
{
    if (!direct_) {
        answer.preeditChanged = true;
        answer.preedit = text;
        shown_ = text;
        return;
    }
    // Only what differs is replaced, from the first character that differs.
    std::size_t same = 0;
    while (same < shown_.size() && same < text.size() && shown_[same] == text[same])
        same++;
    while (same > 0 && (static_cast<unsigned char>(shown_[same]) & 0xC0) == 0x80)
        same--;
    answer.takenBack = shown_.substr(same);
    answer.takeBack = std::size_t(g_utf8_strlen(answer.takenBack.data(), gssize(answer.takenBack.size())));
    answer.commit += text.substr(same);
    shown_ = text;
}

void Typing::Finish(Answer& answer, const std::string& then)
{
    if (!direct_ && !shown_.empty()) {
        answer.commit += shown_;
        answer.preeditChanged = true;
        answer.preedit.clear();
    }
    word_.Clear();
    shown_.clear();
    answer.commit += then;
}

}  // namespace zimbrots
