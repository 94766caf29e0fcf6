// The overlay dialog through its widgets: the layout's data, the defaults that the renderer reads, the
// handlers, the sample picture view and the preview's pixels.
#include <climits>
#include <functional>
#include <ostream>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "imaging/bitmap.h"
#include "imaging/errors.h"
#include "imaging/jpeg_image.h"
#include "overlay/dialog/frm_overlay_dlg.h"
#include "overlay/dialog/picture_view.h"
#include "overlay/dialog/preview_label.h"
#include "overlay/dialog/sample_file_dialog.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/modal.h"
#include "tests/support/temp_dir.h"
#include "tests/support/widgets.h"
#include "widgets/run_guarded.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace vellumar
{
namespace
{

using test::MakeJpeg;
using test::TTempDir;

using test::Child;
using test::Choose;
using test::Items;

/** Replaces the text of an editable box by typing. */
void Type(QComboBox &box, const QString &text)
{
    box.lineEdit()->selectAll();
    QTest::keyClick(box.lineEdit(), Qt::Key_Delete);
    QTest::keyClicks(box.lineEdit(), text);
}

/** One thing the user sees of a control before touching anything. */
struct TFact {
    const char *Control;
    enum { Caption, Entries, Text, Selected, Editable, Checked } What;
    QString Expected;
};

QString Observed(const QWidget &control, decltype(TFact::What) what)
{
    const auto *box = qobject_cast<const QComboBox *>(&control);
    const auto yesNo = [](bool value) {
        return value ? QStringLiteral("yes") : QStringLiteral("no");
    };
    switch (what) {
    case TFact::Caption:
        return test::Caption(control);
    case TFact::Entries:
        return box != nullptr ? Items(*box).join(u'|') : QString();
    case TFact::Text:
        if (const auto *memo = qobject_cast<const QPlainTextEdit *>(&control))
            return memo->toPlainText();
        if (const auto *label = qobject_cast<const QLabel *>(&control))
            return label->text();
        return box != nullptr ? box->currentText() : QString();
    case TFact::Selected:
        return box != nullptr ? QString::number(box->currentIndex()) : QString();
    case TFact::Editable:
        return yesNo(box != nullptr && box->isEditable());
    case TFact::Checked:
        return yesNo(qobject_cast<const QAbstractButton *>(&control)->isChecked());
    }
    return {};
}

const TFact kFacts[] = {
    { "Label3", TFact::Caption, "Font" },
    { "Label2", TFact::Caption, "Font Size" },
    { "Label4", TFact::Caption, "Font Colour:" },
    { "Label1", TFact::Caption, "Text Position" },
    { "Label5", TFact::Caption, "Text:" },
    { "Label6", TFact::Caption, "Note that this sample gives an approximate rendition of the  final image" },
    { "cbBold", TFact::Caption, "Bold" },
    { "cbBold", TFact::Checked, "no" },
    { "cbItalic", TFact::Caption, "Italic" },
    { "cbItalic", TFact::Checked, "no" },
    { "btnTest", TFact::Caption, "Load sample image..." },
    { "btnClose", TFact::Caption, "OK" },
    { "cbFontName", TFact::Editable, "no" },
    { "cbFontSize", TFact::Entries, "Small|Medium|Large|Larger|Largest" },
    { "cbFontSize", TFact::Editable, "yes" },
    { "cbFontSize", TFact::Selected, "-1" },
    { "cbFontSize", TFact::Text, "Medium" },
    { "cbFontColor",
        TFact::Entries,
        "Default|Black|Maroon|Green|Olive|Navy|Purple|Teal|Gray|Silver|Red|Lime|Yellow|Blue|Fuchsia|Aqua|White|"
        "Custom" },
    { "cbFontColor", TFact::Editable, "no" },
    { "cbFontColor", TFact::Text, "Default" },
    { "cbTxtPos",
        TFact::Entries,
        "Top Left|Top Center|Top Right|Centre Left|Centre|Centre Right|Bottom Left|Bottom Centre|Bottom Right" },
    { "cbTxtPos", TFact::Editable, "yes" },
    { "cbTxtPos", TFact::Selected, "4" },
    { "moText", TFact::Text, "Sample Overlay Text\n" },
    { "lblSample", TFact::Text, "Sample Overlay Text" },
};

TEST(FrmOverlayDlg, WhatTheUserSeesFirst)
{
    TfrmOverlayDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Text Overlay"));
    EXPECT_FALSE(dlg.isModal());
    EXPECT_FALSE(dlg.isVisible());
    // A fixed frame: the preview's 300 by 200 area and the picture view's size never change.
    EXPECT_EQ(dlg.minimumSize(), QSize(355, 475));
    EXPECT_EQ(dlg.maximumSize(), QSize(355, 475));
    EXPECT_EQ(Child<QWidget>(dlg, "lblSample")->size(), QSize(300, 200));
    EXPECT_EQ(Child<QWidget>(dlg, "Image1")->size(), QSize(332, 229));
    EXPECT_EQ(Child<QWidget>(dlg, "lblSample")->parentWidget(), Child<QWidget>(dlg, "Panel4"));

    for (const TFact &fact : kFacts) {
        const QWidget *control = Child<QWidget>(dlg, fact.Control);
        if (control != nullptr) {
            EXPECT_EQ(Observed(*control, fact.What), fact.Expected) << fact.Control << " " << int(fact.What);
        }
    }
    EXPECT_EQ(test::TabOrder(dlg, "btnTest"),
        QStringList({ "btnTest",
            "cbFontName",
            "cbFontColor",
            "moText",
            "cbFontSize",
            "cbBold",
            "cbItalic",
            "cbTxtPos",
            "btnClose" }));
    EXPECT_EQ(test::ClippedCaptions(dlg), QStringList());
}

TEST(FrmOverlayDlg, FormCreateDefaults)
{
    TfrmOverlayDlg dlg;
    auto *fontName = Child<QComboBox>(dlg, "cbFontName");
    auto *preview = Child<TPreviewLabel>(dlg, "lblSample");

    // Every family, in case-ignoring alphabetical order.
    const QStringList listed = Items(*fontName);
    QStringList families = QFontDatabase::families();
    EXPECT_EQ(QSet<QString>(listed.begin(), listed.end()), QSet<QString>(families.begin(), families.end()));
    for (qsizetype i = 1; i < listed.size(); ++i)
        EXPECT_LE(listed[i - 1].compare(listed[i], Qt::CaseInsensitive), 0) << listed[i].toStdString();

    const QString arial = DefaultFontName(families);
    if (arial.isEmpty()) {
        EXPECT_EQ(fontName->currentIndex(), -1);
        EXPECT_EQ(preview->PreviewFont().Name(), QStringLiteral("MS Sans Serif"));
    } else {
        EXPECT_EQ(fontName->currentText(), arial);
        EXPECT_EQ(preview->PreviewFont().Name(), arial);
    }

    EXPECT_EQ(preview->PreviewFont().Size(), 12);
    EXPECT_EQ(preview->PreviewFont().Color(), clSilver);
    EXPECT_EQ(preview->PreviewFont().Style(), 0);
    EXPECT_EQ(preview->PreviewAlignment(), 4);

    // What the renderer reads before the dialog was ever opened.
    EXPECT_EQ(dlg.CurrentOverlaySettings(), DefaultOverlaySettings());
}

TEST(FrmOverlayDlg, FontAndSizeFollowTheLists)
{
    TfrmOverlayDlg dlg;
    EXPECT_EQ(dlg.PreviewFontSize(0), 8);
    EXPECT_EQ(dlg.PreviewFontSize(1), 12);
    EXPECT_EQ(dlg.PreviewFontSize(2), 16);
    EXPECT_EQ(dlg.PreviewFontSize(3), 20);
    EXPECT_EQ(dlg.PreviewFontSize(4), 24);
    EXPECT_EQ(dlg.PreviewFontSize(-1), 12);

    auto *fontName = Child<QComboBox>(dlg, "cbFontName");
    auto *fontSize = Child<QComboBox>(dlg, "cbFontSize");
    auto *preview = Child<TPreviewLabel>(dlg, "lblSample");
    Choose(*fontName, QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(preview->PreviewFont().Name(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(dlg.CurrentOverlaySettings().FontName, QStringLiteral("DejaVu Sans"));

    Choose(*fontSize, QStringLiteral("Largest"));
    EXPECT_EQ(preview->PreviewFont().Size(), 24);
    EXPECT_EQ(preview->PreviewFont().Height(), -((24 * ScreenPixelsPerInch() + 36) / 72));
    EXPECT_EQ(dlg.CurrentOverlaySettings().SizeClass, 4);

    // Typed text selects the entry it names, or none: the preview then shows 12 points and the
    // rendering sizes like "Medium".
    Type(*fontSize, QStringLiteral("Huge"));
    EXPECT_EQ(fontSize->currentIndex(), -1);
    EXPECT_EQ(fontSize->currentText(), QStringLiteral("Huge"));
    EXPECT_EQ(preview->PreviewFont().Size(), 12);
    EXPECT_EQ(dlg.CurrentOverlaySettings().SizeClass, -1);
    Type(*fontSize, QStringLiteral("small"));
    EXPECT_EQ(fontSize->currentIndex(), 0);
    EXPECT_EQ(fontSize->currentText(), QStringLiteral("small"));
    EXPECT_EQ(preview->PreviewFont().Size(), 8);

    auto *position = Child<QComboBox>(dlg, "cbTxtPos");
    Choose(*position, QStringLiteral("Bottom Right"));
    EXPECT_EQ(preview->PreviewAlignment(), 8);
    Type(*position, QStringLiteral("Nowhere"));
    EXPECT_EQ(position->currentIndex(), -1);
    EXPECT_EQ(preview->PreviewAlignment(), -1);
    EXPECT_EQ(dlg.CurrentOverlaySettings().TextPosition, -1);
}

TEST(FrmOverlayDlg, TextAndStyle)
{
    TfrmOverlayDlg dlg;
    auto *preview = Child<TPreviewLabel>(dlg, "lblSample");
    Child<QPlainTextEdit>(dlg, "moText")->setPlainText(QStringLiteral("one\ntwo\n"));
    EXPECT_EQ(preview->text(), QStringLiteral("one\r\ntwo\r\n"));
    EXPECT_EQ(dlg.CurrentOverlaySettings().Text, QStringLiteral("one\r\ntwo\r\n"));

    auto *bold = Child<QCheckBox>(dlg, "cbBold");
    auto *italic = Child<QCheckBox>(dlg, "cbItalic");
    bold->click();
    EXPECT_EQ(preview->PreviewFont().Style(), fsBold);
    italic->click();
    EXPECT_EQ(dlg.CurrentOverlaySettings().FontStyle, fsBold | fsItalic);
    bold->click();
    EXPECT_EQ(dlg.CurrentOverlaySettings().FontStyle, fsItalic);
    italic->click();
    EXPECT_EQ(preview->PreviewFont().Style(), 0);
}

TEST(FrmOverlayDlg, OkTicksTheOverlaySwitchOnlyForAChangedText)
{
    QCheckBox overlaySwitch;
    TfrmOverlayDlg dlg;
    dlg.SetOverlaySwitch(&overlaySwitch);
    auto *ok = Child<QPushButton>(dlg, "btnClose");
    auto *text = Child<QPlainTextEdit>(dlg, "moText");

    dlg.show();
    ok->click();
    EXPECT_FALSE(overlaySwitch.isChecked());
    EXPECT_FALSE(dlg.isVisible());

    // The caption then reads "Sample Overlay Text" with its line break: no longer the layout's.
    text->setPlainText(QStringLiteral("Sample Overlay Text\n"));
    dlg.show();
    ok->click();
    EXPECT_TRUE(overlaySwitch.isChecked());

    overlaySwitch.setChecked(false);
    text->clear();
    ok->click();
    EXPECT_TRUE(overlaySwitch.isChecked());
    EXPECT_EQ(dlg.CurrentOverlaySettings().Text, QString());

    // Without a switch, "OK" still closes.
    TfrmOverlayDlg alone;
    Child<QPlainTextEdit>(alone, "moText")->setPlainText(QStringLiteral("x"));
    alone.show();
    Child<QPushButton>(alone, "btnClose")->click();
    EXPECT_FALSE(alone.isVisible());
}

TEST(FrmOverlayDlg, ColourList)
{
    TfrmOverlayDlg dlg;
    auto *colours = Child<QComboBox>(dlg, "cbFontColor");
    auto *preview = Child<TPreviewLabel>(dlg, "lblSample");
    std::vector<TColor> initials;
    std::optional<TColor> answer = 0x0000FF;
    dlg.ColorChooser = [&](TColor initial) {
        initials.push_back(initial);
        return answer;
    };

    for (const TOverlayColorEntry &entry : kOverlayColors) {
        Choose(*colours, QString(entry.Name));
        // Choosing "Custom" asks the chooser, which answers red.
        EXPECT_EQ(dlg.SelectedColor(), entry.Name == QLatin1String("Custom") ? 0x0000FFu : entry.Color);
        EXPECT_EQ(preview->PreviewFont().Color(), dlg.SelectedColor());
        EXPECT_EQ(dlg.CurrentOverlaySettings().FontColor, dlg.SelectedColor());
    }
    // "Custom" starts the chooser at its own colour, black at first; red confirmed is kept and shown.
    ASSERT_EQ(initials.size(), 1u);
    EXPECT_EQ(initials[0], clBlack);
    EXPECT_EQ(colours->currentText(), QStringLiteral("Custom"));

    Choose(*colours, QStringLiteral("Silver"));
    const TColor silver = dlg.SelectedColor();
    Choose(*colours, QStringLiteral("Default"));
    EXPECT_EQ(dlg.SelectedColor(), silver);

    Choose(*colours, QStringLiteral("Custom"));
    ASSERT_EQ(initials.size(), 2u);
    EXPECT_EQ(initials[1], 0x0000FFu);

    // Cancelled: nothing changes.
    answer = std::nullopt;
    Choose(*colours, QStringLiteral("Custom"));
    EXPECT_EQ(dlg.SelectedColor(), 0x0000FFu);
    EXPECT_EQ(preview->PreviewFont().Color(), 0x0000FFu);

    // The other entries never ask.
    Choose(*colours, QStringLiteral("Lime"));
    EXPECT_EQ(initials.size(), 3u);
    EXPECT_EQ(dlg.CurrentOverlaySettings().FontColor, 0x00FF00u);

    // Neither does a key moving onto "Custom" in the closed list, nor a drop-down left with Escape.
    Choose(*colours, QStringLiteral("White"));
    QTest::keyClick(colours, Qt::Key_Down);
    EXPECT_EQ(colours->currentText(), QStringLiteral("Custom"));
    Choose(*colours, QStringLiteral("Custom"), Qt::Key_Escape);
    QCoreApplication::processEvents();
    QTest::keyClick(colours, Qt::Key_Up);
    QTest::keyClick(colours, Qt::Key_Down);
    EXPECT_EQ(initials.size(), 3u);
}

TEST(FrmOverlayDlg, ColourChooserKeepsItsCustomColoursOnlyWhenConfirmed)
{
    // Qt writes the chooser's custom colours into the user's settings; keep them out of the real ones.
    TTempDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.Path());
    TfrmOverlayDlg dlg;
    auto *colours = Child<QComboBox>(dlg, "cbFontColor");
    const QColor green(0, 128, 0);
    QColor started;
    {
        bool chooserSeen = false;
        test::WhenModal<QColorDialog>([&](QColorDialog *chooserDialog) {
            chooserSeen = true;
            started = chooserDialog->currentColor();
            QColorDialog::setCustomColor(0, green);
            chooserDialog->setCurrentColor(QColor(255, 0, 0));
            chooserDialog->accept();
        });
        Choose(*colours, QStringLiteral("Custom"));
        EXPECT_TRUE(chooserSeen);
    }
    EXPECT_EQ(started, QColor(0, 0, 0));
    EXPECT_EQ(dlg.SelectedColor(), 0x0000FFu);

    // Someone else changes the program-wide custom colours; ours come back, and a cancelled change
    // is forgotten.
    QColorDialog::setCustomColor(0, Qt::blue);
    QColor custom;
    {
        bool chooserSeen = false;
        test::WhenModal<QColorDialog>([&](QColorDialog *chooserDialog) {
            chooserSeen = true;
            started = chooserDialog->currentColor();
            custom = QColorDialog::customColor(0);
            QColorDialog::setCustomColor(0, Qt::cyan);
            chooserDialog->setCurrentColor(Qt::cyan);
            chooserDialog->reject();
        });
        Choose(*colours, QStringLiteral("Custom"));
        EXPECT_TRUE(chooserSeen);
    }
    EXPECT_EQ(started, QColor(255, 0, 0));
    EXPECT_EQ(custom, green);
    EXPECT_EQ(dlg.SelectedColor(), 0x0000FFu);
    {
        bool chooserSeen = false;
        test::WhenModal<QColorDialog>([&](QColorDialog *chooserDialog) {
            chooserSeen = true;
            custom = QColorDialog::customColor(0);
            chooserDialog->reject();
        });
        Choose(*colours, QStringLiteral("Custom"));
        EXPECT_TRUE(chooserSeen);
    }
    EXPECT_EQ(custom, green);
}

// Picture view ----------------------------------------------------------------------------------------

TEST(PictureView, FitAndCentreRule)
{
    EXPECT_EQ(FitAndCentre(200, 100, 332, 229), (TRect { 66, 64, 266, 164 }));
    EXPECT_EQ(FitAndCentre(1600, 1200, 332, 229), (TRect { 13, 0, 318, 229 }));
    EXPECT_EQ(FitAndCentre(332, 229, 332, 229), (TRect { 0, 0, 332, 229 }));
    // Tall: the height is the view's, then the width.
    EXPECT_EQ(FitAndCentre(300, 600, 332, 229), (TRect { 109, 0, 223, 229 }));
    // Wide beyond the width, and a whole-number result stays whole.
    EXPECT_EQ(FitAndCentre(664, 458, 332, 229), (TRect { 0, 0, 332, 229 }));
    EXPECT_EQ(FitAndCentre(4000, 10, 332, 229), (TRect { 0, 114, 332, 114 }));
    EXPECT_EQ(FitAndCentre(0, 10, 332, 229), TRect {});
}

/** The view painted over magenta. */
QImage Painted(QWidget &view)
{
    QImage image(view.size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    view.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

TEST(PictureView, SamplePicturesAreFittedAndCentred)
{
    TTempDir dir;
    TfrmOverlayDlg dlg;
    auto *view = Child<TPictureView>(dlg, "Image1");
    EXPECT_EQ(view->Placement(), TRect {});

    QString chosen = dir.Write(QStringLiteral("small.jpg"), MakeJpeg({ .Width = 200, .Height = 100 }));
    dlg.FileChooser = [&chosen] {
        return chosen;
    };
    Child<QPushButton>(dlg, "btnTest")->click();
    EXPECT_EQ(view->Placement(), (TRect { 66, 64, 266, 164 }));
    QImage image = Painted(*view);
    EXPECT_EQ(image.pixel(65, 100), qRgb(255, 0, 255));
    EXPECT_NE(image.pixel(66, 64), qRgb(255, 0, 255));
    EXPECT_NE(image.pixel(265, 163), qRgb(255, 0, 255));
    EXPECT_EQ(image.pixel(266, 163), qRgb(255, 0, 255));

    QImage large(1600, 1200, QImage::Format_RGB888);
    large.fill(QColor(0, 0, 255));
    chosen = dir.File(QStringLiteral("large.bmp"));
    ASSERT_TRUE(large.save(chosen, "BMP"));
    Child<QPushButton>(dlg, "btnTest")->click();
    EXPECT_EQ(view->Placement(), (TRect { 13, 0, 318, 229 }));
    image = Painted(*view);
    EXPECT_EQ(image.pixel(12, 100), qRgb(255, 0, 255));
    EXPECT_EQ(image.pixel(13, 0), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(317, 228), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(318, 100), qRgb(255, 0, 255));

    // Cancelled: the picture stays.
    chosen.clear();
    Child<QPushButton>(dlg, "btnTest")->click();
    EXPECT_EQ(view->Placement(), (TRect { 13, 0, 318, 229 }));
}

TEST(PictureView, AFileThatCannotBeLoadedIsReportedAndThePictureStays)
{
    TTempDir dir;
    TfrmOverlayDlg dlg;
    auto *view = Child<TPictureView>(dlg, "Image1");
    dlg.LoadSamplePicture(dir.Write(QStringLiteral("a.jpg"), MakeJpeg({ .Width = 200, .Height = 100 })));

    const QString text = dir.Write(QStringLiteral("notes.txt"), { 'h', 'i' });
    EXPECT_THROW(dlg.LoadSamplePicture(text), EInvalidGraphic);
    EXPECT_THROW(dlg.LoadSamplePicture(dir.Write(QStringLiteral("bad.jpg"), { 'h', 'i' })), Exception);
    EXPECT_EQ(view->Placement(), (TRect { 66, 64, 266, 164 }));

    dlg.FileChooser = [&text] {
        return text;
    };
    QString title, message;
    bool closerSeen = false;
    test::WhenModal<QMessageBox>([&](QMessageBox *box) {
        closerSeen = true;
        title = box->windowTitle();
        message = box->text();
        box->done(QMessageBox::Ok);
    });
    Child<QPushButton>(dlg, "btnTest")->click();
    EXPECT_TRUE(closerSeen);
    EXPECT_EQ(title, QStringLiteral("Vellumar"));
    EXPECT_EQ(message, QStringLiteral("Unknown picture file extension (.txt)"));
    EXPECT_EQ(view->Placement(), (TRect { 66, 64, 266, 164 }));
}

TEST(PictureView, APictureThatFailsToDecodeShowsNothing)
{
    // The scan asks for Huffman tables that the stream never defines: the header loads, decoding fails.
    std::vector<std::uint8_t> jpeg = MakeJpeg({ .Width = 64, .Height = 48 });
    std::size_t sos = 0;
    while (sos + 1 < jpeg.size() && !(jpeg[sos] == 0xFF && jpeg[sos + 1] == 0xDA))
        ++sos;
    ASSERT_LT(sos + 6, jpeg.size());
    jpeg[sos + 6] = 0x33;

    TTempDir dir;
    const QString path = dir.Write(QStringLiteral("broken.jpg"), jpeg);
    TJPEGImage probe;
    probe.LoadJpegFile(path);
    EXPECT_THROW((void)probe.DecodedBitmap(), EJPEG);

    TPictureView view;
    view.resize(332, 229);
    view.Picture().LoadPictureFile(path);
    EXPECT_EQ(view.Placement(), (TRect { 134, 90, 198, 138 }));
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QImage image = Painted(view);
        EXPECT_EQ(image.pixel(150, 100), qRgb(255, 0, 255));
    }
}

// Preview label --------------------------------------------------------------------------------------

struct TBox {
    int Left = INT_MAX, Top = INT_MAX, Right = -1, Bottom = -1;
    void Add(int x, int y)
    {
        Left = std::min(Left, x);
        Top = std::min(Top, y);
        Right = std::max(Right, x);
        Bottom = std::max(Bottom, y);
    }
    [[nodiscard]] bool Empty() const { return Right < 0; }
    [[nodiscard]] int Width() const { return Right - Left + 1; }
};

/** Where the text lies (mostly red) and where its shadow shows (mostly black), over white. */
struct TInk {
    TBox Text;
    TBox Shadow;
};

TInk Ink(const QImage &image)
{
    TInk ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) > 191 && qGreen(p) < 128 && qBlue(p) < 128)
                ink.Text.Add(x, y);
            else if (qRed(p) < 128 && qGreen(p) < 128 && qBlue(p) < 128)
                ink.Shadow.Add(x, y);
        }
    }
    return ink;
}

class PreviewLabel : public ::testing::Test
{
protected:
    PreviewLabel()
    {
        mLabel.resize(300, 200);
        mLabel.SetFontName(QStringLiteral("DejaVu Sans"));
        mLabel.SetFontSize(24);
        mLabel.SetFontColor(0x0000FF);
    }
    QImage Paint(const QString &caption, int alignment = 4)
    {
        mLabel.setText(caption);
        mLabel.SetPreviewAlignment(alignment);
        QImage image(mLabel.size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        mLabel.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
        return image;
    }
    TPreviewLabel mLabel;
};

TEST_F(PreviewLabel, BlackCopyTwoPixelsRightAndDownUnderTheColour)
{
    const TInk ink = Ink(Paint(QStringLiteral("Sample Overlay")));
    ASSERT_FALSE(ink.Text.Empty());
    ASSERT_FALSE(ink.Shadow.Empty());
    EXPECT_EQ(ink.Shadow.Right, ink.Text.Right + 2);
    EXPECT_EQ(ink.Shadow.Bottom, ink.Text.Bottom + 2);
    // Centred in both directions.
    EXPECT_NEAR((ink.Text.Left + ink.Text.Right) / 2, 150, 4);
    EXPECT_NEAR((ink.Text.Top + ink.Text.Bottom) / 2, 100, 8);
}

TEST_F(PreviewLabel, NineAlignmentsAndWordWrap)
{
    const TInk topLeft = Ink(Paint(QStringLiteral("Sample"), 0));
    EXPECT_LE(topLeft.Text.Left, 3);
    EXPECT_LE(topLeft.Text.Top, 12);
    const TInk bottomRight = Ink(Paint(QStringLiteral("Sample"), 8));
    EXPECT_GE(bottomRight.Text.Right, 295);
    EXPECT_GE(bottomRight.Text.Bottom, 185);
    // No entry selected: placed like "Centre".
    EXPECT_EQ(Paint(QStringLiteral("Sample"), -1), Paint(QStringLiteral("Sample"), 4));
    EXPECT_EQ(Paint(QStringLiteral("Sample"), 42), Paint(QStringLiteral("Sample"), 4));

    // Too wide for one line: broken at a blank into two lines, each within the label.
    const TInk wrapped = Ink(Paint(QStringLiteral("Overlay Overlay Overlay Overlay")));
    const TInk oneLine = Ink(Paint(QStringLiteral("Overlay")));
    EXPECT_GT(wrapped.Text.Bottom - wrapped.Text.Top, 2 * (oneLine.Text.Bottom - oneLine.Text.Top));
    EXPECT_LT(wrapped.Text.Width(), 300);
}

TEST_F(PreviewLabel, AmpersandIsAMnemonic)
{
    const QImage plain = Paint(QStringLiteral("AB"));
    const QImage marked = Paint(QStringLiteral("A&B"));
    const TBox glyphs = Ink(plain).Text;
    TBox differences;
    for (int y = 0; y < plain.height(); ++y) {
        for (int x = 0; x < plain.width(); ++x) {
            if (plain.pixel(x, y) != marked.pixel(x, y))
                differences.Add(x, y);
        }
    }
    // The same glyphs; only a line under the "B" (and its shadow) is added.
    ASSERT_FALSE(differences.Empty());
    EXPECT_GE(differences.Left, (glyphs.Left + glyphs.Right) / 2 - 2);
    EXPECT_GE(differences.Top, glyphs.Bottom - 1);

    // "&&" draws one "&".
    const int none = Ink(Paint(QStringLiteral("ab"))).Text.Width();
    const int one = Ink(Paint(QStringLiteral("a&&b"))).Text.Width();
    const int two = Ink(Paint(QStringLiteral("a&&&&b"))).Text.Width();
    EXPECT_LT(none, one);
    EXPECT_LT(one, two);
}

TEST_F(PreviewLabel, EmptyCaptionDrawsNothing)
{
    const TInk ink = Ink(Paint(QString()));
    EXPECT_TRUE(ink.Text.Empty());
    EXPECT_TRUE(ink.Shadow.Empty());
}

// "Select Sample Image" shows the highlighted picture in its pane, fitted, and says when it cannot.
TEST(SampleFileDialog, ThePaneShowsTheHighlightedPicture)
{
    TTempDir folder;
    test::TJpegFixtureOptions wide;
    wide.Width = 400;
    wide.Height = 100;
    folder.Write(QStringLiteral("wide.jpg"), MakeJpeg(wide));
    folder.WriteText(QStringLiteral("text.jpg"), "not a picture");
    TSampleFileDialog dialog;
    dialog.setDirectory(folder.Path());
    dialog.show();
    // The user highlights a file in the list, once the list has been read in the background.
    auto *list = Child<QListView>(dialog, "listView");
    const auto highlight = [list](const QString &name) {
        return QTest::qWaitFor([list, &name] {
            const QModelIndexList found = list->model()->match(list->model()->index(0, 0, list->rootIndex()),
                Qt::DisplayRole,
                name,
                1,
                Qt::MatchExactly);
            if (!found.isEmpty())
                list->setCurrentIndex(found.front());
            return !found.isEmpty();
        });
    };
    QLabel *pane = dialog.PreviewPane();
    ASSERT_TRUE(highlight(QStringLiteral("wide.jpg")));
    ASSERT_TRUE(QTest::qWaitFor([pane] {
        return !pane->pixmap().isNull();
    }));
    EXPECT_EQ(pane->pixmap().size(), QSize(200, 50));
    ASSERT_TRUE(highlight(QStringLiteral("text.jpg")));
    EXPECT_TRUE(pane->pixmap().isNull());
    EXPECT_EQ(pane->text(), QStringLiteral("No preview"));
}

} // namespace
} // namespace vellumar
