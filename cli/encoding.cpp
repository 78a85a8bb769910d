#include "cli/encoding.h"

#include "cli/messages.h"

#include <string>

namespace zimbrots {

std::optional<Encoding> EncodingNamed(std::string_view name)
{
    std::string key;
    for (const char c : name) {
        if (c != '-' && c != '_')
            key += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    }
    if (key == "utf8")
        return Encoding::Utf8;
    if (key == "windows1257" || key == "cp1257" || key == "iso885913" || key == "latin7")
        return Encoding::Windows1257;
    return std::nullopt;
}

std::optional<Encoding> EncodingOfCodeset(std::string_view codeset)
{
    // The C locale's ASCII is what no file holds any more: its users get UTF-8. Another
    // codeset's bytes would be converted wrongly without a word.
    return codeset == "ANSI_X3.4-1968" ? std::optional(Encoding::Utf8) : EncodingNamed(codeset);
}

void PrintKnownEncodings()
{
    std::fprintf(stderr, _("The encodings known are utf-8 (utf8), windows-1257 (cp1257) and iso-8859-13 (latin7), "
                           "in any case.\n"));
}

}  // namespace zimbrots
