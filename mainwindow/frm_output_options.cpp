#include "mainwindow/frm_output_options.h"

#include <QDialogButtonBox>

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
}

TfrmOutputOptions::~TfrmOutputOptions() = default;

void TfrmOutputOptions::ConnectHandlers()
{
    connect(ui->cbSizeMode, &QComboBox::currentIndexChanged, this, &TfrmOutputOptions::cbSizeModeChange);
    connect(ui->btnBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
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
