// The rich-text editor: its formats, font, clipboard, and the keys it leaves to the menu.
#include "platform/richedit.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>
#include <QTextDocument>

namespace {

// Text in scripts that need no shaping (Latin, Cyrillic, Greek) is laid out glyph by glyph:
// hacker writing has no ligatures to gain, and Qt 6.11 keeps every shaped paragraph's glyph
// buffer, 40 bytes a character, for as long as the paragraph is laid out.
QFont Unshaped(QFont font)
{
    font.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::PreferNoShaping));
    return font;
}

QTextCharFormat FormatOf(const TFont& font)
{
    QTextCharFormat format;
    format.setFont(Unshaped(font.font), QTextCharFormat::FontPropertiesAll);
    if (font.color.isValid())
        format.setForeground(font.color);
    else
        format.clearForeground();
    format.setProperty(CharsetProperty, font.charset);
    format.setFontFixedPitch(font.pitch == fpFixed);
    return format;
}

}  // namespace

void TTextAttributes::Assign(const TFont& font)
{
    const QTextCharFormat format = FormatOf(font);
    QTextCursor cursor = edit_.textCursor();
    if (cursor.hasSelection())
        cursor.setCharFormat(format);
    else
        edit_.setCurrentCharFormat(format);
}

TRichEdit::TRichEdit(QWidget* parent) : QTextEdit(parent), lines_(*this), selAttributes_(*this)
{
    setAcceptRichText(true);
    setLineWrapMode(QTextEdit::WidgetWidth);
    // Before the document lays the change out, so that an overlong word is never wrapped at
    // word boundaries.
    connect(document(), &QTextDocument::contentsChange, this, &TRichEdit::CheckWrapping);
}

void TRichEdit::Clear()
{
    // Through the cursor, so that Undo can bring the text and its fonts back.
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    cursor.setBlockCharFormat(BaseFormat());
    cursor.setCharFormat(BaseFormat());
    cursor.endEditBlock();
    setCurrentCharFormat(BaseFormat());
    heldLayout_.AnswerWhileHeld();
}

void TRichEdit::CutToClipboard() { cut(); }
void TRichEdit::CopyToClipboard() { copy(); }
void TRichEdit::PasteFromClipboard()
{
    const QMimeData* source = QGuiApplication::clipboard()->mimeData();
    if (!source)
        return;
    // Rich text goes Qt's way, with its formats. Plain text goes straight in, where Qt would
    // first copy it into a document of its own: the same characters, in the cursor's format.
    const QStringList formats = source->formats();
    const bool rich = source->hasHtml() || source->hasFormat(QStringLiteral("application/x-qrichtext")) ||
                      (!formats.isEmpty() && formats.first() == QLatin1String("text/markdown"));
    const QString text = rich ? QString() : source->text();
    const qsizetype size = rich ? source->html().size() : text.size();
    const bool large = size > THeldLayout::LongestLaidOutAtOnce;
    if (large)
        heldLayout_.Hold();
    else
        heldLayout_.StopRevealing();  // editable again, for Qt's paste
    if (rich) {
        paste();
    } else if (large) {
        // The editor's own cursor moves on with the text, as with insertPlainText.
        QTextCursor cursor = textCursor();
        cursor.beginEditBlock();  // one undo step
        heldLayout_.InsertText(cursor, text, cursor.charFormat());
        cursor.endEditBlock();
    } else {
        insertPlainText(text);
        ensureCursorVisible();
    }
    if (large)
        heldLayout_.Release(true);
}
void TRichEdit::SelectAll() { selectAll(); }

TFont TRichEdit::Font() const { return {font(), color_, charset_, pitch_}; }

void TRichEdit::SetFont(const TFont& font)
{
    setFont(font.font);
    document()->setDefaultFont(this->font());
    charset_ = font.charset;
    pitch_ = font.pitch;
    SetFontColor(font.color);
}

bool TRichEdit::Modified() const { return document()->isModified(); }
void TRichEdit::SetModified(bool modified) { document()->setModified(modified); }

QTextCharFormat TRichEdit::BaseFormat() const { return FormatOf(Font()); }

void TRichEdit::SetFontCharset(int charset) { charset_ = charset; }
QString TRichEdit::FontPitchName() const
{
    return PitchName(pitch_);
}
void TRichEdit::SetFontPitchName(const QString& name) { pitch_ = PitchFromName(name); }
void TRichEdit::SetFontColor(const QColor& color)
{
    color_ = color;
    if (!color.isValid()) {
        setPalette(QPalette());  // the desktop's palette, also when the theme changes
        return;
    }
    QPalette p = palette();
    p.setColor(QPalette::Text, color);
    setPalette(p);
}

void TRichEdit::changeEvent(QEvent* event)
{
    // However the font comes, from a layout or the font dialog, the document lays it out unshaped.
    if (event->type() == QEvent::FontChange && !(font().styleStrategy() & QFont::PreferNoShaping))
        setFont(Unshaped(font()));  // back here once more, and on to the document
    else
        QTextEdit::changeEvent(event);
}

void TRichEdit::keyPressEvent(QKeyEvent* event)
{
    if (!heldLayout_.Replay(event))
        QTextEdit::keyPressEvent(event);
}

bool TRichEdit::event(QEvent* event)
{
    // Cut, copy, paste and select all belong to the window's Edit menu: let its shortcuts
    // have the keys rather than taking them here.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key == QKeySequence::Cut || key == QKeySequence::Copy || key == QKeySequence::Paste ||
            key == QKeySequence::SelectAll) {
            event->ignore();
            return true;
        }
    }
    return QTextEdit::event(event);
}
