#include "platform/richedit.h"

#include "platform/exception.h"
#include "rtf/rtf_writer.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QScrollBar>
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

zimbrots::RtfCharFormat RtfFormatOf(const QTextCharFormat& format, const TFont& base)
{
    zimbrots::RtfCharFormat rtf;
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
    edit_.InsertText(cursor, QStringView(text).first(length), edit_.BaseFormat());
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
    if (edit_.document()->characterCount() > TRichEdit::LongestLaidOutAtOnce)
        edit_.HoldLayout();
    edit_.textCursor().beginEditBlock();
}

void TRichEditLines::EndUpdate()
{
    if (updates_ == 0 || --updates_ > 0)
        return;
    edit_.textCursor().endEditBlock();
    edit_.ReleaseLayout(false);
}

void TRichEditLines::SaveToFile(const QString& name) const
{
    const TFont base = edit_.Font();
    std::vector<zimbrots::RtfParagraph> paragraphs;
    for (QTextBlock block = edit_.document()->begin(); block.isValid(); block = block.next()) {
        zimbrots::RtfParagraph& paragraph = paragraphs.emplace_back();
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid())
                paragraph.push_back({fragment.text().toStdU16String(), RtfFormatOf(fragment.charFormat(), base)});
        }
    }
    const std::string rtf = zimbrots::WriteRtf(paragraphs);

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
    connect(&revealTimer_, &QTimer::timeout, this, &TRichEdit::RevealStep);
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this] { viewTaken_ = true; });
}

// The busy cursor is the application's: it goes with an editor closed before its layout ended.
TRichEdit::~TRichEdit() { StopRevealing(); }

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
        // Never between CR and LF, which would make two breaks, nor inside a surrogate pair.
        if ((text[length - 1] == u'\r' && text[length] == u'\n') || text[length - 1].isHighSurrogate())
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
    AnswerWhileHeld();
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
    const bool large = rich ? source->html().size() > LongestLaidOutAtOnce : text.size() > LongestLaidOutAtOnce;
    if (large)
        HoldLayout();
    else
        StopRevealing();  // editable again, for Qt's paste
    if (rich) {
        paste();
    } else if (large) {
        // The editor's own cursor moves on with the text, as with insertPlainText.
        QTextCursor cursor = textCursor();
        cursor.beginEditBlock();  // one undo step
        InsertText(cursor, text, cursor.charFormat());
        cursor.endEditBlock();
    } else {
        insertPlainText(text);
        ensureCursorVisible();
    }
    if (large)
        ReleaseLayout(true);
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
