#include "overlay/dialog/frm_overlay_dlg.h"

#include <algorithm>
#include <utility>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHideEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScopedValueRollback>
#include <QTimer>

#include "imaging/dialog_font.h"
#include "overlay/dialog/picture_view.h"
#include "overlay/dialog/preview_label.h"
#include "ui_frm_overlay_dlg.h"
#include "widgets/run_guarded.h"

namespace vellumar
{

namespace
{

/** The preview caption as the layout gives it; "OK" ticks the overlay switch once it differs. */
const QString kInitialCaption = QStringLiteral("Sample Overlay Text");

QColor ToQColor(TColor color)
{
    return QColor::fromRgb(ColorToRgb(color));
}

TColor ToTColor(const QColor &color)
{
    return TColor(color.blue()) << 16 | TColor(color.green()) << 8 | TColor(color.red());
}

/** A small colour swatch with an outline in the button-shadow colour. */
QIcon Swatch(TColor color, const QColor &outline)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.fillRect(QRect(1, 2, 14, 12), ToQColor(color));
    painter.setPen(outline);
    painter.drawRect(QRect(1, 2, 13, 11));
    return QIcon(pixmap);
}

/** A 12 by 12 mark of a font family's kind: "T" for outline fonts, "a" for others; boxed when fixed-pitch. */
QIcon FontKindGlyph(bool outline, bool fixedPitch)
{
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(11);
    font.setBold(outline);
    painter.setFont(font);
    painter.setPen(outline ? QColor(0, 0, 128) : QColor(64, 64, 64));
    painter.drawText(QRect(0, 0, 12, 12), Qt::AlignCenter, outline ? QStringLiteral("T") : QStringLiteral("a"));
    if (fixedPitch) {
        painter.setPen(QColor(128, 128, 128));
        painter.drawRect(QRect(0, 0, 11, 11));
    }
    return QIcon(pixmap);
}

} // namespace

TfrmOverlayDlg::TfrmOverlayDlg(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TfrmOverlayDlg>())
{
    InstallDialogFontSubstitutes();
    ui->setupUi(this);
    setFont(WithDialogFontMetrics(font()));
    mCustomColors.fill(qRgb(255, 255, 255));
    FileChooser = [this] {
        return ChooseFileWithDialog();
    };
    ColorChooser = [this](TColor initial) {
        return ChooseColorWithDialog(initial);
    };
    FormCreate();
    ConnectHandlers();
}

TfrmOverlayDlg::~TfrmOverlayDlg() = default;

void TfrmOverlayDlg::ConnectHandlers()
{
    connect(ui->cbFontName, &QComboBox::currentIndexChanged, this, &TfrmOverlayDlg::cbFontNameChange);
    connect(ui->cbFontSize, &QComboBox::currentIndexChanged, this, &TfrmOverlayDlg::cbFontSizeChange);
    connect(ui->cbFontSize, &QComboBox::editTextChanged, this, [this] {
        MatchTypedText(ui->cbFontSize);
    });
    connect(ui->cbFontColor, &QComboBox::currentIndexChanged, this, &TfrmOverlayDlg::cbFontColorChange);
    connect(ui->cbFontColor, &QComboBox::activated, this, &TfrmOverlayDlg::cbFontColorActivated);
    // The drop-down's showing tells a choice from the open list from a key press in the closed one.
    ui->cbFontColor->view()->window()->installEventFilter(this);
    connect(ui->moText, &QPlainTextEdit::textChanged, this, &TfrmOverlayDlg::moTextChange);
    connect(ui->cbBold, &QCheckBox::toggled, this, &TfrmOverlayDlg::cbBoldClick);
    connect(ui->cbItalic, &QCheckBox::toggled, this, &TfrmOverlayDlg::cbItalicClick);
    connect(ui->cbTxtPos, &QComboBox::currentIndexChanged, this, &TfrmOverlayDlg::cbTxtPosChange);
    connect(ui->cbTxtPos, &QComboBox::editTextChanged, this, [this] {
        MatchTypedText(ui->cbTxtPos);
    });
    connect(ui->btnTest, &QPushButton::clicked, this, &TfrmOverlayDlg::btnTestClick);
    connect(ui->btnClose, &QPushButton::clicked, this, &TfrmOverlayDlg::btnCloseClick);
}

void TfrmOverlayDlg::FormCreate()
{
    FillFontList();
    FillColorList();

    // The size box shows its text from the layout with no entry selected: that behaves as "Medium".
    mNoSizeText = ui->cbFontSize->currentText();
    ui->cbFontSize->setCurrentIndex(-1);
    ui->cbFontSize->setEditText(mNoSizeText);

    QStringList families;
    for (int i = 0; i < ui->cbFontName->count(); ++i)
        families.append(ui->cbFontName->itemText(i));
    const QString arial = DefaultFontName(families);
    ui->cbFontName->setCurrentIndex(arial.isEmpty() ? -1 : int(families.indexOf(arial)));

    TPreviewLabel *preview = ui->lblSample;
    preview->SetFontName(CurrentOverlaySettings().FontName);
    preview->SetFontSize(PreviewFontSize(ui->cbFontSize->currentIndex()));
    preview->SetFontColor(SelectedColor());
    ui->cbTxtPos->setCurrentIndex(4);
    preview->SetPreviewAlignment(ui->cbTxtPos->currentIndex());
}

