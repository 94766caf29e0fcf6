// Draws the documentation's pictures of the windows: the main window after a small run, the overlay
// dialog over a sample picture, the folder dialog, the About box, the plan view and the output preview.
// Not a test: it checks nothing.
// Usage: vellumar-screenshots OUTPUT_FOLDER (tools/screenshots.sh runs it).
#include <cstdio>
#include <optional>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include "engine/dry_run.h"
#include "imaging/bitmap.h"
#include "imaging/dialog_font.h"
#include "imaging/jpeg_image.h"
#include "mainwindow/folder_dialog.h"
#include "mainwindow/frm_about.h"
#include "mainwindow/frm_main.h"
#include "mainwindow/frm_plan.h"
#include "mainwindow/frm_preview.h"
#include "overlay/dialog/frm_overlay_dlg.h"
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

// A window with a source of five photos and a destination that already holds one of the outputs.
struct TTripWindow {
    QTemporaryDir Root;
    TfrmMain Window;
    std::vector<QString> Answers;

    TTripWindow(int width, int height)
    {
        const QString source = Root.filePath(QStringLiteral("Trip"));
        const QString destination = source + QStringLiteral("/web");
        QDir().mkpath(destination);
        const char *names[] { "IMG_2041.jpg", "IMG_2042.jpg", "IMG_2043.jpg", "IMG_2050.jpg", "IMG_2051.jpg" };
        for (int i = 0; i < 5; ++i)
            WritePhoto(source + QLatin1Char('/') + QLatin1String(names[i]), width + 40 * i, height + 20 * (i % 2));
        WritePhoto(destination + QStringLiteral("/trip_02.jpg"), 32, 24);
        Answers = { source, destination };
        Window.SetFolderChooser([this](const QString &) {
            std::optional<QString> answer;
            if (!Answers.empty()) {
                answer = Answers.front();
                Answers.erase(Answers.begin());
            }
            return answer;
        });
        Window.show();
        Child<QToolButton>(Window, "btnSrcFolder")->click();
        Child<QToolButton>(Window, "btnDestFolder")->click();
        Child<QCheckBox>(Window, "cbResize")->click();
        Child<QCheckBox>(Window, "cbRename")->click();
        Child<QLineEdit>(Window, "ebPrefix")->setText(QStringLiteral("trip_"));
        Child<QSpinBox>(Window, "sePadding")->setValue(1);
    }
};

bool PlanView(const QString &folder)
{
    TTripWindow trip(4032, 3024);
    TfrmPlan plan(PlanDryRun(trip.Window.Snapshot()), &trip.Window);
    plan.show();
    return Save(plan, folder, "plan_view.png");
}

bool OutputPreview(const QString &folder)
{
    TTripWindow trip(1200, 800);
    Child<QSpinBox>(trip.Window, "seResizePercent")->setValue(40);
    Child<QCheckBox>(trip.Window, "cbOverlay")->click();
    Child<QListWidget>(trip.Window, "lbSrc")->setCurrentRow(1);
    Child<QPushButton>(trip.Window, "btnPreview")->click();
    TfrmPreview &preview = *trip.Window.Preview();
    QEventLoop wait;
    QObject::connect(&preview, &TfrmPreview::PreviewShown, &wait, &QEventLoop::quit);
    wait.exec();
    preview.resize(1000, 600);
    QApplication::processEvents();
    return Save(preview, folder, "output_preview.png");
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
    // The windows' Start keeps the last used settings; Qt's test folders keep them out of the user's.
    QStandardPaths::setTestModeEnabled(true);
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
    ok = vellumar::PlanView(folder) && ok;
    ok = vellumar::OutputPreview(folder) && ok;
    return ok ? 0 : 1;
}
