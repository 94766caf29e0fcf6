#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <gtest/gtest.h>

#include "engine/job_settings.h"
#include "mainwindow/frm_main.h"
#include "mainwindow/frm_output_options.h"
#include "mainwindow/frm_plan.h"
#include "mainwindow/frm_preview.h"
#include "mainwindow/preview_pane.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/modal.h"
#include "tests/support/photo_fixtures.h"
#include "tests/support/report_schema.h"
#include "tests/support/temp_dir.h"
#include "tests/support/widgets.h"
#include "widgets/elided_label.h"
#include "widgets/run_guarded.h"

namespace vellumar
{
namespace
{

using test::MakeJpeg;
using test::ReadBytes;
using test::TJpegFixtureOptions;
using test::TTempDir;

using test::Child;

// Answers every modal message box that opens while it lives with OK, recording caption and text.
class TMessageBoxAnswerer
{
public:
    TMessageBoxAnswerer()
    {
        mTimer.setInterval(0);
        QObject::connect(&mTimer, &QTimer::timeout, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                Boxes.push_back({ box->windowTitle(), box->text(), box->icon() });
                box->done(QMessageBox::Ok);
            }
        });
        mTimer.start();
    }
    struct TBox {
        QString Title;
        QString Text;
        QMessageBox::Icon Icon;
    };
    std::vector<TBox> Boxes;

private:
    QTimer mTimer;
};

void WriteJpegs(const TTempDir &dir, const QStringList &names, int width = 64, int height = 48)
{
    TJpegFixtureOptions options;
    options.Width = width;
    options.Height = height;
    for (const QString &name : names)
        dir.Write(name, MakeJpeg(options));
}

class FrmMain : public ::testing::Test
{
protected:
    FrmMain()
    {
        mWindow.SetFolderChooser([this](const QString &lastFolder) {
            LastFolders << lastFolder;
            if (Answers.empty())
                return std::optional<QString>();
            std::optional<QString> answer = Answers.front();
            Answers.erase(Answers.begin());
            return answer;
        });
        mWindow.SetSameFolderWarning([this] {
            ++Warnings;
        });
        mWindow.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&mWindow));
    }

    void ChooseSource(const QString &folder)
    {
        Answers.push_back(folder);
        QTest::mouseClick(Child<QToolButton>(mWindow, "btnSrcFolder"), Qt::LeftButton);
    }
    void ChooseDestination(const QString &folder)
    {
        Answers.push_back(folder);
        QTest::mouseClick(Child<QToolButton>(mWindow, "btnDestFolder"), Qt::LeftButton);
    }
    // Start, and wait for the run's end: it goes on its own thread (a refused Start ends at once).
    void ClickStart()
    {
        QSignalSpy ended(&mWindow, &TfrmMain::RunEnded);
        QTest::mouseClick(Child<QPushButton>(mWindow, "btnProcess"), Qt::LeftButton);
        if (mWindow.Running()) {
            EXPECT_TRUE(ended.wait(60000));
        }
    }
    QStringList Log() const { return mWindow.StatusLog().Lines(); }
    // The lines written since the run began (its first line is the empty one).
    // The last run's lines, without its closing summary (its time differs from run to run).
    QStringList RunLines() const
    {
        QStringList lines = Log();
        lines = lines.mid(lines.lastIndexOf(QString()));
        if (!lines.isEmpty() && lines.last().startsWith(QLatin1String("Summary: ")))
            lines.removeLast();
        return lines;
    }
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

    // With renaming on: runs action as the number field shows image 1's number taken, while the image may
    // still be in hand; the run asks the window before it hands out image 2, so it sees what action did.
    QMetaObject::Connection AfterTheFirstImageIsHandedOut(std::function<void()> action)
    {
        return QObject::connect(Child<QLineEdit>(mWindow, "ebNumber"),
            &QLineEdit::textChanged,
            &mWindow,
            [action = std::move(action), done = false]() mutable {
                if (!std::exchange(done, true))
                    action();
            });
    }

    TfrmMain mWindow;
    std::vector<std::optional<QString>> Answers;
    QStringList LastFolders;
    int Warnings = 0;
};

TEST(FrmMainLayout, TheWindowsDataIsInItsControls)
{
    TfrmMain frm;
    EXPECT_EQ(frm.windowTitle(), QStringLiteral("Vellumar- v1.2.1.20"));
    EXPECT_EQ(frm.minimumWidth(), 565);
    EXPECT_EQ(frm.maximumWidth(), 565);
    EXPECT_EQ(frm.size(), QSize(565, 498));

    const std::pair<const char *, const char *> captions[] = {
        { "Label1", "Source Image Folder:" },
        { "Label2", "Destination Image Folder:" },
        { "RzLabel1", " % " },
        { "RzLabel2", "Output Quality: " },
        { "lblPrefix", "Stem Prefix:" },
        { "lblNumber", "Number from:" },
        { "lblPadding", "Padding:" },
        { "lblSuffix", "Stem Suffix:" },
        { "lblSample", "Sample:" },
        { "lblStatus", "Status" },
        { "lblMetadata", "Metadata:" },
    };
    for (const auto &[name, caption] : captions)
        EXPECT_EQ(Child<QLabel>(frm, name)->text(), QString::fromLatin1(caption)) << name;
    struct TButtonData {
        const char *Name;
        const char *Caption;
        Qt::CursorShape Cursor;
    };
    for (const TButtonData &button : { TButtonData { "cbResize", "Reduce image size by:", Qt::PointingHandCursor },
             TButtonData { "cbRename", "Rename Image:", Qt::PointingHandCursor },
             TButtonData { "cbOverlay", "Add Text Overlay", Qt::PointingHandCursor },
             TButtonData { "btnProcess", "Start", Qt::PointingHandCursor },
             TButtonData { "btnStop", "Stop", Qt::PointingHandCursor },
             TButtonData { "btnOverlay", "Text Overlay...", Qt::PointingHandCursor },
             TButtonData { "cbAutoOrient", "Rotate upright", Qt::PointingHandCursor },
             TButtonData { "Button1", "Close", Qt::ArrowCursor } }) {
        const auto *control = Child<QAbstractButton>(frm, button.Name);
        EXPECT_EQ(control->text(), QString::fromLatin1(button.Caption)) << button.Name;
        EXPECT_EQ(control->cursor().shape(), button.Cursor) << button.Name;
    }
    for (const char *name : { "cbResize", "cbRename", "cbOverlay" })
        EXPECT_FALSE(Child<QCheckBox>(frm, name)->isChecked()) << name;
    // Photos come out upright by default, and without their camera data as before.
    EXPECT_TRUE(Child<QCheckBox>(frm, "cbAutoOrient")->isChecked());
    const auto *metadata = Child<QComboBox>(frm, "cbMetadata");
    EXPECT_EQ(metadata->currentText(), QStringLiteral("None"));
    EXPECT_EQ(metadata->count(), 3);
    EXPECT_EQ(metadata->itemText(2), QStringLiteral("Keep, without GPS"));
    const std::pair<const char *, const char *> hints[] = {
        { "btnSrcFolder", "Choose Source Folder..." },
        { "btnDestFolder", "Choose Destination Folder..." },
        { "btnClear", "Clear Status Window" },
        { "SpeedButton1", "Save Status Report..." },
        { "btnAbout", "About Vellumar..." },
    };
    for (const auto &[name, hint] : hints) {
        const auto *button = Child<QToolButton>(frm, name);
        EXPECT_EQ(button->toolTip(), QString::fromLatin1(hint)) << name;
        EXPECT_FALSE(button->icon().isNull()) << name;
        EXPECT_EQ(button->cursor().shape(), Qt::PointingHandCursor) << name;
    }
    EXPECT_FALSE(Child<QPushButton>(frm, "btnProcess")->icon().isNull());
    EXPECT_FALSE(Child<QPushButton>(frm, "btnStop")->icon().isNull());

    struct TSpinData {
        const char *Name;
        int Minimum, Maximum, Value;
    };
    for (const TSpinData &spin : { TSpinData { "seResizePercent", 1, 99, 50 },
             TSpinData { "seQuality", 1, 100, 90 },
             TSpinData { "sePadding", 0, 4, 0 } }) {
        const auto *box = Child<QSpinBox>(frm, spin.Name);
        EXPECT_EQ(box->minimum(), spin.Minimum) << spin.Name;
        EXPECT_EQ(box->maximum(), spin.Maximum) << spin.Name;
        EXPECT_EQ(box->value(), spin.Value) << spin.Name;
        EXPECT_EQ(box->singleStep(), 1) << spin.Name;
        EXPECT_FALSE(box->wrapping()) << spin.Name;
    }
    EXPECT_EQ(Child<QLineEdit>(frm, "ebNumber")->text(), QStringLiteral("1"));
    const auto *progress = Child<QProgressBar>(frm, "ProgressBar");
    EXPECT_EQ(progress->minimum(), 0);
    EXPECT_EQ(progress->maximum(), 100);
    EXPECT_EQ(progress->value(), 0);
    EXPECT_TRUE(progress->isTextVisible());
    const auto *memo = Child<QPlainTextEdit>(frm, "moStatus");
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_FALSE(memo->focusPolicy() & Qt::TabFocus);
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    const auto *list = Child<QListWidget>(frm, "lbSrc");
    EXPECT_FALSE(list->focusPolicy() & Qt::TabFocus);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);

    // The keyboard order, read from the focus chain among the tab stops.
    const QStringList expected = { "cbResize",
        "seResizePercent",
        "seQuality",
        "btnOutputOptions",
        "cbRename",
        "ebPrefix",
        "ebNumber",
        "sePadding",
        "ebSuffix",
        "ebSrcFolder",
        "btnSrcFolder",
        "ebDestFolder",
        "btnDestFolder",
        "btnProcess",
        "btnStop",
        "cbOverlay",
        "btnOverlay",
        "cbAutoOrient",
        "cbMetadata",
        "btnClear",
        "SpeedButton1",
        "btnAbout",
        "Button1" };
    QStringList order;
    for (QWidget *w = Child(frm, "cbResize"); order.size() < expected.size(); w = w->nextInFocusChain())
        if ((w->focusPolicy() & Qt::TabFocus) && expected.contains(w->objectName()) && !order.contains(w->objectName()))
            order << w->objectName();
    EXPECT_EQ(order, expected);

    // Every caption fits its control, a long sample name too.
    Child<QLabel>(frm, "pnlSample")->setText(QStringLiteral("mate2026_001_web.jpg"));
    EXPECT_EQ(test::ClippedCaptions(frm), QStringList());
}

