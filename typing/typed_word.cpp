#include "typing/typed_word.h"

#include "conversion/convert.h"

#include <glib.h>

namespace zimbrots {

bool TypedWord::TakeBack()
{
    if (typed_.empty())
        return false;
    typed_.pop_back();
    return true;
}

std::string TypedWord::Typed() const
{
    std::string text;
    for (const char32_t c : typed_)
        text += Utf8Of(c);
    return text;
}

std::string TypedWord::Converted() const { return ConvertUtf8(Typed()); }

bool BelongsToWord(char32_t c) { return g_unichar_isalpha(c) || g_unichar_ismark(c); }

std::string Utf8Of(char32_t c)
{
    char bytes[6];
    return std::string(bytes, std::size_t(g_unichar_to_utf8(c, bytes)));
}

}  // namespace zimbrots
