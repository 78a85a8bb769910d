// The RTF writer on arbitrary UTF-16 text with random formats: the file must be well formed
// and decode back to the same text and formats.
#include "rtf/rtf_writer.h"
#include "rtf_reader.h"

#include <cstdint>
#include <cstdlib>

using namespace zimbrots;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const char16_t* const families[] = {u"Courier New", u"Liberation Serif", u"Verdana", u"DejaVu Sans Mono"};
    std::vector<RtfParagraph> paragraphs(1);
    std::size_t i = 0;
    const auto next = [&]() -> std::uint8_t { return i < size ? data[i++] : 0; };
    while (i < size) {
        const std::uint8_t control = next();
        if (control % 16 == 0) {
            paragraphs.emplace_back();
            continue;
        }
        RtfCharFormat f;
        f.family = families[control % 4];
        f.charset = (control & 4) ? 186 : 0;
        f.fixedPitch = control & 8;
        f.halfPoints = 2 + next() % 200;
        const std::uint8_t style = next();
        f.bold = style & 1;
        f.italic = style & 2;
        f.underline = style & 4;
        f.strikeOut = style & 8;
        f.hasColor = style & 16;
        if (f.hasColor)
            f.rgb = std::uint32_t(next()) << 16 | std::uint32_t(next()) << 8 | next();
        std::u16string text;
        for (std::uint8_t n = 1 + next() % 16; n > 0 && i + 1 < size; --n) {
            text += char16_t(data[i] | data[i + 1] << 8);
            i += 2;
        }
        if (text.empty())
            continue;
        RtfParagraph& p = paragraphs.back();
        if (!p.empty() && p.back().format == f)
            p.back().text += text;
        else
            p.push_back({text, f});
    }
    RtfDocument doc;
    try {
        doc = ReadRtf(WriteRtf(paragraphs));
    } catch (const std::exception&) {
        std::abort();  // not well formed
    }
    if (doc.paragraphs.size() != paragraphs.size())
        std::abort();
    for (std::size_t k = 0; k < paragraphs.size(); ++k) {
        if (doc.paragraphs[k].size() != paragraphs[k].size())
            std::abort();
        for (std::size_t r = 0; r < paragraphs[k].size(); ++r)
            if (!(doc.paragraphs[k][r].text == paragraphs[k][r].text) || !(doc.paragraphs[k][r].format == paragraphs[k][r].format))
                std::abort();
    }
    return 0;
}
