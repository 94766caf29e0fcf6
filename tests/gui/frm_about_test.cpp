#include <set>
#include <utility>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "imaging/errors.h"
#include "mainwindow/frm_about.h"
#include "tests/support/modal.h"
#include "widgets/recessed_label.h"
#include "widgets/run_guarded.h"
#include "widgets/url_label.h"

using namespace Qt::StringLiterals;

namespace vellumar
{
namespace
{

using test::WhenModal;

int AboutBoxesAlive()
{
    int count = 0;
    for (QWidget *widget : QApplication::topLevelWidgets())
        count += qobject_cast<TfrmAbout *>(widget) != nullptr ? 1 : 0;
    return count;
}

TEST(FrmAbout, WhatTheUserSees)
{
    TfrmAbout dlg;
    EXPECT_EQ(dlg.windowTitle(), u"About Vellumar"_s);
    EXPECT_EQ(dlg.size(), QSize(229, 187));
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize()) << "not resizable";

    const auto *image = dlg.findChild<QLabel *>(u"Image1"_s);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixmap().size(), QSize(214, 68));
    EXPECT_TRUE(image->hasScaledContents());

    const auto *link = dlg.findChild<TURLLabel *>(u"RzURLLabel1"_s);
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->font().bold());
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(link->Address(), u"https://vellumar.example.org"_s);
    EXPECT_LE(link->fontMetrics().horizontalAdvance(link->text()), link->width()) << "the caption fits";

    const auto *notice = dlg.findChild<QLabel *>(u"Label1"_s);
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->wordWrap());
    EXPECT_EQ(notice->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    const QRect textBox =
        notice->fontMetrics().boundingRect(QRect(0, 0, notice->width(), 1000), Qt::TextWordWrap, notice->text());
    EXPECT_LE(textBox.height(), 2 * notice->fontMetrics().lineSpacing()) << "two lines at most";

    const auto *ok = dlg.findChild<QPushButton *>(u"RzButton1"_s);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), u"OK"_s);
    EXPECT_TRUE(ok->isDefault());
}

TEST(FrmAbout, ShowsTheProgramVersionRightAlignedAt218)
{
    TfrmAbout dlg;
    const auto *version = dlg.findChild<TRecessedLabel *>(u"lblVer"_s);
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), u"1.2.1.20"_s);
    EXPECT_EQ(version->x() + version->width(), 218);
    EXPECT_EQ(version->y(), 62);
    EXPECT_TRUE(version->font().bold());
    EXPECT_EQ(version->font().pixelSize(), 13);
    EXPECT_EQ(version->width(), version->fontMetrics().horizontalAdvance(u"1.2.1.20"_s) + 1) << "sized to its text";
}

TEST(FrmAbout, VersionIsEngravedWithALightCopyOnePixelRightAndDown)
{
    TfrmAbout dlg;
    auto *version = dlg.findChild<TRecessedLabel *>(u"lblVer"_s);
    ASSERT_NE(version, nullptr);
    const QImage image = version->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb face = version->palette().color(QPalette::Window).rgb();
    const QRgb light = version->palette().color(QPalette::Light).rgb();
    const QRgb dark = version->palette().color(QPalette::WindowText).rgb();
    ASSERT_NE(face, light);

    std::set<std::pair<int, int>> darkPixels, lightPixels;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (pixel == dark)
                darkPixels.insert({ x, y });
            else if (pixel == light)
                lightPixels.insert({ x, y });
            else
                EXPECT_EQ(pixel, face) << "opaque, only face, light and text colours, at " << x << "," << y;
        }
    }
    ASSERT_FALSE(darkPixels.empty());
    // The light copy shows exactly where the shifted text is not covered by the text itself.
    std::set<std::pair<int, int>> expectedLight;
    for (const auto &[x, y] : darkPixels)
        if (!darkPixels.contains({ x + 1, y + 1 }))
            expectedLight.insert({ x + 1, y + 1 });
    EXPECT_EQ(lightPixels, expectedLight);
}

TEST(FrmAbout, LinkOpensThroughTheOpenerAndTurnsVisited)
{
    TfrmAbout dlg;
    auto *link = dlg.findChild<TURLLabel *>(u"RzURLLabel1"_s);
    ASSERT_NE(link, nullptr);
    std::vector<QUrl> opened;
    bool succeed = false;
    link->SetOpener([&](const QUrl &url) {
        opened.push_back(url);
        return succeed;
    });
    EXPECT_EQ(link->foregroundRole(), QPalette::Highlight);

    QTest::mouseClick(link, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened.back(), QUrl(u"https://vellumar.example.org"_s));
    EXPECT_EQ(link->foregroundRole(), QPalette::Highlight) << "a failed opening leaves the link as it was";

    succeed = true;
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_EQ(link->foregroundRole(), QPalette::Dark);

    // A blank address falls back to the caption; with both empty nothing is opened.
    link->SetAddress(u"   "_s);
    link->setText(u"https://other.example.org"_s);
    link->OpenLink();
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened.back(), QUrl(u"https://other.example.org"_s));
    link->setText(QString());
    link->OpenLink();
    EXPECT_EQ(opened.size(), 3u);
}

TEST(FrmAbout, VersionErrorIsShownOnceAndTheBoxStillOpens)
{
    int boxes = 0;
    QString text, title;
    WhenModal<QMessageBox>([&](QMessageBox *box) {
        ++boxes;
        text = box->text();
        title = box->windowTitle();
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        box->accept();
    });
    TfrmAbout dlg(nullptr, []() -> QString {
        throw Exception("No version info in file");
    });
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(text, u"No version info in file."_s);
    EXPECT_EQ(title, u"Vellumar"_s);
    const auto *version = dlg.findChild<TRecessedLabel *>(u"lblVer"_s);
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), u"lblVer"_s);
    EXPECT_EQ(version->x() + version->width(), 218);

    WhenModal<TfrmAbout>([](TfrmAbout *shown) {
        shown->findChild<QPushButton *>(u"RzButton1"_s)->click();
    });
    EXPECT_EQ(dlg.exec(), 1);
    EXPECT_EQ(boxes, 1);
}

TEST(FrmAbout, OpeningTwiceShowsTheSameVersionAndLeavesNoBoxBehind)
{
    for (int opening = 0; opening < 2; ++opening) {
        QString shownVersion;
        QWidget *focused = nullptr;
        {
            TfrmAbout dlg;
            WhenModal<TfrmAbout>([&](TfrmAbout *shown) {
                shownVersion = shown->findChild<TRecessedLabel *>(u"lblVer"_s)->text();
                EXPECT_TRUE(QTest::qWaitForWindowActive(shown));
                focused = shown->focusWidget();
                QTest::keyClick(shown, Qt::Key_Return);
            });
            EXPECT_EQ(dlg.exec(), 1) << "the focused default OK closes with 1";
            EXPECT_EQ(focused, dlg.findChild<QPushButton *>(u"RzButton1"_s));
        }
        EXPECT_EQ(shownVersion, u"1.2.1.20"_s);
        EXPECT_EQ(AboutBoxesAlive(), 0);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
}

} // namespace
} // namespace vellumar