TEST_F(FrmMain, OnlyTheStatusMemoFollowsTheHeight)
{
    auto *memo = Child(mWindow, "moStatus");
    const int memoHeight = memo->height();
    mWindow.resize(565, 600);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return memo->height() == memoHeight + 102;
    }));
    EXPECT_EQ(Child(mWindow, "pnlTop")->height(), 326);
    EXPECT_EQ(Child(mWindow, "pnlBottom")->height(), 31);
    EXPECT_EQ(Child(mWindow, "Button1")->mapTo(&mWindow, QPoint(0, 0)), QPoint(474, 600 - 31 + 4));
    EXPECT_EQ(memo->x(), 10);
    EXPECT_EQ(memo->width(), 565 - 20);
    EXPECT_EQ(mWindow.width(), 565);
}

TEST_F(FrmMain, StartsWithTheDefaults)
{
    ASSERT_TRUE(QTest::qWaitForWindowActive(&mWindow));
    EXPECT_EQ(Child<QLabel>(mWindow, "pnlSample")->text(), QStringLiteral("1.jpg"));
    EXPECT_FALSE(Child(mWindow, "btnProcess")->isEnabled());
    EXPECT_FALSE(Child(mWindow, "btnStop")->isEnabled());
    for (const char *name : { "seQuality", "RzLabel2", "pnlSample", "cbOverlay", "btnOverlay" })
        EXPECT_TRUE(Child(mWindow, name)->isEnabled()) << name;
    for (const char *name : { "seResizePercent",
             "RzLabel1",
             "lblPrefix",
             "ebPrefix",
             "lblNumber",
             "ebNumber",
             "lblPadding",
             "sePadding",
             "lblSuffix",
             "ebSuffix",
             "lblSample" })
        EXPECT_FALSE(Child(mWindow, name)->isEnabled()) << name;
    EXPECT_TRUE(Child<QPlainTextEdit>(mWindow, "moStatus")->toPlainText().isEmpty());
}

TEST_F(FrmMain, ActivationBringsTheFieldsInLineWithTheirBoxes)
{
    ASSERT_TRUE(QTest::qWaitForWindowActive(&mWindow));
    // Ticked without a click: only the next activation brings the fields in line.
    Child<QCheckBox>(mWindow, "cbResize")->setChecked(true);
    Child<QCheckBox>(mWindow, "cbRename")->setChecked(true);
    EXPECT_FALSE(Child(mWindow, "seResizePercent")->isEnabled());
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    mWindow.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&mWindow));
    EXPECT_TRUE(Child(mWindow, "seResizePercent")->isEnabled());
    EXPECT_TRUE(Child(mWindow, "ebPrefix")->isEnabled());
}

TEST(FrmMainStartUp, ListsTheJpegsOfTheWorkingDirectory)
{
    TTempDir dir;
    WriteJpegs(dir, { "b.jpg", "A.JPEG" });
    dir.WriteText(QStringLiteral("notes.txt"), "x");
    const QString previous = QDir::currentPath();
    const auto restore = qScopeGuard([&] {
        QDir::setCurrent(previous);
    });
    ASSERT_TRUE(QDir::setCurrent(dir.Path()));
    TfrmMain frm;
    const auto *list = Child<QListWidget>(frm, "lbSrc");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("A.JPEG"));
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("b.jpg"));
    EXPECT_FALSE(list->item(0)->icon().isNull());
    EXPECT_EQ(list->visualItemRect(list->item(1)).height(), 18);
    EXPECT_EQ(frm.Snapshot().SourceFolder, QDir(dir.Path()).canonicalPath());
}

TEST_F(FrmMain, CheckBoxesEnableTheirFieldsOnly)
{
    auto *quality = Child(mWindow, "seQuality");
    QTest::mouseClick(Child(mWindow, "cbResize"), Qt::LeftButton);
    EXPECT_TRUE(Child(mWindow, "seResizePercent")->isEnabled());
    EXPECT_TRUE(Child(mWindow, "RzLabel1")->isEnabled());
    EXPECT_TRUE(quality->isEnabled());
    EXPECT_FALSE(Child(mWindow, "ebPrefix")->isEnabled());

    QTest::mouseClick(Child(mWindow, "cbOverlay"), Qt::LeftButton);
    EXPECT_TRUE(mWindow.Snapshot().Overlay);
    EXPECT_FALSE(Child(mWindow, "ebPrefix")->isEnabled());
    EXPECT_TRUE(Child(mWindow, "btnOverlay")->isEnabled());

    QTest::mouseClick(Child(mWindow, "cbRename"), Qt::LeftButton);
    for (const char *name : { "lblPrefix",
             "ebPrefix",
             "lblNumber",
             "ebNumber",
             "lblPadding",
             "sePadding",
             "lblSuffix",
             "ebSuffix",
             "lblSample",
             "pnlSample" })
        EXPECT_TRUE(Child(mWindow, name)->isEnabled()) << name;
    QTest::mouseClick(Child(mWindow, "cbResize"), Qt::LeftButton);
    EXPECT_FALSE(Child(mWindow, "seResizePercent")->isEnabled());
    EXPECT_TRUE(quality->isEnabled());
}

