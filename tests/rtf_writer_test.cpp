#include "rtf/rtf_writer.h"
#include "rtf_reader.h"

#include <gtest/gtest.h>

#include <random>

using namespace zimbrots;

namespace {

RtfCharFormat Baltic()
{
    RtfCharFormat f;
    f.family = u"Courier New";
    f.charset = 186;
    f.fixedPitch = true;
    f.halfPoints = 16;
    return f;
}

TEST(RtfWriter, EscapesAndEncodesEveryCharacter)
{
    RtfCharFormat baltic = Baltic();
    RtfCharFormat ansi = baltic;
    ansi.family = u"Liberation Serif";
    ansi.charset = 0;
    ansi.fixedPitch = false;
    const std::u16string tricky = u"|\\/| {\\rtf} ābols Žūžū 😀 Привет\tend";
    const std::string rtf = WriteRtf({{{tricky, baltic}}, {{tricky, ansi}}});

    EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1257", 0), 0u);
    EXPECT_NE(rtf.find("\\fcharset186 Courier New;"), std::string::npos);
    EXPECT_NE(rtf.find("|\\\\/| \\{\\\\rtf\\}"), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("\\'e2bols"), std::string::npos) << "Baltic text uses the code page's bytes";
    EXPECT_NE(rtf.find("\\u-10179?\\u-8704?"), std::string::npos) << "a surrogate pair is two \\u";
    EXPECT_NE(rtf.find("\\u257?bols"), std::string::npos) << "text under a non-Baltic font uses \\u";
    for (unsigned char c : rtf)
        ASSERT_LT(c, 0x80) << "the file is 7-bit";

    const RtfDocument doc = ReadRtf(rtf);
    ASSERT_EQ(doc.paragraphs.size(), 2u);
    ASSERT_EQ(doc.paragraphs[0].size(), 1u);
    EXPECT_TRUE(doc.paragraphs[0][0].text == tricky);
    EXPECT_TRUE(doc.paragraphs[1][0].text == tricky);
    EXPECT_EQ(doc.paragraphs[1][0].format.family, u"Liberation Serif");
}

TEST(RtfWriter, FormatsAndParagraphsRoundTrip)
{
    RtfCharFormat plain = Baltic();
    RtfCharFormat fancy = plain;
    fancy.family = u"Liberation Sans";
    fancy.charset = 0;
    fancy.fixedPitch = false;
    fancy.halfPoints = 28;
    fancy.bold = fancy.italic = fancy.underline = fancy.strikeOut = true;
    fancy.hasColor = true;
    fancy.rgb = 0xFF0000;
    RtfCharFormat blue = plain;
    blue.hasColor = true;
    blue.rgb = 0x0000FF;
    const std::vector<RtfParagraph> in{
        {{u"|-|3|_|_0 ", plain}, {u"big", fancy}, {u" blue", blue}},
        {},
        {{u"line one\u2028line two", plain}},
    };
    const RtfDocument doc = ReadRtf(WriteRtf(in));
    ASSERT_EQ(doc.paragraphs.size(), 3u) << "no extra empty paragraph after the last";
    ASSERT_EQ(doc.paragraphs[0].size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_TRUE(doc.paragraphs[0][k].text == in[0][k].text);
        EXPECT_TRUE(doc.paragraphs[0][k].format == in[0][k].format) << "run " << k;
    }
    EXPECT_TRUE(doc.paragraphs[1].empty());
    EXPECT_TRUE(doc.paragraphs[2][0].text == in[2][0].text);
}

TEST(RtfWriter, RandomTextAndFormatsDecodeBack)
{
    std::mt19937 rng(2026);
    const std::u16string alphabet = u"aZ|\\/{}_-āčēģīķļņšūžĀŽöõ€\t\u2028Ж日 ";
    for (int round = 0; round < 300; ++round) {
        std::vector<RtfParagraph> in(1 + rng() % 4);
        for (RtfParagraph& p : in) {
            for (unsigned r = rng() % 4; r > 0; --r) {
                RtfCharFormat f = Baltic();
                if (rng() % 2) { f.family = u"Liberation Serif"; f.charset = 0; f.fixedPitch = false; }
                f.bold = rng() % 2; f.italic = rng() % 2; f.underline = rng() % 2; f.strikeOut = rng() % 2;
                f.halfPoints = 8 + int(rng() % 40);
                f.hasColor = rng() % 2;
                f.rgb = f.hasColor ? rng() & 0xFFFFFF : 0;
                std::u16string text;
                for (unsigned n = 1 + rng() % 12; n > 0; --n)
                    text += rng() % 10 == 0 ? char16_t(0xD83D) : alphabet[rng() % alphabet.size()];
                if (!p.empty() && p.back().format == f)
                    p.back().text += text;
                else
                    p.push_back({text, f});
            }
        }
        const RtfDocument doc = ReadRtf(WriteRtf(in));
        ASSERT_EQ(doc.paragraphs.size(), in.size());
        for (std::size_t k = 0; k < in.size(); ++k) {
            ASSERT_EQ(doc.paragraphs[k].size(), in[k].size()) << "round " << round;
            for (std::size_t r = 0; r < in[k].size(); ++r) {
                ASSERT_TRUE(doc.paragraphs[k][r].text == in[k][r].text) << "round " << round;
                ASSERT_TRUE(doc.paragraphs[k][r].format == in[k][r].format) << "round " << round;
            }
        }
    }
}

}  // namespace
