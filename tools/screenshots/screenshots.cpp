// Draws the documentation's pictures of the windows: the main window after a small run, the overlay
// dialog over a sample picture, the folder dialog and the About box. Not a test: it checks nothing.
// Usage: vellumar-screenshots OUTPUT_FOLDER (tools/screenshots.sh runs it).
#include <cstdio>
#include <optional>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include "imaging/bitmap.h"
#include "imaging/dialog_font.h"
#include "imaging/jpeg_image.h"
#include "mainwindow/folder_dialog.h"
#include "mainwindow/frm_main.h"
#include "overlay/dialog/frm_overlay_dlg.h"
#include "shell/frm_about.h"
#include "version/app_metadata.h"

namespace vellumar
{
namespace
{

template<class T = QWidget>
T *Child(const QWidget &window, const char *name)
{
    return window.findChild<T *>(QLatin1String(name));
}

/** Chooses the entry text of box, as the user would from the drop-down. */
void Choose(QComboBox &box, const QString &text)
{
    const int index = box.findText(text);
    box.setCurrentIndex(index);
    emit box.activated(index);
}

/** A calm photograph: sky over sea, width by height. */
TBitmap SkyOverSea(int width, int height)
{
    TBitmap picture;
    picture.SetPixelFormat24();
    picture.SetBitmapWidth(width);
    picture.SetBitmapHeight(height);
    QImage &pixels = picture.MutableImage();
    const int horizon = height * 5 / 8;
    for (int y = 0; y < height; ++y) {
        const QColor colour = y < horizon ? QColor(70 + y * 120 / height, 130 + y * 96 / height, 210)
                                          : QColor(20, 70 + (y - horizon) * 80 / height, 110);
        for (int x = 0; x < width; ++x)
            pixels.setPixelColor(x, y, colour);
    }
    return picture;
}

void WritePhoto(const QString &path, int width, int height)
{
    TJPEGImage photo;
    photo.AssignBitmap(SkyOverSea(width, height));
    photo.SaveJpegFile(path);
}

bool Save(QWidget &window, const QString &folder, const char *name)
{
    const QString path = QDir(folder).filePath(QLatin1String(name));
    const bool saved = window.grab().save(path);
    std::printf("%s %s\n", saved ? "written:" : "FAILED:", qPrintable(path));
    return saved;
}

bool MainWindow(const QString &folder)
{
    QTemporaryDir root;
    const QString source = root.filePath(QStringLiteral("Holiday"));
    QDir().mkpath(source + QStringLiteral("/web"));
    for (const char *name : { "beach_001.jpg", "beach_002.jpg", "harbour.jpg", "sunset.jpeg" })
        WritePhoto(source + QLatin1Char('/') + QLatin1String(name), 64, 48);

    TfrmMain window;
    std::vector<QString> answers { source, source + QStringLiteral("/web") };
    window.SetFolderChooser([&answers](const QString &) {
        std::optional<QString> answer;
        if (!answers.empty()) {
            answer = answers.front();
            answers.erase(answers.begin());
        }
        return answer;
    });
    window.show();
    Child<QToolButton>(window, "btnSrcFolder")->click();
    Child<QToolButton>(window, "btnDestFolder")->click();
    Child<QCheckBox>(window, "cbResize")->click();
    Child<QCheckBox>(window, "cbRename")->click();
    Child<QLineEdit>(window, "ebPrefix")->setText(QStringLiteral("holiday_"));
    Child<QLineEdit>(window, "ebSuffix")->setText(QStringLiteral("_web"));
    Child<QSpinBox>(window, "sePadding")->setValue(2);
    Child<QPushButton>(window, "btnProcess")->click();
    Child<QListWidget>(window, "lbSrc")->setCurrentRow(0);
    return Save(window, folder, "main_window.png");
}

bool OverlayDialog(const QString &folder)
{
    QTemporaryDir dir;
    const QString sample = dir.filePath(QStringLiteral("sample.bmp"));
    SkyOverSea(640, 480).Image().save(sample, "BMP");
    TfrmOverlayDlg dialog;
    dialog.LoadSamplePicture(sample);
    Choose(*Child<QComboBox>(dialog, "cbFontName"), QStringLiteral("DejaVu Sans"));
    Choose(*Child<QComboBox>(dialog, "cbFontColor"), QStringLiteral("Yellow"));
    Choose(*Child<QComboBox>(dialog, "cbFontSize"), QStringLiteral("Large"));
    Choose(*Child<QComboBox>(dialog, "cbTxtPos"), QStringLiteral("Bottom Centre"));
    Child<QCheckBox>(dialog, "cbBold")->click();
    Child<QPlainTextEdit>(dialog, "moText")->setPlainText(QStringLiteral("Harbour at Dusk\n&Vellumar"));
    dialog.show();
    return Save(dialog, folder, "overlay_dialog.png");
}

bool FolderDialog(const QString &folder)
{
    bool saved = false;
    // The dialog runs its own modal loop; it is pictured and closed from inside it.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *window = qobject_cast<TfrmFolderBrowse *>(QApplication::activeModalWidget());
        if (window == nullptr || !window->isVisible())
            return;
        poll.stop();
        window->SelectPath(QStringLiteral("/usr/share/fonts/truetype"));
        saved = Save(*window, folder, "folder_dialog.png");
        window->reject();
    });
    poll.start(0);
    TFolderDialog dialog;
    (void)dialog.Execute(nullptr);
    return saved;
}

bool AboutBox(const QString &folder)
{
    TfrmAbout box;
    box.show();
    return Save(box, folder, "about_box.png");
}

} // namespace
} // namespace vellumar

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    vellumar::ApplyAppMetadata();
    vellumar::InstallDialogFontSubstitutes();
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    bool ok = vellumar::MainWindow(folder);
    ok = vellumar::OverlayDialog(folder) && ok;
    ok = vellumar::FolderDialog(folder) && ok;
    ok = vellumar::AboutBox(folder) && ok;
    return ok ? 0 : 1;
}
