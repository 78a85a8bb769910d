// The program under a Latvian locale: Qt's words and the program's own are Latvian, the
// layouts' are not.
#include "gui_support.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontDialog>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>
#include <memory>

namespace {

class LanguageTest : public WindowTestIn<Latvian> {
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

TEST_F(LanguageTest, QtsWordsAndOursButNotTheLayouts)
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

}  // namespace
