// The About window: the program's name, version, purpose and history. Layout only.
#pragma once

#include "about/ui_tabout.h"
#include "platform/forms.h"

class Tabout : public TForm, private Ui::Tabout {
    Q_OBJECT

public:
    explicit Tabout(QWidget* owner) : TForm(owner) { setupUi(this); }
};

extern Tabout* about;
