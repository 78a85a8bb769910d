// ibus-engine-zimbrots: started by ibus-daemon, as its component file says, to provide the
// engine "zimbrots".
#include "ibus/engine.h"

namespace {

constexpr const char* Section = "engine/zimbrots";
constexpr const char* SwitchKey = "switch-key";

void Quit(IBusBus*, gpointer) { ibus_quit(); }

// The switch key as the user set it in IBus's configuration, such as "Control+Shift+h".
void UseSwitchKey(GVariant* value)
{
    guint keyval = 0, modifiers = 0;
    if (value && g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)) {
        const char* name = g_variant_get_string(value, nullptr);
        if (*name && !ibus_key_event_from_string(name, &keyval, &modifiers)) {
            g_printerr("ibus-engine-zimbrots: the switch key \"%s\" is not a key; there is none\n", name);
            keyval = modifiers = 0;
        }
    }
    zimbrots_engine_set_switch_key(keyval, modifiers);
}

void ConfigChanged(IBusConfig*, const gchar* section, const gchar* name, GVariant* value, gpointer)
{
    if (g_strcmp0(section, Section) == 0 && g_strcmp0(name, SwitchKey) == 0)
        UseSwitchKey(value);
}

}  // namespace

int main()
{
    ibus_init();
    IBusBus* bus = ibus_bus_new();
    if (!ibus_bus_is_connected(bus)) {
        g_printerr("ibus-engine-zimbrots: cannot reach the IBus daemon\n");
        return 1;
    }
    g_signal_connect(bus, "disconnected", G_CALLBACK(Quit), nullptr);
    if (IBusConfig* config = ibus_bus_get_config(bus)) {
        ibus_config_watch(config, Section, SwitchKey);
        g_signal_connect(config, "value-changed", G_CALLBACK(ConfigChanged), nullptr);
        GVariant* value = ibus_config_get_value(config, Section, SwitchKey);
        UseSwitchKey(value);
        if (value)
            g_variant_unref(value);
    }
    IBusFactory* factory = ibus_factory_new(ibus_bus_get_connection(bus));
    ibus_factory_add_engine(factory, "zimbrots", ZIMBROTS_TYPE_ENGINE);
    ibus_bus_request_name(bus, "org.freedesktop.IBus.Zimbrots", 0);
    ibus_main();
    g_object_unref(factory);
    g_object_unref(bus);
    return 0;
}
