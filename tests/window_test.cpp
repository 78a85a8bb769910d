// The main and About windows offscreen, driven through their real keys, buttons and dialogs.
#include "about/tabout.h"
#include "conversion/convert.h"
#include "app/startup.h"
#include "platform/application.h"
#include "platform/dialogs.h"
#include "platform/richedit.h"
#include "gui_support.h"
#include "mainwindow/tform1.h"
#include "rtf_reader.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <memory>

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Sets the default locale while it lives: windows built meanwhile speak its language.
struct DefaultLocale {
    explicit DefaultLocale(const QLocale& locale) { QLocale::setDefault(locale); }
    ~DefaultLocale() { QLocale::setDefault(QLocale::system()); }
};
struct TestsLanguage {  // English: the tests run under C.UTF-8
    static QLocale Locale() { return QLocale::system(); }
};
struct Latvian {
    static QLocale Locale() { return QLocale(QLocale::Latvian, QLocale::Latvia); }
};

template <typename Language>
class WindowTestIn : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(edit_, nullptr);
        form_->show();
        ASSERT_NO_FATAL_FAILURE(Reactivate());
        QApplication::clipboard()->clear();
    }
    QAction* Action(const char* name) { return form_->findChild<QAction*>(name); }
    TBitBtn* Button(const char* name) { return form_->findChild<TBitBtn*>(name); }
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier)
    {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : form_, Qt::Key(key), modifiers);
    }
    // Types as a keyboard would, Latvian letters included.
    void Type(const QString& text)
    {
        for (qsizetype i = 0; i < text.size(); ++i) {
            // A character beyond the BMP arrives as one key with both halves.
            const QString c = text.mid(i, text[i].isHighSurrogate() ? 2 : 1);
            i += c.size() - 1;
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, c);
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, c);
            QApplication::sendEvent(edit_, &press);
            QApplication::sendEvent(edit_, &release);
        }
    }
    // After a modal window, the main window is made active again, as a window manager would.
    // The focus itself, not QWindow::isActive(), which also holds while a window over it has it.
    void Reactivate()
    {
        form_->activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([this] { return QGuiApplication::focusWindow() == form_->windowHandle(); }));
        edit_->setFocus();
    }
    QString Text() const { return edit_->toPlainText(); }

    // Answers the save dialog by typing a name, or cancels it with an empty name.
    static ModalAnswer SaveDialogAnswer(const QString& name)
    {
        return [name](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->findChild<QLineEdit*>("fileNameEdit")->text(), "kaka");
            EXPECT_EQ(dialog->nameFilters(), QStringList{"rtf (*.rtf)"});
            if (name.isEmpty()) {
                dialog->reject();
                return;
            }
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText(name);
            QMetaObject::invokeMethod(dialog, "accept");
        };
    }
    void SaveAs(const QString& name) { AnswerModal(SaveDialogAnswer(name), [this] { Action("SaveAs1")->trigger(); }); }

    DefaultLocale locale_{Language::Locale()};
    ProgramWindows windows_;
    TForm1* form_ = windows_.form;
    TRichEdit* edit_ = windows_.edit;
};
using WindowTest = WindowTestIn<TestsLanguage>;

// --- Layout ---------------------------------------------------------------------------------

