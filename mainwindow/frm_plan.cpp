#include "mainwindow/frm_plan.h"

#include <QPushButton>

#include "imaging/native_name.h"
#include "ui_frm_plan.h"

namespace vellumar
{

namespace
{

QString SizeText(const std::optional<TPixelSize> &size)
{
    return size ? QStringLiteral("%1 x %2").arg(size->Width).arg(size->Height) : QString();
}

} // namespace

TfrmPlan::TfrmPlan(const TDryRun &plan, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TfrmPlan>())
{
    ui->setupUi(this);
    ConnectHandlers();
    FormCreate(plan);
}

TfrmPlan::~TfrmPlan() = default;

void TfrmPlan::ConnectHandlers()
{
    connect(ui->btnsPlan, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void TfrmPlan::FormCreate(const TDryRun &plan)
{
    int replacing = 0;
    int problems = 0;
    ui->tblPlan->setRowCount(int(plan.Rows.size()));
    for (int row = 0; row < int(plan.Rows.size()); ++row) {
        const TPlanRow &photo = plan.Rows[std::size_t(row)];
        replacing += photo.Replaces == TReplaces::Nothing ? 0 : 1;
        problems += photo.Problem.isEmpty() ? 0 : 1;
        const QStringList cells { QString::number(photo.Position + 1),
            PrintableName(photo.SourceName),
            PrintableName(photo.OutputName),
            SizeText(photo.SourceSize),
            photo.Problem.isEmpty() ? SizeText(photo.PlannedSize) : PrintableName(photo.Problem),
            ReplacesText(photo.Replaces) };
        for (int column = 0; column < int(cells.size()); ++column)
            ui->tblPlan->setItem(row, column, new QTableWidgetItem(cells[column])); // the table owns its items
    }
    ui->tblPlan->resizeColumnsToContents();
    QString summary =
        tr("%n photos into %1", nullptr, int(plan.Rows.size())).arg(PrintableName(plan.DestinationFolder));
    if (replacing > 0)
        summary += tr("; %n would replace a file", nullptr, replacing);
    if (problems > 0)
        summary += tr("; %n cannot be read", nullptr, problems);
    ui->lblSummary->setText(summary + QLatin1Char('.'));
    ui->lblClashes->setVisible(!plan.Clashes.isEmpty());
    ui->lbClashes->setVisible(!plan.Clashes.isEmpty());
    for (const QString &clash : plan.Clashes)
        ui->lbClashes->addItem(PrintableName(clash));
}

} // namespace vellumar
