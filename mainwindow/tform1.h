// The main window: the editor, its menu and buttons, and the commands they call.
#pragma once

#include "platform/forms.h"

#include <QString>
#include <memory>
#include <string>

namespace Ui {
class TForm1;
}

class TForm1 : public TForm {
    Q_OBJECT

public:
    explicit TForm1(QWidget* owner);
    ~TForm1() override;

public slots:
    void Exit1Click();
    void BitBtn3Click();
    void BitBtn1Click();
    void Help1Click();
    void Save1Click();
    void SaveAs1Click();
    void Font1Click();
    void Cut1Click();
    void Copy1Click();
    void Paste1Click();
    void SelectAll1Click();

private:
    std::unique_ptr<Ui::TForm1> ui;  // the layout's widgets, by the layout's names

    std::u16string WorkText;  // the text while it is converted, where the editor cannot convert it itself
    QString SaveName;         // the last name chosen in the save dialog, before ".rtf"
};

// The file a chosen name is saved as: ".rtf" is added unless the name already ends with it.
QString WithRtfExtension(const QString& name);

extern TForm1* Form1;
