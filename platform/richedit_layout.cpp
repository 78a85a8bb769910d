// A long edit held from Qt's layout, and laid out in steps between events afterwards.
#include "platform/richedit.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

void TRichEdit::HoldLayout()
{
    if (layoutHolds_++ > 0)
        return;
    // A scroll position still on its way back stays the one to return to.
    if (!busy_ || showCursor_ || viewTaken_)
        heldScroll_ = verticalScrollBar()->value();
    // A layout still under way gives way to this edit, which keeps its read-only editor: an
    // editable one would draw its cursor, laying out everything above it at once.
    revealTimer_.stop();
    heldPage_ = document()->pageSize();
    document()->setPageSize(QSizeF(0, 0));  // Qt lays nothing out on an empty page
}

void TRichEdit::ReleaseLayout(bool showCursor)
{
    if (layoutHolds_ == 0 || --layoutHolds_ > 0)
        return;
    if (!replaying_) {
        const int step = document()->availableUndoSteps();
        longSteps_.removeIf([step](int later) { return later >= step; });
        longSteps_.append(step);
    }
    // Anything that Qt draws or measures further down lays out everything above it at once:
    // the view starts at the top, and the blinking cursor is hidden, as in a read-only editor.
    // The cursor left at the end of a replaced text goes to its start, as after loading.
    if (!showCursor)
        moveCursor(QTextCursor::Start);
    verticalScrollBar()->setValue(0);
    if (!busy_) {
        busy_ = true;
        heldReadOnly_ = isReadOnly();
        setReadOnly(true);
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    // A new page size makes Qt lay the whole document out again, in steps between events.
    document()->setPageSize(heldPage_);
    showCursor_ = showCursor;
    viewTaken_ = false;
    laidOut_ = 0;
    settling_ = 0;
    revealTimer_.start(0);
}

void TRichEdit::AnswerWhileHeld()
{
    // No timers: Qt's own layout still under way would go on, at no width.
    if (layoutHolds_ > 0)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::X11ExcludeTimers);
}

void TRichEdit::InsertText(QTextCursor& cursor, QStringView text, const QTextCharFormat& format)
{
    while (layoutHolds_ > 0 && text.size() > LongestLaidOutAtOnce) {
        qsizetype length = LongestLaidOutAtOnce;
        // Never between CR and LF, which would make two breaks.
        if (text[length - 1] == u'\r' && text[length] == u'\n')
            ++length;
        cursor.insertText(QString::fromRawData(text.data(), length), format);
        text = text.sliced(length);
        AnswerWhileHeld();
    }
    cursor.insertText(QString::fromRawData(text.data(), text.size()), format);
}

void TRichEdit::RevealStep()
{
    QTextDocument* doc = document();
    const int cursor = textCursor().position();
    const int scrolledTo = showCursor_ || viewTaken_ ? 0 : heldScroll_ + viewport()->height();
    if (laidOut_ < cursor || (scrolledTo > 0 && laidOut_ < doc->characterCount() - 1)) {
        // Qt lays out whole blocks, up to the one asked for; small steps first, as Qt's own,
        // so that the first screen shows soon.
        const int step = qBound(1000, laidOut_, int(LongestLaidOutAtOnce));
        laidOut_ = qMin(doc->characterCount() - 1, laidOut_ + step);
        const QRectF reached = doc->documentLayout()->blockBoundingRect(doc->findBlock(laidOut_));
        if (laidOut_ < cursor || reached.top() < scrolledTo)
            return;
    }
    // The scroll bar takes the layout's new size a turn of the event loop later.
    constexpr int Turns = 10;
    QScrollBar* bar = verticalScrollBar();
    if (!viewTaken_ && showCursor_) {
        ensureCursorVisible();
        const QRect shown = cursorRect();
        if ((shown.top() < 0 || shown.bottom() > viewport()->height()) && ++settling_ < Turns)
            return;
    } else if (!viewTaken_) {
        if (bar->maximum() < heldScroll_ && ++settling_ < Turns)
            return;
        bar->setValue(heldScroll_);
    }
    StopRevealing();
}

void TRichEdit::StopRevealing()
{
    revealTimer_.stop();
    if (!busy_)
        return;
    busy_ = false;
    setReadOnly(heldReadOnly_);
    QApplication::restoreOverrideCursor();
}

void TRichEdit::keyPressEvent(QKeyEvent* event)
{
    const bool undo = event == QKeySequence::Undo;
    const bool redo = event == QKeySequence::Redo;
    const int steps = document()->availableUndoSteps();
    if (isReadOnly() || !((undo && longSteps_.contains(steps)) || (redo && longSteps_.contains(steps + 1)))) {
        QTextEdit::keyPressEvent(event);
        return;
    }
    replaying_ = true;
    HoldLayout();
    if (undo)
        this->undo();
    else
        this->redo();
    ReleaseLayout(true);
    replaying_ = false;
    event->accept();
}
