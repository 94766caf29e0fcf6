// Draws the documentation's pictures of the windows: the main window after a run (long edge and overlay),
// the overlay dialog over a sample picture, the folder dialog with a typed path, the About box, the plan
// view with a clash and the output preview. The photos are the MATE desktop backgrounds (Debian
// mate-backgrounds) when installed, else drawn ones. Not a test: it checks nothing.
// Usage: vellumar-screenshots OUTPUT_FOLDER [SUFFIX] (tools/screenshots.sh runs it; SUFFIX goes before ".png").
#include <cstdio>
#include <optional>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include "engine/dry_run.h"
#include "engine/pixel_size.h"
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

// The photographs of the MATE backgrounds, largest variants left out; empty when they are not installed.
QStringList RealPhotos()
{
    QStringList photos;
    for (const char *name : { "nature/Dune.jpg",
             "nature/FreshFlower.jpg",
             "nature/GreenMeadow.jpg",
             "nature/LadyBird.jpg",
             "nature/RainDrops.jpg",
             "nature/Storm.jpg",
             "nature/Wood.jpg",
             "nature/YellowFlower.jpg",
             "desktop/Elephants.jpg",
             "nature/Garden.jpg" }) {
        const QString path = QStringLiteral("/usr/share/backgrounds/mate/") + QLatin1String(name);
        if (QFileInfo(path).isFile())
            photos << path;
    }
    return photos;
}

// Fills folder with photos: the real ones under their names (or under names, when given, in turn), else
// drawn ones.
void FillWithPhotos(const QString &folder, const QStringList &names = {})
{
    QDir().mkpath(folder);
    const QStringList photos = RealPhotos();
    if (photos.isEmpty()) {
        const QStringList drawn =
            names.isEmpty() ? QStringList { "beach_001.jpg", "harbour.jpg", "sunset.jpeg" } : names;
        for (const QString &name : drawn)
            WritePhoto(folder + QLatin1Char('/') + name, 1600, 1200);
        return;
    }
    for (int i = 0; i < photos.size() && (names.isEmpty() || i < names.size()); ++i)
        QFile::copy(photos[i],
            folder + QLatin1Char('/') + (names.isEmpty() ? QFileInfo(photos[i]).fileName() : names[i]));
}

QString gSuffix;

// The window as the user sees it: with the window manager's frame and caption when drawn on an X display
// (after a moment for the frame to be drawn), else its own contents.
QPixmap Picture(QWidget &window)
{
    if (QGuiApplication::platformName() == QLatin1String("xcb") && window.screen() != nullptr) {
        window.raise();
        window.activateWindow();
        QEventLoop settle;
        QTimer::singleShot(400, &settle, &QEventLoop::quit);
        settle.exec();
        const QRect frame = window.frameGeometry();
        const QPixmap shot = window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
        if (!shot.isNull())
            return shot;
    }
    return window.grab();
}

bool Save(QWidget &window, const QString &folder, const char *name)
{
    const QString path = QDir(folder).filePath(QLatin1String(name) + gSuffix + QStringLiteral(".png"));
    const bool saved = Picture(window).save(path);
    std::printf("%s %s\n", saved ? "written:" : "FAILED:", qPrintable(path));
    return saved;
}

bool MainWindow(const QString &folder)
{
    QTemporaryDir root;
    const QString source = root.filePath(QStringLiteral("Holiday"));
    FillWithPhotos(source);
    QDir().mkpath(source + QStringLiteral("/web"));

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
    window.SetResizeOptions({ .Filter = TResizeFilter::Smooth, .Mode = TSizeMode::LongEdge, .LongEdge = 1600 });
    Child<QCheckBox>(window, "cbOverlay")->click();
    // The run goes on its own thread: the picture shows the window after it, as the user sees it then.
    QEventLoop ended;
    QObject::connect(&window, &TfrmMain::RunEnded, &ended, &QEventLoop::quit);
    Child<QPushButton>(window, "btnProcess")->click();
    if (window.Running())
        ended.exec();
    Child<QListWidget>(window, "lbSrc")->setCurrentRow(0);
    return Save(window, folder, "main_window");
}

