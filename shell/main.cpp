#include <QApplication>

#include "mainwindow/frm_main.h"
#include "shell/app_metadata.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The application name only: a display name would be appended to every caption, "Warning" included.
    vellumar::ApplyAppMetadata();

    // Lives until exec returns: closing it during a run only ends the program once the run is over.
    vellumar::TfrmMain frmMain;

    // The overlay dialog is created here, hidden, and handed to the main window with SetOverlayDialog.

    frmMain.show();
    return QApplication::exec();
}
