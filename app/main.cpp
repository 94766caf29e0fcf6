#include <QApplication>
#include <QDirIterator>
#include <QIcon>
#include <QSettings>

#include "imaging/dialog_font.h"
#include "mainwindow/frm_main.h"
#include "overlay/dialog/frm_overlay_dlg.h"
#include "version/app_metadata.h"
#include "widgets/translations.h"

int main(int argc, char *argv[])
{
    // The program keeps only its presets between runs, as files of their own; Qt's colour chooser would
    // otherwise store its custom colours in the user's configuration. A path that can never be a folder
    // keeps it from it.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
    QApplication app(argc, argv);
    // The application name only: a display name would be appended to every caption, "Warning" included.
    vellumar::ApplyAppMetadata();
    // The windows in the user's language; the status log and the reports stay as they are in every one.
    vellumar::InstallTranslations(app);
    vellumar::InstallDialogFontSubstitutes();
    // The desktop matches the window to its menu entry by this name; every window shows the program's
    // icon, rendered at each size from the one drawing.
    QGuiApplication::setDesktopFileName(QStringLiteral(VELLUMAR_APP_ID));
    QIcon appIcon;
    for (QDirIterator it(QStringLiteral(":/icons/app")); it.hasNext();)
        appIcon.addFile(it.next());
    QApplication::setWindowIcon(appIcon);

    // Lives until exec returns: closing it during a run stops the run, and the program ends once it has returned.
    vellumar::TfrmMain frmMain;

    // Created once, hidden: its controls hold the overlay settings whether or not it is ever shown.
    vellumar::TfrmOverlayDlg frmOverlayDlg;
    frmOverlayDlg.SetOverlaySwitch(frmMain.OverlaySwitch());
    frmMain.SetOverlayDialog(&frmOverlayDlg, &frmOverlayDlg);
    frmMain.ApplyStartSettings();

    frmMain.show();
    return QApplication::exec();
}
