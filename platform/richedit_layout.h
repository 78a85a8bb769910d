// A long edit held from Qt's layout, and laid out in steps between events afterwards, as Qt
// lays out a loaded text, where an edit of megabytes would be laid out at once.
#pragma once

#include <QList>
#include <QSizeF>
#include <QStringView>
#include <QTimer>

class QKeyEvent;
class QTextCharFormat;
class QTextCursor;
class QTextEdit;

class THeldLayout {
public:
    explicit THeldLayout(QTextEdit& edit);
    // The busy cursor is the application's: it goes with an editor closed before its layout ended.
    ~THeldLayout() { StopRevealing(); }
    THeldLayout(const THeldLayout&) = delete;
    THeldLayout& operator=(const THeldLayout&) = delete;

    // Between these, edits are not laid out: the last release lays the whole text out again
    // in steps between events. Until the layout reaches the cursor, the editor is read-only
    // and the busy cursor shows; then the view goes to the cursor, or back to the scroll
    // position it had, unless the user has moved it meanwhile. A release without a hold does
    // nothing. A long step is one that Replay holds when it is undone or redone.
    void Hold();
    void Release(bool showCursor, bool longStep = true);
    // The undo history has been dropped: no step is long any more.
    void ForgetSteps() { longSteps_.clear(); }
    // True while any editor's layout is held: an edit is under way, and the window answers
    // between its steps.
    static bool AnyHeld() { return heldEdits_ > 0; }
    // Inserts text at the cursor as QTextCursor::insertText does. While the layout is held, a
    // text longer than a step goes in step by step, and the window answers between them; the
    // user's keys and clicks wait until the whole text is in.
    void InsertText(QTextCursor& cursor, QStringView text, const QTextCharFormat& format);
    // While the layout is held, the window repaints and answers, but takes no keys or clicks.
    void AnswerWhileHeld();
    // Undo or redo of a step that put a long text in is as long an edit again, and is held as
    // it was; false for any other key.
    bool Replay(QKeyEvent* event);
    // Editable again at once, with the layout left to Qt.
    void StopRevealing();

    // Inserted text longer than this is laid out in steps; also the size of a step, and of
    // the pieces a long text is inserted in.
    static constexpr int LongestLaidOutAtOnce = 100000;

private:
    void RevealStep();

    QTextEdit& edit_;
    int holds_ = 0;
    QSizeF heldPage_;
    int heldScroll_ = 0;
    bool busy_ = false;  // read-only, with the busy cursor, until the layout reaches the cursor
    bool heldReadOnly_ = false;
    bool showCursor_ = false;  // the view's target after a release; else the held scroll position
    bool viewTaken_ = false;   // the user has scrolled since the release
    int laidOut_ = 0;          // the layout has reached this position
    int settling_ = 0;         // turns of the event loop spent waiting for the scroll bar
    QTimer revealTimer_;
    // The undo steps, counted from the first, that put a long text in.
    QList<int> longSteps_;
    bool replaying_ = false;
    static inline int heldEdits_ = 0;
};
