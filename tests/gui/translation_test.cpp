#include <optional>

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "mainwindow/frm_main.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/temp_dir.h"
#include "tests/support/widgets.h"
#include "widgets/translations.h"

namespace vellumar
{
namespace
{

using test::Child;

// This program runs with LANGUAGE=de: the window's captions and Qt's own dialogs are German, while the
// status log keeps its lines word for word.
TEST(Translation, GermanCaptionsWithTheLogAsItIs)
{
    ASSERT_EQ(qEnvironmentVariable("LANGUAGE"), QStringLiteral("de"));
    InstallTranslations(*QCoreApplication::instance());
    const test::TTempDir source;
    source.Write(QStringLiteral("one.jpg"), test::MakeJpeg());
    TfrmMain window;
    window.SetFolderChooser([&source](const QString &) {
        return std::optional<QString>(source.Path());
    });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    EXPECT_EQ(Child<QLabel>(window, "Label1")->text(), QStringLiteral("Quellordner der Bilder:"));
    EXPECT_EQ(Child<QPushButton>(window, "btnStop")->text(), QStringLiteral("Stopp"));
    EXPECT_EQ(Child<QPushButton>(window, "btnPresets")->text(), QStringLiteral("Vorlagen"));
    EXPECT_EQ(Child<QCheckBox>(window, "cbAutoOrient")->text(), QStringLiteral("Aufrecht drehen"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));

    QTest::mouseClick(Child<QToolButton>(window, "btnSrcFolder"), Qt::LeftButton);
    EXPECT_EQ(window.StatusLog().Lines(),
        (QStringList { QStringLiteral("Source Folder is: ") + source.Path(), QStringLiteral("Images Found: 1") }));
}

} // namespace
} // namespace vellumar
