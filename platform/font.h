// A font as the editor and the font dialog hand it around: face, size and style, colour,
// character set and pitch.
#pragma once

#include <QColor>
#include <QFont>

enum TFontCharset { ANSI_CHARSET = 0, DEFAULT_CHARSET = 1, BALTIC_CHARSET = 186 };
enum TFontPitch { fpDefault = 0, fpVariable = 1, fpFixed = 2 };

struct TFont {
    QFont font;
    QColor color = Qt::black;
    int charset = DEFAULT_CHARSET;
    TFontPitch pitch = fpDefault;
};

// Pitch names as layouts write them.
TFontPitch PitchFromName(const QString& name);
