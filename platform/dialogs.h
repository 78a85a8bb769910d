// The save and font dialogs, and the question box. The dialogs sit in a window's layout as
// hidden components that carry their settings, and open Qt's own dialogs when executed.
#pragma once

#include "platform/font.h"

#include <QWidget>

class TSaveDialog : public QWidget {
    Q_OBJECT
    // "description|pattern" pairs, separated by "|", as layouts write them.
    Q_PROPERTY(QString Filter READ Filter WRITE SetFilter)

public:
    explicit TSaveDialog(QWidget* parent = nullptr);

    QString FileName() const { return fileName_; }
    void SetFileName(const QString& name) { fileName_ = name; }
    QString Filter() const { return filter_; }
    void SetFilter(const QString& filter) { filter_ = filter; }
    // Qt's form of the filter: "rtf (*.rtf)".
    QStringList NameFilters() const;

    // True when the user confirms a name, which FileName then holds as chosen, with no
    // extension added and no question asked about an existing file.
    bool Execute();

private:
    QString fileName_;
    QString filter_;
};

class TFontDialog : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QFont DialogFont READ DialogFont WRITE SetDialogFont)
    Q_PROPERTY(QColor FontColor READ FontColor WRITE SetFontColor)
    Q_PROPERTY(int FontCharset READ FontCharset WRITE SetFontCharset)
    Q_PROPERTY(int MinFontSize READ MinFontSize WRITE SetMinFontSize)
    Q_PROPERTY(int MaxFontSize READ MaxFontSize WRITE SetMaxFontSize)

public:
    explicit TFontDialog(QWidget* parent = nullptr);

    TFont Font() const { return font_; }
    void SetFont(const TFont& font) { font_ = font; }
    // True when the user confirms; Font then holds the choice. Underline, strike-out and
    // colour are offered.
    bool Execute();

    QFont DialogFont() const { return font_.font; }
    void SetDialogFont(const QFont& font) { font_.font = font; }
    QColor FontColor() const { return font_.color; }
    void SetFontColor(const QColor& color) { font_.color = color; }
    int FontCharset() const { return font_.charset; }
    void SetFontCharset(int charset) { font_.charset = charset; }
    int MinFontSize() const { return minFontSize_; }
    void SetMinFontSize(int size) { minFontSize_ = size; }
    int MaxFontSize() const { return maxFontSize_; }
    void SetMaxFontSize(int size) { maxFontSize_ = size; }

private:
    TFont font_;
    int minFontSize_ = 0;  // 0: no limit
    int maxFontSize_ = 0;
};

// The colours the font dialog offers, with their names.
struct NamedColor {
    const char* name;
    QRgb rgb;
};
const std::vector<NamedColor>& FontDialogColors();

// Asks a question in a message box; returns mrYes or mrNo.
int MessageDlgYesNo(const QString& message);
