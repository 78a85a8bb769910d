// The keys and modifiers the typing library knows, as X keysyms and X modifier masks: the values
// IBus and Fcitx5 both hand their engines.
#pragma once

#include <cstdint>

namespace zimbrots::keys {

constexpr std::uint32_t BackSpace = 0xff08, Tab = 0xff09, Return = 0xff0d, Escape = 0xff1b, Left = 0xff51,
                        Multi_key = 0xff20, space = 0x20;
// The modifier keys themselves: Shift_L to Hyper_R, the ISO level and group keys, Num Lock.
constexpr bool IsModifier(std::uint32_t keysym)
{
    return (keysym >= 0xffe1 && keysym <= 0xffee) || (keysym >= 0xfe01 && keysym <= 0xfe13) || keysym == 0xff7e ||
           keysym == 0xff7f;
}
constexpr std::uint32_t dead_grave = 0xfe50, dead_acute = 0xfe51, dead_circumflex = 0xfe52, dead_tilde = 0xfe53,
                        dead_macron = 0xfe54, dead_breve = 0xfe55, dead_abovedot = 0xfe56, dead_diaeresis = 0xfe57,
                        dead_abovering = 0xfe58, dead_doubleacute = 0xfe59, dead_caron = 0xfe5a,
                        dead_cedilla = 0xfe5b, dead_ogonek = 0xfe5c;

constexpr std::uint32_t ShiftMask = 1, LockMask = 2, ControlMask = 4, Mod1Mask = 8, Mod2Mask = 0x10, Mod4Mask = 0x40,
                        Mod5Mask = 0x80, SuperMask = 1u << 26, HyperMask = 1u << 27, MetaMask = 1u << 28;
// What makes a key a shortcut, the program's and never typed. AltGr (Mod5) and Shift choose a
// letter; Caps Lock and Num Lock only change one.
constexpr std::uint32_t ShortcutMask = ControlMask | Mod1Mask | Mod4Mask | SuperMask | HyperMask | MetaMask;

}  // namespace zimbrots::keys