TEST_F(FrmMain, PaddingAndNumberMakeTheSample)
{
    QTest::mouseClick(Child(mWindow, "cbRename"), Qt::LeftButton);
    auto *number = Child<QLineEdit>(mWindow, "ebNumber");
    auto *padding = Child<QSpinBox>(mWindow, "sePadding");
    auto *sample = Child<QLabel>(mWindow, "pnlSample");
    QTest::keyClicks(Child(mWindow, "ebPrefix"), QStringLiteral("beach"));
    QTest::keyClicks(Child(mWindow, "ebSuffix"), QStringLiteral("_web"));
    Retype(number, QStringLiteral("5"));
    padding->setValue(3);
    EXPECT_EQ(number->text(), QStringLiteral("0005"));
    EXPECT_EQ(sample->text(), QStringLiteral("beach0005_web.jpg"));

    padding->setValue(2);
    Retype(number, QStringLiteral("7"));
    number->clearFocus();
    EXPECT_EQ(number->text(), QStringLiteral("007"));
    padding->setValue(0);
    EXPECT_EQ(number->text(), QStringLiteral("7"));
    EXPECT_EQ(sample->text(), QStringLiteral("beach7_web.jpg"));

    // Only digits and one sign at the start may be typed into the number.
    Retype(number, QStringLiteral("x-1-2a"));
    EXPECT_EQ(number->text(), QStringLiteral("-12"));
    EXPECT_EQ(sample->text(), QStringLiteral("beach-12_web.jpg"));

    // A name too long for the field keeps its start and end on screen, and the whole as the label's text.
    QTest::keyClicks(Child(mWindow, "ebSuffix"), QStringLiteral("_a_very_long_part_of_the_name_end"));
    const QString shown = static_cast<TElidedLabel *>(sample)->ShownText();
    EXPECT_EQ(sample->text(), QStringLiteral("beach-12_web_a_very_long_part_of_the_name_end.jpg"));
    EXPECT_TRUE(shown.startsWith(QLatin1String("beach")) && shown.endsWith(QLatin1String("end.jpg"))
        && shown.contains(QChar(0x2026)))
        << shown.toStdString();
}

TEST_F(FrmMain, SpinEditsTakeDigitsAndClampWhenLeft)
{
    auto *quality = Child<QSpinBox>(mWindow, "seQuality");
    Retype(quality, QStringLiteral("a+-1x"));
    EXPECT_EQ(quality->text(), QStringLiteral("+1"));
    Retype(quality, QStringLiteral("250"));
    EXPECT_EQ(quality->text(), QStringLiteral("250"));
    Child(mWindow, "ebSrcFolder")->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return !quality->hasFocus();
    }));
    EXPECT_EQ(quality->value(), 100);
    EXPECT_EQ(quality->text(), QStringLiteral("100"));
    QTest::keyClick(quality, Qt::Key_PageDown);
    EXPECT_EQ(quality->value(), 90);

    // The padding only steps: typed keys change nothing, steps stop at the bounds.
    QTest::mouseClick(Child(mWindow, "cbRename"), Qt::LeftButton);
    auto *padding = Child<QSpinBox>(mWindow, "sePadding");
    padding->setFocus();
    QTest::keyClicks(padding, QStringLiteral("3"));
    QTest::keyClick(padding, Qt::Key_Backspace);
    EXPECT_EQ(padding->value(), 0);
    EXPECT_EQ(padding->text(), QStringLiteral("0"));
    QTest::keyClick(padding, Qt::Key_Up);
    EXPECT_EQ(padding->value(), 1);
    QTest::keyClick(padding, Qt::Key_PageUp);
    EXPECT_EQ(padding->value(), 4);
    QTest::keyClick(padding, Qt::Key_Up);
    EXPECT_EQ(padding->value(), 4);
    EXPECT_EQ(Child<QLineEdit>(mWindow, "ebNumber")->text(), QStringLiteral("00001"));
}

TEST_F(FrmMain, ChoosingFoldersLogsThemAndEnablesStart)
{
    TTempDir source;
    TTempDir destination;
    WriteJpegs(source, { "one.jpg", "two.jpg", "three.jpeg" });
    auto *start = Child(mWindow, "btnProcess");

    ChooseSource(source.Path());
    EXPECT_EQ(Child<QLineEdit>(mWindow, "ebSrcFolder")->text(), source.Path());
    EXPECT_EQ(Child<QListWidget>(mWindow, "lbSrc")->count(), 3);
    EXPECT_FALSE(start->isEnabled());
    ChooseDestination(destination.Path());
    EXPECT_TRUE(start->isEnabled());
    EXPECT_EQ(Child<QLineEdit>(mWindow, "ebDestFolder")->text(), destination.Path() + QLatin1Char('/'));
    EXPECT_EQ(Log(),
        (QStringList { QStringLiteral("Source Folder is: ") + source.Path(),
            QStringLiteral("Images Found: 3"),
            QStringLiteral("Destination Folder is: ") + destination.Path() }));
    // The second dialog opens at the folder accepted in the first.
    EXPECT_EQ(LastFolders, (QStringList { QString(), source.Path() }));
    EXPECT_EQ(Child<QPlainTextEdit>(mWindow, "moStatus")->toPlainText(), Log().join(QLatin1Char('\n')));

    // Cancelling changes nothing.
    Answers.push_back(std::nullopt);
    QTest::mouseClick(Child(mWindow, "btnSrcFolder"), Qt::LeftButton);
    Answers.push_back(std::nullopt);
    QTest::mouseClick(Child(mWindow, "btnDestFolder"), Qt::LeftButton);
    EXPECT_EQ(Log().size(), 3);
    EXPECT_EQ(Child<QLineEdit>(mWindow, "ebSrcFolder")->text(), source.Path());
    EXPECT_TRUE(start->isEnabled());
    EXPECT_EQ(Warnings, 0);
}

// A folder dropped from a file manager (or a photo, for its folder) is chosen as the button chooses it: the
// same lines, the same list; a choice or F5 reads the folder afresh.
TEST_F(FrmMain, DroppedFoldersAreChosenAsTheButtonsChooseThem)
{
    TTempDir source;
    TTempDir destination;
    WriteJpegs(source, { "one.jpg", "two.jpg" });
    ChooseSource(source.Path());
    ChooseDestination(destination.Path());
    const QStringList byButton = Log();
    mWindow.btnClearClick();

    auto drop = [](QWidget *target, const QString &path) {
        QMimeData data;
        data.setUrls({ QUrl::fromLocalFile(path) });
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        return enter.isAccepted() && dropped.isAccepted();
    };
    QWidget *list = Child<QListWidget>(mWindow, "lbSrc")->viewport();
    QWidget *destinationField = Child(mWindow, "ebDestFolder");
    const struct {
        QWidget *Target;
        QString Dropped;
    } drops[] = {
        { list, source.Path() },
        { destinationField, destination.Path() },
        { list, source.File(QStringLiteral("two.jpg")) },
    };
    for (const auto &item : drops)
        EXPECT_TRUE(drop(item.Target, item.Dropped)) << item.Dropped.toStdString();
    EXPECT_EQ(Log(), byButton + byButton.mid(0, 2));
    // The folder dialog opens where the last drop chose.
    ChooseDestination(destination.Path());
    EXPECT_EQ(LastFolders.last(), source.Path());
    // Something that is no local file is refused.
    EXPECT_FALSE(drop(list, source.File(QStringLiteral("gone.jpg"))));

    // Re-choosing the folder shown, or F5 in the list, lists what is there now.
    mWindow.btnClearClick();
    WriteJpegs(source, { "three.jpg" });
    ChooseSource(source.Path());
    WriteJpegs(source, { "four.jpg" });
    QTest::keyClick(Child<QListWidget>(mWindow, "lbSrc"), Qt::Key_F5);
    EXPECT_EQ(Log(),
        (QStringList { QStringLiteral("Source Folder is: ") + source.Path(),
            QStringLiteral("Images Found: 3"),
            QStringLiteral("Source Folder is: ") + source.Path(),
            QStringLiteral("Images Found: 4") }));

    // The report is proposed in the destination folder.
    QStringList proposals;
    mWindow.SetReportFileChooser([&proposals](const QString &proposed) {
        proposals << proposed;
        return std::nullopt;
    });
    QTest::mouseClick(Child(mWindow, "SpeedButton1"), Qt::LeftButton);
    EXPECT_EQ(proposals, QStringList { destination.File(QStringLiteral("Quendrix.txt")) });
}

