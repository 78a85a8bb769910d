// Rich Text Format writer. No Qt: it takes plain runs of UTF-16 text with their formats.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zimbrots {

struct RtfCharFormat {
    std::u16string family;
    int charset = 1;          // \fcharset: 0 ANSI, 1 default, Windows1257Charset, ...
    bool fixedPitch = false;
    int halfPoints = 20;      // \fs
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    bool hasColor = false;    // false: the reader's automatic colour
    std::uint32_t rgb = 0;    // 0xRRGGBB

    bool operator==(const RtfCharFormat&) const = default;
};

struct RtfRun {
    std::u16string text;      // U+2028 starts a new line within the paragraph
    RtfCharFormat format;
};

using RtfParagraph = std::vector<RtfRun>;

// Writes a document a run at a time, so that a long one is never held whole as RTF. The font
// and colour tables come before the text: every format is added before Begin.
class RtfWriter {
public:
    void AddFormat(const RtfCharFormat& format);
    // Each appends to out what it writes.
    void Begin(std::string& out);
    void Run(std::u16string_view text, const RtfCharFormat& format, std::string& out);
    // Between two paragraphs; the last has none, or a reader would make an empty one after it.
    void ParagraphBreak(std::string& out);
    void End(std::string& out);

private:
    struct FontKey {
        std::u16string family;
        int charset;
        bool fixedPitch;
        bool operator==(const FontKey&) const = default;
    };
    std::vector<FontKey> fonts_;
    std::vector<std::uint32_t> colors_;
};

// The whole document: paragraphs in order, each a list of runs (an empty list is an empty
// paragraph). Text written under a Baltic font uses the code page's bytes, anything else \uN.
std::string WriteRtf(const std::vector<RtfParagraph>& paragraphs);

}  // namespace zimbrots