TEST_F(WindowTest, LayoutHoldsTheWindowAndItsComponents)
{
    EXPECT_EQ(form_->windowTitle(), "Zimbrots " ZIMBROTS_VERSION_TEXT);
    EXPECT_EQ(form_->centralWidget()->size(), QSize(402, 279)) << "client area";
    EXPECT_EQ(form_->minimumSize(), form_->maximumSize()) << "not resizable";
    EXPECT_EQ(form_->pos(), QPoint(282, 154));
    EXPECT_TRUE(form_->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(form_->windowFlags() & Qt::WindowMaximizeButtonHint);

    auto* label = form_->findChild<QLabel*>("Label1");
    EXPECT_EQ(label->text(), "Ievadi konvertējamo tekstu:");
    EXPECT_EQ(label->pos(), QPoint(8, 0));
    EXPECT_GE(label->width(), label->sizeHint().width()) << "caption must not be cut";
    EXPECT_EQ(edit_->geometry(), QRect(8, 16, 385, 217));
    EXPECT_EQ(edit_->font().family(), "Courier New");
    EXPECT_EQ(edit_->Font().charset, BALTIC_CHARSET);
    EXPECT_EQ(edit_->Font().pitch, fpFixed);
    EXPECT_TRUE(edit_->acceptRichText());
    EXPECT_EQ(edit_->lineWrapMode(), QTextEdit::WidgetWidth);
    EXPECT_TRUE(QFontInfo(edit_->font()).fixedPitch()) << QFontInfo(edit_->font()).family().toStdString();

    struct ButtonRow { const char* name; const char* caption; QRect geometry; };
    for (const ButtonRow& b : {ButtonRow{"BitBtn1", "&Convert", {8, 8, 65, 17}}, ButtonRow{"BitBtn3", "C&lear", {80, 8, 65, 17}},
                               ButtonRow{"BitBtn2", "E&xit", {312, 8, 65, 17}}}) {
        EXPECT_EQ(Button(b.name)->text(), b.caption);
        EXPECT_EQ(Button(b.name)->geometry(), b.geometry) << b.name;
        EXPECT_EQ(Button(b.name)->parentWidget()->objectName(), "Panel1");
    }
    EXPECT_EQ(form_->findChild<QWidget*>("Panel1")->geometry(), QRect(8, 240, 385, 33));
    auto* save = form_->findChild<TSaveDialog*>("SaveDialog1");
    EXPECT_FALSE(save->isVisible());
    EXPECT_EQ(save->NameFilters(), QStringList{"rtf (*.rtf)"});
    auto* font = form_->findChild<TFontDialog*>("FontDialog1");
    EXPECT_EQ(font->Font().font.family(), "MS Sans Serif");
    EXPECT_EQ(font->MinFontSize(), 0);
    EXPECT_EQ(font->MaxFontSize(), 0);
}

TEST_F(WindowTest, MenuTreeWithShortcuts)
{
    QMenuBar* bar = form_->menuBar();
    QStringList top;
    for (QAction* a : bar->actions())
        top << a->text();
    EXPECT_EQ(top, (QStringList{"&File", "&Do", "&Edit", "&Format", "&About"}));
    EXPECT_EQ(bar->actions().last(), Action("Help1")) << "About acts itself, with no submenu";
    EXPECT_EQ(Action("Help1")->menu(), nullptr);

    struct Item { const char* name; const char* caption; const char* shortcut; bool enabled; };
    const Item items[] = {
        {"Save1", "&Save", "Ctrl+S", false}, {"SaveAs1", "Save As..", "", true}, {"Exit1", "&Exit", "Ctrl+Q", true},
        {"Convert1", "&Convert", "Ctrl+K", true}, {"ClearALL1", "C&lear ALL", "Ctrl+L", true},
        {"Cut1", "&Cut", "Ctrl+X", true}, {"Copy1", "C&opy", "Ctrl+C", true}, {"Paste1", "&Paste", "Ctrl+V", true},
        {"SelectAll1", "Select &All", "Ctrl+A", true}, {"Font1", "&Font", "Ctrl+F", true}};
    for (const Item& item : items) {
        QAction* a = Action(item.name);
        ASSERT_NE(a, nullptr) << item.name;
        EXPECT_EQ(a->text(), item.caption);
        EXPECT_EQ(a->shortcut(), QKeySequence(item.shortcut)) << item.name;
        EXPECT_EQ(a->isEnabled(), item.enabled) << item.name;
    }
    const auto names = [](QMenu* menu) {
        QStringList list;
        for (QAction* a : menu->actions())
            list << (a->isSeparator() ? "-" : a->objectName());
        return list;
    };
    EXPECT_EQ(names(form_->findChild<QMenu*>("File1")), (QStringList{"Save1", "SaveAs1", "-", "Exit1"}));
    EXPECT_EQ(names(form_->findChild<QMenu*>("Do1")), (QStringList{"Convert1", "ClearALL1"}));
    EXPECT_EQ(names(form_->findChild<QMenu*>("edit1")), (QStringList{"Cut1", "Copy1", "Paste1", "-", "SelectAll1"}));
    EXPECT_EQ(names(form_->findChild<QMenu*>("Format1")), (QStringList{"Font1"}));
}

TEST_F(WindowTest, EditorHasFocusAndTabOrderFollowsTheLayout)
{
    EXPECT_EQ(QApplication::focusWidget(), edit_);
    QWidget* w = edit_;
    QStringList order;
    for (int k = 0; k < 3; ++k) {
        do
            w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisible());
        order << w->objectName();
    }
    EXPECT_EQ(order, (QStringList{"BitBtn1", "BitBtn3", "BitBtn2"}));
}

// --- Convert and Clear ---------------------------------------------------------------------

TEST_F(WindowTest, ConvertReplacesTheTextByExactlyItsConvertedForm)
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

TEST_F(WindowTest, ConvertKeepsCharactersOutsideTheCodePageAndLineBreaks)
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
TEST_F(WindowTest, AWordTooLongToWrapAtItsEndsWrapsAnywhereWhileItIsThere)
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
TEST_F(WindowTest, TextInTheSystemColourShowsOnADarkTheme)
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

