#include "gui/uMain.h"
#include "platform/application.h"

#include <QPointer>

int main(int argc, char **argv)
{
    platform::Application app(argc, argv);
    auto *frmMain = new gui::TfrmMain;
    // The main form's close (caFree) frees it and ends the program, also when it was hidden.
    QObject::connect(frmMain, &QObject::destroyed, &app, &QCoreApplication::quit);
    frmMain->show();
    return app.exec();
}
