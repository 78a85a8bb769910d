// The editor's text seen as lines: read whole, replaced, added to, and updated as one step.
#pragma once

#include <QString>

#include <string>
#include <string_view>

class TRichEdit;

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
    // What Convert makes of a text.
    using Conversion = std::u16string (*)(std::u16string_view text);
    // Replaces the whole text by what convert makes of it, in the base font, as the way a text
    // is loaded: a long one is laid out in steps, with the cursor at its start, and the view
    // keeps its scroll position. It is one step of undo that keeps the old text and its fonts
    // compactly, and converts again for redo; the history before it is dropped. False, with
    // nothing done, for tables, lists, pictures or a broken surrogate pair, which only Qt's
    // own undo brings back whole.
    bool Convert(Conversion convert);
    // Between these, every change is one step of undo. A long text is laid out after the
    // last in steps, as a loaded text is, with the cursor at its start, and the view keeps
    // its scroll position.
    void BeginUpdate();
    void EndUpdate();

private:
    TRichEdit& edit_;
    int updates_ = 0;
};
