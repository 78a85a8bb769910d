// The rich-text editor: a QTextEdit with the operations the windows call.
#pragma once

#include "platform/font.h"
#include "platform/richedit_layout.h"
#include "platform/richedit_lines.h"

#include <QTextEdit>
#include <QTextFormat>

class TRichEdit;

class TTextAttributes {
public:
    explicit TTextAttributes(TRichEdit& edit) : edit_(edit) {}
    // Sets the selection's font, or with no selection, the font of what is typed next.
    void Assign(const TFont& font);

private:
    TRichEdit& edit_;
};

class TRichEdit : public QTextEdit {
    Q_OBJECT
    // Set by layouts: the character set and pitch of the base font.
    Q_PROPERTY(int FontCharset READ FontCharset WRITE SetFontCharset)
    Q_PROPERTY(QString FontPitch READ FontPitchName WRITE SetFontPitchName)
    Q_PROPERTY(QColor FontColor READ FontColor WRITE SetFontColor)

public:
    explicit TRichEdit(QWidget* parent = nullptr);

    TRichEditLines* Lines() { return &lines_; }
    TTextAttributes* SelAttributes() { return &selAttributes_; }

    void Clear();
    void CutToClipboard();
    void CopyToClipboard();
    void PasteFromClipboard();
    void SelectAll();

    TFont Font() const;
    void SetFont(const TFont& font);
    bool Modified() const;
    void SetModified(bool modified);

    // The editor's own format for text that has none: the base font.
    QTextCharFormat BaseFormat() const;

    int FontCharset() const { return charset_; }
    void SetFontCharset(int charset);
    QString FontPitchName() const;
    void SetFontPitchName(const QString& name);
    QColor FontColor() const { return color_; }
    void SetFontColor(const QColor& color);

    // Longest run of characters without a break that is still wrapped at word boundaries.
    static constexpr int LongestWrappedWord = 1024;
    // True while the text holds a longer run: then lines wrap anywhere, since Qt rescans an
    // overlong word for every line it fills, which freezes the editor on a pasted text of
    // megabytes without spaces.
    bool WrapsAnywhere() const { return wrapsAnywhere_; }

    // Long edits are held from Qt's layout, and laid out in steps afterwards.
    THeldLayout& HeldLayout() { return heldLayout_; }

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void CheckWrapping(int position, int removed, int added);
    void RecheckWrapping();
    void SetWrapsAnywhere(bool anywhere);

    bool wrapsAnywhere_ = false;
    bool recheckPending_ = false;
    THeldLayout heldLayout_{*this};
    TRichEditLines lines_;
    TTextAttributes selAttributes_;
    int charset_ = DEFAULT_CHARSET;
    TFontPitch pitch_ = fpDefault;
    QColor color_;  // invalid: the system's window text colour
};

// The character set of text lives in the editor's formats under this property; its pitch
// under Qt's FontFixedPitch.
inline constexpr int CharsetProperty = QTextFormat::UserProperty + 1;
