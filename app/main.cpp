#include "about/tabout.h"
#include "app/startup.h"
#include "mainwindow/tform1.h"
#include "platform/application.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (!DisplayAvailable()) {
        std::fprintf(stderr, "%s\n", NoDisplayMessage().toLocal8Bit().constData());
        return 1;
    }
    TApplication application(argc, argv, ZimbrotsIdentity());
    return WinMain([] {
        Application->CreateForm(Form1);
        Application->CreateForm(about);
    });
}
