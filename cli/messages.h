// How the filter speaks to its user: in the user's language, with one form for a failure, and
// exit statuses as GNU's tools give them.
#pragma once

#include <cstdio>
#include <cstring>
#include <libintl.h>

// The messages in the user's language, from the gettext catalogue "zimbrots-convert".
#define _(text) gettext(text)

namespace zimbrots {

inline constexpr const char* ProgramName = "zimbrots-convert";

enum ExitStatus : int {
    ExitSuccess = 0,
    ExitFailure = 1,  // an input, or the output, failed
    ExitMisuse = 2,   // a bad option or encoding: nothing was converted
};

// "zimbrots-convert: WHAT: the system's reason" on standard error.
inline void Complain(const char* what, int error)
{
    std::fprintf(stderr, "%s: %s: %s\n", ProgramName, what, std::strerror(error));
}

}  // namespace zimbrots
