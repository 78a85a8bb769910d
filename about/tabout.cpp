#include "about/tabout.h"
#include "ui_tabout.h"

Tabout* about = nullptr;

Tabout::Tabout(QWidget* owner) : TForm(owner), ui(std::make_unique<Ui::Tabout>()) { ui->setupUi(this); }
Tabout::~Tabout() = default;
