#include "typing/key_composer.h"

#include "typing/keys.h"

#include <glib.h>

#include <utility>

namespace zimbrots {
namespace {

// Each dead key's combining mark; the Latvian letters take the macron, caron and cedilla.
constexpr std::pair<std::uint32_t, char32_t> DeadKeyMarks[] = {
    {keys::dead_grave, 0x300},     {keys::dead_acute, 0x301},     {keys::dead_circumflex, 0x302},
    {keys::dead_tilde, 0x303},     {keys::dead_macron, 0x304},    {keys::dead_breve, 0x306},
    {keys::dead_abovedot, 0x307},  {keys::dead_diaeresis, 0x308}, {keys::dead_abovering, 0x30A},
    {keys::dead_doubleacute, 0x30B}, {keys::dead_caron, 0x30C}, {keys::dead_cedilla, 0x327},
    {keys::dead_ogonek, 0x328},
};

// The character that stands for a mark in a Compose sequence, as in X's own: Compose a minus
// gives ā, Compose less c gives č, Compose comma g gives ģ, in either order.
constexpr std::pair<char32_t, char32_t> ComposeMarks[] = {
    {'-', 0x304}, {'_', 0x304}, {'<', 0x30C}, {',', 0x327}, {'\'', 0x301}, {'`', 0x300}, {'^', 0x302},
    {'~', 0x303}, {'"', 0x308}, {'.', 0x307}, {';', 0x328}, {'o', 0x30A},
};

template <typename Table, typename Key>
char32_t Find(const Table& table, Key key)
{
    for (const auto& [from, mark] : table)
        if (from == key)
            return mark;
    return 0;
}

// The letter with the mark, or 0 where Unicode has no such letter.
char32_t Composed(char32_t letter, char32_t mark)
{
    gunichar result = 0;
    return mark != 0 && g_unichar_compose(letter, mark, &result) ? result : 0;
}

}  // namespace

KeyComposer::Outcome KeyComposer::Feed(std::uint32_t keysym, char32_t character, char32_t& typed)
{
    if (const char32_t mark = Find(DeadKeyMarks, keysym)) {
        Reset();
        mark_ = mark;
        return Outcome::Waiting;
    }
    if (keysym == keys::Multi_key) {
        Reset();
        composing_ = true;
        return Outcome::Waiting;
    }
    if (character == 0) {
        Reset();
        return Outcome::NoCharacter;
    }
    if (mark_ != 0) {
        // A letter that takes no such mark comes as it is.
        const char32_t letter = Composed(character, mark_);
        Reset();
        typed = letter != 0 ? letter : character;
        return Outcome::Composed;
    }
    if (composing_) {
        if (first_ == 0) {
            first_ = character;
            return Outcome::Waiting;
        }
        const char32_t first = first_;
        Reset();
        typed = Composed(first, Find(ComposeMarks, character));
        if (typed == 0)
            typed = Composed(character, Find(ComposeMarks, first));
        return typed != 0 ? Outcome::Composed : Outcome::Dropped;
    }
    typed = character;
    return Outcome::Typed;
}

void KeyComposer::Reset()
{
    mark_ = 0;
    composing_ = false;
    first_ = 0;
}

}  // namespace zimbrots