TEST_F(FrmMain, SameFolderWarnsOnlyWhenTheDestinationIsChosen)
{
    TTempDir folder;
    ChooseDestination(folder.Path());
    ChooseSource(folder.Path());
    EXPECT_EQ(Warnings, 0);
    ChooseDestination(folder.Path());
    EXPECT_EQ(Warnings, 1);
    EXPECT_EQ(Log().last(), QStringLiteral("Destination Folder is: ") + folder.Path());
    EXPECT_TRUE(Child(mWindow, "btnProcess")->isEnabled());

    // A typed source text differing in the case of A to Z, or another path to the same folder.
    Child<QLineEdit>(mWindow, "ebSrcFolder")->setText(folder.Path().toUpper());
    ChooseDestination(folder.Path());
    EXPECT_EQ(Warnings, 2);
    Child<QLineEdit>(mWindow, "ebSrcFolder")->setText(folder.Path());
    ASSERT_TRUE(QFile::link(folder.Path(), folder.Path() + QStringLiteral("-link")));
    const auto unlink = qScopeGuard([&] {
        QFile::remove(folder.Path() + QStringLiteral("-link"));
    });
    ChooseDestination(folder.Path() + QStringLiteral("-link"));
    EXPECT_EQ(Warnings, 3);
}

TEST_F(FrmMain, ASourceFolderThatCannotBeEnteredChangesNothing)
{
    TTempDir source;
    WriteJpegs(source, { "a.jpg" });
    ChooseSource(source.Path());
    const QStringList logBefore = Log();
    const QString missing = source.File(QStringLiteral("missing"));
    TMessageBoxAnswerer answerer;
    ChooseSource(missing);
    ASSERT_EQ(answerer.Boxes.size(), 1u);
    EXPECT_EQ(answerer.Boxes[0].Title, QStringLiteral("Vellumar"));
    EXPECT_EQ(answerer.Boxes[0].Text, QStringLiteral("No such file or directory."));
    EXPECT_EQ(answerer.Boxes[0].Icon, QMessageBox::Critical);
    EXPECT_EQ(Child<QLineEdit>(mWindow, "ebSrcFolder")->text(), source.Path());
    EXPECT_EQ(Log(), logBefore);
    EXPECT_EQ(Child<QListWidget>(mWindow, "lbSrc")->count(), 1);
    EXPECT_EQ(LastFolders.last(), source.Path());
}

TEST(FrmMainErrors, ErrorBoxAddsAPeriodAfterLaterCharacters)
{
    EXPECT_EQ(ErrorBoxText(QStringLiteral("Cannot open file beach.jpg")),
        QStringLiteral("Cannot open file beach.jpg."));
    EXPECT_EQ(ErrorBoxText(QStringLiteral("Why?")), QStringLiteral("Why?."));
    EXPECT_EQ(ErrorBoxText(QStringLiteral("JPEG error #42")), QStringLiteral("JPEG error #42."));
    EXPECT_EQ(ErrorBoxText(QStringLiteral("Done.")), QStringLiteral("Done."));
    EXPECT_EQ(ErrorBoxText(QStringLiteral("Stop!")), QStringLiteral("Stop!"));
    EXPECT_EQ(ErrorBoxText(QStringLiteral("(see log)")), QStringLiteral("(see log)"));
    EXPECT_EQ(ErrorBoxText(QStringLiteral("dash -")), QStringLiteral("dash -"));
    EXPECT_EQ(ErrorBoxText(QString()), QString());
}

TEST(FrmMainErrors, GuardShowsTheErrorAndGoesOn)
{
    TMessageBoxAnswerer answerer;
    bool after = false;
    RunGuarded(nullptr, [] {
        throw Exception(QStringLiteral("Cannot open file x.jpg"));
    });
    after = true;
    ASSERT_EQ(answerer.Boxes.size(), 1u);
    EXPECT_EQ(answerer.Boxes[0].Title, QStringLiteral("Vellumar"));
    EXPECT_EQ(answerer.Boxes[0].Text, QStringLiteral("Cannot open file x.jpg."));
    EXPECT_TRUE(after);
}

TEST_F(FrmMain, ARunLogsLikeTheCommandLineAndWritesTheFiles)
{
    TTempDir source;
    TTempDir destination;
    WriteJpegs(source, { "b.jpg", "a.jpg" });
    ChooseSource(source.Path());
    ChooseDestination(destination.Path());
    QTest::mouseClick(Child(mWindow, "cbResize"), Qt::LeftButton);
    QTest::mouseClick(Child(mWindow, "cbRename"), Qt::LeftButton);
    QTest::keyClicks(Child(mWindow, "ebPrefix"), QStringLiteral("web_"));
    Child<QSpinBox>(mWindow, "sePadding")->setValue(1);
    Retype(Child(mWindow, "ebNumber"), QStringLiteral("7"));
    QSignalSpy progress(Child<QProgressBar>(mWindow, "ProgressBar"), &QProgressBar::valueChanged);
    // Start returns at once: the run goes on its own thread while this one handles events.
    QSignalSpy ended(&mWindow, &TfrmMain::RunEnded);
    QTest::mouseClick(Child(mWindow, "btnProcess"), Qt::LeftButton);
    EXPECT_TRUE(mWindow.Running());
    EXPECT_TRUE(Child(mWindow, "btnStop")->isEnabled());
    ASSERT_TRUE(ended.wait(60000));

    EXPECT_EQ(RunLines(),
        (QStringList { QString(),
            ">",
            "File 1 of 2",
            "Renaming: a.jpg to web_07.jpg",
            "Resizing: web_07.jpg...",
            "web_07.jpg resized: H24 W32",
            ">",
            "File 2 of 2",
            "Renaming: b.jpg to web_08.jpg",
            "Resizing: web_08.jpg...",
            "web_08.jpg resized: H24 W32",
            "FINISHED" }));
    for (const char *name : { "web_07.jpg", "web_08.jpg" }) {
        int width = 0;
        int height = 0;
        int components = 0;
        (void)test::DecodeReferenceJpeg(ReadBytes(destination.File(QString::fromLatin1(name))),
            &width,
            &height,
            &components);
        EXPECT_EQ(QSize(width, height), QSize(32, 24)) << name;
    }
    EXPECT_EQ(Child<QLineEdit>(mWindow, "ebNumber")->text(), QStringLiteral("09"));
    EXPECT_EQ(Child<QLabel>(mWindow, "pnlSample")->text(), QStringLiteral("web_09.jpg"));
    EXPECT_EQ(Child<QProgressBar>(mWindow, "ProgressBar")->value(), 0);
    QList<int> values;
    for (const QList<QVariant> &signal : progress)
        values << signal.at(0).toInt();
    EXPECT_EQ(values, (QList<int> { 50, 100, 0 }));
    EXPECT_TRUE(Child(mWindow, "btnProcess")->isEnabled());
    EXPECT_FALSE(Child(mWindow, "btnStop")->isEnabled());
    EXPECT_TRUE(Child(mWindow, "gbResize")->isEnabled());
    EXPECT_TRUE(Child(mWindow, "gbRename")->isEnabled());
    EXPECT_FALSE(mWindow.Running());

    // A prefix put in without a key (pasted) shows only at the sample's next refresh: the first photo of the
    // next run takes the sample as shown, the second the new prefix.
    Child<QLineEdit>(mWindow, "ebPrefix")->setText(QStringLiteral("new_"));
    QTest::mouseClick(Child(mWindow, "cbResize"), Qt::LeftButton);
    ClickStart();
    EXPECT_TRUE(QFile::exists(destination.File(QStringLiteral("web_09.jpg"))));
    EXPECT_TRUE(QFile::exists(destination.File(QStringLiteral("new_10.jpg"))));
}

