// A long edit held from Qt's layout, and laid out in steps between events afterwards.
#include "platform/richedit_layout.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

THeldLayout::THeldLayout(QTextEdit& edit) : edit_(edit)
{
    QObject::connect(&revealTimer_, &QTimer::timeout, [this] { RevealStep(); });
    QObject::connect(edit.verticalScrollBar(), &QAbstractSlider::actionTriggered, &revealTimer_,
                     [this] { viewTaken_ = true; });
}

void THeldLayout::Hold()
{
    if (holds_++ > 0)
        return;
    ++heldEdits_;
    // A scroll position still on its way back stays the one to return to.
    if (!busy_ || showCursor_ || viewTaken_)
        heldScroll_ = edit_.verticalScrollBar()->value();
    // A layout still under way gives way to this edit, which keeps its read-only editor: an
    // editable one would draw its cursor, laying out everything above it at once.
    revealTimer_.stop();
    heldPage_ = edit_.document()->pageSize();
    edit_.document()->setPageSize(QSizeF(0, 0));  // Qt lays nothing out on an empty page
}

void THeldLayout::Release(bool showCursor, bool longStep)
{
    if (holds_ == 0 || --holds_ > 0)
        return;
    --heldEdits_;
    if (!replaying_ && longStep) {
        const int step = edit_.document()->availableUndoSteps();
        longSteps_.removeIf([step](int later) { return later >= step; });
        longSteps_.append(step);
    }
    // Anything that Qt draws or measures further down lays out everything above it at once:
    // the view starts at the top, and the blinking cursor is hidden, as in a read-only editor.
    // The cursor left at the end of a replaced text goes to its start, as after loading.
    if (!showCursor)
        edit_.moveCursor(QTextCursor::Start);
    edit_.verticalScrollBar()->setValue(0);
    if (!busy_) {
        busy_ = true;
        heldReadOnly_ = edit_.isReadOnly();
        edit_.setReadOnly(true);
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    // A new page size makes Qt lay the whole document out again, in steps between events.
    edit_.document()->setPageSize(heldPage_);
    showCursor_ = showCursor;
    viewTaken_ = false;
    laidOut_ = 0;
    settling_ = 0;
    revealTimer_.start(0);
}

void THeldLayout::AnswerWhileHeld()
{
    // No timers: Qt's own layout still under way would go on, at no width.
    if (holds_ > 0)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::X11ExcludeTimers);
}

void THeldLayout::InsertText(QTextCursor& cursor, QStringView text, const QTextCharFormat& format)
{
    while (holds_ > 0 && text.size() > LongestLaidOutAtOnce) {
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

void THeldLayout::RevealStep()
{
    QTextDocument* doc = edit_.document();
    const int cursor = edit_.textCursor().position();
    const int scrolledTo = showCursor_ || viewTaken_ ? 0 : heldScroll_ + edit_.viewport()->height();
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
    QScrollBar* bar = edit_.verticalScrollBar();
    if (!viewTaken_ && showCursor_) {
        edit_.ensureCursorVisible();
        const QRect shown = edit_.cursorRect();
        if ((shown.top() < 0 || shown.bottom() > edit_.viewport()->height()) && ++settling_ < Turns)
            return;
    } else if (!viewTaken_) {
        if (bar->maximum() < heldScroll_ && ++settling_ < Turns)
            return;
        bar->setValue(heldScroll_);
    }
    StopRevealing();
}

void THeldLayout::StopRevealing()
{
    revealTimer_.stop();
    if (!busy_)
        return;
    busy_ = false;
    edit_.setReadOnly(heldReadOnly_);
    QApplication::restoreOverrideCursor();
}

bool THeldLayout::Replay(QKeyEvent* event)
{
    const bool undo = event == QKeySequence::Undo;
    const bool redo = event == QKeySequence::Redo;
    const int steps = edit_.document()->availableUndoSteps();
    if (edit_.isReadOnly() || !((undo && longSteps_.contains(steps)) || (redo && longSteps_.contains(steps + 1))))
        return false;
    replaying_ = true;
    Hold();
    if (undo)
        edit_.undo();
    else
        edit_.redo();
    Release(true);
    replaying_ = false;
    event->accept();
    return true;
}
