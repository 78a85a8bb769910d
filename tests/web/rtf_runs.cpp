// The desktop program's RTF for runs that a test names, to compare with a file the page saved.
// Reads lines from standard input: "F family charset halfPoints flags" adds a format (flags as
// the page's: 1 bold, 2 italic, 16 fixed pitch), "R format UTF-16-units-in-hex" a run, "P" a
// paragraph break. Writes the RTF to standard output.
#include "rtf/rtf_writer.h"

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

int main()
{
    std::vector<zimbrots::RtfCharFormat> formats;
    std::vector<zimbrots::RtfParagraph> paragraphs(1);
    for (std::string line; std::getline(std::cin, line);) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        if (kind == "F") {
            zimbrots::RtfCharFormat f;
            std::string family;
            int flags = 0;
            fields >> family >> f.charset >> f.halfPoints >> flags;
            for (char c : family)
                f.family += c == '_' ? u' ' : char16_t(c);
            f.bold = flags & 1;
            f.italic = flags & 2;
            f.fixedPitch = flags & 16;
            formats.push_back(f);
        } else if (kind == "R") {
            std::size_t format = 0;
            std::string hex;
            fields >> format >> hex;
            std::u16string text;
            for (std::size_t i = 0; i + 4 <= hex.size(); i += 4)
                text += char16_t(std::stoul(hex.substr(i, 4), nullptr, 16));
            paragraphs.back().push_back({text, formats.at(format)});
        } else if (kind == "P") {
            paragraphs.emplace_back();
        }
    }
    const std::string rtf = zimbrots::WriteRtf(paragraphs);
    std::fwrite(rtf.data(), 1, rtf.size(), stdout);
    return std::ferror(stdout) ? 1 : 0;
}
