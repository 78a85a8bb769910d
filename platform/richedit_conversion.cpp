// The whole text replaced by its conversion as one step of undo that keeps the old content
// compactly, where Qt's own undo would keep every removed character and a command for each
// fragment and paragraph.
#include "platform/richedit.h"

#include <QAbstractUndoItem>
#include <QByteArray>
#include <QStringEncoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

// A piece of text is at most this many bytes of UTF-8, and ends where converting it apart
// from the next gives the same text: after a break if there is one in it, else before a
// character that neither continues a UTF-8 sequence nor is a combining mark
// (U+0300..U+036F) after a letter, which converts with that letter.
std::size_t PieceEnd(std::string_view text, std::size_t begin)
{
    const std::size_t limit = begin + THeldLayout::LongestLaidOutAtOnce;
    if (limit >= text.size())
        return text.size();
    const std::size_t lastBreak = text.rfind('\n', limit - 1);
    if (lastBreak != std::string_view::npos && lastBreak >= begin)
        return lastBreak + 1;
    std::size_t end = limit;
    for (; end > begin + 1; --end) {
        const auto byte = static_cast<unsigned char>(text[end]);
        const bool mark = byte == 0xCC || byte == 0xCD;
        if ((byte & 0xC0) != 0x80 && !(mark && static_cast<unsigned char>(text[end - 1]) < 0x80))
            break;
    }
    return end;
}

// A piece of a record's text, compressed where that pays.
struct Piece {
    QByteArray bytes;
    bool compressed = false;

    QString Text() const
    {
        return QString::fromUtf8(compressed ? qUncompress(bytes) : bytes);
    }
    void Compress()
    {
        if (compressed)
            return;
        QByteArray smaller = qCompress(bytes, 1);  // the fastest: Convert waits for it
        if (smaller.size() < bytes.size() * 3 / 4) {
            bytes = std::move(smaller);
            compressed = true;
        }
    }
};

// The document's text and formats, as few bytes as it takes: the text in UTF-8 with '\n'
// between paragraphs, in pieces, and the formats as runs over it.
struct TextRecord {
    struct CharRun {
        qsizetype length;  // UTF-16 units of paragraph text; the breaks are not counted
        int format;        // an index into formats
    };
    struct BlockRun {
        qsizetype count;
        int format;
        int charFormat;  // for text typed into the empty paragraph
    };
    std::vector<Piece> pieces;
    std::size_t bytes = 0;  // of UTF-8, all pieces together
    std::vector<CharRun> runs;
    std::vector<BlockRun> blocks;
    QList<QTextFormat> formats;  // the document's own, by their index
};

bool HasLoneSurrogate(QStringView text)
{
    // Most text has no surrogate at all, which a loop without a branch finds quickly.
    bool any = false;
    for (const QChar c : text)
        any |= c.isSurrogate();
    if (!any)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            return true;
    }
    return false;
}

// Nothing when the document holds what a record cannot bring back exactly: tables, lists,
// pictures, or a half of a surrogate pair, which UTF-8 cannot hold.
std::optional<TextRecord> RecordOf(const QTextDocument& doc)
{
    if (!doc.rootFrame()->childFrames().isEmpty())
        return std::nullopt;
    TextRecord record;
    std::string pending;  // UTF-8 not yet cut into pieces
    const auto cut = [&](bool all) {
        std::size_t begin = 0;
        while (pending.size() - begin >= THeldLayout::LongestLaidOutAtOnce || (all && begin < pending.size())) {
            const std::size_t end = PieceEnd(pending, begin);
            record.pieces.push_back({QByteArray(pending.data() + begin, qsizetype(end - begin))});
            begin = end;
        }
        pending.erase(0, begin);
    };
    QStringEncoder toUtf8(QStringEncoder::Utf8);
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        if (block != doc.begin())
            pending += '\n';
        if (!record.blocks.empty() && record.blocks.back().format == block.blockFormatIndex() &&
            record.blocks.back().charFormat == block.charFormatIndex())
            ++record.blocks.back().count;
        else
            record.blocks.push_back({1, block.blockFormatIndex(), block.charFormatIndex()});
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QString text = fragment.text();
            if (HasLoneSurrogate(text))
                return std::nullopt;
            const std::size_t used = pending.size();
            pending.resize(used + std::size_t(toUtf8.requiredSpace(text.size())));
            pending.resize(std::size_t(toUtf8.appendToBuffer(pending.data() + used, text) - pending.data()));
            record.bytes += pending.size() - used;
            if (!record.runs.empty() && record.runs.back().format == fragment.charFormatIndex())
                record.runs.back().length += text.size();
            else
                record.runs.push_back({text.size(), fragment.charFormatIndex()});
            cut(false);
        }
    }
    cut(true);
    record.formats = doc.allFormats();
    for (const TextRecord::BlockRun& blocks : record.blocks) {
        if (record.formats.value(blocks.format).objectIndex() != -1)
            return std::nullopt;  // a list
    }
    for (const TextRecord::CharRun& run : record.runs) {
        if (record.formats.value(run.format).toCharFormat().objectType() != QTextFormat::NoObject)
            return std::nullopt;  // a picture
    }
    return record;
}

