#include "platform/font.h"

TFontPitch PitchFromName(const QString& name)
{
    if (name == QLatin1String("fpFixed"))
        return fpFixed;
    if (name == QLatin1String("fpVariable"))
        return fpVariable;
    return fpDefault;
}

QString PitchName(TFontPitch pitch)
{
    return pitch == fpFixed ? QStringLiteral("fpFixed") : pitch == fpVariable ? QStringLiteral("fpVariable") : QStringLiteral("fpDefault");
}