TEST_F(FrmMain, TheRunReadsThePercentAsTypedAndClamped)
{
    TTempDir source;
    TTempDir destination;
    WriteJpegs(source, { "a.jpg" }, 100, 100);
    ChooseSource(source.Path());
    ChooseDestination(destination.Path());
    QTest::mouseClick(Child(mWindow, "cbResize"), Qt::LeftButton);
    auto *percent = Child<QSpinBox>(mWindow, "seResizePercent");
    const auto expected = [](int p) {
        const int side = FloorTimesScale(101, ScaleFromPercent(p));
        return QStringLiteral("a.jpg resized: H%1 W%1").arg(side);
    };

    Retype(percent, QStringLiteral("150"));
    ClickStart();
    EXPECT_TRUE(RunLines().contains(expected(99)));
    EXPECT_EQ(percent->text(), QStringLiteral("99"));

    Retype(percent, QString());
    ClickStart();
    EXPECT_TRUE(RunLines().contains(expected(1))) << RunLines().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(percent->value(), 1);
}

// The first luminance quantiser of a JPEG: 16 scaled by libjpeg's quality formula, so it tells the quality
// the file was encoded at without our code.
int FirstLumaQuantiser(const std::vector<std::uint8_t> &jpeg)
{
    for (std::size_t i = 2; i + 5 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDB)
            return jpeg[i + 5];
    return -1;
}

