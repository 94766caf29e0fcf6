#include <functional>
#include <memory>

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QWidget>

#include <gtest/gtest.h>

#include "engine/dry_run.h"
#include "mainwindow/folder_dialog.h"
#include "mainwindow/frm_about.h"
#include "mainwindow/frm_main.h"
#include "mainwindow/frm_output_options.h"
#include "mainwindow/frm_plan.h"
#include "mainwindow/frm_preview.h"
#include "overlay/dialog/frm_overlay_dlg.h"

namespace vellumar
{
namespace
{

// The focusable controls of window that a screen reader would announce without a name. The name is the one
// Qt's accessibility layer gives (the accessible name, else a button's text or a linked label's); the inner
// line edit of a spin or combo box is announced through its box.
QStringList UnnamedControls(QWidget &window)
{
    QStringList unnamed;
    for (QWidget *control : window.findChildren<QWidget *>()) {
        // A combo box's drop-down is a window of its own, named by its box.
        if (control->window() != &window || control->focusPolicy() == Qt::NoFocus || control->focusProxy() != nullptr
            || qobject_cast<QAbstractSpinBox *>(control->parentWidget()) != nullptr
            || qobject_cast<QComboBox *>(control->parentWidget()) != nullptr)
            continue;
        const QAccessibleInterface *face = QAccessible::queryAccessibleInterface(control);
        if (face == nullptr || face->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << QStringLiteral("%1 (%2)").arg(control->objectName(), control->metaObject()->className());
    }
    return unnamed;
}

TEST(Accessibility, EveryFocusableControlOfEveryWindowHasAName)
{
    TDryRun plan;
    plan.DestinationFolder = QStringLiteral("/tmp");
    TPlanRow row;
    row.SourceName = QStringLiteral("a.jpg");
    plan.Rows.push_back(row);
    plan.Clashes << QStringLiteral("a.jpg would be written twice");
    const std::vector<std::pair<const char *, std::function<std::unique_ptr<QWidget>()>>> windows {
        { "main window",
            [] {
                return std::make_unique<TfrmMain>();
            } },
        { "overlay dialog",
            [] {
                return std::make_unique<TfrmOverlayDlg>();
            } },
        { "output options",
            [] {
                return std::make_unique<TfrmOutputOptions>();
            } },
        { "plan",
            [&plan] {
                return std::make_unique<TfrmPlan>(plan);
            } },
        { "preview",
            [] {
                return std::make_unique<TfrmPreview>();
            } },
        { "about box",
            [] {
                return std::make_unique<TfrmAbout>();
            } },
        { "folder dialog",
            [] {
                return std::make_unique<TfrmFolderBrowse>(nullptr,
                    QStringLiteral("Choose Source Folder"),
                    QStringLiteral("Current folder:"),
                    QStringLiteral("New folder"),
                    nullptr);
            } },
    };
    for (const auto &[title, make] : windows) {
        const std::unique_ptr<QWidget> window = make();
        EXPECT_EQ(UnnamedControls(*window).join(QStringLiteral(", ")).toStdString(), "") << title;
    }
}

} // namespace
} // namespace vellumar
