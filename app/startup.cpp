#include "app/startup.h"

#include <QCoreApplication>
#include <QTranslator>
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

ProgramIdentity ZimbrotsIdentity()
{
    return {QStringLiteral("zimbrots"), QStringLiteral("Zimbrots"), QStringLiteral("lv.zimbrots.Zimbrots"), QStringLiteral(":/zimbrots.png"),
            QStringLiteral("zimbrots"), QStringLiteral(":/translations")};
}

QString NoDisplayMessage()
{
    static const char* const message =
        QT_TRANSLATE_NOOP("Startup", "zimbrots: there is no graphical display to show the window on (DISPLAY is not set).");
    // No application object exists yet to install the translation in: ask it directly.
    const ProgramIdentity identity = ZimbrotsIdentity();
    QTranslator translator;
    if (LoadTranslation(translator, identity.translation, identity.translationDirectory)) {
        const QString translated = translator.translate("Startup", message);
        if (!translated.isEmpty())
            return translated;
    }
    return QString::fromUtf8(message);
}
