// The input method's own words on the desktop's menus and settings, in Latvian where the user's
// messages are, else in English: the engines load no translation catalogue.
#pragma once

namespace zimbrots {

enum class Label { HackerWriting, HackerWritingOff, AsTyped, SwitchKey };

// Decided as gettext does: LANGUAGE's first language, else LC_ALL, LC_MESSAGES, LANG.
const char* LabelText(Label label);

}  // namespace zimbrots
