// A font as the editor and the font dialog hand it around: face, size and style, colour,
// character set and pitch.
#pragma once

#include "codepage/windows1257.h"

#include <QColor>
#include <QFont>

enum TFontCharset { ANSI_CHARSET = 0, DEFAULT_CHARSET = 1, BALTIC_CHARSET = zimbrots::Windows1257Charset };
enum TFontPitch { fpDefault = 0, fpVariable = 1, fpFixed = 2 };

struct TFont {
    QFont font;
    // Invalid: the system's window text colour, which follows the desktop's palette, light on
    // a dark theme. Only a colour the user picks is fixed.
    QColor color;
    int charset = DEFAULT_CHARSET;
    TFontPitch pitch = fpDefault;
};

// Pitch names as layouts write them.
TFontPitch PitchFromName(const QString& name);
QString PitchName(TFontPitch pitch);