// Converts a record's pieces, and compresses them, on a thread of its own, a few pieces ahead
// of the window, which takes the converted pieces in order and puts them into the document:
// converting and compressing cost the window no time. The thread touches only the pieces,
// which the window leaves alone meanwhile; the document is the window's alone.
class PieceConverter {
public:
    PieceConverter(std::vector<Piece>& pieces, TRichEditLines::Conversion convert)
        : pieces_(pieces), convert_(convert), thread_([this] { Run(); })
    {
    }
    ~PieceConverter()
    {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    PieceConverter(const PieceConverter&) = delete;
    PieceConverter& operator=(const PieceConverter&) = delete;

    // The next piece converted, in order; nothing after the last. Throws what converting threw.
    std::optional<std::u16string> Next()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !ready_.empty() || done_; });
        if (ready_.empty()) {
            if (failure_)
                std::rethrow_exception(failure_);
            return std::nullopt;
        }
        std::u16string piece = std::move(ready_.front());
        ready_.pop_front();
        changed_.notify_all();
        return piece;
    }

private:
    // Enough to keep the window busy, few enough not to hold the text twice.
    static constexpr std::size_t Ahead = 4;

    void Run()
    {
        try {
            for (Piece& piece : pieces_) {
                const QString text = piece.Text();
                std::u16string converted = convert_({QStringView(text).utf16(), std::size_t(text.size())});
                {
                    std::unique_lock lock(mutex_);
                    changed_.wait(lock, [this] { return ready_.size() < Ahead || stop_; });
                    if (stop_)
                        return;
                    ready_.push_back(std::move(converted));
                }
                changed_.notify_all();
                piece.Compress();
            }
        } catch (...) {
            const std::lock_guard lock(mutex_);
            failure_ = std::current_exception();
        }
        const std::lock_guard lock(mutex_);
        done_ = true;
        changed_.notify_all();
    }

    std::vector<Piece>& pieces_;
    const TRichEditLines::Conversion convert_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::u16string> ready_;
    bool done_ = false;
    bool stop_ = false;
    std::exception_ptr failure_;
    std::thread thread_;  // last: it starts once the rest is made
};

// Convert's step of undo: it holds the old content as a record; its undo puts that back, its
// redo converts it again. Both run inside Qt's undo, with Qt's own undo off.
class ConversionStep : public QAbstractUndoItem {
public:
    ConversionStep(TRichEdit& edit, TextRecord record, TRichEditLines::Conversion convert)
        : edit_(edit), record_(std::move(record)), convert_(convert)
    {
    }

    void undo() override { Replace(false, [this](QTextCursor& cursor) { Restore(cursor); }); }
    void redo() override { Replace(false, [this](QTextCursor& cursor) { Convert(cursor); }); }
    // Convert itself, with Qt's undo off and its history gone: the document is emptied as
    // loading empties it, which is quicker than removing its text.
    void Apply() { Replace(true, [this](QTextCursor& cursor) { Convert(cursor); }); }

private:
    // Empties the document, then fills it anew, held from the layout and in steps between
    // which the window answers, as a long paste goes in. Called inside an edit block.
    template <typename Fill>
    void Replace(bool clear, Fill fill)
    {
        QTextDocument& doc = *edit_.document();
        THeldLayout& layout = edit_.HeldLayout();
        const bool held = doc.characterCount() > THeldLayout::LongestLaidOutAtOnce ||
                          record_.bytes > THeldLayout::LongestLaidOutAtOnce;
        if (held)
            layout.Hold();
        // Released however the fill ends, or the window would stay held.
        const std::unique_ptr<THeldLayout, void (*)(THeldLayout*)> release(
            held ? &layout : nullptr, [](THeldLayout* held) { held->Release(false, false); });
        QTextCursor cursor(&doc);
        if (clear) {
            doc.clear();
        } else {
            cursor.select(QTextCursor::Document);
            cursor.removeSelectedText();
            ReportChange(doc);
        }
        fill(cursor);
        ReportChange(doc);
    }

