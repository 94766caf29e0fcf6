// The Presets menu beside Start, driven as a user would: presets saved, listed, loaded, imported,
// exported and deleted, and the last used settings of a Start brought back into a new window.
#include <functional>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include "engine/output_variant.h"
#include "mainwindow/frm_main.h"
#include "overlay/dialog/frm_overlay_dlg.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/temp_dir.h"
#include "tests/support/widgets.h"

namespace vellumar
{
namespace
{

using test::Child;
using test::TTempDir;

// A window wired as start-up wires it, keeping its presets in folder.
struct TWindow {
    explicit TWindow(const QString &folder)
    {
        overlay.SetOverlaySwitch(window.OverlaySwitch());
        window.SetOverlayDialog(&overlay, &overlay);
        window.SetPresetFolder(TPresetFolder(folder));
        window.SetConfirmation([](const QString &) {
            return true;
        });
    }
    TfrmMain window;
    TfrmOverlayDlg overlay;
};

// The menu's entries as shown, a submenu's after its title and ">".
QStringList Entries(QMenu *menu)
{
    QStringList entries;
    for (QAction *action : menu->actions()) {
        if (action->isSeparator())
            continue;
        entries << action->text();
        if (action->menu() != nullptr)
            entries << QStringLiteral(">") + Entries(action->menu()).join(QLatin1Char('|'));
    }
    return entries;
}

// Chooses the entry path ("Delete/Web") of the window's Presets menu.
void Choose(TfrmMain &window, const QString &path)
{
    QMenu *menu = window.PresetsMenu();
    const QStringList steps = path.split(QLatin1Char('/'));
    for (const QString &step : steps) {
        QAction *found = nullptr;
        for (QAction *action : menu->actions())
            found = action->text() == step ? action : found;
        ASSERT_NE(found, nullptr) << path.toStdString();
        if (found->menu() != nullptr)
            menu = found->menu();
        else
            found->trigger();
    }
}

int Quality(const TfrmMain &window)
{
    return Child<QSpinBox>(window, "seQuality")->value();
}

TEST(Presets, MenuSavesListsLoadsImportsExportsAndDeletes)
{
    const TTempDir dir;
    TWindow one(dir.File(QStringLiteral("presets")));
    TfrmMain &window = one.window;
    QString name = QStringLiteral("Web & print");
    window.SetPresetNameChooser([&name] {
        return name;
    });
    Child<QSpinBox>(window, "seQuality")->setValue(70);
    Choose(window, QStringLiteral("Save As..."));
    name = QStringLiteral("Archive");
    Child<QSpinBox>(window, "seQuality")->setValue(95);
    Choose(window, QStringLiteral("Save As..."));
    EXPECT_EQ(Entries(window.PresetsMenu()).join(QLatin1Char(',')),
        QStringLiteral("Save As...,Save with folders,Archive,Web && print,Last "
                       "used,Import...,Export...,Delete,>Archive|Web && print,"
                       "Start with the last used settings,Reset to defaults"));

    Choose(window, QStringLiteral("Web && print"));
    EXPECT_EQ(Quality(window), 70);
    Choose(window, QStringLiteral("Reset to defaults"));
    EXPECT_EQ(Quality(window), 90);

    // An import never replaces a saved preset; an export is a preset file of the settings shown.
    Child<QSpinBox>(window, "seQuality")->setValue(55);
    const QString exported = dir.File(QStringLiteral("Archive.json"));
    window.SetPresetFileChooser([&exported](bool) {
        return exported;
    });
    Choose(window, QStringLiteral("Export..."));
    Choose(window, QStringLiteral("Import..."));
    Choose(window, QStringLiteral("Archive"));
    EXPECT_EQ(Quality(window), 95);
    Choose(window, QStringLiteral("Archive (2)"));
    EXPECT_EQ(Quality(window), 55);

    Choose(window, QStringLiteral("Delete/Archive"));
    Choose(window, QStringLiteral("Delete/Web && print"));
    EXPECT_EQ(TPresetFolder(dir.File(QStringLiteral("presets"))).Names(),
        QStringList { QStringLiteral("Archive (2)") });
    EXPECT_FALSE(QFile::exists(dir.File(QStringLiteral("presets/Archive.json"))));
}

// One control of either window: which, and the value a test gives it.
struct TControl {
    bool InOverlayDialog;
    const char *Name;
    QString Value;
};

// A control's value as its widget shows it.
QString Shown(QWidget *control)
{
    if (auto *box = qobject_cast<QCheckBox *>(control))
        return box->isChecked() ? QStringLiteral("true") : QStringLiteral("false");
    if (auto *spin = qobject_cast<QSpinBox *>(control))
        return QString::number(spin->value());
    if (auto *edit = qobject_cast<QLineEdit *>(control))
        return edit->text();
    if (auto *combo = qobject_cast<QComboBox *>(control))
        return QStringLiteral("%1 %2").arg(combo->currentIndex()).arg(combo->currentText());
    if (auto *text = qobject_cast<QPlainTextEdit *>(control))
        return text->toPlainText();
    if (auto *button = qobject_cast<QAbstractButton *>(control))
        return button->toolTip();
    return QStringLiteral("?");
}

void Give(QWidget *control, const QString &value)
{
    if (auto *box = qobject_cast<QCheckBox *>(control)) {
        if (box->isChecked() != (value == QLatin1String("true")))
            box->click();
    } else if (auto *spin = qobject_cast<QSpinBox *>(control)) {
        spin->setValue(value.toInt());
    } else if (auto *edit = qobject_cast<QLineEdit *>(control)) {
        edit->setText(value);
    } else if (auto *combo = qobject_cast<QComboBox *>(control)) {
        combo->setCurrentIndex(combo->findText(value));
    } else if (auto *text = qobject_cast<QPlainTextEdit *>(control)) {
        text->setPlainText(value);
    }
}

// Every control a Start reads (the output options by their button's tooltip, which names them).
const std::vector<TControl> kControls {
    { false, "cbResize", "true" },
    { false, "seResizePercent", "30" },
    { false, "seQuality", "75" },
    { false, "btnOutputOptions", "" },
    { false, "cbRename", "true" },
    { false, "ebPrefix", "trip-" },
    { false, "sePadding", "2" },
    { false, "ebNumber", "007" },
    { false, "ebSuffix", "-web" },
    { false, "cbOverlay", "true" },
    { false, "cbAutoOrient", "false" },
    { false, "cbMetadata", "Keep, without GPS" },
    { true, "moText", "Hello\nWorld" },
    { true, "cbFontName", "DejaVu Sans" },
    { true, "cbFontColor", "Navy" },
    { true, "cbBold", "true" },
    { true, "cbItalic", "true" },
    { true, "cbFontSize", "Large" },
    { true, "cbTxtPos", "Bottom Right" },
};

QWidget *Control(TWindow &window, const TControl &control)
{
    return control.InOverlayDialog ? Child(window.overlay, control.Name) : Child(window.window, control.Name);
}

// One line per control, "name=shown".
std::vector<std::string> AllShown(TWindow &window)
{
    std::vector<std::string> shown;
    for (const TControl &control : kControls)
        shown.push_back(
            QStringLiteral("%1=%2").arg(QLatin1String(control.Name), Shown(Control(window, control))).toStdString());
    return shown;
}

// Start keeps the settings; a new window that starts with the last used settings shows every control as
// it was, and "Reset to defaults" brings back every control of a fresh window.
TEST(Presets, LastUsedRestoresEveryControl)
{
    const TTempDir dir;
    const QString presets = dir.File(QStringLiteral("presets"));
    ASSERT_TRUE(QDir().mkpath(dir.File(QStringLiteral("src"))) && QDir().mkpath(dir.File(QStringLiteral("web"))));
    dir.Write(QStringLiteral("src/a.jpg"), test::MakeJpeg({}));
    TWindow first(presets);
    const std::vector<std::string> defaults = AllShown(first);
    for (const TControl &control : kControls)
        Give(Control(first, control), control.Value);
    TResizeOptions smooth;
    smooth.Filter = TResizeFilter::Smooth;
    first.window.SetResizeOptions(smooth);
    // The settings the output options hold, which no control of the main window shows.
    TJob held = first.window.Snapshot();
    held.Existing = TExisting::Rename;
    held.ToSrgb = true;
    held.Coding = TJpegCoding::Progressive;
    held.MaxBytes = 300 * 1024;
    held.MinQuality = 55;
    held.Variants = { ParseOutputVariant(QStringLiteral("thumbs=20@80")) };
    first.window.ApplyJob(held);
    const auto heldText = [](const TJob &job) {
        return QStringLiteral("%1 %2 %3 %4 %5 %6")
            .arg(ExistingName(job.Existing))
            .arg(job.ToSrgb)
            .arg(int(job.Coding))
            .arg(job.MaxBytes)
            .arg(job.MinQuality)
            .arg(job.Variants.empty() ? QString() : OutputVariantText(job.Variants.front()))
            .toStdString();
    };
    const std::string heldShown = heldText(held);
    EXPECT_EQ(heldText(first.window.Snapshot()), heldShown);

    const std::vector<std::string> changed = AllShown(first);
    for (std::size_t i = 0; i < changed.size(); ++i)
        EXPECT_NE(changed[i], defaults[i]) << "a test value that is the default";

    QString folder = dir.File(QStringLiteral("src"));
    first.window.SetFolderChooser([&folder](const QString &) {
        return folder;
    });
    QTest::mouseClick(Child(first.window, "btnSrcFolder"), Qt::LeftButton);
    folder = dir.File(QStringLiteral("web"));
    QTest::mouseClick(Child(first.window, "btnDestFolder"), Qt::LeftButton);
    Choose(first.window, QStringLiteral("Start with the last used settings"));
    QSignalSpy ended(&first.window, &TfrmMain::RunEnded);
    QTest::mouseClick(Child(first.window, "btnProcess"), Qt::LeftButton);
    if (first.window.Running()) {
        ASSERT_TRUE(ended.wait(60000));
    }
    ASSERT_EQ(QDir(dir.File(QStringLiteral("web"))).entryList(QDir::Files).size(), 1)
        << first.window.StatusLog().Lines().join(QLatin1Char('\n')).toStdString();

    TWindow second(presets);
    EXPECT_EQ(AllShown(second), defaults);
    second.window.ApplyStartSettings();
    EXPECT_EQ(AllShown(second), changed);
    EXPECT_EQ(heldText(second.window.Snapshot()), heldShown);
    Choose(second.window, QStringLiteral("Reset to defaults"));
    EXPECT_EQ(AllShown(second), defaults);
    EXPECT_EQ(heldText(second.window.Snapshot()), heldText(TJob {}));
    Choose(second.window, QStringLiteral("Last used"));
    EXPECT_EQ(AllShown(second), changed);
    EXPECT_EQ(heldText(second.window.Snapshot()), heldShown);
}

} // namespace
} // namespace vellumar
