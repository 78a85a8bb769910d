// The IBus engine "zimbrots": the word being typed shows as preedit in hacker writing, and goes
// into the text when a space, a punctuation mark or another key ends it.
#pragma once

#include <ibus.h>

G_BEGIN_DECLS

#define ZIMBROTS_TYPE_ENGINE (zimbrots_engine_get_type())
GType zimbrots_engine_get_type();

G_END_DECLS
