// The rich-text editor: a QTextEdit with the operations the windows call.
#pragma once

#include "platform/font.h"

#include <QTextEdit>
#include <QTimer>

#include <string>

class TRichEdit;

// The editor's text seen as lines.
class TRichEditLines {
public:
    explicit TRichEditLines(TRichEdit& edit) : edit_(edit) {}

    // Every line followed by CR LF; nothing for an empty editor. Every character is kept, in
    // the converter's own string: megabytes are read once.
    std::u16string GetText() const;
    // Replaces the whole text; a break at the very end does not start another line.
    void SetText(const QString& text);
    void Clear();
    // Adds a new last line; CR LF, CR or LF inside it start further lines.
    void Add(const QString& text);
    // Writes the whole content with its fonts as RTF, replacing the file only once it is
    // complete. Throws Exception naming the file and the reason.
    void SaveToFile(const QString& name) const;
    // Between these, every change is one step of undo. A long text is laid out after the
    // last in steps, as a loaded text is, with the cursor at its start, and the view keeps
    // its scroll position.
    void BeginUpdate();
    void EndUpdate();

private:
    TRichEdit& edit_;
    int updates_ = 0;
};

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
    ~TRichEdit() override;

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

    // Between these, edits are not laid out: the last release lays the whole text out again
    // in steps between events, as Qt does with a loaded text, where an edit of megabytes
    // would be laid out at once. Until the layout reaches the cursor, the editor is read-only
    // and the busy cursor shows; then the view goes to the cursor, or back to the scroll
    // position it had, unless the user has moved it meanwhile.
    // A release without a hold does nothing.
    void HoldLayout();
    void ReleaseLayout(bool showCursor);
    // Inserts text at the cursor as QTextCursor::insertText does. While the layout is held, a
    // text longer than a step goes in step by step, and the window answers between them; the
    // user's keys and clicks wait until the whole text is in.
    void InsertText(QTextCursor& cursor, QStringView text, const QTextCharFormat& format);

    // Inserted text longer than this is laid out in steps; also the size of a step, and of
    // the pieces a long text is inserted in.
    static constexpr int LongestLaidOutAtOnce = 100000;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // While the layout is held, the window repaints and answers, but takes no keys or clicks.
    void AnswerWhileHeld();
    void RevealStep();
    void StopRevealing();
    void CheckWrapping(int position, int removed, int added);
    void RecheckWrapping();
    void SetWrapsAnywhere(bool anywhere);

    bool wrapsAnywhere_ = false;
    bool recheckPending_ = false;
    int layoutHolds_ = 0;
    QSizeF heldPage_;
    int heldScroll_ = 0;
    bool busy_ = false;  // read-only, with the busy cursor, until the layout reaches the cursor
    bool heldReadOnly_ = false;
    bool showCursor_ = false;  // the view's target after a release; else the held scroll position
    bool viewTaken_ = false;   // the user has scrolled since the release
    int laidOut_ = 0;          // the layout has reached this position
    int settling_ = 0;         // turns of the event loop spent waiting for the scroll bar
    QTimer revealTimer_;
    // The undo steps, counted from the first, that put a long text in: undoing or redoing
    // one is as long an edit again.
    QList<int> longSteps_;
    bool replaying_ = false;
    TRichEditLines lines_;
    TTextAttributes selAttributes_;
    int charset_ = DEFAULT_CHARSET;
    TFontPitch pitch_ = fpDefault;
    QColor color_;  // invalid: the system's window text colour
};

// The character set of text lives in the editor's formats under this property; its pitch
// under Qt's FontFixedPitch.
inline constexpr int CharsetProperty = 0x100000 + 1;
