#include "mainwindow/tform1.h"

#include "about/tabout.h"
#include "app/application.h"
#include "conversion/convert.h"

#include <QApplication>
#include <QFileInfo>

TForm1* Form1 = nullptr;

TForm1::TForm1(QWidget* owner) : TForm(owner) { setupUi(this); }

TForm1::~TForm1() = default;

QString WithRtfExtension(const QString& name)
{
    if (name.endsWith(QLatin1String(".rtf"), Qt::CaseInsensitive))
        return name;
    return name + QLatin1String(".rtf");
}

void TForm1::Exit1Click() { Halt(1); }

void TForm1::BitBtn3Click() { RichEdit1->Clear(); }

void TForm1::BitBtn1Click()
{
    // A long text takes a moment: say so with the cursor.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TRichEditLines* lines = RichEdit1->Lines();
    lines->BeginUpdate();  // one step of undo brings the text and its fonts back
    WorkText = lines->GetText().toStdU16String();
    lines->Clear();
    ConvertToHacker(WorkText);
    lines->SetText(QString::fromStdU16String(WorkText));
    lines->EndUpdate();
    QApplication::restoreOverrideCursor();
}

void TForm1::Help1Click() { about->ShowModal(); }

void TForm1::Save1Click() { SaveDialog1->SetFileName(QStringLiteral("kaka")); }

void TForm1::SaveAs1Click()
{
    SaveDialog1->SetFileName(QStringLiteral("kaka"));
    if (!SaveDialog1->Execute())
        return;
    SaveName = SaveDialog1->FileName();
    const QString target = WithRtfExtension(SaveName);
    if (QFileInfo::exists(target) &&
        MessageDlgYesNo(QStringLiteral("\"%1\" already exists. Do you want to replace it?").arg(QFileInfo(target).fileName())) != mrYes)
        return;
    RichEdit1->Lines()->SaveToFile(target);
    RichEdit1->SetModified(false);
}

void TForm1::Font1Click()
{
    FontDialog1->SetFont(RichEdit1->Font());
    if (!FontDialog1->Execute())
        return;
    RichEdit1->SelAttributes()->Assign(FontDialog1->Font());
}

void TForm1::Cut1Click() { RichEdit1->CutToClipboard(); }
void TForm1::Copy1Click() { RichEdit1->CopyToClipboard(); }
void TForm1::Paste1Click() { RichEdit1->PasteFromClipboard(); }
void TForm1::SelectAll1Click() { RichEdit1->SelectAll(); }
