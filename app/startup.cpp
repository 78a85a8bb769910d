#include "app/startup.h"

#include "platform/application.h"

#include <cstdlib>

int WinMain(const std::function<void()>& createForms)
{
    try {
        Application->Initialize();
        createForms();
        Application->Run();
    } catch (...) {
        ShowEscapedException(std::current_exception(), EscapedFrom::EntryPoint);
    }
    return 0;
}

bool DisplayAvailable()
{
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}
