// The encodings the filter reads, by the names people give them, and the locale's own.
#pragma once

#include <optional>
#include <string_view>

namespace zimbrots {

// ISO-8859-13 is the standard that Windows-1257 grew from: each Latvian letter has the same
// byte in both, and every byte without a replacement passes unchanged in either, so one pass
// serves both.
enum class Encoding { Utf8, Windows1257 };

// Names compare as iconv's do: in any case, with or without '-' and '_'.
std::optional<Encoding> EncodingNamed(std::string_view name);
// The encoding of the locale's character set, named as nl_langinfo names it.
std::optional<Encoding> EncodingOfCodeset(std::string_view codeset);
void PrintKnownEncodings();

}  // namespace zimbrots
