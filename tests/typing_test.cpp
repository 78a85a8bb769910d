// The typing library alone: key sequences, and what the program holds after them, with the word
// shown as preedit and with it typed straight into the text.
#include "typing/keys.h"
#include "typing/labels.h"
#include "typing/typing.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <map>
#include <string>

namespace {

using namespace zimbrots;

// Ctrl+Shift+H: a switch key for the tests.
constexpr std::uint32_t SwitchKeysym = 'h', SwitchModifiers = keys::ControlMask | keys::ShiftMask;

// A program's field: the text up to the cursor and the preedit. Keys that reach it are written
// as <name>, or as their character.
struct Field {
    std::string text, preedit;
    std::size_t takenBack = 0;  // characters the engine deleted

    void Receive(const Answer& answer, const Key& key, const std::string& name)
    {
        if (answer.takeBack > 0) {
            ASSERT_GE(text.size(), answer.takenBack.size());
            ASSERT_EQ(text.substr(text.size() - answer.takenBack.size()), answer.takenBack) << "taken back";
            std::size_t characters = 0;
            for (const char c : answer.takenBack)
                characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
            ASSERT_EQ(characters, answer.takeBack);
            text.erase(text.size() - answer.takenBack.size());
            takenBack += answer.takeBack;
        }
        if (answer.preeditChanged)
            preedit = answer.preedit;
        text += answer.commit;
        if (!answer.handled && !key.released && !keys::IsModifier(key.keysym))
            text += name.size() > 1 ? "<" + name + ">" : Utf8Of(key.character);
    }
    std::string Shown() const { return preedit.empty() ? text : text + "[" + preedit + "]"; }
};

// Types keys, written as characters and {names}: {BS} {Esc} {Ret} {Left} {Shift} {^c} (Ctrl+C),
// {macron} {caron} (dead keys), {Compose}, {switch}; {focus} is the field losing the keys.
Field Typed(bool direct, const std::u32string& keys)
{
    static const std::map<std::u32string, Key> Named = {
        {U"BS", {keys::BackSpace, 0, 8}},       {U"Esc", {keys::Escape, 0, 0x1B}},
        {U"Ret", {keys::Return, 0, 0x0D}},      {U"Left", {keys::Left, 0, 0}},
        {U"Shift", {0xffe1, 0, 0}},             {U"^c", {'c', keys::ControlMask, 'c'}},
        {U"macron", {keys::dead_macron, 0, 0}}, {U"caron", {keys::dead_caron, 0, 0}},
        {U"Compose", {keys::Multi_key, 0, 0}},  {U"switch", {'H', SwitchModifiers, 'H'}},
    };
    TypingSettings settings;
    settings.switchKeysym = SwitchKeysym;
    settings.switchModifiers = SwitchModifiers;
    Typing typing(settings);
    Field field;
    for (std::size_t i = 0; i < keys.size(); i++) {
        typing.SetDirect(direct);
        Key key;
        std::u32string name(1, keys[i]);
        if (keys[i] == U'{') {
            const std::size_t end = keys.find(U'}', i);
            name = keys.substr(i + 1, end - i - 1);
            i = end;
            if (name == U"focus") {
                field.text += typing.Reset();
                field.preedit.clear();
                continue;
            }
            key = Named.at(name);
        } else {
            const char32_t c = keys[i];
            key = {c < 0x100 ? c : 0x1000000 + c, c >= 'A' && c <= 'Z' ? keys::ShiftMask : 0, c};
        }
        std::string nameUtf8;
        for (const char32_t c : name)
            nameUtf8 += Utf8Of(c);
        field.Receive(typing.Press(key), key, nameUtf8);
        key.released = true;
        EXPECT_FALSE(typing.Press(key).handled) << "a key's release is the program's";
    }
    return field;
}

struct Case {
    std::u32string keys;
    std::string preedit, direct;  // what the field shows after them, the preedit in brackets
};

const Case Cases[] = {
    // Words convert as they are typed; what ends them follows them.
    {U"Hel", "[|-|3|_]", "|-|3|_"},
    {U"Hello, ābols!", "|-|3|_|_0, 44b0|_5!", "|-|3|_|_0, 44b0|_5!"},
    {U"7 жук 😀 ", "7 жук 😀 ", "7 жук 😀 "},
    // The Latvian letters however they are typed: dead keys, Compose either way, a combining mark.
    {U"{macron}a{caron}c{Compose}-u{Compose}g,", "[44(|-||_||_|9j]", "44(|-||_||_|9j"},
    {U"{Compose}xqa", "[4]", "4"},
    {U"u\u0304", "[|_||_|]", "|_||_|"},
    // Backspace takes back the last letter typed, however long its replacement; a mark alone.
    {U"Labš{BS}", "[|_4b]", "|_4b"},
    {U"Lū{BS}", "[|_]", "|_"},
    {U"u\u0304{BS}", "[|_|]", "|_|"},
    {U"{macron}{BS}a", "[4]", "4"},
    // Escape keeps the word as typed; with no word both keys are the program's.
    {U"Labš{BS}{Esc}", "Lab", "Lab"},
    {U"ab {BS}{Esc}", "4b <BS><Esc>", "4b <BS><Esc>"},
    // Shortcuts and keys it does not use go on after the word.
    {U"Sveiki{^c}", "5\\/3|k|<^c>", "5\\/3|k|<^c>"},
    {U"ok{Ret}{Left}x", "0k<Ret><Left>[x]", "0k<Ret><Left>x"},
    {U"He{Shift}l", "[|-|3|_]", "|-|3|_"},
    // Losing the keys ends the word: a Backspace after it is the program's.
    {U"ūdens{focus}a", "|_||_|d3|\\|5[4]", "|_||_|d3|\\|54"},
    {U"ab{focus}{BS}", "4b<BS>", "4b<BS>"},
    // The switch: off, keys go to the program as typed, but dead keys still compose.
    {U"He{switch}llo{BS}{macron}a{switch}lo", "|-|3llo<BS>ā[|_0]", "|-|3llo<BS>ā|_0"},
};

TEST(Typing, KeySequencesGiveTheProgramWhatTheUserMeant)
{
    for (const Case& c : Cases) {
        std::string keys;
        for (const char32_t k : c.keys)
            keys += Utf8Of(k);
        EXPECT_EQ(Typed(false, c.keys).Shown(), c.preedit) << "as preedit: " << keys;
        EXPECT_EQ(Typed(true, c.keys).Shown(), c.direct) << "typed straight in: " << keys;
    }
    // Typed straight in, only what changes is taken back: a mark adds to its letter's text.
    EXPECT_EQ(Typed(true, U"Hello, a\u0304bols!").takenBack, 0u);
    EXPECT_EQ(Typed(true, U"Lū{BS}").takenBack, 6u);
}

// The menus speak Latvian where the user's messages are Latvian, as gettext decides it.
TEST(Typing, LabelsFollowTheMessagesLanguage)
{
    struct Locale {
        const char *language, *all, *lang, *expected;
    };
    for (const Locale& l : {Locale{"", "", "lv_LV.UTF-8", "Hakeru rakstība"}, Locale{"lv:en", "", "C", "Hakeru rakstība"},
                            Locale{"en:lv", "", "lv_LV.UTF-8", "Hacker writing"},
                            Locale{"", "C.UTF-8", "lv_LV.UTF-8", "Hacker writing"},
                            Locale{"", "", "lvx", "Hacker writing"}}) {
        setenv("LANGUAGE", l.language, 1);
        setenv("LC_ALL", l.all, 1);
        unsetenv("LC_MESSAGES");
        setenv("LANG", l.lang, 1);
        EXPECT_STREQ(LabelText(Label::HackerWriting), l.expected) << l.language << " " << l.all << " " << l.lang;
    }
}

}  // namespace
