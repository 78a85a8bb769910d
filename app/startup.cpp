#include "app/startup.h"

#include "app/application.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

namespace {

void Report(const Exception& exception)
{
    if (QApplication::instance())
        Application->ShowException(exception);
    else
        std::fprintf(stderr, "zimbrots: %s\n", exception.what());
}

}  // namespace

int WinMain(const std::function<void()>& createForms)
{
    try {
        Application->Initialize();
        createForms();
        Application->Run();
    } catch (const Exception& exception) {
        Report(exception);
    } catch (...) {
        try {
            throw Exception(QString());
        } catch (const Exception& exception) {
            Report(exception);
        }
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
