#include "mainwindow/tform1.h"
#include "ui_tform1.h"

#include "about/tabout.h"
#include "platform/application.h"
#include "platform/dialogs.h"
#include "conversion/convert.h"

#include <QApplication>
#include <QFileInfo>

TForm1* Form1 = nullptr;

namespace {

// A long text takes a moment: say so with the cursor.
struct BusyCursor {
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace

TForm1::TForm1(QWidget* owner) : TForm(owner), ui(std::make_unique<Ui::TForm1>()) { ui->setupUi(this); }

TForm1::~TForm1() = default;

QString WithRtfExtension(const QString& name)
{
    if (name.endsWith(QLatin1String(".rtf"), Qt::CaseInsensitive))
        return name;
    return name + QLatin1String(".rtf");
}

void TForm1::Exit1Click() { Halt(1); }

void TForm1::BitBtn3Click() { Dispatch([this] { ui->RichEdit1->Clear(); }); }

void TForm1::BitBtn1Click()
{
    Dispatch([this] {
        BusyCursor busy;
        TRichEditLines* lines = ui->RichEdit1->Lines();
        if (lines->Convert(zimbrots::ConvertUtf16))
            return;
        // What only Qt's undo brings back whole, tables or pictures, goes through WorkText.
        lines->BeginUpdate();  // one step of undo brings the text and its fonts back
        struct EndUpdate {
            TRichEditLines* lines;
            ~EndUpdate() { lines->EndUpdate(); }
        } endUpdate{lines};
        WorkText = lines->GetText();
        lines->Clear();
        WorkText = zimbrots::ConvertUtf16(WorkText);
        // Read where it lies: megabytes need no third copy on their way into the editor.
        lines->SetText(QString::fromRawData(reinterpret_cast<const QChar*>(WorkText.data()), qsizetype(WorkText.size())));
        WorkText = std::u16string();  // the editor holds the result: nothing reads it here
    });
}

void TForm1::Help1Click() { Dispatch([] { about->ShowModal(); }); }

// The layout keeps Save disabled and nothing enables it, so this never runs; it stays because the
// layout binds the item to it by name, and presets the name as the item always has.
void TForm1::Save1Click() { Dispatch([this] { ui->SaveDialog1->SetFileName(QStringLiteral("kaka")); }); }

void TForm1::SaveAs1Click()
{
    Dispatch([this] {
        ui->SaveDialog1->SetFileName(QStringLiteral("kaka"));
        if (!ui->SaveDialog1->Execute())
            return;
        SaveName = ui->SaveDialog1->FileName();
        const QString target = WithRtfExtension(SaveName);
        if (QFileInfo::exists(target) &&
            MessageDlgYesNo(tr("\"%1\" already exists. Do you want to replace it?")
                                .arg(QFileInfo(target).fileName())) != mrYes)
            return;
        ui->RichEdit1->Lines()->SaveToFile(target);
        ui->RichEdit1->SetModified(false);
    });
}

void TForm1::Font1Click()
{
    Dispatch([this] {
        ui->FontDialog1->SetFont(ui->RichEdit1->Font());
        if (!ui->FontDialog1->Execute())
            return;
        ui->RichEdit1->SelAttributes()->Assign(ui->FontDialog1->Font());
    });
}

void TForm1::Cut1Click() { Dispatch([this] { ui->RichEdit1->CutToClipboard(); }); }
void TForm1::Copy1Click() { Dispatch([this] { ui->RichEdit1->CopyToClipboard(); }); }
void TForm1::Paste1Click()
{
    Dispatch([this] {
        BusyCursor busy;
        ui->RichEdit1->PasteFromClipboard();
    });
}
void TForm1::SelectAll1Click() { Dispatch([this] { ui->RichEdit1->SelectAll(); }); }
