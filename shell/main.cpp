#include <QApplication>

#include "mainwindow/frm_main.h"
#include "shell/app_metadata.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    vellumar::ApplyAppMetadata();
    vellumar::TfrmMain frmMain;
    frmMain.show();
    return QApplication::exec();
}