    // Qt tells the layout and a screen reader of a change, and drops the text removed while its
    // undo is off, only when the outermost edit block ends; within the one Qt's undo opens, end
    // it and begin again. After each piece, so that a screen reader is told a piece at a time.
    static void ReportChange(QTextDocument& doc)
    {
        QTextCursor cursor(&doc);
        cursor.endEditBlock();
        cursor.beginEditBlock();
    }

    void Convert(QTextCursor& cursor)
    {
        const QTextCharFormat base = edit_.BaseFormat();
        cursor.setBlockFormat(QTextBlockFormat());
        cursor.setBlockCharFormat(base);
        PieceConverter converter(record_.pieces, convert_);
        while (const std::optional<std::u16string> piece = converter.Next()) {
            edit_.HeldLayout().InsertText(cursor, QStringView(piece->data(), qsizetype(piece->size())), base);
            ReportChange(*edit_.document());
            edit_.HeldLayout().AnswerWhileHeld();
        }
    }

    void Restore(QTextCursor& cursor)
    {
        const auto formatAt = [this](int index) { return record_.formats.value(index); };
        auto block = record_.blocks.cbegin();
        qsizetype blocksLeft = block->count;
        cursor.setBlockFormat(formatAt(block->format).toBlockFormat());
        cursor.setBlockCharFormat(formatAt(block->charFormat).toCharFormat());
        auto run = record_.runs.cbegin();
        qsizetype runLeft = run == record_.runs.cend() ? 0 : run->length;
        for (const Piece& piece : record_.pieces) {
            const QString text = piece.Text();
            // A piece may end inside a paragraph, which the next piece goes on with.
            for (QStringView rest(text);;) {
                // The rest at once where its text is all in one run, and its paragraphs are
                // formatted as the one it starts in, with the run's format as their own: plain
                // text, whose paragraphs Qt makes as quickly as it loads them.
                const qsizetype breaks = rest.count(u'\n');
                if (blocksLeft > breaks && runLeft >= rest.size() - breaks &&
                    (breaks == 0 || (run != record_.runs.cend() && block->charFormat == run->format))) {
                    if (!rest.isEmpty())
                        cursor.insertText(QString::fromRawData(rest.data(), rest.size()), formatAt(run->format).toCharFormat());
                    blocksLeft -= breaks;
                    if ((runLeft -= rest.size() - breaks) == 0 && ++run != record_.runs.cend())
                        runLeft = run->length;
                    break;
                }
                const qsizetype lineEnd = rest.indexOf(u'\n');
                // The line's text, in the formats of the runs it crosses.
                for (QStringView line = lineEnd < 0 ? rest : rest.first(lineEnd); !line.isEmpty();) {
                    const qsizetype length = qMin(line.size(), runLeft);
                    cursor.insertText(QString::fromRawData(line.data(), length), formatAt(run->format).toCharFormat());
                    line = line.sliced(length);
                    if ((runLeft -= length) == 0 && ++run != record_.runs.cend())
                        runLeft = run->length;
                }
                if (lineEnd < 0)
                    break;
                rest = rest.sliced(lineEnd + 1);
                if (--blocksLeft == 0)
                    blocksLeft = (++block)->count;
                cursor.insertBlock(formatAt(block->format).toBlockFormat(), formatAt(block->charFormat).toCharFormat());
            }
            ReportChange(*edit_.document());
            edit_.HeldLayout().AnswerWhileHeld();
        }
    }

    TRichEdit& edit_;
    TextRecord record_;
    TRichEditLines::Conversion convert_;
};

}  // namespace

bool TRichEditLines::Convert(Conversion convert)
{
    QTextDocument& doc = *edit_.document();
    std::optional<TextRecord> record = RecordOf(doc);
    if (!record)
        return false;
    auto step = std::make_unique<ConversionStep>(edit_, std::move(*record), convert);
    const bool modified = doc.isModified();
    // Off, Qt drops the history, and with it every removed character it kept; the step below
    // becomes the oldest.
    doc.setUndoRedoEnabled(false);
    edit_.HeldLayout().ForgetSteps();
    QTextCursor block(&doc);
    block.beginEditBlock();
    try {
        step->Apply();
    } catch (...) {
        // Out of memory halfway: the old text goes back, without its history, rather than
        // being lost with the step.
        step->undo();
        block.endEditBlock();
        doc.setUndoRedoEnabled(true);
        throw;
    }
    block.endEditBlock();
    doc.setModified(modified);
    doc.setUndoRedoEnabled(true);
    // In an edit block, whose end sets the modified flag by the step; begun at the start, or
    // Qt would add a step that moves the cursor to where the block began.
    QTextCursor start(&doc);
    start.beginEditBlock();
    doc.appendUndoItem(step.release());
    start.endEditBlock();
    return true;
}
