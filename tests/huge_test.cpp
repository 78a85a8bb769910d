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
#include <QTextBlock>
#include <QTest>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <tuple>

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
    // The editor holds exactly text, compared a paragraph at a time: a copy of the whole would
    // count in the memory measured.
    bool Holds(QStringView text) const
    {
        const QTextDocument& doc = *edit_->document();
        for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
            const qsizetype end = block.next().isValid() ? text.indexOf(u'\n') : text.size();
            if (end < 0 || block.text() != text.first(end))
                return false;
            text = text.sliced(qMin(end + 1, text.size()));
        }
        return text.isEmpty();
    }

    // Pastes, converts and saves as a user would, checking the text at each step.
    // Fails when the memory above the idle window exceeds limit times the text's UTF-8 size
    // after converting or saving, or cycleLimit times through undo and redo, where Qt keeps the
    // text removed until its buffer is nine-tenths full.
    void PasteConvertSave(const QString& text, double limit, double cycleLimit)
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
        ASSERT_TRUE(Holds(expected)) << "the converted text differs";
        EXPECT_FALSE(edit_->Modified());

        // Undo, redo and undo again: each gives back its whole text, Convert stays the oldest
        // step, and the removed text is not kept beyond what Qt keeps.
        ASSERT_TRUE(ResetPeak());
        qint64 undone = 0, redone = 0;
        for (const auto& [keys, result, time] : {std::tuple{Qt::NoModifier, &text, &undone},
                                                  std::tuple{Qt::ShiftModifier, &expected, &redone},
                                                  std::tuple{Qt::NoModifier, &text, &undone}}) {
            ASSERT_TRUE(QTest::qWaitFor([this] { return !edit_->isReadOnly(); }, 120000)) << "still busy";
            clock.restart();
            QTest::keyClick(edit_, Qt::Key_Z, Qt::ControlModifier | keys);
            *time = clock.elapsed();
            EXPECT_TRUE(Holds(*result)) << (keys ? "redo converts again" : "undo brings back the pasted text");
        }
        EXPECT_FALSE(edit_->document()->isUndoAvailable()) << "Convert is the oldest step";
        edit_->document()->documentLayout()->documentSize();
        const long cycleKiB = StatusKiB("VmHWM");

        clock.restart();
        QFile file(name + ".rtf");
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "nothing was saved";
        {
            const zimbrots::RtfDocument doc = zimbrots::ReadRtf(file.readAll().toStdString());
            std::u16string read;
            for (std::size_t i = 0; i < doc.paragraphs.size(); ++i) {
                if (i > 0)
                    read += u'\n';
                for (const zimbrots::RtfRun& run : doc.paragraphs[i])
                    read += run.text;
            }
            EXPECT_TRUE(read == expected.toStdU16String()) << "the saved file differs";
        }
        const qint64 checked = clock.elapsed();

        const double textMiB = text.toUtf8().size() / 1048576.0;
        const double multiple = convertedKiB / 1024.0 / textMiB;
        const double added = (convertedKiB - idleKiB) / 1024.0 / textMiB;
        const double addedSaving = (peakKiB - idleKiB) / 1024.0 / textMiB;
        const double addedCycle = (cycleKiB - idleKiB) / 1024.0 / textMiB;
        std::cout << textMiB << " MiB of text: paste " << pasted << " ms, convert " << converted << " ms, save "
                  << saved << " ms (" << file.size() / 1048576.0 << " MiB of RTF, read back in " << checked
                  << " ms), undo " << undone << " ms, redo " << redone << " ms; peak RSS after converting "
                  << convertedKiB / 1024 << " MiB = " << multiple << "x the text, " << added
                  << "x above the idle window; after saving " << addedSaving << "x; through undo, redo and undo "
                  << addedCycle << "x\n";
        RecordProperty("peak_rss_kib", std::to_string(convertedKiB));
        RecordProperty("peak_multiple_of_text", std::to_string(multiple));
        if (!Sanitized) {
            EXPECT_LT(added, limit) << "memory per byte of text has grown";
            EXPECT_LT(addedSaving, limit) << "saving takes memory by the text";
            EXPECT_LT(addedCycle, cycleLimit) << "undo or redo keeps what it removed";
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
                     11, 13);
}

// One word of megabytes: the case that Qt's word wrapping would rescan line after line. One
// paragraph is laid out as a whole, glyph by glyph, so it takes more memory than lines do.
TEST_F(HugeText, FourMiBWithoutASpace)
{
    PasteConvertSave(Repeated(QStringLiteral("Labdien,Žūžū!"), 4 << 20), 100, 100);
    EXPECT_TRUE(edit_->WrapsAnywhere());
}

}  // namespace
