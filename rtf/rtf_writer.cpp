#include "rtf/rtf_writer.h"

#include "codepage/windows1257.h"

#include <algorithm>
#include <cstdio>

namespace zimbrots {

namespace {

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
void AppendText(std::string& out, std::u16string_view text, bool codePageBytes)
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

void RtfWriter::AddFormat(const RtfCharFormat& format)
{
    IndexOf(fonts_, FontKey{format.family, format.charset, format.fixedPitch});
    if (format.hasColor)
        IndexOf(colors_, format.rgb);
}

void RtfWriter::Begin(std::string& out)
{
    if (fonts_.empty())
        fonts_.push_back({u"Courier New", Windows1257Charset, true});

    out += "{\\rtf1\\ansi\\ansicpg1257\\deff0\\uc1\n{\\fonttbl";
    for (std::size_t i = 0; i < fonts_.size(); ++i) {
        out += "{\\f";
        AppendNumber(out, long(i));
        out += fonts_[i].fixedPitch ? "\\fmodern\\fprq1" : "\\fnil\\fprq2";
        out += "\\fcharset";
        AppendNumber(out, fonts_[i].charset);
        out += ' ';
        AppendText(out, fonts_[i].family, false);
        out += ";}";
    }
    out += "}\n{\\colortbl;";
    for (std::uint32_t rgb : colors_) {
        char entry[48];
        std::snprintf(entry, sizeof entry, "\\red%u\\green%u\\blue%u;", (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
        out += entry;
    }
    out += "}\n\\viewkind4\\pard\\plain\n";
}

void RtfWriter::Run(std::u16string_view text, const RtfCharFormat& f, std::string& out)
{
    out += "{\\f";
    AppendNumber(out, IndexOf(fonts_, FontKey{f.family, f.charset, f.fixedPitch}));
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
        AppendNumber(out, IndexOf(colors_, f.rgb) + 1);
    }
    out += ' ';
    AppendText(out, text, f.charset == Windows1257Charset);
    out += '}';
}

void RtfWriter::ParagraphBreak(std::string& out) { out += "\\par\n"; }

void RtfWriter::End(std::string& out) { out += "}\n"; }

std::string WriteRtf(const std::vector<RtfParagraph>& paragraphs)
{
    RtfWriter writer;
    for (const RtfParagraph& paragraph : paragraphs) {
        for (const RtfRun& run : paragraph)
            writer.AddFormat(run.format);
    }
    std::string out;
    writer.Begin(out);
    for (std::size_t p = 0; p < paragraphs.size(); ++p) {
        if (p > 0)
            writer.ParagraphBreak(out);
        for (const RtfRun& run : paragraphs[p])
            writer.Run(run.text, run.format, out);
    }
    writer.End(out);
    return out;
}

}  // namespace zimbrots
