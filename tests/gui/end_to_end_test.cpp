// The whole program driven as a user would: folders chosen in the folder dialog, options set with
// the mouse and keyboard, an overlay composed in its dialog, a run, a stopped run, and the report.
#include <utility>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "mainwindow/folder_dialog.h"
#include "mainwindow/frm_main.h"
#include "overlay/dialog/frm_overlay_dlg.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/modal.h"
#include "tests/support/photo_fixtures.h"
#include "tests/support/temp_dir.h"
#include "tests/support/widgets.h"

namespace vellumar
{
namespace
{

using test::MakeJpeg;
using test::ReadBytes;
using test::TJpegFixtureOptions;
using test::TTempDir;
using test::WhenModal;

using test::Child;

QStringList RunCommandLine(const QStringList &arguments, QString *errors = nullptr, int *exitCode = nullptr)
{
    QProcess process;
    process.start(QStringLiteral(VELLUMAR_BATCH_EXE), arguments);
    EXPECT_TRUE(process.waitForFinished(120000));
    if (errors != nullptr)
        *errors = QString::fromUtf8(process.readAllStandardError());
    if (exitCode != nullptr)
        *exitCode = process.exitCode();
    QString out = QString::fromUtf8(process.readAllStandardOutput());
    out.chop(1);
    return out.split(QLatin1Char('\n'));
}

// The summary line's time differs from run to run.
QStringList WithoutTime(QStringList lines)
{
    return lines.replaceInStrings(QRegularExpression(QStringLiteral(", [0-9.]+ s$")), QString());
}

class EndToEnd : public ::testing::Test
{
protected:
    EndToEnd()
    {
        // Wired as start-up wires them.
        mOverlay.SetOverlaySwitch(mWindow.OverlaySwitch());
        mWindow.SetOverlayDialog(&mOverlay, &mOverlay);
        // The same-folder warning is not part of this path; a box here would be a failure.
        mWindow.SetSameFolderWarning([] {
            ADD_FAILURE() << "unexpected same-folder warning";
        });
        mWindow.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&mWindow));
        // The second photo is by far the largest: in the window's parallel run the photos after it are
        // done before it is.
        for (int i = 0; i < 6; ++i) {
            TJpegFixtureOptions options;
            options.Width = i == 1 ? 1600 : 160 + 13 * i;
            options.Height = i == 1 ? 1200 : 120 + 7 * i;
            options.Gray = i == 4;
            mSource.Write(QStringLiteral("IMG_%1.jpg").arg(i + 1), MakeJpeg(options));
        }
        mSource.WriteText(QStringLiteral("notes.txt"), "not listed");
    }

    // Clicks a folder button and accepts path in the folder dialog it opens.
    void ChooseInFolderDialog(const char *button, const QString &path)
    {
        // Each dialog says which folder it chooses.
        const QString caption = qstrcmp(button, "btnSrcFolder") == 0 ? QStringLiteral("Choose Source Folder")
                                                                     : QStringLiteral("Choose Destination Folder");
        WhenModal<TfrmFolderBrowse>([path, caption](TfrmFolderBrowse *dialog) {
            EXPECT_EQ(dialog->windowTitle(), caption);
            EXPECT_TRUE(dialog->SelectPath(path));
            QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
        });
        QTest::mouseClick(Child(mWindow, button), Qt::LeftButton);
    }
    void Click(QWidget &window, const char *name) { QTest::mouseClick(Child(window, name), Qt::LeftButton); }
    void Retype(QWidget *field, const QString &text)
    {
        field->setFocus();
        if (auto *spin = qobject_cast<QAbstractSpinBox *>(field))
            spin->selectAll();
        else if (auto *edit = qobject_cast<QLineEdit *>(field))
            edit->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
    }
    [[nodiscard]] QStringList Log() const { return mWindow.StatusLog().Lines(); }
    // Start, and wait for the run's end: it goes on its own thread (a refused Start ends at once).
    void Start()
    {
        QSignalSpy ended(&mWindow, &TfrmMain::RunEnded);
        Click(mWindow, "btnProcess");
        if (mWindow.Running()) {
            EXPECT_TRUE(ended.wait(60000));
        }
    }

