// Rich Text Format writer. No Qt: it takes plain runs of UTF-16 text with their formats.
#pragma once

#include <cstdint>
#include <string>
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

// The whole document: paragraphs in order, each a list of runs (an empty list is an empty
// paragraph). Text written under a Baltic font uses the code page's bytes, anything else \uN.
std::string WriteRtf(const std::vector<RtfParagraph>& paragraphs);

}  // namespace zimbrots
