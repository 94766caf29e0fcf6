#include "mainwindow/frm_main.h"

#include "shell/app_metadata.h"

namespace vellumar {

TfrmMain::TfrmMain(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(QString::fromLatin1(kAppTitle));
    resize(565, 420);
}

} // namespace vellumar