    TTempDir mSource;
    TTempDir mDestination;
    TfrmMain mWindow;
    TfrmOverlayDlg mOverlay;
};

TEST_F(EndToEnd, ChooseComposeRunStopAndSaveTheReport)
{
    ChooseInFolderDialog("btnSrcFolder", mSource.Path());
    ChooseInFolderDialog("btnDestFolder", mDestination.Path());
    EXPECT_TRUE(Child(mWindow, "btnProcess")->isEnabled());

    // Reduce by 40 % at quality 75, rename as trip_001_web.jpg onwards.
    Click(mWindow, "cbResize");
    Retype(Child(mWindow, "seResizePercent"), QStringLiteral("40"));
    Retype(Child(mWindow, "seQuality"), QStringLiteral("75"));
    Click(mWindow, "cbRename");
    Retype(Child(mWindow, "ebPrefix"), QStringLiteral("trip_"));
    Retype(Child(mWindow, "ebSuffix"), QStringLiteral("_web"));
    auto *padding = Child<QSpinBox>(mWindow, "sePadding");
    padding->setFocus();
    QTest::keyClick(padding, Qt::Key_Up);
    QTest::keyClick(padding, Qt::Key_Up);
    EXPECT_EQ(Child<QLabel>(mWindow, "pnlSample")->text(), QStringLiteral("trip_001_web.jpg"));

    // Compose the overlay; OK ticks "Add Text Overlay" since the text changed.
    Click(mWindow, "btnOverlay");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&mOverlay));
    auto *text = Child<QPlainTextEdit>(mOverlay, "moText");
    text->setFocus();
    text->selectAll();
    QTest::keyClicks(text, QStringLiteral("Summer 2026"));
    Click(mOverlay, "cbBold");
    auto *position = Child<QComboBox>(mOverlay, "cbTxtPos");
    position->setFocus();
    for (int step = 0; step < 4; ++step) // from "Centre" down to "Bottom Right"
        QTest::keyClick(position, Qt::Key_Down);
    EXPECT_EQ(position->currentIndex(), 8);
    Click(mOverlay, "btnClose");
    EXPECT_FALSE(mOverlay.isVisible());
    EXPECT_TRUE(mWindow.OverlaySwitch()->isChecked());

    Start();
    EXPECT_EQ(Log().value(Log().size() - 2), QStringLiteral("FINISHED"));
    EXPECT_EQ(Child<QLineEdit>(mWindow, "ebNumber")->text(), QStringLiteral("007"));

    // The window runs one photo per processor at once; the command line with the same choices, one at a
    // time, logs the same lines and writes the same files.
    TTempDir cliOut;
    const QStringList cliLog = RunCommandLine({ QStringLiteral("--jobs=1"),
        QStringLiteral("--resize=40"),
        QStringLiteral("--quality=75"),
        QStringLiteral("--rename"),
        QStringLiteral("--prefix=trip_"),
        QStringLiteral("--suffix=_web"),
        QStringLiteral("--padding=2"),
        QStringLiteral("--overlay"),
        QStringLiteral("--text=Summer 2026"),
        QStringLiteral("--bold"),
        QStringLiteral("--position=bottom-right"),
        mSource.Path(),
        cliOut.Path() });
    QStringList windowLog = Log();
    windowLog[2] = QStringLiteral("Destination Folder is: ") + cliOut.Path();
    EXPECT_EQ(WithoutTime(windowLog), WithoutTime(cliLog));
    EXPECT_EQ(WithoutTime({ windowLog.last() }),
        QStringList { QStringLiteral("Summary: 6 of 6 images done, 0 failed, 0 with warnings") });
    const QStringList written = QDir(mDestination.Path()).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(written.size(), 6);
    EXPECT_EQ(QDir(cliOut.Path()).entryList(QDir::Files, QDir::Name), written);
    for (const QString &name : written)
        EXPECT_EQ(ReadBytes(mDestination.File(name)), ReadBytes(cliOut.File(name))) << name.toStdString();

    // A second run, stopped once its first photo has been handed out: that photo is finished, no other
    // is started.
    bool stopping = false;
    const QMetaObject::Connection stopper =
        QObject::connect(Child<QLineEdit>(mWindow, "ebNumber"), &QLineEdit::textChanged, &mWindow, [&] {
            if (!std::exchange(stopping, true))
                Click(mWindow, "btnStop");
        });
    const qsizetype before = Log().size();
    Start();
    QObject::disconnect(stopper);
    const QStringList stopped = Log().mid(before);
    EXPECT_EQ(stopped.value(1), QStringLiteral(">"));
    EXPECT_EQ(stopped.value(3), QStringLiteral("Renaming: IMG_1.jpg to trip_007_web.jpg"));
    EXPECT_EQ(WithoutTime(stopped.mid(4)),
        (QStringList { QStringLiteral("Resizing: trip_007_web.jpg..."),
            QStringLiteral("trip_007_web.jpg resized: H72 W96"),
            QStringLiteral("Overlay Added"),
            QStringLiteral("Aborting..."),
            QStringLiteral("Processing ABORTED !"),
            QStringLiteral("Summary: 1 of 6 images done, 0 failed, 0 with warnings") }));
    EXPECT_TRUE(Child(mWindow, "btnProcess")->isEnabled());
    EXPECT_FALSE(Child(mWindow, "btnStop")->isEnabled());

    // Re-choosing the folder the list shows lists it afresh: a photo added since is counted.
    mSource.Write(QStringLiteral("IMG_9.jpg"), MakeJpeg());
    ChooseInFolderDialog("btnSrcFolder", mSource.Path());
    EXPECT_EQ(Log().last(), QStringLiteral("Images Found: 7"));

    // Save the report through the save dialog.
    const QString report = mDestination.File(QStringLiteral("run report.txt"));
    WhenModal<QFileDialog>([report](QFileDialog *dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Save Report As..."));
        dialog->selectFile(report);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    Click(mWindow, "SpeedButton1");
    const std::vector<std::uint8_t> bytes = ReadBytes(report);
    EXPECT_EQ(QString::fromUtf8(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())),
        Log().join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
}

// A failed copy and a refused run read the same in the window and on the command line.
TEST_F(EndToEnd, FailuresAndRefusalsSayTheSameInBothFrontEnds)
{
    mSource.WriteText(QStringLiteral("IMG_7.jpg"), QByteArray()); // an empty file: its copy fails
    ChooseInFolderDialog("btnSrcFolder", mSource.Path());
    ChooseInFolderDialog("btnDestFolder", mDestination.Path());
    Click(mWindow, "cbRename");
    Start();
    const QStringList windowRun = Log().mid(3);
    TTempDir cliOut;
    int exitCode = -1;
    const QStringList cliRun =
        RunCommandLine({ QStringLiteral("--jobs=2"), QStringLiteral("--rename"), mSource.Path(), cliOut.Path() },
            nullptr,
            &exitCode)
            .mid(3);
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(WithoutTime(windowRun), WithoutTime(cliRun));
    EXPECT_TRUE(windowRun.contains(QStringLiteral("ERROR: %1 is empty (0 bytes); it is not copied")
                                       .arg(mSource.File(QStringLiteral("IMG_7.jpg")))));
    EXPECT_EQ(WithoutTime({ windowRun.last() }),
        QStringList { QStringLiteral("Summary: 6 of 7 images done, 1 failed, 0 with warnings") });

    // Names shifted onto the sources: refused before anything is written, in a box and on standard error.
    int warnings = 0;
    mWindow.SetSameFolderWarning([&warnings] {
        ++warnings;
    });
    ChooseInFolderDialog("btnDestFolder", mSource.Path());
    EXPECT_EQ(warnings, 1);
    Retype(Child(mWindow, "ebPrefix"), QStringLiteral("IMG_"));
    Retype(Child(mWindow, "ebNumber"), QStringLiteral("2"));
    const QStringList logBefore = Log();
    QString boxText;
    WhenModal<QMessageBox>([&boxText](QMessageBox *box) {
        boxText = box->text();
        box->accept();
    });
    Start();
    QString errors;
    RunCommandLine({ QStringLiteral("--rename"),
                       QStringLiteral("--prefix=IMG_"),
                       QStringLiteral("--number=2"),
                       mSource.Path(),
                       mSource.Path() },
        &errors,
        &exitCode);
    EXPECT_EQ(exitCode, 2);
    const QStringList clashes = errors.split(QLatin1Char('\n'))
                                    .filter(QStringLiteral("  IMG_"))
                                    .replaceInStrings(QRegularExpression(QStringLiteral("^  ")), QString());
    EXPECT_EQ(clashes.size(), 6) << errors.toStdString();
    const QStringList boxLines = boxText.split(QLatin1Char('\n'));
    EXPECT_EQ(boxLines.mid(1, 5), clashes.mid(0, 5)) << boxText.toStdString();
    EXPECT_EQ(boxLines.last(), QStringLiteral("... and 1 more."));
    // The log keeps what the box said.
    EXPECT_EQ(Log(), logBefore + boxText.chopped(1).split(QLatin1Char('\n')));
    EXPECT_EQ(QDir(mSource.Path()).entryList(QDir::Files).size(), 8);
}

// The window's "Rotate upright" and "Metadata" give the files and the log of the command line's options.
TEST_F(EndToEnd, PhotoChoicesGiveTheCommandLinesFiles)
{
    mSource.Write(QStringLiteral("IMG_0.jpg"),
        test::WithSegments(MakeJpeg({ .Width = 90, .Height = 60 }),
            { { 0xE1, test::MakeExif({ .Orientation = 6 }) } }));
    ChooseInFolderDialog("btnSrcFolder", mSource.Path());
    ChooseInFolderDialog("btnDestFolder", mDestination.Path());
    Click(mWindow, "cbResize");
    Child<QComboBox>(mWindow, "cbMetadata")->setCurrentIndex(2);
    const std::pair<bool, QStringList> runs[] = {
        { true, { QStringLiteral("--metadata=keep-no-gps") } },
        { false, { QStringLiteral("--metadata=keep-no-gps"), QStringLiteral("--no-auto-orient") } },
    };
    for (const auto &[upright, options] : runs) {
        if (Child<QCheckBox>(mWindow, "cbAutoOrient")->isChecked() != upright)
            Click(mWindow, "cbAutoOrient");
        ASSERT_EQ(Child<QCheckBox>(mWindow, "cbAutoOrient")->isChecked(), upright);
        const qsizetype before = Log().size();
        Start();
        const QStringList windowRun = Log().mid(before);
        TTempDir cliOut;
        const QStringList cliRun = RunCommandLine(
            QStringList { QStringLiteral("--resize=50") } + options + QStringList { mSource.Path(), cliOut.Path() })
                                       .mid(3);
        EXPECT_EQ(WithoutTime(windowRun).join(QLatin1Char('\n')).toStdString(),
            WithoutTime(cliRun).join(QLatin1Char('\n')).toStdString());
        EXPECT_TRUE(windowRun.contains(
            upright ? QStringLiteral("IMG_0.jpg resized: H45 W30") : QStringLiteral("IMG_0.jpg resized: H30 W45")));
        const std::vector<std::uint8_t> written = ReadBytes(mDestination.File(QStringLiteral("IMG_0.jpg")));
        EXPECT_EQ(written, ReadBytes(cliOut.File(QStringLiteral("IMG_0.jpg"))));
        EXPECT_FALSE(test::ContainsText(written, test::kExifGpsMark));
    }
}

} // namespace
} // namespace vellumar
