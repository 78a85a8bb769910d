// Save As through the real save dialog: names, replacing, failures, and the file written.
#include "platform/dialogs.h"
#include "gui_support.h"
#include "rtf_reader.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

namespace {

class SaveTest : public WindowTest {
protected:
    QTemporaryDir dir_;
    QString Path(const QString& name) const { return dir_.filePath(name); }
};

TEST_F(SaveTest, CancelWritesNothing)
{
    Type("abc");
    SaveAs("");
    EXPECT_TRUE(QDir(dir_.path()).isEmpty());
}

TEST_F(SaveTest, NameRulesAndTheWrittenFile)
{
    Type("Hello ābols 😀 {\\rtf}");
    edit_->SetModified(true);
    SaveAs(Path("test"));
    EXPECT_TRUE(QFile::exists(Path("test.rtf")));
    EXPECT_FALSE(edit_->Modified());
    const zimbrots::RtfDocument doc = zimbrots::ReadRtf(ReadAll(Path("test.rtf")).toStdString());
    ASSERT_EQ(doc.paragraphs.size(), 1u);
    ASSERT_EQ(doc.paragraphs[0].size(), 1u);
    EXPECT_EQ(QString::fromStdU16String(doc.paragraphs[0][0].text), "Hello ābols 😀 {\\rtf}");
    EXPECT_EQ(doc.paragraphs[0][0].format.family, u"Courier New");
    EXPECT_EQ(doc.paragraphs[0][0].format.charset, 186);
    EXPECT_EQ(doc.paragraphs[0][0].format.halfPoints, 16);

    SaveAs(Path("notes.RTF"));
    EXPECT_TRUE(QFile::exists(Path("notes.RTF")));
    EXPECT_FALSE(QFile::exists(Path("notes.RTF.rtf")));
    EXPECT_EQ(WithRtfExtension("a.rtf"), "a.rtf");
    EXPECT_EQ(WithRtfExtension("a.rtf.txt"), "a.rtf.txt.rtf");
}

TEST_F(SaveTest, ReplacingAnExistingFileAsksFirst)
{
    WriteAll(Path("old.rtf"), "earlier file");
    Type("new text");
    QString question;
    const auto saveAs = [this] { Action("SaveAs1")->trigger(); };
    // The question comes after the save dialog has closed.
    AnswerModals({SaveDialogAnswer(Path("old")), MessageBoxAnswer(question, QMessageBox::No)}, saveAs);
    EXPECT_EQ(question, "\"old.rtf\" already exists. Do you want to replace it?");
    EXPECT_EQ(ReadAll(Path("old.rtf")), "earlier file");

    question.clear();
    AnswerModals({SaveDialogAnswer(Path("old")), MessageBoxAnswer(question, QMessageBox::Yes)}, saveAs);
    EXPECT_FALSE(question.isEmpty());
    EXPECT_TRUE(ReadAll(Path("old.rtf")).startsWith("{\\rtf1"));
}

TEST_F(SaveTest, AFailedSaveIsShownAndLosesNothing)
{
    // A path through a regular file cannot be created, not even by root.
    WriteAll(Path("plain"), "not a folder");
    WriteAll(Path("keep.rtf"), "kept");
    Type("precious");
    edit_->SetModified(true);
    const QString html = edit_->toHtml();
    QString shown;
    // The error reaches the standard error display, which shows it and goes on.
    AnswerModals({SaveDialogAnswer(Path("plain/inside")), MessageBoxAnswer(shown)}, [this] { Action("SaveAs1")->trigger(); });
    EXPECT_TRUE(shown.startsWith("Cannot save \"inside.rtf\": ")) << shown.toStdString();
    EXPECT_EQ(edit_->toHtml(), html);
    EXPECT_TRUE(edit_->Modified());
    EXPECT_EQ(ReadAll(Path("plain")), "not a folder");
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).size(), 2) << "no stray temporary file";
    // The program goes on.
    Reactivate();
    Key(Qt::Key_K);
    EXPECT_EQ(Text(), "p|23(|0|_|5");
}

}  // namespace
