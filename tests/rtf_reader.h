// A small RTF reader for the tests: checks that a file is well formed and decodes its text and
// character formats, so that what the writer wrote can be compared with what went in.
#pragma once

#include "rtf/rtf_writer.h"
#include "codepage/windows1257.h"

#include <cctype>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace zimbrots {

struct RtfDocument {
    std::vector<RtfParagraph> paragraphs;
};

inline RtfDocument ReadRtf(const std::string& rtf)
{
    static const std::set<std::string> known = {
        "rtf", "ansi", "ansicpg", "deff", "uc", "fonttbl", "f", "fnil", "fmodern", "fprq", "fcharset",
        "colortbl", "red", "green", "blue", "viewkind", "pard", "plain", "fs", "b", "i", "ul", "ulnone",
        "strike", "cf", "par", "line", "tab", "u"};
    struct State {
        RtfCharFormat format;
        int font = 0;
        int color = 0;
        enum { Body, FontTable, ColorTable } destination = Body;
    };
    std::vector<State> stack{State{}};
    std::map<int, RtfCharFormat> fonts;  // family, charset, pitch of each font number
    std::vector<std::uint32_t> colors;
    int definingFont = -1;
    std::string fontName;
    std::uint32_t red = 0, green = 0, blue = 0;
    bool colorSeen = false;
    RtfDocument doc;
    doc.paragraphs.emplace_back();
    bool started = false;

    RtfCharFormat f;  // reused, so that a character costs no allocation
    auto put = [&](char16_t c) {
        State& s = stack.back();
        if (s.destination == State::FontTable) {
            if (c == u';') {
                fonts[definingFont].family = std::u16string(fontName.begin(), fontName.end());
                fontName.clear();
            } else {
                fontName += static_cast<char>(c);
            }
            return;
        }
        if (s.destination == State::ColorTable)
            return;
        f = s.format;
        const RtfCharFormat& face = fonts[s.font];
        f.family = face.family;
        f.charset = face.charset;
        f.fixedPitch = face.fixedPitch;
        f.hasColor = s.color > 0;
        f.rgb = s.color > 0 ? colors.at(std::size_t(s.color - 1)) : 0;
        RtfParagraph& p = doc.paragraphs.back();
        if (p.empty() || !(p.back().format == f))
            p.push_back({u"", f});
        p.back().text += c;
    };

    std::size_t i = 0;
    int skip = 0;  // fallback characters still to skip after \uN
    while (i < rtf.size()) {
        const char c = rtf[i];
        if (c == '{') {
            stack.push_back(stack.back());
            ++i;
            started = true;
        } else if (c == '}') {
            if (stack.size() <= 1)
                throw std::runtime_error("unbalanced }");
            stack.pop_back();
            ++i;
            if (stack.size() == 1 && i < rtf.size() && rtf.find_first_not_of("\r\n", i) != std::string::npos)
                throw std::runtime_error("text after the document's group");
        } else if (c == '\\') {
            ++i;
            if (i >= rtf.size())
                throw std::runtime_error("\\ at the end");
            const char n = rtf[i];
            if (n == '\\' || n == '{' || n == '}') {
                if (skip > 0) --skip; else put(static_cast<char16_t>(n));
                ++i;
            } else if (n == '\'') {
                if (i + 2 >= rtf.size())
                    throw std::runtime_error("short \\'");
                const int byte = std::stoi(rtf.substr(i + 1, 2), nullptr, 16);
                i += 3;
                if (skip > 0) { --skip; continue; }
                const int charset = fonts[stack.back().font].charset;
                if (charset != 186)
                    throw std::runtime_error("code-page byte under a font that is not Baltic");
                put(zimbrots::Windows1257ToUnicode[byte]);
            } else if (std::isalpha(static_cast<unsigned char>(n))) {
                std::size_t start = i;
                while (i < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[i])))
                    ++i;
                const std::string word = rtf.substr(start, i - start);
                bool hasNumber = false;
                long number = 0;
                std::size_t numberStart = i;
                if (i < rtf.size() && (rtf[i] == '-' || std::isdigit(static_cast<unsigned char>(rtf[i])))) {
                    ++i;
                    while (i < rtf.size() && std::isdigit(static_cast<unsigned char>(rtf[i])))
                        ++i;
                    number = std::stol(rtf.substr(numberStart, i - numberStart));
                    hasNumber = true;
                }
                if (i < rtf.size() && rtf[i] == ' ')
                    ++i;
                if (!known.count(word))
                    throw std::runtime_error("unknown control word \\" + word);
                State& s = stack.back();
                if (word == "fonttbl") s.destination = State::FontTable;
                else if (word == "colortbl") s.destination = State::ColorTable;
                else if (word == "f" && s.destination == State::FontTable) { definingFont = int(number); fonts[definingFont]; }
                else if (word == "f") s.font = int(number);
                else if (word == "fcharset") fonts[definingFont].charset = int(number);
                else if (word == "fprq") fonts[definingFont].fixedPitch = number == 1;
                else if (word == "red") { red = std::uint32_t(number); colorSeen = true; }
                else if (word == "green") { green = std::uint32_t(number); colorSeen = true; }
                else if (word == "blue") { blue = std::uint32_t(number); colorSeen = true; }
                else if (word == "fs") s.format.halfPoints = int(number);
                else if (word == "b") s.format.bold = !hasNumber || number != 0;
                else if (word == "i") s.format.italic = !hasNumber || number != 0;
                else if (word == "ul") s.format.underline = !hasNumber || number != 0;
                else if (word == "ulnone") s.format.underline = false;
                else if (word == "strike") s.format.strikeOut = !hasNumber || number != 0;
                else if (word == "cf") s.color = int(number);
                else if (word == "plain") { s.format = RtfCharFormat{}; s.color = 0; }
                else if (word == "par") doc.paragraphs.emplace_back();
                else if (word == "line") put(0x2028);
                else if (word == "tab") put(u'\t');
                else if (word == "u") { put(static_cast<char16_t>(std::int16_t(number))); skip = 1; }
            } else {
                throw std::runtime_error(std::string("unknown escape \\") + n);
            }
        } else if (c == '\r' || c == '\n') {
            ++i;
        } else {
            if (!started)
                throw std::runtime_error("text before the document's group");
            if (stack.back().destination == State::ColorTable && c == ';') {
                // The entry with no colour words is the reader's automatic colour, not numbered.
                if (colorSeen)
                    colors.push_back((red << 16) | (green << 8) | blue);
                red = green = blue = 0;
                colorSeen = false;
            } else if (skip > 0) {
                --skip;
            } else {
                put(static_cast<unsigned char>(c) < 0x80 ? char16_t(c) : throw std::runtime_error("raw 8-bit byte"));
            }
            ++i;
        }
    }
    if (stack.size() != 1)
        throw std::runtime_error("unbalanced {");
    return doc;
}

}  // namespace zimbrots
