#include "platform/richedit.h"

#include "platform/exception.h"
#include "rtf/rtf_writer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QSaveFile>
#include <QTimer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <cerrno>
#include <cstring>

TFontPitch PitchFromName(const QString& name)
{
    if (name == QLatin1String("fpFixed"))
        return fpFixed;
    if (name == QLatin1String("fpVariable"))
        return fpVariable;
    return fpDefault;
}

namespace {

// Line breaks as the document takes them: CR LF, CR and LF each become one break.
QString FromCrLf(const QString& text)
{
    if (!text.contains(QLatin1Char('\r')))
        return text;
    QString lines(text.size(), Qt::Uninitialized);
    QChar* out = lines.data();
    const QChar* in = text.constData();
    const QChar* end = in + text.size();
    for (; in != end; ++in) {
        if (*in == QLatin1Char('\r')) {
            *out++ = QLatin1Char('\n');
            if (in + 1 != end && in[1] == QLatin1Char('\n'))
                ++in;
        } else {
            *out++ = *in;
        }
    }
    lines.truncate(out - lines.constData());
    return lines;
}

// Where a line may break: white space, but not the no-break spaces.
bool IsBreak(QChar c)
{
    return c.isSpace() && c != QChar(0x00A0) && c != QChar(0x2007) && c != QChar(0x202F);
}

bool HasRunLongerThan(const QString& text, int limit)
{
    int run = 0;
    for (const QChar c : text) {
        run = IsBreak(c) ? 0 : run + 1;
        if (run > limit)
            return true;
    }
    return false;
}

QTextCharFormat FormatOf(const TFont& font)
{
    QTextCharFormat format;
    format.setFont(font.font, QTextCharFormat::FontPropertiesAll);
    if (font.color.isValid())
        format.setForeground(font.color);
    else
        format.clearForeground();
    format.setProperty(CharsetProperty, font.charset);
    format.setFontFixedPitch(font.pitch == fpFixed);
    return format;
}

RtfCharFormat RtfFormatOf(const QTextCharFormat& format, const TFont& base)
{
    RtfCharFormat rtf;
    const QStringList families = format.fontFamilies().toStringList();
    rtf.family = (families.isEmpty() ? base.font.family() : families.first()).toStdU16String();
    rtf.charset = format.hasProperty(CharsetProperty) ? format.intProperty(CharsetProperty) : base.charset;
    rtf.fixedPitch = format.hasProperty(QTextFormat::FontFixedPitch) ? format.fontFixedPitch() : base.pitch == fpFixed;
    double points = format.fontPointSize();
    if (points <= 0)
        points = base.font.pointSizeF() > 0 ? base.font.pointSizeF() : base.font.pixelSize() * 72.0 / 96.0;
    rtf.halfPoints = qMax(1, qRound(points * 2));
    rtf.bold = format.fontWeight() >= QFont::Bold;
    rtf.italic = format.fontItalic();
    rtf.underline = format.fontUnderline();
    rtf.strikeOut = format.fontStrikeOut();
    // Text in the system colour is written in the reader's automatic colour.
    const QColor color = format.foreground().style() != Qt::NoBrush ? format.foreground().color() : base.color;
    rtf.hasColor = color.isValid();
    rtf.rgb = color.rgb() & 0xFFFFFF;
    return rtf;
}

}  // namespace

QString TRichEditLines::GetText() const
{
    QString text = edit_.document()->toRawText();
    if (text.isEmpty())
        return text;
    text.replace(QChar::ParagraphSeparator, QLatin1String("\r\n"));
    text += QLatin1String("\r\n");
    return text;
}

void TRichEditLines::Clear() { edit_.Clear(); }

void TRichEditLines::SetText(const QString& text)
{
    QString lines = FromCrLf(text);
    if (lines.endsWith(QLatin1Char('\n')))
        lines.chop(1);
    QTextCursor cursor(edit_.document());
    cursor.beginEditBlock();
    if (!edit_.document()->isEmpty())
        edit_.Clear();
    cursor.insertText(lines, edit_.BaseFormat());
    cursor.endEditBlock();
}

