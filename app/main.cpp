#include "about/tabout.h"
#include "app/startup.h"
#include "mainwindow/tform1.h"
#include "platform/application.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (!DisplayAvailable()) {
        std::fputs("zimbrots: there is no graphical display to show the window on (DISPLAY is not set).\n", stderr);
        return 1;
    }
    TApplication application(argc, argv);
    return WinMain([] {
        Application->CreateForm(Form1);
        Application->CreateForm(about);
    });
}
