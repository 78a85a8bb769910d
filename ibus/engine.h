// The IBus engine "zimbrots": hacker writing as the user types, through the typing library.
#pragma once

#include <ibus.h>

G_BEGIN_DECLS

#define ZIMBROTS_TYPE_ENGINE (zimbrots_engine_get_type())
GType zimbrots_engine_get_type();

// The key that turns hacker writing on and off in every program; keyval 0 for none.
void zimbrots_engine_set_switch_key(guint keyval, guint modifiers);

G_END_DECLS
