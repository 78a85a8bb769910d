// The windows' layouts as built: the main window, its menu and tab order, and the About window.
#include "platform/dialogs.h"
#include "gui_support.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>

namespace {

using LayoutTest = WindowTest;

TEST_F(LayoutTest, LayoutHoldsTheWindowAndItsComponents)
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

TEST_F(LayoutTest, MenuTreeWithShortcuts)
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

TEST_F(LayoutTest, EditorHasFocusAndTabOrderFollowsTheLayout)
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

}  // namespace