// A window with a source of five photos as a camera names them and a destination that already holds one of
// the outputs; with intoSource, the destination is the source folder itself.
struct TTripWindow {
    QTemporaryDir Root;
    TfrmMain Window;
    std::vector<QString> Answers;

    explicit TTripWindow(bool intoSource = false)
    {
        const QString source = Root.filePath(QStringLiteral("Trip"));
        const QString destination = intoSource ? source : source + QStringLiteral("/web");
        FillWithPhotos(source, { "IMG_2041.jpg", "IMG_2042.jpg", "IMG_2043.jpg", "IMG_2050.jpg", "IMG_2051.jpg" });
        QDir().mkpath(destination);
        if (!intoSource)
            QFile::copy(source + QStringLiteral("/IMG_2050.jpg"), destination + QStringLiteral("/trip_02.jpg"));
        Answers = { source, destination };
        Window.SetFolderChooser([this](const QString &) {
            std::optional<QString> answer;
            if (!Answers.empty()) {
                answer = Answers.front();
                Answers.erase(Answers.begin());
            }
            return answer;
        });
        // The picture is of the plan: the same-folder warning is not waited for.
        Window.SetSameFolderWarning([] {});
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
    // Into the source folder, named as the camera names them from 2043 on: two photos would overwrite
    // listed ones before they are read.
    TTripWindow trip(true);
    Child<QLineEdit>(trip.Window, "ebPrefix")->setText(QStringLiteral("IMG_"));
    Child<QLineEdit>(trip.Window, "ebNumber")->setText(QStringLiteral("2043"));
    Child<QSpinBox>(trip.Window, "sePadding")->setValue(0);
    TfrmPlan plan(PlanDryRun(trip.Window.Snapshot()), &trip.Window);
    plan.show();
    return Save(plan, folder, "plan_view");
}

bool OutputPreview(const QString &folder)
{
    TTripWindow trip;
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
    return Save(preview, folder, "output_preview");
}

bool OverlayDialog(const QString &folder)
{
    QTemporaryDir dir;
    const QString sample = dir.filePath(QStringLiteral("sample.bmp"));
    SkyOverSea(640, 480).Image().save(sample, "BMP");
    const QStringList photos = RealPhotos();
    TfrmOverlayDlg dialog;
    dialog.LoadSamplePicture(photos.isEmpty() ? sample : photos.value(photos.size() > 5 ? 5 : 0));
    Choose(*Child<QComboBox>(dialog, "cbFontName"), QStringLiteral("DejaVu Sans"));
    Choose(*Child<QComboBox>(dialog, "cbFontColor"), QStringLiteral("Yellow"));
    Choose(*Child<QComboBox>(dialog, "cbFontSize"), QStringLiteral("Large"));
    Choose(*Child<QComboBox>(dialog, "cbTxtPos"), QStringLiteral("Bottom Centre"));
    Child<QCheckBox>(dialog, "cbBold")->click();
    Child<QPlainTextEdit>(dialog, "moText")->setPlainText(QStringLiteral("Harbour at Dusk\n&Vellumar"));
    dialog.show();
    return Save(dialog, folder, "overlay_dialog");
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
        // A path typed into the field, the tree following it.
        const QString typed = QStringLiteral("/usr/share/backgrounds/mate");
        window->PathField()->setText(typed);
        emit window->PathField()->textEdited(typed);
        saved = Save(*window, folder, "folder_dialog");
        window->reject();
    });
    poll.start(0);
    TFolderDialog dialog;
    (void)dialog.Execute(nullptr, QStringLiteral("Choose Source Folder"));
    return saved;
}

bool AboutBox(const QString &folder)
{
    TfrmAbout box;
    box.show();
    return Save(box, folder, "about_box");
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
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER [SUFFIX]\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (argc == 3)
        vellumar::gSuffix = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(folder);
    bool ok = vellumar::MainWindow(folder);
    ok = vellumar::OverlayDialog(folder) && ok;
    ok = vellumar::FolderDialog(folder) && ok;
    ok = vellumar::AboutBox(folder) && ok;
    ok = vellumar::PlanView(folder) && ok;
    ok = vellumar::OutputPreview(folder) && ok;
    return ok ? 0 : 1;
}
