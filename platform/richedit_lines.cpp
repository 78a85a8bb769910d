// The editor's text seen as lines: read whole, replaced, added to, and updated as one step.
#include "platform/richedit_lines.h"

#include "platform/richedit.h"

#include <QTextCursor>
#include <QTextDocument>

std::u16string TRichEditLines::GetText() const
{
    const QString raw = edit_.document()->toRawText();
    if (raw.isEmpty())
        return {};
    // One pass: a text of megabytes has a hundred thousand breaks to widen.
    // Each break becomes two characters, and the last line gets one more.
    std::u16string text(std::size_t(raw.size() + raw.count(QChar::ParagraphSeparator) + 2), u'\0');
    char16_t* out = text.data();
    for (const QChar c : raw) {
        if (c == QChar::ParagraphSeparator) {
            *out++ = u'\r';
            *out++ = u'\n';
        } else {
            *out++ = c.unicode();
        }
    }
    *out++ = u'\r';
    *out = u'\n';
    return text;
}

void TRichEditLines::Clear() { edit_.Clear(); }

void TRichEditLines::SetText(const QString& text)
{
    // The document takes CR LF, CR and LF each as one break.
    qsizetype length = text.size();
    if (text.endsWith(QLatin1String("\r\n")))
        length -= 2;
    else if (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        length -= 1;
    QTextCursor cursor(edit_.document());
    cursor.beginEditBlock();
    if (!edit_.document()->isEmpty())
        edit_.Clear();
    // Read in place: a converted text of megabytes is not copied on its way in.
    edit_.HeldLayout().InsertText(cursor, QStringView(text).first(length), edit_.BaseFormat());
    cursor.endEditBlock();
}

void TRichEditLines::Add(const QString& text)
{
    QTextCursor cursor(edit_.document());
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    if (!edit_.document()->isEmpty())
        cursor.insertBlock(QTextBlockFormat(), edit_.BaseFormat());
    cursor.insertText(text, edit_.BaseFormat());  // CR LF, CR and LF each break a line
    cursor.endEditBlock();
}

void TRichEditLines::BeginUpdate()
{
    if (updates_++ > 0)
        return;
    // What a long text becomes is laid out in steps; a short one at once, as any edit.
    if (edit_.document()->characterCount() > THeldLayout::LongestLaidOutAtOnce)
        edit_.HeldLayout().Hold();
    edit_.textCursor().beginEditBlock();
}

void TRichEditLines::EndUpdate()
{
    if (updates_ == 0 || --updates_ > 0)
        return;
    edit_.textCursor().endEditBlock();
    edit_.HeldLayout().Release(false);
}