// The output options dialog, reached from the reduce group by keyboard: a long edge takes the place of the
// percentage, and the run writes and reports that size; the quality with the overlay is shown beside the
// quality field and is the written file's.
TEST_F(FrmMain, OutputOptionsSetTheFilterAndASizeInPixels)
{
    TTempDir source;
    TTempDir destination;
    WriteJpegs(source, { "a.jpg" }, 100, 50);
    ChooseSource(source.Path());
    ChooseDestination(destination.Path());
    QTest::mouseClick(Child(mWindow, "cbResize"), Qt::LeftButton);
    auto *button = Child<QToolButton>(mWindow, "btnOutputOptions");

    test::WhenModal<TfrmOutputOptions>([](TfrmOutputOptions *dialog) {
        Child<QComboBox>(*dialog, "cbFilter")->setCurrentIndex(1);
        Child<QComboBox>(*dialog, "cbSizeMode")->setCurrentIndex(1);
        EXPECT_FALSE(Child(*dialog, "seFitWidth")->isEnabled());
        auto *longEdge = Child<QSpinBox>(*dialog, "seLongEdge");
        EXPECT_TRUE(longEdge->isEnabled());
        longEdge->setValue(40);
        Child<QCheckBox>(*dialog, "cbToSrgb")->setChecked(true);
        Child<QSpinBox>(*dialog, "seOverlayQuality")->setValue(70);
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(mWindow.Snapshot().ResizeOptions,
        (TResizeOptions { .Filter = TResizeFilter::Smooth, .Mode = TSizeMode::LongEdge, .LongEdge = 40 }));
    EXPECT_TRUE(mWindow.Snapshot().ToSrgb);
    EXPECT_FALSE(Child(mWindow, "seResizePercent")->isVisible());
    auto *size = Child<QLabel>(mWindow, "lblSizeInPixels");
    EXPECT_TRUE(size->isVisible());
    EXPECT_EQ(size->text(), QStringLiteral("Long edge: 40 px"));
    EXPECT_EQ(Child<QCheckBox>(mWindow, "cbResize")->text(), QStringLiteral("Reduce image size to:"));
    EXPECT_TRUE(button->toolTip().contains(QLatin1String("Smooth, long edge 40 px")));
    auto *note = Child<QLabel>(mWindow, "lblOverlayQuality");
    EXPECT_TRUE(note->text().contains(QLatin1String("quality 70")));
    EXPECT_FALSE(note->isEnabled());
    QTest::mouseClick(Child(mWindow, "cbOverlay"), Qt::LeftButton);
    EXPECT_TRUE(note->isEnabled());
    ClickStart();
    EXPECT_TRUE(RunLines().contains(QStringLiteral("a.jpg resized: H20 W40")));
    // Quality 70 scales the base 16 by 60 %.
    EXPECT_EQ(FirstLumaQuantiser(ReadBytes(destination.File(QStringLiteral("a.jpg")))), 10);

    // Back to percent: the percentage is live again.
    mWindow.SetResizeOptions({});
    EXPECT_TRUE(Child(mWindow, "seResizePercent")->isEnabled());
    EXPECT_FALSE(size->isVisible());
    EXPECT_EQ(Child<QCheckBox>(mWindow, "cbResize")->text(), QStringLiteral("Reduce image size by:"));
}

// Ticking "Include subfolders" lists the tree by relative paths at once; "Skip" in the output options leaves an
// existing output alone in the run.
TEST_F(FrmMain, SubfoldersAreListedByPathAndExistingOutputsSkipped)
{
    TTempDir source;
    TTempDir destination;
    QDir(source.Path()).mkpath(QStringLiteral("sub"));
    WriteJpegs(source, { "a.jpg", "sub/b.jpg" });
    QDir(destination.Path()).mkpath(QStringLiteral("sub"));
    destination.WriteText(QStringLiteral("sub/b.jpg"), "an earlier output");
    ChooseSource(source.Path());
    ChooseDestination(destination.Path());
    const auto listed = [this] {
        QStringList names;
        const auto *list = Child<QListWidget>(mWindow, "lbSrc");
        for (int i = 0; i < list->count(); ++i)
            names << list->item(i)->text();
        return names;
    };
    EXPECT_EQ(listed(), QStringList { "a.jpg" });
    // On the box itself: the caption's width depends on the font.
    QTest::mouseClick(Child(mWindow, "cbSubfolders"), Qt::LeftButton, {}, QPoint(6, 9));
    EXPECT_EQ(listed(), (QStringList { "a.jpg", "sub/b.jpg" }));
    EXPECT_TRUE(mWindow.Snapshot().Recursive);

    QTest::mouseClick(Child(mWindow, "cbResize"), Qt::LeftButton);
    test::WhenModal<TfrmOutputOptions>([](TfrmOutputOptions *dialog) {
        Child<QComboBox>(*dialog, "cbExisting")->setCurrentIndex(1);
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    QTest::mouseClick(Child(mWindow, "btnOutputOptions"), Qt::LeftButton);
    EXPECT_EQ(mWindow.Snapshot().Existing, TExisting::Skip);
    ClickStart();
    EXPECT_TRUE(RunLines().contains(QStringLiteral("Skipped: sub/b.jpg exists already")));
    EXPECT_EQ(ReadBytes(destination.File(QStringLiteral("sub/b.jpg"))).size(), 17u);
    EXPECT_TRUE(QFile::exists(destination.File(QStringLiteral("a.jpg"))));
}

// The web outputs set in the same dialog: the template's sample follows the typing, a variant that cannot be read
// keeps the dialog open with the reason, and the run writes the templated name and the variant.
TEST_F(FrmMain, OutputOptionsSetTheWebOutputs)
{
    TTempDir source;
    TTempDir destination;
    WriteJpegs(source, { "a.jpg" }, 100, 50);
    ChooseSource(source.Path());
    ChooseDestination(destination.Path());
    QTest::mouseClick(Child(mWindow, "cbRename"), Qt::LeftButton);
    test::WhenModal<TfrmOutputOptions>([](TfrmOutputOptions *dialog) {
        auto *nameTemplate = Child<QLineEdit>(*dialog, "ebNameTemplate");
        QTest::keyClicks(nameTemplate, QStringLiteral("{name}-{w}"));
        EXPECT_EQ(Child<QLabel>(*dialog, "lblTemplateSample")->text(), QStringLiteral("IMG_0001-1600.jpg"));
        QTest::keyClicks(nameTemplate, QStringLiteral("{x}"));
        EXPECT_TRUE(Child<QLabel>(*dialog, "lblTemplateSample")->text().startsWith(QLatin1String("unknown token {x}")));
        nameTemplate->setText(QStringLiteral("{name}-{w}"));
        Child<QComboBox>(*dialog, "cbCoding")->setCurrentIndex(2);
        Child<QSpinBox>(*dialog, "seMaxSize")->setValue(64);
        auto *variants = Child<QPlainTextEdit>(*dialog, "memoVariants");
        variants->setPlainText(QStringLiteral("small=20@0"));
        Child<QDialogButtonBox>(*dialog, "btnBox")->button(QDialogButtonBox::Ok)->click();
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_TRUE(Child<QLabel>(*dialog, "lblProblem")->text().contains(QLatin1String("the quality \"0\"")));
        variants->setPlainText(QStringLiteral("small=20@60"));
        Child<QDialogButtonBox>(*dialog, "btnBox")->button(QDialogButtonBox::Ok)->click();
    });
    QTest::mouseClick(Child(mWindow, "btnOutputOptions"), Qt::LeftButton);
    const TJob job = mWindow.Snapshot();
    EXPECT_EQ(job.Coding, TJpegCoding::Progressive);
    EXPECT_EQ(job.MaxBytes, 64 * 1024);
    ClickStart();
    EXPECT_TRUE(RunLines().contains(QStringLiteral("Renaming: a.jpg to a-100.jpg")));
    EXPECT_TRUE(RunLines().contains(QStringLiteral("small/a-100.jpg written: H10 W20, quality 100, %1 bytes")
                                        .arg(QFileInfo(destination.File(QStringLiteral("small/a-100.jpg"))).size())))
        << RunLines().join(QLatin1Char('|')).toStdString();
}

TEST_F(FrmMain, StopLetsTheImageInHandFinishAndStartsNoOther)
{
    TTempDir source;
    TTempDir destination;
    WriteJpegs(source, { "a.jpg", "b.jpg", "c.jpg" });
    ChooseSource(source.Path());
    ChooseDestination(destination.Path());
    QTest::mouseClick(Child(mWindow, "cbResize"), Qt::LeftButton);
    QTest::mouseClick(Child(mWindow, "cbRename"), Qt::LeftButton);
    const QMetaObject::Connection hook = AfterTheFirstImageIsHandedOut([this] {
        QTest::mouseClick(Child(mWindow, "btnStop"), Qt::LeftButton);
    });
    ClickStart();
    QObject::disconnect(hook);

    EXPECT_EQ(RunLines(),
        (QStringList { QString(),
            ">",
            "File 1 of 3",
            "Renaming: a.jpg to 1.jpg",
            "Resizing: 1.jpg...",
            "1.jpg resized: H24 W32",
            "Aborting...",
            "Processing ABORTED !" }));
    EXPECT_EQ(Child<QProgressBar>(mWindow, "ProgressBar")->value(), 33);
    EXPECT_EQ(QDir(destination.Path()).entryList(QDir::Files), QStringList { "1.jpg" });
    EXPECT_TRUE(Child(mWindow, "btnProcess")->isEnabled());
    EXPECT_FALSE(Child(mWindow, "btnStop")->isEnabled());

    // The next run starts afresh.
    ClickStart();
    EXPECT_EQ(RunLines().last(), QStringLiteral("FINISHED"));
    EXPECT_TRUE(QFile::exists(destination.File(QStringLiteral("4.jpg"))));
}

TEST_F(FrmMain, ChoosingFoldersDuringARunKeepsStartDisabled)
{
    TTempDir source;
    TTempDir destination;
    TTempDir other;
    WriteJpegs(source, { "a.jpg", "b.jpg" });
    ChooseSource(source.Path());
    ChooseDestination(destination.Path());
    auto *start = Child(mWindow, "btnProcess");
    std::vector<bool> startEnabled;
    const QMetaObject::Connection hook =
        QObject::connect(Child<QProgressBar>(mWindow, "ProgressBar"), &QProgressBar::valueChanged, [&](int value) {
            if (value > 0 && startEnabled.empty()) {
                ChooseSource(other.Path());
                startEnabled.push_back(start->isEnabled());
                ChooseDestination(other.Path());
                startEnabled.push_back(start->isEnabled());
                QTest::mouseClick(start, Qt::LeftButton);
            }
        });
    ClickStart();
    QObject::disconnect(hook);
    EXPECT_EQ(startEnabled, (std::vector<bool> { false, false }));
    EXPECT_EQ(Log().count(QStringLiteral("FINISHED")), 1);
    EXPECT_EQ(RunLines().last(), QStringLiteral("FINISHED"));
    EXPECT_TRUE(start->isEnabled());
    EXPECT_FALSE(Child(mWindow, "btnStop")->isEnabled());
}

TEST_F(FrmMain, ClosingDuringARunStopsItAfterTheImageInHand)
{
    TTempDir source;
    TTempDir destination;
    WriteJpegs(source, { "a.jpg", "b.jpg", "c.jpg" });
    ChooseSource(source.Path());
    ChooseDestination(destination.Path());
    QTest::mouseClick(Child(mWindow, "cbRename"), Qt::LeftButton);
    bool visibleAfterClose = false;
    bool clicked = false;
    const QMetaObject::Connection hook = AfterTheFirstImageIsHandedOut([&] {
        clicked = true;
        QTest::mouseClick(Child(mWindow, "Button1"), Qt::LeftButton);
        visibleAfterClose = mWindow.isVisible();
    });
    ClickStart();
    QObject::disconnect(hook);
    EXPECT_TRUE(clicked);
    EXPECT_TRUE(visibleAfterClose);
    EXPECT_EQ(RunLines(),
        (QStringList { QString(),
            ">",
            "File 1 of 3",
            "Renaming: a.jpg to 1.jpg",
            "Aborting...",
            "Processing ABORTED !" }));
    EXPECT_EQ(QDir(destination.Path()).entryList(QDir::Files), QStringList { "1.jpg" });
    EXPECT_FALSE(mWindow.isVisible());
}

TEST_F(FrmMain, AnEmptiedDestinationFieldRefusesToStart)
{
    TTempDir source;
    TTempDir destination;
    WriteJpegs(source, { "a.jpg" });
    ChooseSource(source.Path());
    ChooseDestination(destination.Path());
    Child<QLineEdit>(mWindow, "ebDestFolder")->clear();
    TMessageBoxAnswerer answerer;
    ClickStart();
    ASSERT_EQ(answerer.Boxes.size(), 1u);
    EXPECT_EQ(answerer.Boxes[0].Text, QStringLiteral("No destination folder is chosen."));
    EXPECT_EQ(Log().size(), 3);
    EXPECT_TRUE(Child(mWindow, "btnProcess")->isEnabled());
}

// A run writes every photo into the folder of Start, the one its check covered; a destination chosen or
// emptied during the run is for the next run, and the log says so.
TEST_F(FrmMain, ADestinationChangedDuringARunIsForTheNextRun)
{
    TTempDir source;
    TTempDir destination;
    TTempDir other;
    WriteJpegs(source, { "a.jpg", "b.jpg", "c.jpg" });
    ChooseSource(source.Path());
    ChooseDestination(destination.Path());
    QTest::mouseClick(Child(mWindow, "cbResize"), Qt::LeftButton);
    QTest::mouseClick(Child(mWindow, "cbRename"), Qt::LeftButton);
    // At the event point after the first photo is handed out (its number taken), whatever the number of
    // jobs: another folder is chosen, then the field is emptied.
    auto *destinationField = Child<QLineEdit>(mWindow, "ebDestFolder");
    const QMetaObject::Connection hook = AfterTheFirstImageIsHandedOut([&] {
        ChooseDestination(other.Path());
        destinationField->clear();
    });
    ClickStart();
    QObject::disconnect(hook);
    EXPECT_TRUE(Log().contains(QStringLiteral("Destination Folder is: %1 (from the next run on)").arg(other.Path())));
    EXPECT_FALSE(Log().contains(QStringLiteral("Destination Folder is: ") + other.Path()));
    EXPECT_EQ(RunLines().last(), QStringLiteral("FINISHED"));
    EXPECT_EQ(RunLines().filter(QStringLiteral("ERROR")), QStringList());
    EXPECT_EQ(QDir(destination.Path()).entryList(QDir::Files), (QStringList { "1.jpg", "2.jpg", "3.jpg" }));
    EXPECT_EQ(QDir(other.Path()).entryList(QDir::Files), QStringList());
    EXPECT_FALSE(QFile::exists(QStringLiteral("/2.jpg")));

    // The next run takes the field as it stands.
    ChooseDestination(other.Path());
    EXPECT_EQ(Log().last(), QStringLiteral("Destination Folder is: ") + other.Path());
    ClickStart();
    EXPECT_EQ(QDir(other.Path()).entryList(QDir::Files), (QStringList { "4.jpg", "5.jpg", "6.jpg" }));
}

TEST_F(FrmMain, TheMemoShowsTheLogAndFollowsItsEnd)
{
    auto *memo = Child<QPlainTextEdit>(mWindow, "moStatus");
    mWindow.AddStatusLine(QString());
    mWindow.AddStatusLine(QStringLiteral("A"));
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("\nA"));
    for (int i = 0; i < 200; ++i)
        mWindow.AddStatusLine(QStringLiteral("line %1").arg(i));
    QScrollBar *scroll = memo->verticalScrollBar();
    scroll->setValue(0);
    mWindow.AddStatusLine(QStringLiteral("last"));
    EXPECT_EQ(scroll->value(), scroll->maximum());
    EXPECT_GT(scroll->maximum(), 0);

    QTest::mouseClick(Child(mWindow, "btnClear"), Qt::LeftButton);
    EXPECT_TRUE(memo->toPlainText().isEmpty());
    EXPECT_TRUE(Log().isEmpty());
    mWindow.AddStatusLine(QStringLiteral("again"));
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("again"));
}

TEST_F(FrmMain, TheReportIsSavedWhereTheChooserSays)
{
    TTempDir folder;
    QStringList proposals;
    std::optional<QString> answer;
    mWindow.SetReportFileChooser([&](const QString &proposed) {
        proposals << proposed;
        return answer;
    });
    auto *save = Child(mWindow, "SpeedButton1");
    mWindow.AddStatusLine(QStringLiteral("A"));
    mWindow.AddStatusLine(QStringLiteral("B"));

    QTest::mouseClick(save, Qt::LeftButton);
    const QString path = folder.File(QStringLiteral("report.txt"));
    answer = path;
    QTest::mouseClick(save, Qt::LeftButton);
    const std::vector<std::uint8_t> expected = { 'A', '\r', '\n', 'B', '\r', '\n' };
    EXPECT_EQ(ReadBytes(path), expected);
    QTest::mouseClick(save, Qt::LeftButton);
    EXPECT_EQ(proposals, (QStringList { "Quendrix.txt", "Quendrix.txt", path }));

    // A file that cannot be created is reported; the log stays as it was.
    const QString impossible = folder.File(QStringLiteral("missing/report.txt"));
    answer = impossible;
    TMessageBoxAnswerer answerer;
    QTest::mouseClick(save, Qt::LeftButton);
    ASSERT_EQ(answerer.Boxes.size(), 1u);
    EXPECT_EQ(answerer.Boxes[0].Text,
        QStringLiteral("Cannot create file %1: No such file or directory.").arg(impossible));
    EXPECT_EQ(Log(), (QStringList { "A", "B" }));
}

// Save report refuses a photo of the listing and an output the current settings plan, as a run does.
TEST_F(FrmMain, TheReportIsNeverSavedOverAPhotoOrAPlannedOutput)
{
    TTempDir source;
    TTempDir destination;
    WriteJpegs(source, { "a.jpg", "b.jpg" });
    ChooseSource(source.Path());
    ChooseDestination(destination.Path());
    QTest::mouseClick(Child(mWindow, "cbResize"), Qt::LeftButton);
    const auto photo = ReadBytes(source.File(QStringLiteral("a.jpg")));
    std::optional<QString> answer;
    mWindow.SetReportFileChooser([&answer](const QString &) {
        return answer;
    });
    const QString planned = destination.File(QStringLiteral("b.jpg"));
    const std::vector<std::pair<QString, QString>> refused {
        { source.File(QStringLiteral("a.jpg")),
            QStringLiteral("report -> %1 would replace the listed photo a.jpg").arg(source.File("a.jpg")) },
        { source.Path() + QStringLiteral("/../") + QFileInfo(source.Path()).fileName() + QStringLiteral("/b.jpg"),
            QStringLiteral("would replace the listed photo b.jpg") },
        { planned, QStringLiteral("report -> %1 is also the output of b.jpg").arg(planned) },
    };
    for (const auto &[path, reason] : refused) {
        answer = path;
        TMessageBoxAnswerer answerer;
        QTest::mouseClick(Child(mWindow, "SpeedButton1"), Qt::LeftButton);
        ASSERT_EQ(answerer.Boxes.size(), 1u) << path.toStdString();
        EXPECT_TRUE(answerer.Boxes[0].Text.startsWith(QStringLiteral("The report was not saved: ")));
        EXPECT_TRUE(answerer.Boxes[0].Text.contains(reason)) << answerer.Boxes[0].Text.toStdString();
    }
    EXPECT_EQ(ReadBytes(source.File(QStringLiteral("a.jpg"))), photo);
    EXPECT_FALSE(QFile::exists(planned));

    // Elsewhere in the destination folder it is saved.
    answer = destination.File(QStringLiteral("log.txt"));
    QTest::mouseClick(Child(mWindow, "SpeedButton1"), Qt::LeftButton);
    EXPECT_TRUE(QFile::exists(*answer));
}

// The plan says when no destination is chosen and names the file a row would replace or clash with; a run
// refused for a clash keeps the reason in the log.
TEST_F(FrmMain, ThePlanNamesWhatARowReplacesAndARefusedRunLogsItsClashes)
{
    TTempDir source;
    WriteJpegs(source, { "1.jpg", "2.jpg" });
    ChooseSource(source.Path());
    QTest::mouseClick(Child(mWindow, "cbRename"), Qt::LeftButton);
    QString summary;
    QStringList replaced;
    const auto showPlan = [&] {
        replaced.clear();
        test::WhenModal<TfrmPlan>([&](TfrmPlan *dialog) {
            summary = Child<QLabel>(*dialog, "lblSummary")->text();
            const auto *table = Child<QTableWidget>(*dialog, "tblPlan");
            for (int row = 0; row < table->rowCount(); ++row)
                replaced << table->item(row, 5)->text();
            EXPECT_LE(table->rowHeight(0), table->fontMetrics().height() + 8);
            dialog->reject();
        });
        QTest::mouseClick(Child(mWindow, "btnPlan"), Qt::LeftButton);
    };
    showPlan();
    EXPECT_EQ(summary, QStringLiteral("2 photos; no destination folder is chosen."));

    TTempDir destination;
    WriteJpegs(destination, { "2.jpg" });
    ChooseDestination(destination.Path());
    showPlan();
    EXPECT_EQ(replaced, (QStringList { QString(), "an existing file: " + destination.File(QStringLiteral("2.jpg")) }));

    // Into the source folder, numbered from 2: photo 1 would become the listed 2.jpg before it is read.
    ChooseDestination(source.Path());
    Retype(Child(mWindow, "ebNumber"), QStringLiteral("2"));
    showPlan();
    EXPECT_EQ(replaced.value(0), QStringLiteral("would replace the listed photo 2.jpg"));
    mWindow.btnClearClick();
    TMessageBoxAnswerer answerer;
    ClickStart();
    ASSERT_EQ(answerer.Boxes.size(), 1u);
    EXPECT_EQ(Log().size(), 2);
    EXPECT_TRUE(Log().value(0).startsWith(QStringLiteral("Nothing was written: 1 planned output(s)")));
    EXPECT_TRUE(answerer.Boxes[0].Text.startsWith(Log().join(QLatin1Char('\n'))));
}

TEST_F(FrmMain, PlanAndPreviewBeforeStartThenThePerPhotoReport)
{
    TTempDir source;
    TTempDir destination;
    WriteJpegs(source, { "b.jpg", "a.jpg", "c.jpg" });
    ChooseSource(source.Path());
    ChooseDestination(destination.Path());
    QTest::mouseClick(Child(mWindow, "cbResize"), Qt::LeftButton);

    QStringList plan;
    test::WhenModal<TfrmPlan>([&plan](TfrmPlan *dialog) {
        const auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("tblPlan"));
        for (int row = 0; row < table->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < table->columnCount(); ++column)
                cells << table->item(row, column)->text();
            plan << cells.join(QLatin1Char('|'));
        }
        dialog->reject();
    });
    QTest::mouseClick(Child(mWindow, "btnPlan"), Qt::LeftButton);
    EXPECT_EQ(plan,
        (QStringList { "1|a.jpg|a.jpg|64 x 48|32 x 24|",
            "2|b.jpg|b.jpg|64 x 48|32 x 24|",
            "3|c.jpg|c.jpg|64 x 48|32 x 24|" }));

    Child<QListWidget>(mWindow, "lbSrc")->setCurrentRow(1);
    QTest::mouseClick(Child(mWindow, "btnPreview"), Qt::LeftButton);
    ASSERT_NE(mWindow.Preview(), nullptr);
    QSignalSpy shown(mWindow.Preview(), &TfrmPreview::PreviewShown);
    ASSERT_TRUE(QTest::qWaitFor([&shown] {
        return !shown.isEmpty();
    }));
    EXPECT_TRUE(
        Child<QLabel>(*mWindow.Preview(), "lblFacts")->text().startsWith(QStringLiteral("b.jpg: 64 x 48 pixels")));
    EXPECT_TRUE(
        Child<QLabel>(*mWindow.Preview(), "lblFacts")->text().contains(QStringLiteral("output 32 x 24 pixels")));
    EXPECT_TRUE(Child<QLabel>(*mWindow.Preview(), "lblEstimate")
                    ->text()
                    .startsWith(QStringLiteral("Estimate for the whole run (3 photos): about ")));
    EXPECT_EQ(QDir(destination.Path()).entryList(QDir::Files), QStringList());
    mWindow.Preview()->close();

    std::optional<QString> answer = destination.File(QStringLiteral("report.json"));
    mWindow.SetReportFileChooser([&answer](const QString &) {
        return answer;
    });
    ClickStart();
    QTest::mouseClick(Child(mWindow, "SpeedButton1"), Qt::LeftButton);
    EXPECT_EQ(test::ReportSchemaViolations(*answer), QString());
    answer = destination.File(QStringLiteral("report.csv"));
    QTest::mouseClick(Child(mWindow, "SpeedButton1"), Qt::LeftButton);
    const std::vector<std::uint8_t> csv = ReadBytes(*answer);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(csv.data()), qsizetype(csv.size())).count(",done,"), 3);
}

