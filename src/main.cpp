#include "gui/uMain.h"
#include "platform/application.h"

#include <QPointer>

#ifdef ORVENNA_WITH_LIBREOFFICE
#include "office/libreoffice/officeservers.h"
#endif

int main(int argc, char **argv)
{
    platform::Application app(argc, argv);
#ifdef ORVENNA_WITH_LIBREOFFICE
    // Word and Excel are LibreOffice: started at the first Office call, ended with the program.
    office::libreoffice::LibreOfficeServers office;
#endif
    // The program ends when the main form is freed, not when a message box shown while the form
    // is hidden (an unattended run) happens to be the last window to close.
    app.setQuitOnLastWindowClosed(false);
    auto *frmMain = new gui::TfrmMain;
    // The main form's close (caFree) frees it and ends the program, also when it was hidden.
    QObject::connect(frmMain, &QObject::destroyed, &app, &QCoreApplication::quit);
    frmMain->show();
    return app.exec();
}
