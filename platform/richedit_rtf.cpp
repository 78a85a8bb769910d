// The editor's text with its formats, saved as RTF.
#include "platform/richedit.h"

#include "platform/exception.h"
#include "rtf/rtf_writer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextDocument>

#include <cerrno>
#include <cstring>

namespace {

zimbrots::RtfCharFormat RtfFormatOf(const QTextCharFormat& format, const TFont& base)
{
    zimbrots::RtfCharFormat rtf;
    const QStringList families = format.fontFamilies().toStringList();
    rtf.family = (families.isEmpty() ? base.font.family() : families.first()).toStdU16String();
    rtf.charset = format.hasProperty(CharsetProperty) ? format.intProperty(CharsetProperty) : base.charset;
    rtf.fixedPitch = format.hasProperty(QTextFormat::FontFixedPitch) ? format.fontFixedPitch() : base.pitch == fpFixed;
    double points = format.fontPointSize();
    if (points <= 0)
        points = base.font.pointSizeF() > 0 ? base.font.pointSizeF() : base.font.pixelSize() * 72.0 / 96.0;
    rtf.halfPoints = qMax(1, qRound(points * 2));
    rtf.bold = format.fontWeight() >= QFont::Bold;
    rtf.italic = format.fontItalic();
    rtf.underline = format.fontUnderline();
    rtf.strikeOut = format.fontStrikeOut();
    // Text in the system colour is written in the reader's automatic colour.
    const QColor color = format.foreground().style() != Qt::NoBrush ? format.foreground().color() : base.color;
    rtf.hasColor = color.isValid();
    rtf.rgb = color.rgb() & 0xFFFFFF;
    return rtf;
}

}  // namespace

void TRichEditLines::SaveToFile(const QString& name) const
{
    const TFont base = edit_.Font();
    const QTextDocument& doc = *edit_.document();
    // Each of the document's formats as RTF, once: the tables come before the text.
    zimbrots::RtfWriter writer;
    QHash<int, zimbrots::RtfCharFormat> formats;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid() && !formats.contains(fragment.charFormatIndex())) {
                const zimbrots::RtfCharFormat& format =
                    *formats.insert(fragment.charFormatIndex(), RtfFormatOf(fragment.charFormat(), base));
                writer.AddFormat(format);
            }
        }
    }

    // Written through a temporary file, then moved over the old one: a failure leaves any
    // earlier file as it was.
    QSaveFile file(name);
    const auto fail = [&name](const QString& reason) {
        throw Exception(QCoreApplication::translate("TRichEditLines", "Cannot save \"%1\": %2").arg(QFileInfo(name).fileName(), reason));
    };
    // Unbuffered, so that a full disk is reported by the write itself, with its reason.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        fail(file.errorString());
    // Qt words a failed write as "Unknown error": the system's own reason says more.
    const auto systemReason = [&file] {
        return errno != 0 ? QString::fromLocal8Bit(std::strerror(errno)) : file.errorString();
    };
    // Written a megabyte at a time, so that a long text is never held twice.
    constexpr std::size_t Chunk = 1 << 20;
    std::string rtf;
    const auto write = [&](std::size_t atLeast) {
        if (rtf.size() < atLeast)
            return;
        errno = 0;
        if (file.write(rtf.data(), qint64(rtf.size())) != qint64(rtf.size())) {
            const QString reason = systemReason();
            file.cancelWriting();
            fail(reason);
        }
        rtf.clear();
    };
    writer.Begin(rtf);
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        if (block != doc.begin())
            writer.ParagraphBreak(rtf);
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid()) {
                const QString text = fragment.text();
                writer.Run({QStringView(text).utf16(), std::size_t(text.size())}, *formats.constFind(fragment.charFormatIndex()),
                           rtf);
                write(Chunk);
            }
        }
    }
    writer.End(rtf);
    write(1);
    errno = 0;
    if (!file.commit())
        fail(systemReason());
}
