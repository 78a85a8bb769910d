// The main window: the editor, its menu and buttons, and the commands they call.
#pragma once

#include "platform/forms.h"
// moc need not read the generated layout, and must not: whether uic has written it yet when moc
// runs beside it would change what moc writes, and so the program's bytes.
#ifndef Q_MOC_RUN
#include "mainwindow/ui_tform1.h"
#endif

#include <QString>
#include <string>

class TForm1 : public TForm, private Ui::TForm1 {
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
    friend struct TForm1Inspector;  // lets the tests read the two strings

    std::u16string WorkText;  // the text being converted
    QString SaveName;         // the last name chosen in the save dialog, before ".rtf"
};

// The file a chosen name is saved as: ".rtf" is added unless the name already ends with it.
QString WithRtfExtension(const QString& name);

extern TForm1* Form1;
