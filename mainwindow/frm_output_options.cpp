#include "mainwindow/frm_output_options.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDateTime>
#include <QDialogButtonBox>

#include "engine/name_template.h"
#include "engine/output_variant.h"
#include "imaging/errors.h"
#include "ui_frm_output_options.h"

namespace vellumar
{

TfrmOutputOptions::TfrmOutputOptions(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TfrmOutputOptions>())
{
    ui->setupUi(this);
    ConnectHandlers();
    cbSizeModeChange();
    ebNameTemplateChange();
}

TfrmOutputOptions::~TfrmOutputOptions() = default;

void TfrmOutputOptions::ConnectHandlers()
{
    connect(ui->cbSizeMode, &QComboBox::currentIndexChanged, this, &TfrmOutputOptions::cbSizeModeChange);
    connect(ui->btnBox, &QDialogButtonBox::accepted, this, &TfrmOutputOptions::btnOkClick);
    connect(ui->ebNameTemplate, &QLineEdit::textChanged, this, &TfrmOutputOptions::ebNameTemplateChange);
    connect(ui->btnBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

// Only the size that the chosen mode reads can be edited.
void TfrmOutputOptions::cbSizeModeChange()
{
    const auto mode = TSizeMode(ui->cbSizeMode->currentIndex());
    ui->lblLongEdge->setEnabled(mode == TSizeMode::LongEdge);
    ui->seLongEdge->setEnabled(mode == TSizeMode::LongEdge);
    for (QWidget *control : { static_cast<QWidget *>(ui->lblFit),
             static_cast<QWidget *>(ui->seFitWidth),
             static_cast<QWidget *>(ui->lblBy),
             static_cast<QWidget *>(ui->seFitHeight) })
        control->setEnabled(mode == TSizeMode::Fit);
}

void TfrmOutputOptions::SetResizeOptions(const TResizeOptions &options)
{
    ui->cbFilter->setCurrentIndex(int(options.Filter));
    ui->cbSizeMode->setCurrentIndex(int(options.Mode));
    ui->seLongEdge->setValue(options.LongEdge);
    ui->seFitWidth->setValue(options.Box.Width);
    ui->seFitHeight->setValue(options.Box.Height);
}

TResizeOptions TfrmOutputOptions::ResizeOptions() const
{
    return TResizeOptions {
        .Filter = TResizeFilter(ui->cbFilter->currentIndex()),
        .Mode = TSizeMode(ui->cbSizeMode->currentIndex()),
        .LongEdge = ui->seLongEdge->value(),
        .Box = { ui->seFitWidth->value(), ui->seFitHeight->value() },
    };
}

void TfrmOutputOptions::SetOptions(const TJob &job)
{
    ui->seOverlayQuality->setValue(job.OverlayQuality);
    ui->cbToSrgb->setChecked(job.ToSrgb);
    ui->cbExisting->setCurrentIndex(int(job.Existing));
    ui->cbCoding->setCurrentIndex(int(job.Coding));
    ui->seMaxSize->setValue(int(job.MaxBytes / 1024));
    ui->seMinQuality->setValue(job.MinQuality);
    ui->ebNameTemplate->setText(job.NameTemplate);
    ui->cbOverlayTokens->setChecked(job.OverlayTokens);
    QStringList lines;
    for (const TOutputVariant &variant : job.Variants)
        lines << OutputVariantText(variant);
    ui->memoVariants->setPlainText(lines.join(QLatin1Char('\n')));
}

void TfrmOutputOptions::TakeOptions(TJob &job) const
{
    ui->seOverlayQuality->interpretText();
    job.OverlayQuality = ui->seOverlayQuality->value();
    job.ToSrgb = ui->cbToSrgb->isChecked();
    // The items are in the order of the choices.
    job.Existing = TExisting(std::clamp(ui->cbExisting->currentIndex(), 0, int(kExistingNames.size()) - 1));
    job.Coding = TJpegCoding(std::clamp(ui->cbCoding->currentIndex(), 0, 2));
    job.MaxBytes = std::int64_t(ui->seMaxSize->value()) * 1024;
    job.MinQuality = ui->seMinQuality->value();
    job.NameTemplate = ui->ebNameTemplate->text();
    job.OverlayTokens = ui->cbOverlayTokens->isChecked();
    job.Variants.clear();
    for (const QString &line : ui->memoVariants->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        try {
            job.Variants.push_back(ParseOutputVariant(line.trimmed()));
        } catch (const Exception &) {
            // Told by btnOkClick, which keeps the dialog open.
        }
    }
}

void TfrmOutputOptions::CopyOptions(const TJob &from, TJob &to)
{
    to.OverlayQuality = from.OverlayQuality;
    to.ToSrgb = from.ToSrgb;
    to.Existing = from.Existing;
    to.Coding = from.Coding;
    to.MaxBytes = from.MaxBytes;
    to.MinQuality = from.MinQuality;
    to.NameTemplate = from.NameTemplate;
    to.OverlayTokens = from.OverlayTokens;
    to.Variants = from.Variants;
}

// The name the template gives a photo IMG_0001.jpg taken now, 1600 x 1067 pixels, or why it gives none.
void TfrmOutputOptions::ebNameTemplateChange()
{
    const QString text = ui->ebNameTemplate->text();
    QString sample;
    if (text.isEmpty())
        sample = tr("(prefix, number and suffix of the main window)");
    else if (const QString problem = TemplateProblem(text); !problem.isEmpty())
        sample = problem;
    else {
        TTokenValues values { .Name = QStringLiteral("IMG_0001"),
            .Number = QStringLiteral("1"),
            .Date = {},
            .Time = {},
            .Camera = QStringLiteral("Camera"),
            .Width = QStringLiteral("1600"),
            .Height = QStringLiteral("1067") };
        SetDateTokens(values, QString(), QDateTime::currentSecsSinceEpoch());
        sample = FillTokens(text, values, true) + QStringLiteral(".jpg");
    }
    ui->lblTemplateSample->setText(sample);
}

// The dialog closes only with settings the run can take.
void TfrmOutputOptions::btnOkClick()
{
    QStringList problems;
    if (const QString problem = TemplateProblem(ui->ebNameTemplate->text()); !problem.isEmpty())
        problems << tr("Name template: %1").arg(problem);
    else if (ui->ebNameTemplate->text().contains(QLatin1Char('/')))
        problems << tr("Name template: a file name cannot hold \"/\"");
    QStringList names;
    for (const QString &line : ui->memoVariants->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        try {
            const TOutputVariant variant = ParseOutputVariant(line.trimmed());
            if (names.contains(variant.Name))
                problems << tr("Variants: \"%1\" is given twice").arg(variant.Name);
            names << variant.Name;
        } catch (const Exception &error) {
            problems << tr("Variants: %1").arg(error.Message());
        }
    }
    ui->lblProblem->setText(problems.join(QLatin1Char('\n')));
    ui->lblProblem->setVisible(!problems.isEmpty());
    if (problems.isEmpty())
        accept();
}

QString SizeInPixelsText(const TResizeOptions &options)
{
    switch (options.Mode) {
    case TSizeMode::LongEdge:
        return QCoreApplication::translate("TfrmMain", "Long edge: %1 px").arg(options.LongEdge);
    case TSizeMode::Fit:
        return QCoreApplication::translate("TfrmMain", "Fit: %1 x %2 px")
            .arg(options.Box.Width)
            .arg(options.Box.Height);
    case TSizeMode::Percent:
        break;
    }
    return QString();
}

QString ResizeOptionsText(const TResizeOptions &options)
{
    const QString filter = options.Filter == TResizeFilter::Smooth ? TfrmOutputOptions::tr("Smooth")
                                                                   : TfrmOutputOptions::tr("Nearest (exact)");
    switch (options.Mode) {
    case TSizeMode::LongEdge:
        return TfrmOutputOptions::tr("%1, long edge %2 px").arg(filter).arg(options.LongEdge);
    case TSizeMode::Fit:
        return TfrmOutputOptions::tr("%1, fit inside %2 x %3 px")
            .arg(filter)
            .arg(options.Box.Width)
            .arg(options.Box.Height);
    case TSizeMode::Percent:
        break;
    }
    return TfrmOutputOptions::tr("%1, by the percentage").arg(filter);
}

} // namespace vellumar