void TRichEditLines::Add(const QString& text)
{
    QTextCursor cursor(edit_.document());
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    if (!edit_.document()->isEmpty())
        cursor.insertBlock(QTextBlockFormat(), edit_.BaseFormat());
    cursor.insertText(FromCrLf(text), edit_.BaseFormat());
    cursor.endEditBlock();
}

void TRichEditLines::BeginUpdate()
{
    if (updates_++ == 0)
        edit_.textCursor().beginEditBlock();
}

void TRichEditLines::EndUpdate()
{
    if (updates_ > 0 && --updates_ == 0)
        edit_.textCursor().endEditBlock();
}

void TRichEditLines::SaveToFile(const QString& name) const
{
    const TFont base = edit_.Font();
    std::vector<RtfParagraph> paragraphs;
    for (QTextBlock block = edit_.document()->begin(); block.isValid(); block = block.next()) {
        RtfParagraph& paragraph = paragraphs.emplace_back();
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid())
                paragraph.push_back({fragment.text().toStdU16String(), RtfFormatOf(fragment.charFormat(), base)});
        }
    }
    const std::string rtf = WriteRtf(paragraphs);

    // Written whole, then moved over the old file: a failure leaves any earlier file as it was.
    QSaveFile file(name);
    const auto fail = [&name](const QString& reason) {
        throw Exception(QCoreApplication::translate("TRichEditLines", "Cannot save \"%1\": %2").arg(QFileInfo(name).fileName(), reason));
    };
    // Unbuffered, so that a full disk is reported by the write itself, with its reason.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        fail(file.errorString());
    // Qt words a failed write as "Unknown error": the system's own reason says more.
    const auto systemReason = [&file] {
        return errno != 0 ? QString::fromLocal8Bit(std::strerror(errno)) : file.errorString();
    };
    errno = 0;
    if (file.write(rtf.data(), qint64(rtf.size())) != qint64(rtf.size())) {
        const QString reason = systemReason();
        file.cancelWriting();
        fail(reason);
    }
    errno = 0;
    if (!file.commit())
        fail(systemReason());
}

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

void TRichEdit::CheckWrapping(int position, int removed, int added)
{
    if (wrapsAnywhere_) {
        // Only a removal can end the last long run; look once the editing has settled.
        if (removed > 0 && !recheckPending_) {
            recheckPending_ = true;
            QTimer::singleShot(0, this, &TRichEdit::RecheckWrapping);
        }
        return;
    }
    if (added <= 0)
        return;
    // The added text and enough on either side to see a run it lengthens.
    QTextCursor cursor(document());
    const int end = document()->characterCount() - 1;
    cursor.setPosition(qBound(0, position - LongestWrappedWord, end));
    cursor.setPosition(qBound(0, position + added + LongestWrappedWord, end), QTextCursor::KeepAnchor);
    if (HasRunLongerThan(cursor.selectedText(), LongestWrappedWord))
        SetWrapsAnywhere(true);
}

void TRichEdit::RecheckWrapping()
{
    recheckPending_ = false;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (block.length() > LongestWrappedWord && HasRunLongerThan(block.text(), LongestWrappedWord))
            return;
    }
    SetWrapsAnywhere(false);
}

void TRichEdit::SetWrapsAnywhere(bool anywhere)
{
    wrapsAnywhere_ = anywhere;
    setWordWrapMode(anywhere ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere);
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
}

void TRichEdit::CutToClipboard() { cut(); }
void TRichEdit::CopyToClipboard() { copy(); }
void TRichEdit::PasteFromClipboard() { paste(); }
void TRichEdit::SelectAll() { selectAll(); }

TFont TRichEdit::Font() const { return {font(), color_, charset_, pitch_}; }

void TRichEdit::SetFont(const TFont& font)
{
    setFont(font.font);
    document()->setDefaultFont(font.font);
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
    return pitch_ == fpFixed ? QStringLiteral("fpFixed") : pitch_ == fpVariable ? QStringLiteral("fpVariable") : QStringLiteral("fpDefault");
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
