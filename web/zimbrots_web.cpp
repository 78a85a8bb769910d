// The C interface that the page's WebAssembly module exports: the conversion and the RTF writer
// over memory the page fills and frees. A result stays valid until the next call that makes one.
#include "conversion/convert.h"
#include "rtf/rtf_writer.h"

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#define ZIMBROTS_EXPORT(name) extern "C" __attribute__((export_name(#name)))

namespace {

// The last converted text, kept until the page has read it.
std::u16string converted;

enum FormatFlag { Bold = 1, Italic = 2, Underline = 4, StrikeOut = 8, FixedPitch = 16 };

// A document written a run at a time: formats first, then the text.
struct RtfDocument {
    zimbrots::RtfWriter writer;
    std::vector<zimbrots::RtfCharFormat> formats;
    std::string bytes;
};

}  // namespace

ZIMBROTS_EXPORT(zimbrots_alloc) void* zimbrots_alloc(std::size_t bytes) { return std::malloc(bytes); }
ZIMBROTS_EXPORT(zimbrots_free) void zimbrots_free(void* memory) { std::free(memory); }

// Converts length UTF-16 units; the result's units are returned and their count stored.
ZIMBROTS_EXPORT(zimbrots_convert_utf16)
const char16_t* zimbrots_convert_utf16(const char16_t* text, std::size_t length, std::size_t* resultLength)
{
    converted = zimbrots::ConvertUtf16(std::u16string_view(text, length));
    *resultLength = converted.size();
    return converted.data();
}

// Frees the last result, which may be many megabytes.
ZIMBROTS_EXPORT(zimbrots_release) void zimbrots_release() { std::u16string().swap(converted); }

ZIMBROTS_EXPORT(zimbrots_rtf_new) RtfDocument* zimbrots_rtf_new() { return new (std::nothrow) RtfDocument; }
ZIMBROTS_EXPORT(zimbrots_rtf_delete) void zimbrots_rtf_delete(RtfDocument* document) { delete document; }

// Adds a character format before the text is written; returns its number for zimbrots_rtf_run.
ZIMBROTS_EXPORT(zimbrots_rtf_format)
int zimbrots_rtf_format(RtfDocument* document, const char16_t* family, std::size_t familyLength, int charset,
                        int halfPoints, int flags)
{
    zimbrots::RtfCharFormat format;
    format.family.assign(family, familyLength);
    format.charset = charset;
    format.halfPoints = halfPoints;
    format.bold = flags & Bold;
    format.italic = flags & Italic;
    format.underline = flags & Underline;
    format.strikeOut = flags & StrikeOut;
    format.fixedPitch = flags & FixedPitch;
    document->writer.AddFormat(format);
    document->formats.push_back(std::move(format));
    return int(document->formats.size() - 1);
}

ZIMBROTS_EXPORT(zimbrots_rtf_begin) void zimbrots_rtf_begin(RtfDocument* document)
{
    document->writer.Begin(document->bytes);
}

ZIMBROTS_EXPORT(zimbrots_rtf_run)
void zimbrots_rtf_run(RtfDocument* document, int format, const char16_t* text, std::size_t length)
{
    if (format >= 0 && std::size_t(format) < document->formats.size())
        document->writer.Run(std::u16string_view(text, length), document->formats[std::size_t(format)],
                             document->bytes);
}

ZIMBROTS_EXPORT(zimbrots_rtf_paragraph) void zimbrots_rtf_paragraph(RtfDocument* document)
{
    document->writer.ParagraphBreak(document->bytes);
}

// Ends the document; its bytes stay with it until zimbrots_rtf_delete.
ZIMBROTS_EXPORT(zimbrots_rtf_end) const char* zimbrots_rtf_end(RtfDocument* document, std::size_t* length)
{
    document->writer.End(document->bytes);
    *length = document->bytes.size();
    return document->bytes.data();
}