TEST_F(WindowTest, ConvertAndClearAreEachOneUndoStepThatBringsBackFonts)
{
    Type("Sveiki ");
    TFont bold = edit_->Font();
    bold.font.setBold(true);
    bold.color = Qt::red;
    edit_->SelAttributes()->Assign(bold);
    Type("draugi");
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

// A text too long to lay out at once is laid out in steps; meanwhile the editor is read-only
// and busy. Then it is editable again, and the text, its undo and the view are as for a short one.
TEST_F(WindowTest, LongTextsAreLaidOutInStepsAndKeepTextUndoAndView)
{
    const auto laidOut = [this] {
        EXPECT_TRUE(edit_->isReadOnly()) << "busy right after the edit";
        EXPECT_TRUE(QTest::qWaitFor([this] { return !edit_->isReadOnly(); }, 60000)) << "the layout never ended";
    };
    const QString line = QStringLiteral("Ābols\tŽūžū 😀 Привет\n");
    const QString expected = line.repeated(TRichEdit::LongestLaidOutAtOnce / line.size() + 1);

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

TEST_F(WindowTest, ALongTextGoesInByStepsWithItsBreaksWhole)
{
    const int step = TRichEdit::LongestLaidOutAtOnce;
    const QString text = QString(step - 1, u'a') + "\r\n" + QString(step, u'b');  // CR ends a step
    TRichEditLines* lines = edit_->Lines();
    lines->SetText(QString(step + 1, u'x'));  // long enough for the update to be held
    lines->BeginUpdate();
    lines->SetText(text);
    lines->EndUpdate();
    EXPECT_EQ(edit_->document()->blockCount(), 2);
}

// --- Edit menu ------------------------------------------------------------------------------

TEST_F(WindowTest, EditShortcutsGoThroughTheMenuToTheClipboard)
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

TEST_F(WindowTest, ExitEndsTheProcessWithStatusOne)
{
    EXPECT_EXIT(
        {
            Type("lost without a prompt");
            Key(Qt::Key_Q);
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(Button("BitBtn2")->click(), ::testing::ExitedWithCode(1), "");
}

// --- Font -------------------------------------------------------------------------------------

TEST_F(WindowTest, FontAppliesToTheSelectionOrToWhatIsTypedNext)
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

// --- Save As ---------------------------------------------------------------------------------

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

// --- About window and start-up --------------------------------------------------------------

TEST_F(WindowTest, AboutIsModalAndTheSameWindowEveryTime)
{
    QWidget* seen[2] = {};
    for (QWidget*& s : seen) {
        AnswerModal([&s, this](QWidget* modal) {
            s = modal;
            EXPECT_EQ(modal->windowHandle()->transientParent(), form_->windowHandle()) << "over the main window";
            // While it is open the main window takes no input.
            EXPECT_EQ(modal->windowModality(), Qt::ApplicationModal);
            auto* memo = modal->findChild<QPlainTextEdit*>("Memo1");
            EXPECT_TRUE(memo->isReadOnly());
            QTest::keyClicks(memo, "edit");
            EXPECT_FALSE(memo->toPlainText().contains("edit"));
            QTest::keyClick(modal, Qt::Key_U, Qt::AltModifier);
        }, [this] { Action("Help1")->trigger(); });
    }
    EXPECT_EQ(seen[0], about);
    EXPECT_EQ(seen[1], about);
    EXPECT_FALSE(about->isVisible());
    EXPECT_EQ(about->ModalResult(), mrOk);

    int result = mrNone;
    AnswerModal([](QWidget* modal) { modal->close(); }, [&result] { result = about->ShowModal(); });
    EXPECT_EQ(result, mrCancel) << "the caption bar's close button cancels";
}

TEST(AboutWindow, LayoutAndTexts)
{
    Tabout window(nullptr);
    window.show();
    EXPECT_EQ(window.windowTitle(), "About Zimbrots " ZIMBROTS_VERSION_TEXT);
    EXPECT_EQ(window.centralWidget()->size(), QSize(307, 246));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    const std::pair<const char*, const char*> captions[] = {
        {"Label2", "Versija:"}, {"Label3", "Zimbrots " ZIMBROTS_VERSION_TEXT}, {"Label4", "Pielietojums:"},
        {"Label1", "Zimbrots teksta pārveidošanai hakeru rakstībā."}, {"Label5", "Tapšanas vēsture:"}};
    for (const auto& [name, caption] : captions)
        EXPECT_EQ(window.findChild<QLabel*>(name)->text(), caption) << name;
    EXPECT_TRUE(window.findChild<QLabel*>("Label3")->font().bold());
    auto* credit = window.findChild<QLabel*>("Label6");
    EXPECT_TRUE(credit->font().bold() && credit->font().italic());
    EXPECT_EQ(credit->font().family(), "Verdana");
    EXPECT_TRUE(credit->text().contains("2026"));
    EXPECT_EQ(window.findChild<QPushButton*>("BitBtn1")->text(), "&Understood?");
    EXPECT_EQ(window.findChild<QPushButton*>("BitBtn1")->geometry(), QRect(8, 216, 289, 25));

    const QStringList lines = window.findChild<QPlainTextEdit*>("Memo1")->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 19);
    for (int k = 0; k < lines.size(); ++k) {
        if (k == 5 || k == 16) {
            EXPECT_TRUE(lines[k].isEmpty()) << "line " << k + 1;
        } else {
            EXPECT_GE(lines[k].size(), 4) << "line " << k + 1;
            EXPECT_LE(lines[k].size(), 55) << "line " << k + 1;
        }
    }
}

// --- Language --------------------------------------------------------------------------------

// Under a Latvian locale, Qt's words and the program's own are Latvian; the layouts' are not.
class LatvianWindowTest : public WindowTestIn<Latvian> {
protected:
    static QStringList Texts(const QList<QLabel*>& labels)
    {
        QStringList texts;
        for (const QLabel* label : labels)
            texts << label->text();
        return texts;
    }
    QTemporaryDir dir_;
};

TEST_F(LatvianWindowTest, QtsWordsAndOursButNotTheLayouts)
{
    EXPECT_EQ(form_->windowTitle(), "Zimbrots " ZIMBROTS_VERSION_TEXT);
    EXPECT_EQ(Button("BitBtn1")->text(), "&Convert");
    EXPECT_EQ(form_->findChild<QLabel*>("Label1")->text(), "Ievadi konvertējamo tekstu:");
    EXPECT_EQ(Action("SaveAs1")->text(), "Save As..");

    const std::unique_ptr<QMenu> menu(edit_->createStandardContextMenu());
    QStringList items;
    for (const QAction* action : menu->actions())
        items << action->text().section(QLatin1Char('\t'), 0, 0);
    EXPECT_TRUE(items.contains("&Atsaukt") && items.contains("&Kopēt")) << items.join(", ").toStdString();

    AnswerModal([](QWidget* modal) {
        auto* dialog = qobject_cast<QFontDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Izvēlieties fontu");
        EXPECT_FALSE(dialog->currentFont().bold() || dialog->currentFont().italic())
            << "the editor's plain font is offered plain, not as " << dialog->currentFont().styleName().toStdString();
        const QStringList labels = Texts(dialog->findChildren<QLabel*>());
        EXPECT_TRUE(labels.contains("Fontu st&ils") && labels.contains("&Krāsa:")) << labels.join(", ").toStdString();
        auto* color = dialog->findChild<QComboBox*>("colorCombo");
        EXPECT_EQ(color->itemText(0), "Loga teksts");
        EXPECT_NE(color->findText("Sarkana"), -1);
        dialog->reject();
    }, [this] { Action("Font1")->trigger(); });

    ASSERT_NO_FATAL_FAILURE(Reactivate());
    WriteAll(dir_.filePath("old.rtf"), "earlier file");
    WriteAll(dir_.filePath("plain"), "not a folder");
    QString shown;
    const auto saveAs = [this] { Action("SaveAs1")->trigger(); };
    AnswerModals({SaveDialogAnswer(dir_.filePath("old")), MessageBoxAnswer(shown, QMessageBox::No)}, saveAs);
    EXPECT_EQ(shown, "\"old.rtf\" jau ir. Vai to aizstāt?");
    AnswerModals({SaveDialogAnswer(dir_.filePath("plain/inside")), MessageBoxAnswer(shown)}, saveAs);
    EXPECT_TRUE(shown.startsWith("Nevar saglabāt \"inside.rtf\": ")) << shown.toStdString();
}

struct StartUpFailure : ::testing::TestWithParam<bool> {};

TEST_P(StartUpFailure, IsReportedAndTheEntryReturnsZero)
{
    const bool platformException = GetParam();
    QString shown = "not shown";
    int status = -1;
    AnswerModal(MessageBoxAnswer(shown), [&status, platformException] {
        status = WinMain([platformException] {
            if (platformException)
                throw Exception("The window could not be built.");
            throw 42;
        });
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(shown, platformException ? "The window could not be built." : "");
}
INSTANTIATE_TEST_SUITE_P(Both, StartUpFailure, ::testing::Bool());

TEST(StartUp, ClosingTheMainWindowEndsTheLoopWithZero)
{
    TForm1* main = nullptr;
    QTimer::singleShot(100, [&] {
        ASSERT_NE(main, nullptr);
        EXPECT_TRUE(main->isVisible());
        main->close();
    });
    // The forms stay with the application object until it ends.
    const int status = WinMain([&] { Application->CreateForm(main); });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(main->isVisible());
}

}  // namespace
