// ibus-engine-zimbrots: started by ibus-daemon, as its component file says, to provide the
// engine "zimbrots".
#include "ibus/engine.h"

namespace {

void Quit(IBusBus*, gpointer) { ibus_quit(); }

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
    IBusFactory* factory = ibus_factory_new(ibus_bus_get_connection(bus));
    ibus_factory_add_engine(factory, "zimbrots", ZIMBROTS_TYPE_ENGINE);
    ibus_bus_request_name(bus, "org.freedesktop.IBus.Zimbrots", 0);
    ibus_main();
    g_object_unref(factory);
    g_object_unref(bus);
    return 0;
}
