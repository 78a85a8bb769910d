// Texts of megabytes pasted into the main window, converted and saved, offscreen: each must
// finish and lose nothing. The peak memory is reported as a multiple of the text's size.
#include "conversion/convert.h"
#include "gui_support.h"
#include "rtf_reader.h"

#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

namespace {

// A field of /proc/self/status in KiB.
long StatusKiB(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    }
    return -1;
}

// Starts counting the peak afresh from the present size.
bool ResetPeak()
{
    std::ofstream clearRefs("/proc/self/clear_refs");
    clearRefs << "5";
    clearRefs.close();
    return bool(clearRefs);
}

constexpr bool Sanitized =
#if defined(__SANITIZE_ADDRESS__)
    true;
#else
    false;
#endif

class HugeText : public WindowTest {
protected:
    // Pastes, converts and saves as a user would, checking the text at each step.
    // Fails when the memory above the idle window exceeds limit times the text's UTF-8 size.
    void PasteConvertSave(const QString& text, double limit)
    {
        QApplication::clipboard()->setText(text);
        // The test's own copy, made before the idle size is taken, so that it is not counted.
        const QString expected = QString::fromStdU16String(zimbrots::ConvertUtf16(text.toStdU16String()));
        ASSERT_TRUE(ResetPeak());
        const long idleKiB = StatusKiB("VmRSS");
        QElapsedTimer clock;
        clock.start();

        form_->Paste1Click();
        QApplication::processEvents();
        const qint64 pasted = clock.elapsed();
        ASSERT_EQ(edit_->document()->characterCount(), text.size() + 1);

        clock.restart();
        form_->BitBtn1Click();
        QApplication::processEvents();
        const qint64 converted = clock.elapsed();
        // The whole text laid out, as it is a moment later, and measured before the test reads
        // it: what the program holds once a text is pasted and converted.
        edit_->document()->documentLayout()->documentSize();
        const long convertedKiB = StatusKiB("VmHWM");

        QTemporaryDir dir;
        const QString name = dir.filePath("huge");
        clock.restart();
        AnswerModal(SaveDialogAnswer(name), [this] { form_->SaveAs1Click(); });
        const qint64 saved = clock.elapsed();
        const long peakKiB = StatusKiB("VmHWM");
        // Read after the peaks are taken: the whole text as one string is the test's, not the program's.
        ASSERT_TRUE(edit_->toPlainText() == expected) << "the converted text differs";

        clock.restart();
        QFile file(name + ".rtf");
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "nothing was saved";
        const zimbrots::RtfDocument doc = zimbrots::ReadRtf(file.readAll().toStdString());
        std::u16string read;
        for (std::size_t i = 0; i < doc.paragraphs.size(); ++i) {
            if (i > 0)
                read += u'\n';
            for (const zimbrots::RtfRun& run : doc.paragraphs[i])
                read += run.text;
        }
        EXPECT_TRUE(read == expected.toStdU16String()) << "the saved file differs";
        EXPECT_FALSE(edit_->Modified());
        const qint64 checked = clock.elapsed();

        clock.restart();
        ASSERT_TRUE(QTest::qWaitFor([this] { return !edit_->isReadOnly(); }, 120000)) << "still busy";
        QTest::keyClick(edit_, Qt::Key_Z, Qt::ControlModifier);
        const qint64 undone = clock.elapsed();
        EXPECT_TRUE(edit_->toPlainText() == text) << "undo brings back the pasted text";

        const double textMiB = text.toUtf8().size() / 1048576.0;
        const double multiple = convertedKiB / 1024.0 / textMiB;
        const double added = (convertedKiB - idleKiB) / 1024.0 / textMiB;
        std::cout << textMiB << " MiB of text: paste " << pasted << " ms, convert " << converted << " ms, save "
                  << saved << " ms (" << file.size() / 1048576.0 << " MiB of RTF, read back in " << checked
                  << " ms), undo " << undone << " ms; peak RSS after converting " << convertedKiB / 1024 << " MiB = "
                  << multiple << "x the text, " << added << "x above the idle window; after saving " << peakKiB / 1024 << " MiB\n";
        RecordProperty("peak_rss_kib", std::to_string(convertedKiB));
        RecordProperty("peak_multiple_of_text", std::to_string(multiple));
        if (!Sanitized) {
            EXPECT_LT(added, limit) << "memory per byte of text has grown";
        }
    }
};

// Under the sanitizers an eighth of the size: still many steps of the held layout and far past
// the longest wrapped word, which is what finds memory errors; scale is measured unsanitized.
QString Repeated(const QString& piece, qsizetype utf8Bytes)
{
    return piece.repeated(utf8Bytes / (Sanitized ? 8 : 1) / piece.toUtf8().size());
}

TEST_F(HugeText, TwentyMiBOfLines)
{
    PasteConvertSave(Repeated(QStringLiteral("Zimbrots pārvērš tekstu hakeru rakstībā: ūdens, ņaudēt, čūska, žagata, "
                                             "ķirbis, ģimene, ļoti, šķiet, ābols. Sveiki, draugi!\n"),
                              20 << 20),
                     20);
}

// One word of megabytes: the case that Qt's word wrapping would rescan line after line. One
// paragraph is laid out as a whole, glyph by glyph, so it takes more memory than lines do.
TEST_F(HugeText, FourMiBWithoutASpace)
{
    PasteConvertSave(Repeated(QStringLiteral("Labdien,Žūžū!"), 4 << 20), 120);
    EXPECT_TRUE(edit_->WrapsAnywhere());
}

}  // namespace
