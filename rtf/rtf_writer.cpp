#include "rtf/rtf_writer.h"

#include "codepage/windows1257.h"

#include <algorithm>
#include <cstdio>

namespace zimbrots {

namespace {

struct FontKey {
    std::u16string family;
    int charset;
    bool fixedPitch;
    bool operator==(const FontKey&) const = default;
};

template <typename T>
int IndexOf(std::vector<T>& table, const T& value)
{
    const auto found = std::find(table.begin(), table.end(), value);
    if (found != table.end())
        return static_cast<int>(found - table.begin());
    table.push_back(value);
    return static_cast<int>(table.size() - 1);
}

void AppendNumber(std::string& out, long value) { out += std::to_string(value); }

void AppendHexByte(std::string& out, int byte)
{
    static const char digits[] = "0123456789abcdef";
    out += "\\'";
    out += digits[(byte >> 4) & 0xF];
    out += digits[byte & 0xF];
}

// A font name is ASCII in every file we write: other characters go as \uN too.
void AppendText(std::string& out, const std::u16string& text, bool codePageBytes)
{
    for (char16_t c : text) {
        if (c == u'\\' || c == u'{' || c == u'}') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == u'\t') {
            out += "\\tab ";
        } else if (c == 0x2028) {
            out += "\\line ";
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            const int byte = codePageBytes && c >= 0x80 ? zimbrots::UnicodeToWindows1257(c) : -1;
            if (byte > 0) {
                AppendHexByte(out, byte);
            } else {
                // \uN takes a signed 16-bit number; '?' is what an older reader shows instead.
                out += "\\u";
                AppendNumber(out, static_cast<std::int16_t>(c));
                out += '?';
            }
        }
    }
}

}  // namespace

std::string WriteRtf(const std::vector<RtfParagraph>& paragraphs)
{
    std::vector<FontKey> fonts;
    std::vector<std::uint32_t> colors;
    for (const RtfParagraph& paragraph : paragraphs) {
        for (const RtfRun& run : paragraph) {
            IndexOf(fonts, FontKey{run.format.family, run.format.charset, run.format.fixedPitch});
            if (run.format.hasColor)
                IndexOf(colors, run.format.rgb);
        }
    }
    if (fonts.empty())
        fonts.push_back({u"Courier New", Windows1257Charset, true});

    std::string out = "{\\rtf1\\ansi\\ansicpg1257\\deff0\\uc1\n{\\fonttbl";
    for (std::size_t i = 0; i < fonts.size(); ++i) {
        out += "{\\f";
        AppendNumber(out, long(i));
        out += fonts[i].fixedPitch ? "\\fmodern\\fprq1" : "\\fnil\\fprq2";
        out += "\\fcharset";
        AppendNumber(out, fonts[i].charset);
        out += ' ';
        AppendText(out, fonts[i].family, false);
        out += ";}";
    }
    out += "}\n{\\colortbl;";
    for (std::uint32_t rgb : colors) {
        char entry[48];
        std::snprintf(entry, sizeof entry, "\\red%u\\green%u\\blue%u;", (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
        out += entry;
    }
    out += "}\n\\viewkind4\\pard\\plain\n";

    for (std::size_t p = 0; p < paragraphs.size(); ++p) {
        for (const RtfRun& run : paragraphs[p]) {
            const RtfCharFormat& f = run.format;
            out += "{\\f";
            AppendNumber(out, IndexOf(fonts, FontKey{f.family, f.charset, f.fixedPitch}));
            out += "\\fs";
            AppendNumber(out, f.halfPoints);
            if (f.bold)
                out += "\\b";
            if (f.italic)
                out += "\\i";
            if (f.underline)
                out += "\\ul";
            if (f.strikeOut)
                out += "\\strike";
            if (f.hasColor) {
                out += "\\cf";
                AppendNumber(out, IndexOf(colors, f.rgb) + 1);
            }
            out += ' ';
            AppendText(out, run.text, f.charset == Windows1257Charset);
            out += '}';
        }
        // The last paragraph has no \par: a reader would make an empty one after it.
        if (p + 1 < paragraphs.size())
            out += "\\par\n";
    }
    out += "}\n";
    return out;
}

}  // namespace zimbrots
