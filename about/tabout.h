// The About window: the program's name, version, purpose and history. Layout only.
#pragma once

// moc need not read the generated layout, and must not: whether uic has written it yet when moc
// runs beside it would change what moc writes, and so the program's bytes.
#ifndef Q_MOC_RUN
#include "about/ui_tabout.h"
#endif
#include "platform/forms.h"

class Tabout : public TForm, private Ui::Tabout {
    Q_OBJECT

public:
    explicit Tabout(QWidget* owner) : TForm(owner) { setupUi(this); }
};

extern Tabout* about;
