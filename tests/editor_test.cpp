// The editor through the main window's commands and keys: Convert, Clear, undo, long texts,
// wrapping, the Edit menu and fonts.
#include "conversion/convert.h"
#include "gui_support.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontDialog>
#include <QLabel>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFrame>

namespace {

class EditorTest : public WindowTest {
protected:
    // "Sveiki " in the editor's font, then "draugi" in bold red.
    void TypeInTwoFonts()
    {
        Type("Sveiki ");
        TFont bold = edit_->Font();
        bold.font.setBold(true);
        bold.color = Qt::red;
        edit_->SelAttributes()->Assign(bold);
        Type("draugi");
    }
};

TEST_F(EditorTest, ConvertReplacesTheTextByExactlyItsConvertedForm)
{
    Type("Labdien");
    Key(Qt::Key_K);
    EXPECT_EQ(Text(), "|_4bd|3|\\|");
    Key(Qt::Key_K);
    EXPECT_EQ(Text(), "|_4bd|3|\\|") << "a second Convert changes nothing";
    EXPECT_EQ(edit_->document()->blockCount(), 1);

    Key(Qt::Key_L);
    EXPECT_EQ(Text(), "");
    Button("BitBtn1")->click();
    EXPECT_EQ(Text(), "") << "an empty editor stays empty";
    EXPECT_EQ(edit_->document()->blockCount(), 1);
}

TEST_F(EditorTest, ConvertKeepsCharactersOutsideTheCodePageAndLineBreaks)
{
    QApplication::clipboard()->setText("Привет 😀 Sveiki");
    Key(Qt::Key_V);
    Action("Convert1")->trigger();
    EXPECT_EQ(Text(), "Привет 😀 5\\/3|k|");

    edit_->Lines()->SetText("Ābols\r\n\r\nŽūžū\r\n");
    Button("BitBtn1")->click();
    EXPECT_EQ(Text(), "44b0|_5\n\n2|-||_||_|2|-||_||_|");
}

// Qt wraps a word longer than a line by rescanning the rest of it for every line, which
// freezes the editor on megabytes without a space; such text wraps anywhere instead.
TEST_F(EditorTest, AWordTooLongToWrapAtItsEndsWrapsAnywhereWhileItIsThere)
{
    const int limit = TRichEdit::LongestWrappedWord;
    const auto anywhere = [this] { return edit_->wordWrapMode() == QTextOption::WrapAnywhere; };
    ASSERT_FALSE(anywhere());

    edit_->Lines()->SetText("vārds " + QString(limit, 'x') + " beigas");
    EXPECT_FALSE(anywhere()) << "a word of exactly the limit still wraps at words";
    QTextCursor cursor(edit_->document());
    cursor.setPosition(6);
    edit_->setTextCursor(cursor);
    Type("y");
    EXPECT_TRUE(anywhere()) << "typing one more letter onto the word";
    Key(Qt::Key_Backspace, Qt::NoModifier);
    QApplication::processEvents();
    EXPECT_FALSE(anywhere()) << "the word is short enough again";

    QApplication::clipboard()->setText(QString(limit / 2 + 1, 'a') + QChar(0xA0) + QString(limit / 2, 'b'));
    Key(Qt::Key_V);
    EXPECT_TRUE(anywhere()) << "a no-break space does not end a word";
    Button("BitBtn3")->click();
    QApplication::processEvents();
    EXPECT_FALSE(anywhere()) << "after Clear";
    edit_->undo();
    EXPECT_TRUE(anywhere()) << "Undo brings the long word back";

    // Convert lengthens words: 300 m become 1200 characters.
    edit_->Lines()->SetText(QString(300, 'm'));
    QApplication::processEvents();
    EXPECT_FALSE(anywhere());
    Button("BitBtn1")->click();
    EXPECT_TRUE(anywhere());
    EXPECT_EQ(Text(), QString("|\\/|").repeated(300));
}

// Text in the system colour follows the desktop's palette: light on a dark theme, after
// Convert too. Read from the pixels the editor draws.
TEST_F(EditorTest, TextInTheSystemColourShowsOnADarkTheme)
{
    QPalette dark = form_->palette();
    dark.setColor(QPalette::Base, Qt::black);
    dark.setColor(QPalette::Text, Qt::white);
    form_->setPalette(dark);
    Type("Labdien");
    Key(Qt::Key_K);
    const QImage shown = edit_->viewport()->grab().toImage();
    int lightPixels = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            lightPixels += qGray(shown.pixel(x, y)) > 160;
    EXPECT_LT(lightPixels, shown.width() * shown.height() / 10) << "a dark background";
    EXPECT_GT(lightPixels, 40) << "the converted text is drawn in the palette's light text colour";
}

TEST_F(EditorTest, ConvertAndClearAreEachOneUndoStepThatBringsBackFonts)
{
    TypeInTwoFonts();
    const QString html = edit_->toHtml();

    Key(Qt::Key_K);
    EXPECT_EQ(Text(), "5\\/3|k| d|24|_|9|");
    // One character format after conversion.
    QTextCursor all(edit_->document());
    all.movePosition(QTextCursor::End);
    for (QTextBlock b = edit_->document()->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            EXPECT_FALSE(it.fragment().charFormat().font().bold());
    Key(Qt::Key_Z);
    EXPECT_EQ(Text(), "Sveiki draugi");
    EXPECT_EQ(edit_->toHtml(), html) << "undo brings the fonts back";

    Button("BitBtn3")->click();
    EXPECT_EQ(Text(), "");
    Key(Qt::Key_Z);
    EXPECT_EQ(Text(), "Sveiki draugi");
    EXPECT_EQ(edit_->toHtml(), html);
}

// Convert keeps the old content compactly for undo: the text, the font of every character and
// the paragraphs' own formats come back; redo converts again; the modified flag follows. Typing
// before Convert is no longer undone. A table only Qt's own undo brings back.
TEST_F(EditorTest, UndoAndRedoOfConvertGiveBackExactlyEachText)
{
    TypeInTwoFonts();
    Key(Qt::Key_Return, Qt::NoModifier);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    edit_->textCursor().setBlockFormat(centred);
    // A letter with its mark apart, which converts with it; a pair of surrogates.
    edit_->insertPlainText(QString::fromUtf16(u"Ža\u0304bols 😀\n\nx"));
    const QString before = edit_->toHtml();
    const QString converted = QString::fromStdU16String(zimbrots::ConvertUtf16(Text().toStdU16String()));
    edit_->SetModified(false);

    for (int round = 0; round < 2; ++round) {
        Key(Qt::Key_K);
        EXPECT_EQ(Text(), converted);
        EXPECT_TRUE(edit_->Modified());
        Key(Qt::Key_Z);
        EXPECT_EQ(edit_->toHtml(), before) << "round " << round;
        EXPECT_FALSE(edit_->Modified());
        EXPECT_FALSE(edit_->document()->isUndoAvailable()) << "Convert is the oldest step";
        Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(Text(), converted);
        EXPECT_TRUE(edit_->Modified());
        Type("x");
        Key(Qt::Key_Z);
        EXPECT_EQ(Text(), converted) << "typing after Convert is a step of its own";
        Key(Qt::Key_Z);
    }

    QTextCursor(edit_->document()).insertTable(1, 2);
    const QString table = edit_->toHtml();
    Key(Qt::Key_K);
    EXPECT_TRUE(edit_->document()->rootFrame()->childFrames().isEmpty());
    Key(Qt::Key_Z);
    EXPECT_EQ(edit_->toHtml(), table);
}

// A text too long to lay out at once is laid out in steps; meanwhile the editor is read-only
// and busy. Then it is editable again, and the text, its undo and the view are as for a short one.
TEST_F(EditorTest, LongTextsAreLaidOutInStepsAndKeepTextUndoAndView)
{
    const auto laidOut = [this] {
        EXPECT_TRUE(edit_->isReadOnly()) << "busy right after the edit";
        EXPECT_TRUE(QTest::qWaitFor([this] { return !edit_->isReadOnly(); }, 60000)) << "the layout never ended";
    };
    const QString line = QStringLiteral("Ābols\tŽūžū 😀 Привет\n");
    const QString expected = line.repeated(THeldLayout::LongestLaidOutAtOnce / line.size() + 1);

    Type("Sveiki ");
    QApplication::clipboard()->setText(expected);
    Key(Qt::Key_V);
    laidOut();
    EXPECT_TRUE(Text() == "Sveiki " + expected) << "pasted with its exact characters";
    EXPECT_EQ(edit_->textCursor().position(), edit_->document()->characterCount() - 1);
    EXPECT_TRUE(edit_->viewport()->rect().contains(edit_->cursorRect().center())) << "the view shows the cursor";

    edit_->verticalScrollBar()->setValue(edit_->verticalScrollBar()->maximum() / 3);
    const int scroll = edit_->verticalScrollBar()->value();
    const QString html = edit_->toHtml();
    bool answered = false;  // and a Convert started meanwhile, as a screen reader can, does nothing
    QTimer::singleShot(0, edit_, [&] { answered = true; form_->BitBtn1Click(); });
    Key(Qt::Key_K);
    EXPECT_TRUE(answered) << "the window answers while a long text goes in";
    laidOut();
    EXPECT_TRUE(Text() == QString::fromStdU16String(zimbrots::ConvertUtf16(("Sveiki " + expected).toStdU16String())));
    EXPECT_EQ(edit_->verticalScrollBar()->value(), scroll) << "the view keeps its scroll position";
    Key(Qt::Key_Z);
    laidOut();
    EXPECT_EQ(edit_->toHtml(), html) << "one undo step brings the text and its fonts back";
}

TEST_F(EditorTest, ALongTextGoesInByStepsWithItsBreaksWhole)
{
    const int step = THeldLayout::LongestLaidOutAtOnce;
    const QString text = QString(step - 1, u'a') + "\r\n" + QString(step, u'b');  // CR ends a step
    TRichEditLines* lines = edit_->Lines();
    lines->SetText(QString(step + 1, u'x'));  // long enough for the update to be held
    lines->BeginUpdate();
    lines->SetText(text);
    lines->EndUpdate();
    EXPECT_EQ(edit_->document()->blockCount(), 2);
}

TEST_F(EditorTest, EditShortcutsGoThroughTheMenuToTheClipboard)
{
    int copies = 0;
    QObject::connect(Action("Copy1"), &QAction::triggered, [&] { ++copies; });
    Type("Ķēķis");
    Key(Qt::Key_A);
    EXPECT_EQ(edit_->textCursor().selectedText(), "Ķēķis");
    Key(Qt::Key_C);
    EXPECT_EQ(copies, 1) << "Ctrl+C reaches Copy1Click";
    EXPECT_EQ(QApplication::clipboard()->text(), "Ķēķis");
    Key(Qt::Key_X);
    EXPECT_EQ(Text(), "");
    Key(Qt::Key_V);
    Key(Qt::Key_V);
    EXPECT_EQ(Text(), "ĶēķisĶēķis");
    Key(Qt::Key_S);  // Save1 is disabled: nothing happens, no dialog
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(Text(), "ĶēķisĶēķis");
}

TEST_F(EditorTest, FontAppliesToTheSelectionOrToWhatIsTypedNext)
{
    Type("abc");
    const QString before = edit_->toHtml();
    AnswerModal([](QWidget* modal) {
        auto* dialog = qobject_cast<QFontDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->currentFont().family(), QFontInfo(QFont("Courier New")).family()) << "loaded with the editor's base font";
        auto* color = dialog->findChild<QComboBox*>("colorCombo");
        EXPECT_EQ(color->currentText(), "Window Text") << "the editor's text is in the system colour";
        // A label with a buddy shows "Color:" with R underlined, and Alt+R moves to its buddy.
        const auto labels = dialog->findChildren<QLabel*>();
        const bool labelled = std::any_of(labels.begin(), labels.end(), [color](QLabel* label) {
            return label->text() == "Colo&r:" && label->buddy() == color;
        });
        EXPECT_TRUE(labelled) << "the colour list has the label Color: with R as its access key";
        dialog->reject();
    }, [this] { Key(Qt::Key_F); });
    EXPECT_EQ(edit_->toHtml(), before) << "cancel changes nothing";

    const auto choose = [](QWidget* modal) {
        auto* dialog = qobject_cast<QFontDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        QFont f("Liberation Serif");
        f.setPointSize(14);
        f.setBold(true);
        f.setUnderline(true);
        dialog->setCurrentFont(f);
        auto* color = dialog->findChild<QComboBox*>("colorCombo");
        ASSERT_NE(color, nullptr);
        color->setCurrentIndex(color->findText("Red"));
        dialog->accept();
    };
    // Nothing selected: only what is typed next.
    AnswerModal(choose, [this] { Action("Font1")->trigger(); });
    Type("XYZ");
    QTextCursor c(edit_->document());
    c.setPosition(2);
    EXPECT_FALSE(c.charFormat().fontWeight() >= QFont::Bold);
    c.setPosition(5);
    EXPECT_TRUE(c.charFormat().fontWeight() >= QFont::Bold);
    EXPECT_EQ(c.charFormat().foreground().color(), QColor(Qt::red));
    EXPECT_EQ(c.charFormat().fontPointSize(), 14);

    // A selection takes the font.
    QTextCursor sel(edit_->document());
    sel.setPosition(0);
    sel.setPosition(1, QTextCursor::KeepAnchor);
    edit_->setTextCursor(sel);
    AnswerModal(choose, [this] { Action("Font1")->trigger(); });
    c.setPosition(1);
    EXPECT_TRUE(c.charFormat().fontUnderline());
    c.setPosition(2);
    EXPECT_FALSE(c.charFormat().fontUnderline());
}

}  // namespace
