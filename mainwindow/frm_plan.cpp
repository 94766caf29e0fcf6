#include "mainwindow/frm_plan.h"

#include <QPushButton>

#include "engine/source_list.h"
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

// What a row's write would replace, naming the file: the clash that refuses the run when the row has one
// (its text begins with the photo's name), else the existing file or the photo's own source.
QString ReplacedText(const TDryRun &plan, const TPlanRow &photo)
{
    // The output's path is the row's own (its output name in the destination): the rest names the file.
    const QString clashPrefix = photo.SourceName + QStringLiteral(" -> ");
    const QString ownOutput = PathInFolder(plan.DestinationFolder, photo.OutputName) + QLatin1Char(' ');
    for (const QString &clash : plan.Clashes) {
        if (!clash.startsWith(clashPrefix))
            continue;
        const QString rest = clash.mid(clashPrefix.size());
        return PrintableName(rest.startsWith(ownOutput) ? rest.mid(ownOutput.size()) : rest);
    }
    switch (photo.Replaces) {
    case TReplaces::Nothing:
        break;
    case TReplaces::ExistingFile:
        return QStringLiteral("%1: %2").arg(ReplacesText(photo.Replaces),
            PrintableName(PathInFolder(plan.DestinationFolder, photo.OutputName)));
    case TReplaces::OwnSource:
        return QStringLiteral("%1: %2").arg(ReplacesText(photo.Replaces), PrintableName(photo.SourceName));
    }
    return {};
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
    int skipped = 0;
    int problems = 0;
    ui->tblPlan->setRowCount(int(plan.Rows.size()));
    for (int row = 0; row < int(plan.Rows.size()); ++row) {
        const TPlanRow &photo = plan.Rows[std::size_t(row)];
        replacing += photo.Replaces == TReplaces::Nothing ? 0 : 1;
        skipped += photo.Skipped ? 1 : 0;
        problems += photo.Problem.isEmpty() ? 0 : 1;
        const QStringList cells { QString::number(photo.Position + 1),
            PrintableName(photo.SourceName),
            PrintableName(photo.OutputName),
            SizeText(photo.SourceSize),
            photo.Problem.isEmpty() ? SizeText(photo.PlannedSize) : PrintableName(photo.Problem),
            photo.Skipped ? SkippedText() : ReplacedText(plan, photo) };
        for (int column = 0; column < int(cells.size()); ++column) {
            auto *item = new QTableWidgetItem(cells[column]); // the table owns its items
            item->setToolTip(cells[column]);
            ui->tblPlan->setItem(row, column, item);
        }
    }
    ui->tblPlan->resizeColumnsToContents();
    QString summary = plan.DestinationFolder.isEmpty()
        ? tr("%n photos; no destination folder is chosen", nullptr, int(plan.Rows.size()))
        : tr("%n photos into %1", nullptr, int(plan.Rows.size())).arg(PrintableName(plan.DestinationFolder));
    if (replacing > 0)
        summary += tr("; %n would replace a file", nullptr, replacing);
    if (skipped > 0)
        summary += tr("; %n skipped, their outputs exist", nullptr, skipped);
    if (problems > 0)
        summary += tr("; %n cannot be read", nullptr, problems);
    ui->lblSummary->setText(summary + QLatin1Char('.'));
    ui->lblClashes->setVisible(!plan.Clashes.isEmpty());
    ui->lbClashes->setVisible(!plan.Clashes.isEmpty());
    for (const QString &clash : plan.Clashes)
        ui->lbClashes->addItem(PrintableName(clash));
}

} // namespace vellumar
