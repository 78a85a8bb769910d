#include "about/tabout.h"

Tabout* about = nullptr;
