// The About window: the program's name, version, purpose and history. Layout only.
#pragma once

#include "platform/forms.h"

#include <memory>

namespace Ui {
class Tabout;
}

class Tabout : public TForm {
    Q_OBJECT

public:
    explicit Tabout(QWidget* owner);
    ~Tabout() override;

private:
    std::unique_ptr<Ui::Tabout> ui;
};

extern Tabout* about;
