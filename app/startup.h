// The program's entry: initialise, create the windows, run the loop, report what escapes.
#pragma once

#include "platform/application.h"

#include <QString>
#include <functional>

// Runs the steps in one protected block and returns 0 whatever happens; createForms builds
// the windows through Application->CreateForm.
int WinMain(const std::function<void()>& createForms);

// True when a display is there to show windows on (or Qt was told which platform to use).
bool DisplayAvailable();

// The program's name, desktop entry, icon and translation.
ProgramIdentity ZimbrotsIdentity();

// The one sentence for a machine without a display, in the user's language.
QString NoDisplayMessage();
