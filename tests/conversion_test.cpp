#include "conversion/convert.h"
#include "codepage/windows1257.h"
#include "conversion/hacker_table.h"
#include "conversion/conversion_path.h"
#include "conversion/vector_passes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iconv.h>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace zimbrots;

namespace {

// A plain transcription of the in-place loop: insert the replacement at i, delete the matched
// character behind it, and step past what was inserted. Positions here count from 0.
std::string ReferenceInPlace(std::string text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        for (const HackerRow& row : HackerTable) {
            if (byte == row.lower || byte == row.upper) {
                const std::size_t n = row.replacement.size();
                text.insert(i, row.replacement);
                text.erase(i + n, 1);
                i += n - 1;
                break;
            }
        }
        ++i;
    }
    return text;
}

std::string Convert(std::string text)
{
    ConvertToHacker(text);
    return text;
}

std::string Windows1257ToUtf8(const std::string& bytes)
{
    std::string out;
    for (unsigned char b : bytes) {
        const char32_t c = Windows1257ToUnicode[b];
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string Windows1257ToUtf16(const std::string& bytes)
{
    std::u16string out;
    for (unsigned char b : bytes)
        out += Windows1257ToUnicode[b];
    return out;
}

bool DefinedInWindows1257(unsigned char b) { return b == 0 || Windows1257ToUnicode[b] != 0; }

std::string RandomBytes(std::mt19937& rng, std::size_t maxLength, bool definedOnly)
{
    std::uniform_int_distribution<int> length(0, int(maxLength));
    std::uniform_int_distribution<int> byte(0, 255);
    std::string text;
    const int n = length(rng);
    while (int(text.size()) < n) {
        const unsigned char b = static_cast<unsigned char>(byte(rng));
        if (!definedOnly || DefinedInWindows1257(b))
            text += static_cast<char>(b);
    }
    return text;
}

TEST(HackerTable, RowsAreBoundBytes)
{
    // The Latvian rows, read through the code page, are the letters they stand for.
    const std::u16string lower = u"āčēģīķļņšūž", upper = u"ĀČĒĢĪĶĻŅŠŪŽ";
    for (std::size_t k = 0; k < lower.size(); ++k) {
        EXPECT_EQ(Windows1257ToUnicode[HackerTable[16 + k].lower], lower[k]);
        EXPECT_EQ(Windows1257ToUnicode[HackerTable[16 + k].upper], upper[k]);
    }
    std::set<unsigned char> codes;
    for (const HackerRow& row : HackerTable) {
        EXPECT_TRUE(codes.insert(row.lower).second);
        EXPECT_TRUE(codes.insert(row.upper).second);
        EXPECT_LE(row.replacement.size(), MaxReplacementLength);
        for (char c : row.replacement) {
            const unsigned char b = static_cast<unsigned char>(c);
            EXPECT_LT(b, 0x80);
            for (const HackerRow& other : HackerTable)
                EXPECT_TRUE(b != other.lower && b != other.upper) << "replacement byte has a row: " << c;
        }
    }
    EXPECT_EQ(HackerTable[7].replacement, std::string_view("\x7C\x5C\x2F\x7C"));
    EXPECT_EQ(HackerTable[25].replacement, std::string_view("\x7C\x5F\x7C\x7C\x5F\x7C"));
}

TEST(Windows1257, AgreesWithTheSystemCodec)
{
    iconv_t cd = iconv_open("UTF-16LE", "WINDOWS-1257");
#ifdef ZIMBROTS_NO_SYSTEM_CODEPAGES
    if (cd == (iconv_t)-1)
        GTEST_SKIP() << "this C library has no Windows-1257 codec to compare with (a cross build)";
#endif
    ASSERT_NE(cd, (iconv_t)-1);
    for (int b = 0; b < 256; ++b) {
        char in = static_cast<char>(b);
        char out[4] = {};
        char* inPtr = &in;
        char* outPtr = out;
        std::size_t inLeft = 1, outLeft = sizeof out;
        const std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        if (result == std::size_t(-1)) {
            EXPECT_FALSE(DefinedInWindows1257(static_cast<unsigned char>(b))) << "byte " << b;
        } else {
            const char16_t expected = char16_t(static_cast<unsigned char>(out[0]) | (static_cast<unsigned char>(out[1]) << 8));
            EXPECT_EQ(Windows1257ToUnicode[b], expected) << "byte " << b;
            EXPECT_EQ(UnicodeToWindows1257(expected), b);
        }
    }
    iconv_close(cd);
}

TEST(ConvertBytes, KnownWords)
{
    EXPECT_EQ(Convert(""), "");
    EXPECT_EQ(Convert("Hello"), "|-|3|_|_0");
    EXPECT_EQ(Convert("HELLO"), "|-|3|_|_0");
    EXPECT_EQ(Convert("\xE2\x62\x6F\x6C\x73"), "44b0|_5");               // ābols
    EXPECT_EQ(Convert("\xCD\xE7\xED\x69\x73"), "kj33kj|5");              // Ķēķis
    EXPECT_EQ(Convert("\xDE\xFB\xFE\xFB"), "2|-||_||_|2|-||_||_|");      // Žūžū
    EXPECT_EQ(Convert("abc\r\ndef"), "4b(\r\nd3f");
    EXPECT_EQ(Convert("4"), "4");
    EXPECT_EQ(Convert("bdfjkpqwxy BDFJKPQWXY 0123456789 \xF6\xFC\xF5"), "bdfjkpqwxy BDFJKPQWXY 0123456789 \xF6\xFC\xF5");
}

TEST(ConvertBytes, EveryByteValue)
{
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        std::string expected = one;
        for (const HackerRow& row : HackerTable)
            if (b == row.lower || b == row.upper)
                expected = std::string(row.replacement);
        EXPECT_EQ(Convert(one), expected) << "byte " << b;
        EXPECT_EQ(Convert("x" + one + "x"), "x" + expected + "x") << "byte " << b;
    }
}

TEST(ConvertBytes, MatchesTheInPlaceLoopOnRandomText)
{
    std::mt19937 rng(1257);
    for (int round = 0; round < 2000; ++round) {
        const std::string text = RandomBytes(rng, 200, false);
        const std::string converted = Convert(text);
        ASSERT_EQ(converted, ReferenceInPlace(text));
        ASSERT_EQ(Convert(converted), converted) << "a second pass changed the text";
        ASSERT_LE(converted.size(), text.size() * MaxReplacementLength);
    }
    // Few letters, so that runs that do not grow meet runs that grow sixfold.
    const std::string letters = "ab \xFBh";
    std::uniform_int_distribution<std::size_t> pick(0, letters.size() - 1), length(0, 100);
    for (int round = 0; round < 2000; ++round) {
        std::string text(length(rng), ' ');
        for (char& c : text)
            c = letters[pick(rng)];
        ASSERT_EQ(Convert(text), ReferenceInPlace(text)) << text;
    }
}

TEST(ConvertBytes, GrowsAtMostSixfold)
{
    const std::string text(1000, '\xFB');
    EXPECT_EQ(Convert(text).size(), 6000u);
    EXPECT_EQ(Convert(std::string(1000, '\xDB')).size(), 6000u);
}

TEST(ConvertUnicode, AllFormsAgreeOnCodePageText)
{
    std::mt19937 rng(186);
    for (int round = 0; round < 2000; ++round) {
        const std::string text = RandomBytes(rng, 120, true);
        const std::string bytes = Convert(text);
        ASSERT_EQ(ConvertUtf8(Windows1257ToUtf8(text)), Windows1257ToUtf8(bytes));
        ASSERT_EQ(ConvertUtf16(Windows1257ToUtf16(text)), Windows1257ToUtf16(bytes));
    }
}

TEST(ConvertUnicode, KeepsWhatTheCodePageCannotHold)
{
    EXPECT_EQ(ConvertUtf8("Привет 😀 Hello"), "Привет 😀 |-|3|_|_0");
    EXPECT_EQ(ConvertUtf16(u"Привет 😀 Hello"), u"Привет 😀 |-|3|_|_0");
    EXPECT_EQ(ConvertUtf8("日本語 Žūžū"), "日本語 2|-||_||_|2|-||_||_|");
    // Unpaired surrogates are kept as they are.
    const std::u16string lone{char16_t(0xD800), u'a', char16_t(0xDC00)};
    EXPECT_EQ(ConvertUtf16(lone), (std::u16string{char16_t(0xD800), u'4', char16_t(0xDC00)}));
}

TEST(ConvertUnicode, InvalidUtf8PassesByteForByte)
{
    const std::string cases[] = {
        "\xFF" "a\xFE",      // bytes that never start a sequence
        "\xC4",             // lead byte at the end
        "\xC4" "a",         // lead byte with no continuation
        "\xC5\xC5\xAB",     // lead byte, then a valid ū
        "a\xCC",            // letter and a mark's lead byte at the end
        "a\xCC" "b",        // letter and a broken mark
        "\x80\xBF" "e",     // stray continuation bytes
        "\xE0\x80\xAF",     // overlong form
        "\xED\xA0\x80",     // encoded surrogate
    };
    const std::string expected[] = {
        "\xFF" "4\xFE", "\xC4", "\xC4" "4", "\xC5|_||_|", "4\xCC", "4\xCC" "b", "\x80\xBF" "3", "\xE0\x80\xAF",
        "\xED\xA0\x80",
    };
    for (std::size_t k = 0; k < std::size(cases); ++k)
        EXPECT_EQ(ConvertUtf8(cases[k]), expected[k]) << "case " << k;
}

TEST(ConvertUnicode, DecomposedLatvianLetters)
{
    EXPECT_EQ(ConvertUtf8("a\u0304bols"), "44b0|_5");
    EXPECT_EQ(ConvertUtf16(u"a\u0304bols"), u"44b0|_5");
    // Every Latvian letter, decomposed, in both cases, converts as its composed form.
    const std::u16string composed = u"āčēģīķļņšūžĀČĒĢĪĶĻŅŠŪŽ";
    const std::u16string decomposed =
        u"a\u0304c\u030Ce\u0304g\u0327i\u0304k\u0327l\u0327n\u0327s\u030Cu\u0304z\u030C"
        u"A\u0304C\u030CE\u0304G\u0327I\u0304K\u0327L\u0327N\u0327S\u030CU\u0304Z\u030C";
    EXPECT_EQ(ConvertUtf16(decomposed), ConvertUtf16(composed));
    // Other letters with a mark stay as they stand, as their composed forms would.
    EXPECT_EQ(ConvertUtf8("o\u0308"), "o\u0308");
    EXPECT_EQ(ConvertUtf16(u"o\u0308"), u"o\u0308");
    EXPECT_EQ(ConvertUtf8("a\u0308 e\u0301 o\u0304"), "a\u0308 e\u0301 o\u0304");
    EXPECT_EQ(ConvertUtf16(u"s\u0304 a\u030C"), u"s\u0304 a\u030C");
    // A mark after a composed letter is kept after its replacement.
    EXPECT_EQ(ConvertUtf8("ā\u0301"), "44\u0301");
    EXPECT_EQ(ConvertUtf8("a\u0304\u0301"), "44\u0301");
}

TEST(ConvertUnicode, StreamingEqualsOneShotAtEverySplit)
{
    const std::string text = "Ābols a\u0304 k\u0327 o\u0308 \xC4 x\xCC 😀 Ž\r\nkj";
    const std::string whole = ConvertUtf8(text);
    for (std::size_t a = 0; a <= text.size(); ++a) {
        for (std::size_t b = a; b <= text.size(); ++b) {
            Utf8StreamConverter converter;
            std::string out;
            converter.Convert(std::string_view(text).substr(0, a), out);
            converter.Convert(std::string_view(text).substr(a, b - a), out);
            converter.Convert(std::string_view(text).substr(b), out);
            converter.Finish(out);
            ASSERT_EQ(out, whole) << "split at " << a << " and " << b;
        }
    }
    // One byte at a time.
    Utf8StreamConverter converter;
    std::string out;
    for (char c : text)
        converter.Convert(std::string_view(&c, 1), out);
    converter.Finish(out);
    EXPECT_EQ(out, whole);
}

TEST(ConvertUnicode, LongTextCrossesInternalBlocks)
{
    // Eight-byte units after a three-byte start: every boundary of the 16 KiB blocks falls
    // between an "a" and the mark that makes it "ā".
    std::string text = "   ", expected = "   ";
    for (int i = 0; i < 30000; ++i) {
        text += " \u017E a\u0304 ";
        expected += " 2|-| 44 ";
    }
    ASSERT_EQ(text.substr(16384 - 1, 3), "a\u0304");
    EXPECT_EQ(ConvertUtf8(text), expected);
    std::u16string wide(text.size(), u'ū');
    EXPECT_EQ(ConvertUtf16(wide).size(), wide.size() * 6);
}

// A feature name misspelt in a kernel's list would turn its path off without a word.
TEST(ConversionPaths, EveryKernelNamesOnlyFeaturesTheChoiceKnows)
{
    for (const ConversionPath path : AllConversionPaths) {
        if (const vector_detail::VectorPasses* passes = vector_detail::PassesOf(path)) {
            EXPECT_TRUE(vector_detail::KnowsAllFeatures(passes->features)) << passes->features;
        }
    }
}

// Each vector path, forced in turn, gives the scalar pass's bytes: for every length up to 300
// and every alignment of the input, on bytes drawn to meet the cases a block cannot decide
// alone (letters before marks, two-byte letters across block ends, six-byte rows at every
// lane, broken sequences).
TEST(ConversionPaths, EveryPathGivesTheScalarBytes)
{
    std::vector<ConversionPath> paths;
    for (const ConversionPath path : AllConversionPaths)
        if (path != ConversionPath::Scalar && ProcessorHas(path))
            paths.push_back(path);
    if (paths.empty())
        GTEST_SKIP() << "this processor has no vector path";
    const std::string pieces[] = {"a", "h", "u", "m", "x", " ", "\xC5\xAB", "\xC4\x85", "\xC4\x8D", "\xC4", "\xC5",
                                  "\x80", "\xAB", "\xCC\x84", "\xCC", "\xCD", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xFB"};
    std::mt19937 rng(2026);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string buffer(64 + 300, '\0');
    for (std::size_t length = 0; length <= 300; ++length) {
        std::string text;
        while (text.size() < length)
            text += length % 3 == 0 ? std::string(1, char(byte(rng))) : pieces[pick(rng)];
        text.resize(length);
        // A letter's two bytes on either side of the end of a 32-byte or 60-byte vector step,
        // with and without a combining mark in the step after it.
        for (const std::size_t at : {31u, 59u, 119u, 179u})
            if (length > at + 2 && length % 2 == 0)
                text.replace(at, 2, length % 4 == 0 ? "\xC5\xAB" : "\xC4\x85");
        if (length > 200 && length % 3 == 1)
            text.replace(190, 3, "a\xCC\x84");
        if (length > 100 && length % 5 == 0)  // sixteen letters that fill a register's 64 lanes
            text.replace(length - 80, 64, std::string(64, 'm'));
        // ū and Ū, six bytes each, in runs that outgrow a register, in Windows-1257 and then
        // in UTF-8, from a lane that moves with the length: over the odd lengths, every lane.
        if (length > 150 && length % 2 == 1) {
            std::string run = std::string(35, '\xFB') + "\xDB";
            for (int letter = 0; letter < 18; ++letter)
                run += letter == 9 ? "\xC5\xAA" : "\xC5\xAB";
            text.replace(length * 7 / 2 % 64, run.size(), run);
        }
        ASSERT_TRUE(UseConversionPath(ConversionPath::Scalar));
        const std::string utf8 = ConvertUtf8(text);
        const std::string bytes = Convert(text);
        for (const ConversionPath path : paths) {
            ASSERT_TRUE(UseConversionPath(path));
            const int p = int(path);
            EXPECT_EQ(Convert(text), bytes) << "in place, path " << p << ", length " << length;
            for (std::size_t alignment = 0; alignment < 64; ++alignment) {
                std::copy(text.begin(), text.end(), buffer.begin() + alignment);
                const std::string_view view(buffer.data() + alignment, length);
                std::string appended;
                AppendConvertedWindows1257(view, appended);
                ASSERT_EQ(appended, bytes) << "Windows-1257, path " << p << ", length " << length << ", alignment " << alignment;
                ASSERT_EQ(ConvertUtf8(view), utf8) << "UTF-8, path " << p << ", length " << length << ", alignment " << alignment;
            }
        }
    }
    ASSERT_TRUE(UseConversionPath(BestConversionPath()));
}

}  // namespace
