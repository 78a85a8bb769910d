#include "typing/labels.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace zimbrots {
namespace {

bool LatvianMessages()
{
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return std::strncmp(value, "lv", 2) == 0 && (value[2] == '\0' || std::strchr("_.@:", value[2]));
    }
    return false;
}

}  // namespace

const char* LabelText(Label label)
{
    const bool latvian = LatvianMessages();
    switch (label) {
    case Label::HackerWriting:
        return latvian ? "Hakeru rakstība" : "Hacker writing";
    case Label::HackerWritingOff:
        return latvian ? "Hakeru rakstība izslēgta" : "Hacker writing off";
    case Label::AsTyped:
        return latvian ? "Kā rakstīts" : "As typed";
    case Label::SwitchKey:
        return latvian ? "Taustiņš, kas ieslēdz un izslēdz hakeru rakstību" : "Key that turns hacker writing on and off";
    }
    return "";
}

}  // namespace zimbrots
