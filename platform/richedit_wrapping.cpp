// The guard against Qt's word wrapping of an overlong word.
#include "platform/richedit.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

namespace {

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

}  // namespace

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
    // Only a block longer than the limit can hold a longer run: most are passed by their
    // length. In a longer one, the added text and enough on either side to see a run it
    // lengthens.
    const QTextBlock last = document()->findBlock(position + added);
    for (QTextBlock block = document()->findBlock(position); block.isValid(); block = block.next()) {
        if (block.length() > LongestWrappedWord) {
            QTextCursor cursor(document());
            cursor.setPosition(qMax(block.position(), position - LongestWrappedWord));
            cursor.setPosition(qMin(block.position() + block.length() - 1, position + added + LongestWrappedWord),
                               QTextCursor::KeepAnchor);
            if (HasRunLongerThan(cursor.selectedText(), LongestWrappedWord)) {
                SetWrapsAnywhere(true);
                return;
            }
        }
        if (block == last)
            return;
    }
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