void TfrmOverlayDlg::FillFontList()
{
    QStringList families = QFontDatabase::families();
    std::stable_sort(families.begin(), families.end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    const std::array<QIcon, 4> glyphs { FontKindGlyph(false, false),
        FontKindGlyph(false, true),
        FontKindGlyph(true, false),
        FontKindGlyph(true, true) };
    ui->cbFontName->setIconSize(QSize(12, 12));
    for (const QString &family : families) {
        const bool outline = QFontDatabase::isSmoothlyScalable(family);
        const bool fixedPitch = QFontDatabase::isFixedPitch(family);
        ui->cbFontName->addItem(glyphs[(outline ? 2u : 0u) + (fixedPitch ? 1u : 0u)], family);
    }
}

void TfrmOverlayDlg::FillColorList()
{
    const QColor outline = palette().color(QPalette::Dark);
    for (const TOverlayColorEntry &entry : kOverlayColors)
        ui->cbFontColor->addItem(Swatch(entry.Color, outline), QString(entry.Name), QVariant::fromValue(entry.Color));
    SelectColor(kDefaultColor);
    if (ui->cbFontColor->currentIndex() < 0)
        ui->cbFontColor->setCurrentIndex(0);
}

void TfrmOverlayDlg::SelectColor(TColor color)
{
    for (int i = 0; i < ui->cbFontColor->count(); ++i) {
        if (ui->cbFontColor->itemData(i).toUInt() == color) {
            ui->cbFontColor->setCurrentIndex(i);
            return;
        }
    }
    SetCustomColor(color);
    ui->cbFontColor->setCurrentIndex(kCustomColorIndex);
}

void TfrmOverlayDlg::SetCustomColor(TColor color)
{
    ui->cbFontColor->setItemData(kCustomColorIndex, QVariant::fromValue(color));
    ui->cbFontColor->setItemIcon(kCustomColorIndex, Swatch(color, palette().color(QPalette::Dark)));
}

TColor TfrmOverlayDlg::SelectedColor() const
{
    const int index = ui->cbFontColor->currentIndex();
    return index < 0 ? kDefaultColor : TColor(ui->cbFontColor->itemData(index).toUInt());
}

int TfrmOverlayDlg::PreviewFontSize(int index) const
{
    return SizePercent(index) * std::min(ui->lblSample->width(), ui->lblSample->height()) / 100;
}

TOverlaySettings TfrmOverlayDlg::CurrentOverlaySettings() const
{
    return TOverlaySettings {
        .Text = MemoText(),
        .FontName = ui->cbFontName->currentIndex() < 0 ? QString() : ui->cbFontName->currentText(),
        .FontColor = SelectedColor(),
        .FontStyle = ui->lblSample->PreviewFont().Style(),
        .SizeClass = ui->cbFontSize->currentIndex(),
        .TextPosition = ui->cbTxtPos->currentIndex(),
        .WordWrap = true,
    };
}

void TfrmOverlayDlg::SetOverlaySettings(const TOverlaySettings &settings)
{
    ui->moText->setPlainText(QString(settings.Text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    ui->cbFontName->setCurrentIndex(
        settings.FontName.isEmpty() ? -1 : ui->cbFontName->findText(settings.FontName, Qt::MatchFixedString));
    SelectColor(settings.FontColor);
    ui->cbBold->setChecked((settings.FontStyle & fsBold) != 0);
    ui->cbItalic->setChecked((settings.FontStyle & fsItalic) != 0);
    const bool sized = settings.SizeClass >= 0 && settings.SizeClass < ui->cbFontSize->count();
    ui->cbFontSize->setCurrentIndex(sized ? settings.SizeClass : -1);
    if (!sized) {
        // The layout's text, which names a size, must not select it.
        const QScopedValueRollback<bool> guard(mMatchingTypedText, true);
        ui->cbFontSize->setEditText(mNoSizeText);
    }
    const bool placed = settings.TextPosition >= 0 && settings.TextPosition < ui->cbTxtPos->count();
    ui->cbTxtPos->setCurrentIndex(placed ? settings.TextPosition : -1);
}

void TfrmOverlayDlg::SetOverlaySwitch(QCheckBox *overlaySwitch)
{
    mOverlaySwitch = overlaySwitch;
}

void TfrmOverlayDlg::LoadSamplePicture(const QString &path)
{
    ui->Image1->Picture().LoadPictureFile(path);
}

QString TfrmOverlayDlg::MemoText() const
{
    // The settings separate lines by CR LF, whatever the text box holds.
    QString text = ui->moText->toPlainText();
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

void TfrmOverlayDlg::MatchTypedText(QComboBox *box)
{
    QLineEdit *edit = box->lineEdit();
    if (mMatchingTypedText || edit == nullptr)
        return;
    const QString typed = edit->text();
    const int index = typed.isEmpty() ? -1 : box->findText(typed, Qt::MatchFixedString);
    if (index == box->currentIndex())
        return;
    // Selecting rewrites the box's text (and clears it for no entry); the user's typing stays as it was.
    const int cursor = edit->cursorPosition();
    const QScopedValueRollback<bool> guard(mMatchingTypedText, true);
    box->setCurrentIndex(index);
    if (edit->text() != typed) {
        edit->setText(typed);
        edit->setCursorPosition(cursor);
    }
}

void TfrmOverlayDlg::SetPreviewStyle(TFontStyles style, bool on)
{
    const TFontStyles current = ui->lblSample->PreviewFont().Style();
    ui->lblSample->SetFontStyle(on ? TFontStyles(current | style) : TFontStyles(current & ~style));
}

void TfrmOverlayDlg::cbFontNameChange()
{
    ui->lblSample->SetFontName(CurrentOverlaySettings().FontName);
}

void TfrmOverlayDlg::cbFontSizeChange()
{
    ui->lblSample->SetFontSize(PreviewFontSize(ui->cbFontSize->currentIndex()));
}

void TfrmOverlayDlg::cbFontColorChange()
{
    ui->lblSample->SetFontColor(SelectedColor());
}

void TfrmOverlayDlg::cbFontColorActivated(int index)
{
    // Only an entry taken from the open drop-down asks; the drop-down has closed by now.
    if (!std::exchange(mColorDropDownOpen, false))
        return;
    ChooseCustomColor(index);
}

bool TfrmOverlayDlg::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->cbFontColor->view()->window()) {
        if (event->type() == QEvent::Show) {
            mColorDropDownOpen = true;
        } else if (event->type() == QEvent::Hide) {
            // A choice is reported right after the drop-down hides; a cancelled one reports nothing.
            QTimer::singleShot(0, this, [this] {
                mColorDropDownOpen = false;
            });
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmOverlayDlg::ChooseCustomColor(int index)
{
    if (index != kCustomColorIndex || !ColorChooser)
        return;
    const std::optional<TColor> chosen = ColorChooser(SelectedColor());
    if (!chosen)
        return;
    SetCustomColor(*chosen);
    ui->cbFontColor->setCurrentIndex(kCustomColorIndex);
    // The list tells no change of an entry's colour; the preview follows the new colour at once.
    cbFontColorChange();
}

void TfrmOverlayDlg::moTextChange()
{
    ui->lblSample->setText(MemoText());
}

void TfrmOverlayDlg::cbBoldClick()
{
    SetPreviewStyle(fsBold, ui->cbBold->isChecked());
}

void TfrmOverlayDlg::cbItalicClick()
{
    SetPreviewStyle(fsItalic, ui->cbItalic->isChecked());
}

void TfrmOverlayDlg::cbTxtPosChange()
{
    ui->lblSample->SetPreviewAlignment(ui->cbTxtPos->currentIndex());
}

void TfrmOverlayDlg::btnTestClick()
{
    RunGuarded(this, [this] {
        const QString path = FileChooser ? FileChooser() : QString();
        if (!path.isEmpty())
            LoadSamplePicture(path);
    });
}

void TfrmOverlayDlg::btnCloseClick()
{
    if (ui->lblSample->text() != kInitialCaption && mOverlaySwitch != nullptr)
        mOverlaySwitch->setChecked(true);
    close();
}

void TfrmOverlayDlg::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    // A dialog is centred at every showing unless it was placed; placing it where it is keeps the
    // user's place for the next showing.
    if (!event->spontaneous())
        move(pos());
}

QString TfrmOverlayDlg::ChooseFileWithDialog()
{
    return QFileDialog::getOpenFileName(this,
        tr("Select Sample Image"),
        QString(),
        tr("JPEG or Bitmap (*.jpg *.jpeg *.bmp);;"
           "JPEG Image File (*.jpg *.jpeg);;"
           "Bitmaps (*.bmp)"));
}

std::optional<TColor> TfrmOverlayDlg::ChooseColorWithDialog(TColor initial)
{
    // The chooser's custom colours are Qt's, shared by the whole program: ours are put in before and
    // taken back only when the user confirms.
    const int count = std::min(int(mCustomColors.size()), QColorDialog::customCount());
    for (int i = 0; i < count; ++i)
        QColorDialog::setCustomColor(i, QColor::fromRgb(mCustomColors[std::size_t(i)]));
    QColorDialog dialog(ToQColor(initial), this);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    for (int i = 0; i < count; ++i)
        mCustomColors[std::size_t(i)] = QColorDialog::customColor(i).rgb();
    return ToTColor(dialog.selectedColor());
}

} // namespace vellumar