// Both sides show the same part of the scene, upright, in Fit and at 100 %; Previous and Next walk the listing.
TEST_F(FrmMain, PreviewShowsOneSceneOnBothSidesAndWalksTheListing)
{
    TTempDir source;
    WriteJpegs(source, { "a.jpg", "c.jpg" });
    // Sideways as stored (1200 x 800): upright 800 x 1200, written reduced by half to 400 x 600.
    source.Write(QStringLiteral("b.jpg"),
        test::WithSegments(MakeJpeg({ .Width = 1200, .Height = 800 }),
            { { 0xE1, test::MakeExif({ .Orientation = 6 }) } }));
    ChooseSource(source.Path());
    QTest::mouseClick(Child(mWindow, "cbResize"), Qt::LeftButton);
    auto *list = Child<QListWidget>(mWindow, "lbSrc");
    list->setCurrentRow(1);
    QTest::mouseClick(Child(mWindow, "btnPreview"), Qt::LeftButton);
    TfrmPreview &preview = *mWindow.Preview();
    QSignalSpy shown(&preview, &TfrmPreview::PreviewShown);
    const auto waitShown = [&shown] {
        return QTest::qWaitFor([&shown] {
            return !shown.isEmpty();
        });
    };
    ASSERT_TRUE(waitShown());
    const auto *sourcePane = Child<TPreviewPane>(preview, "pnSource");
    auto *outputPane = Child<TPreviewPane>(preview, "pnOutput");
    EXPECT_LT(sourcePane->Picture().width(), sourcePane->Picture().height());
    EXPECT_EQ(outputPane->Picture().size(), QSize(400, 600));
    const qreal ratio = preview.devicePixelRatioF();

    struct TView {
        const char *Button;
        QSizeF Scene; // empty: fitted inside the pane
        QRectF Visible; // empty: only equal on both sides and less than the whole
    };
    const TView views[] {
        { "rbActual", QSizeF(400, 600) / ratio, {} },
        { "rbFit", {}, QRectF(0, 0, 1, 1) },
    };
    for (const TView &view : views) {
        SCOPED_TRACE(view.Button);
        QTest::mouseClick(Child(preview, view.Button), Qt::LeftButton);
        EXPECT_EQ(sourcePane->SceneRect(), outputPane->SceneRect());
        EXPECT_EQ(sourcePane->VisibleScene(), outputPane->VisibleScene());
        if (!view.Scene.isEmpty())
            EXPECT_EQ(outputPane->SceneRect().size(), view.Scene);
        else
            EXPECT_TRUE(QRectF(outputPane->rect()).contains(outputPane->SceneRect()));
        if (!view.Visible.isEmpty()) {
            EXPECT_EQ(outputPane->VisibleScene(), view.Visible);
            continue;
        }
        // Dragging either side pans both by the same part of the scene.
        const QRectF before = sourcePane->VisibleScene();
        ASSERT_LT(before.height(), 1.0);
        QTest::mousePress(outputPane, Qt::LeftButton, {}, QPoint(50, 200));
        QTest::mouseMove(outputPane, QPoint(50, 150));
        QTest::mouseRelease(outputPane, Qt::LeftButton, {}, QPoint(50, 150));
        EXPECT_NEAR(sourcePane->VisibleScene().top() - before.top(), 50 / view.Scene.height(), 1e-9);
        EXPECT_EQ(sourcePane->VisibleScene(), outputPane->VisibleScene());
    }

    preview.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&preview));
    const struct {
        std::function<void()> Step;
        int Row;
        const char *Position;
    } steps[] {
        { [&] {
             QTest::mouseClick(Child(preview, "btnNext"), Qt::LeftButton);
         },
            2,
            "3 of 3" },
        { [&] {
             QTest::keyClick(&preview, Qt::Key_PageUp);
         },
            1,
            "2 of 3" },
        { [&] {
             QTest::keyClick(&preview, Qt::Key_PageUp);
         },
            0,
            "1 of 3" },
    };
    for (const auto &step : steps) {
        shown.clear();
        step.Step();
        // A button's shortcut clicks it a moment later, as it shows itself pressed.
        ASSERT_TRUE(QTest::qWaitFor([&] {
            return list->currentRow() == step.Row;
        }));
        ASSERT_TRUE(waitShown());
        EXPECT_EQ(Child<QLabel>(preview, "lblPosition")->text(), QString::fromLatin1(step.Position));
        EXPECT_TRUE(Child<QLabel>(preview, "lblFacts")->text().startsWith(list->currentItem()->text()));
    }
    EXPECT_FALSE(Child<QPushButton>(preview, "btnPrevious")->isEnabled());

    // Closed and opened again, it comes back where the user left it.
    preview.setGeometry(QRect(preview.geometry().topLeft() + QPoint(7, 9), QSize(640, 420)));
    const QRect left = preview.geometry();
    preview.close();
    QTest::mouseClick(Child(mWindow, "btnPreview"), Qt::LeftButton);
    EXPECT_EQ(preview.geometry(), left);
    preview.close();
}

TEST(FrmPreview, PlacedBesideItsOwnerWhereTheScreenHasRoom)
{
    const QRect screen(0, 0, 1600, 1000);
    const QSize wanted(900, 600);
    const QSize minimum(480, 360);
    const struct {
        QRect Owner;
        QRect Place;
    } cases[] {
        { { 100, 100, 565, 498 }, { 665, 100, 900, 600 } }, // right, whole
        { { 900, 100, 565, 498 }, { 0, 100, 900, 600 } }, // left, whole
        { { 600, 100, 565, 498 }, { 0, 100, 600, 600 } }, // left, narrowed to its room
        { { 300, 700, 1000, 200 }, { 700, 400, 900, 600 } }, // no room: the screen's right edge, kept on it
    };
    for (const auto &c : cases)
        EXPECT_EQ(TfrmPreview::PlaceBeside(c.Owner, wanted, minimum, screen), c.Place) << c.Owner.x();
}

} // namespace
} // namespace vellumar
