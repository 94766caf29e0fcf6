#include "mainwindow/frm_main.h"

#include <algorithm>
#include <limits>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTextCursor>
#include <QThread>

#include "engine/dry_run.h"
#include "engine/folder_rules.h"
#include "engine/image_plan.h"
#include "engine/job_settings.h"
#include "engine/run_plan.h"
#include "imaging/dialog_font.h"
#include "imaging/errors.h"
#include "imaging/file_io.h"
#include "imaging/native_name.h"
#include "mainwindow/frm_about.h"
#include "mainwindow/frm_output_options.h"
#include "mainwindow/frm_plan.h"
#include "mainwindow/frm_preview.h"
#include "ui_frm_main.h"
#include "version/app_metadata.h"
#include "version/version_info.h"
#include "widgets/run_guarded.h"

// The icons live in this static library; naming their initialiser keeps the linker from dropping them.
// Q_INIT_RESOURCE declares a function, so it must be used outside any namespace.
static void InitMainWindowResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace vellumar
{

namespace
{

constexpr int kSourceRowHeight = 18;

// The source list's rows are 18 pixels high, whatever the font.
class TFixedRowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(kSourceRowHeight);
        return size;
    }
};

} // namespace

TfrmMain::TfrmMain(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::TfrmMain>())
{
    InitMainWindowResources();
    InstallDialogFontSubstitutes();
    ui->setupUi(this);
    setFont(WithDialogFontMetrics(font()));
    ui->lbSrc->setItemDelegate(new TFixedRowDelegate(ui->lbSrc));
    // The folder buttons sit inside their fields; the text must not run under them.
    ui->ebSrcFolder->setTextMargins(0, 0, ui->ebSrcFolder->width() - ui->btnSrcFolder->x(), 0);
    ui->ebDestFolder->setTextMargins(0, 0, ui->ebDestFolder->width() - ui->btnDestFolder->x(), 0);
    for (QWidget *field : { static_cast<QWidget *>(ui->ebPrefix),
             static_cast<QWidget *>(ui->ebNumber),
             static_cast<QWidget *>(ui->ebSuffix) })
        field->installEventFilter(this);

    mChooseFolder = [this](const QString &lastFolder) {
        return DefaultChooseFolder(lastFolder);
    };
    mChooseReportFile = [this](const QString &proposedPath) {
        return DefaultChooseReportFile(proposedPath);
    };
    mWarnSameFolder = [this] {
        DefaultWarnSameFolder();
    };
    mChoosePresetName = [this] {
        return DefaultChoosePresetName();
    };
    mChoosePresetFile = [this](bool save) {
        return DefaultChoosePresetFile(save);
    };
    mConfirm = [this](const QString &question) {
        return DefaultConfirm(question);
    };
    mPresetsMenu = new QMenu(ui->btnPresets);
    ui->btnPresets->setMenu(mPresetsMenu);
    connect(mPresetsMenu, &QMenu::aboutToShow, this, &TfrmMain::FillPresetsMenu);
    mLog.SetOnChange([this](TStatusLog::TChange change, const QString &line) {
        ShowLogChange(change, line);
    });
    mSourceList.SetOnChange([this] {
        ShowSourceList();
    });
    ConnectHandlers();

    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    RunGuarded(this, [this] {
        mSourceList.ChangeListFolder(QDir::currentPath());
    });
    FormCreate();
    // The output options' tooltip names them from the start, so that a reset shows as the start does.
    UpdateResizeControls();
    mDefaults = Snapshot();
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::ConnectHandlers()
{
    connect(ui->cbResize, &QCheckBox::clicked, this, &TfrmMain::cbResizeClick);
    connect(ui->cbRename, &QCheckBox::clicked, this, &TfrmMain::cbRenameClick);
    connect(ui->cbOverlay, &QCheckBox::clicked, this, &TfrmMain::cbRenameClick);
    connect(ui->ebNumber, &QLineEdit::textChanged, this, &TfrmMain::ebNumberChange);
    connect(ui->sePadding, &QSpinBox::valueChanged, this, &TfrmMain::sePaddingChange);
    connect(ui->btnSrcFolder, &QToolButton::clicked, this, &TfrmMain::ebSrcFolderElipsisClick);
    connect(ui->btnDestFolder, &QToolButton::clicked, this, &TfrmMain::ebDestFolderElipsisClick);
    connect(ui->btnProcess, &QPushButton::clicked, this, &TfrmMain::btnProcessClick);
    connect(ui->btnStop, &QPushButton::clicked, this, &TfrmMain::btnStopClick);
    connect(ui->btnOverlay, &QPushButton::clicked, this, &TfrmMain::btnOverlayClick);
    connect(ui->btnClear, &QToolButton::clicked, this, &TfrmMain::btnClearClick);
    connect(ui->SpeedButton1, &QToolButton::clicked, this, &TfrmMain::SpeedButton1Click);
    connect(ui->btnAbout, &QToolButton::clicked, this, &TfrmMain::btnAboutClick);
    connect(ui->Button1, &QPushButton::clicked, this, &TfrmMain::Button1Click);
    connect(ui->btnOutputOptions, &QToolButton::clicked, this, &TfrmMain::btnOutputOptionsClick);
    connect(ui->btnPlan, &QPushButton::clicked, this, &TfrmMain::btnPlanClick);
    connect(ui->btnPreview, &QPushButton::clicked, this, &TfrmMain::btnPreviewClick);
    // The preview follows the selected photo and every setting that changes its output.
    connect(ui->lbSrc, &QListWidget::currentRowChanged, this, &TfrmMain::RefreshPreview);
    for (QCheckBox *box : { ui->cbResize, ui->cbRename, ui->cbOverlay, ui->cbAutoOrient })
        connect(box, &QCheckBox::toggled, this, &TfrmMain::RefreshPreview);
    connect(ui->cbMetadata, &QComboBox::currentIndexChanged, this, &TfrmMain::RefreshPreview);
    for (QSpinBox *spin : { static_cast<QSpinBox *>(ui->seResizePercent), static_cast<QSpinBox *>(ui->seQuality) })
        connect(spin, &QSpinBox::valueChanged, this, &TfrmMain::RefreshPreview);
}

void TfrmMain::SetOverlayDialog(QDialog *dialog, TOverlaySettingsHolder *settings)
{
    mOverlayDialog = dialog;
    mOverlaySettings = settings;
}

QCheckBox *TfrmMain::OverlaySwitch() const
{
    return ui->cbOverlay;
}

void TfrmMain::FormCreate()
{
    // A version that cannot be read is reported and the rest of the creation is skipped.
    RunGuarded(this, [this] {
        setWindowTitle(QString::fromLatin1(kAppTitle) + QStringLiteral("- v") + ProgramVersionText());
        UpdateStartButton();
        UpdateSampleName();
    });
}

void TfrmMain::UpdateResizeControls()
{
    // A size in pixels replaces the percentage, which then stays off.
    const bool on = ui->cbResize->isChecked() && mResizeOptions.Mode == TSizeMode::Percent;
    ui->seResizePercent->setEnabled(on);
    ui->RzLabel1->setEnabled(on);
    ui->btnOutputOptions->setToolTip(
        tr("Output options: the filter, and the size by percent, long edge or fit (now: %1)")
            .arg(ResizeOptionsText(mResizeOptions)));
}

void TfrmMain::SetResizeOptions(const TResizeOptions &options)
{
    mResizeOptions = options;
    UpdateResizeControls();
    RefreshPreview();
}

void TfrmMain::btnOutputOptionsClick()
{
    RunGuarded(this, [this] {
        TfrmOutputOptions dlg(this);
        dlg.SetResizeOptions(mResizeOptions);
        if (dlg.exec() == QDialog::Accepted)
            SetResizeOptions(dlg.ResizeOptions());
    });
}

void TfrmMain::UpdateRenameControls()
{
    const bool on = ui->cbRename->isChecked();
    for (QWidget *control : { static_cast<QWidget *>(ui->lblPrefix),
             static_cast<QWidget *>(ui->lblNumber),
             static_cast<QWidget *>(ui->lblSuffix),
             static_cast<QWidget *>(ui->lblSample),
             static_cast<QWidget *>(ui->lblPadding),
             static_cast<QWidget *>(ui->ebPrefix),
             static_cast<QWidget *>(ui->ebNumber),
             static_cast<QWidget *>(ui->ebSuffix),
             static_cast<QWidget *>(ui->sePadding) })
        control->setEnabled(on);
}

void TfrmMain::UpdateStartButton()
{
    // A folder chosen during a run must not offer a second run inside the first.
    ui->btnProcess->setEnabled(!mRunning && !ui->ebSrcFolder->text().isEmpty() && !ui->ebDestFolder->text().isEmpty());
}

void TfrmMain::UpdateSampleName()
{
    ui->pnlSample->setText(TOutputNamer::SampleName(ui->ebPrefix->text(), ui->ebNumber->text(), ui->ebSuffix->text()));
}

void TfrmMain::sePaddingChange()
{
    RunGuarded(this, [this] {
        ui->ebNumber->SetPadding(ui->sePadding->value());
    });
}

void TfrmMain::ebPrefixKeyUp()
{
    RunGuarded(this, [this] {
        UpdateSampleName();
    });
}

void TfrmMain::ebNumberChange()
{
    RunGuarded(this, [this] {
        UpdateSampleName();
    });
}

void TfrmMain::cbRenameClick()
{
    RunGuarded(this, [this] {
        UpdateRenameControls();
    });
}

void TfrmMain::cbResizeClick()
{
    RunGuarded(this, [this] {
        UpdateResizeControls();
    });
}

std::optional<QString> TfrmMain::ChooseFolder()
{
    std::optional<QString> chosen = mChooseFolder(mLastFolder);
    if (chosen)
        mLastFolder = *chosen;
    return chosen;
}

void TfrmMain::ebSrcFolderElipsisClick()
{
    RunGuarded(this, [this] {
        const std::optional<QString> chosen = ChooseFolder();
        if (!chosen)
            return;
        // A folder that cannot be entered stops here: field, log and Start stay as they were.
        mSourceList.ChangeListFolder(*chosen);
        ui->ebSrcFolder->setText(*chosen);
        ui->ebSrcFolder->setCursorPosition(0);
        for (const QString &line : SourceFolderLines(mSourceList))
            AddStatusLine(line);
        UpdateStartButton();
    });
}

void TfrmMain::ebDestFolderElipsisClick()
{
    RunGuarded(this, [this] {
        const std::optional<QString> chosen = ChooseFolder();
        if (!chosen)
            return;
        ui->ebDestFolder->setText(*chosen + QLatin1Char('/'));
        // A long path shows from its start, as it is read.
        ui->ebDestFolder->setCursorPosition(0);
        if (NameSameFolder(ui->ebDestFolder->text(), ui->ebSrcFolder->text()))
            mWarnSameFolder();
        // A run writes all its photos into the folder of Start, the one its check covered.
        if (mRunning)
            AddStatusLine(DestinationFolderLine(*chosen) + QStringLiteral(" (from the next run on)"));
        else
            AddStatusLine(DestinationFolderLine(*chosen));
        UpdateStartButton();
    });
}

void TfrmMain::btnProcessClick()
{
    // A click queued before Start was disabled must not start a run inside the run.
    if (mRunning)
        return;
    RunGuarded(this, [this] {
        // An emptied destination field would put the files at the file system's root.
        if (ui->ebDestFolder->text().isEmpty())
            throw Exception(tr("No destination folder is chosen"));
        ui->btnProcess->setEnabled(false);
        ui->btnStop->setEnabled(true);
        ui->gbResize->setEnabled(false);
        ui->gbRename->setEnabled(false);
        ui->btnPresets->setEnabled(false);
        mRunDestination = ui->ebDestFolder->text();
        mRunning = true;
        // However the run ends, the window returns to idle before any error is shown.
        const auto restore = qScopeGuard([this] {
            mRunning = false;
            ui->btnProcess->setEnabled(true);
            ui->btnStop->setEnabled(false);
            ui->gbRename->setEnabled(true);
            ui->gbResize->setEnabled(true);
            ui->btnPresets->setEnabled(true);
        });
        QCoreApplication::processEvents();
        // Kept for "Last used" and the next start; a folder that cannot keep them does not stop the run.
        try {
            mPresets.SaveLastUsed(Snapshot());
        } catch (const Exception &error) {
            AddStatusLine(QStringLiteral("The settings were not kept as the last used: ") + error.Message());
        }
        mRecorder.Start(Snapshot(), {}, ProgramVersionText());
        // One image per processor at once; each image's settings are read from the controls when it is
        // handed out, and the log and files are those of a one-at-a-time run.
        const TRunSummary summary = RunBatch(*this, *this, std::max(1, QThread::idealThreadCount()));
        mLastReport = mRecorder.Finish(summary.Stopped);
    });
    // The window was asked to close while the run went on; now it may.
    if (mCloseRequested) {
        mCloseRequested = false;
        close();
    }
}

void TfrmMain::btnStopClick()
{
    RunGuarded(this, [this] {
        // The run writes "Aborting..." when it sees the request.
        mStopRequested = true;
    });
}

void TfrmMain::btnOverlayClick()
{
    RunGuarded(this, [this] {
        if (mOverlayDialog == nullptr)
            return;
        mOverlayDialog->show();
        mOverlayDialog->raise();
        mOverlayDialog->activateWindow();
    });
}

void TfrmMain::btnClearClick()
{
    RunGuarded(this, [this] {
        mLog.Clear();
    });
}

void TfrmMain::SpeedButton1Click()
{
    RunGuarded(this, [this] {
        const QString proposal = mReportName.isEmpty() ? QStringLiteral("Quendrix.txt") : mReportName;
        const std::optional<QString> chosen = mChooseReportFile(proposal);
        if (!chosen)
            return;
        // The same rule as a run's reports: never a photo of the listing or an output the settings plan.
        if (const QStringList clashes = PlanRun(Snapshot(), { { QStringLiteral("report"), *chosen } }).OtherClashes;
            !clashes.isEmpty())
            throw Exception(tr("The report was not saved: %1").arg(clashes.join(QLatin1Char('\n'))));
        mReportName = *chosen;
        SaveReportAs(*chosen);
    });
}

void TfrmMain::SaveReportAs(const QString &path) const
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("json") && suffix != QLatin1String("csv")) {
        mLog.SaveStatusReport(path);
        return;
    }
    if (!mLastReport)
        throw Exception(tr("There is no run to report yet: press Start first."));
    if (suffix == QLatin1String("json"))
        mLastReport->SaveJson(path);
    else
        mLastReport->SaveCsv(path);
}

void TfrmMain::ImageReported(int position, const TImageTask &task, const TImageOutcome &outcome)
{
    mRecorder.Add(position, task, outcome);
}

void TfrmMain::btnPlanClick()
{
    RunGuarded(this, [this] {
        TfrmPlan dlg(PlanDryRun(Snapshot()), this);
        dlg.exec();
    });
}

void TfrmMain::btnPreviewClick()
{
    RunGuarded(this, [this] {
        if (mPreview == nullptr)
            mPreview = new TfrmPreview(this);
        mPreview->show();
        mPreview->raise();
        RefreshPreview();
    });
}

void TfrmMain::RefreshPreview()
{
    if (mPreview == nullptr || !mPreview->isVisible())
        return;
    const int position = ui->lbSrc->currentRow();
    const TJob job = Snapshot();
    const QStringList &names = job.SourceNames;
    if (position < 0 || position >= int(names.size())) {
        mPreview->ShowNothing(tr("Select a photo in the source list."));
        return;
    }
    // Everything the pool thread needs is taken here, as values: the settings as they stand now.
    const TImageTask task = PlanImageTask(job, position);
    mPreviewOverlay = job.OverlaySettings;
    std::vector<TImageTask> samples;
    for (const int sample : SamplePositions(int(names.size())))
        samples.push_back(PlanImageTask(job, sample));
    QStringList sources;
    for (const QString &name : names)
        sources << PathInFolder(job.SourceFolder, name);
    mPreview->ShowPreview([task, samples, sources](const TCancelled &cancelled) {
        std::int64_t listedBytes = 0;
        for (const QString &source : sources)
            listedBytes += std::max<qint64>(RegularFileSize(source), 0);
        return MakeOutputPreview(task, samples, listedBytes, int(sources.size()), cancelled);
    });
}

void TfrmMain::btnAboutClick()
{
    RunGuarded(this, [this] {
        TfrmAbout dlg(this);
        dlg.exec();
    });
}

void TfrmMain::Button1Click()
{
    RunGuarded(this, [this] {
        close();
    });
}

TJob TfrmMain::Snapshot() const
{
    // Text typed but not yet committed (the field may still have the focus) counts, clamped.
    ui->seResizePercent->interpretText();
    ui->seQuality->interpretText();
    TOutputNamer namer;
    namer.SetPrefix(ui->ebPrefix->text());
    namer.SetNumber(ui->ebNumber->Value());
    namer.SetPadding(ui->sePadding->value());
    namer.SetSuffix(ui->ebSuffix->text());
    return TJob {
        .SourceFolder = mSourceList.ListFolder(),
        .SourceNames = mSourceList.Names(),
        // The field may change during a run; the run keeps the folder it started with.
        .DestinationFolder = mRunning ? mRunDestination : ui->ebDestFolder->text(),
        .Resize = ui->cbResize->isChecked(),
        .ResizePercent = ui->seResizePercent->value(),
        .ResizeOptions = mResizeOptions,
        .Quality = ui->seQuality->value(),
        .Rename = ui->cbRename->isChecked(),
        .Namer = namer,
        .ShownSample = ui->pnlSample->text(),
        .Overlay = ui->cbOverlay->isChecked(),
        .OverlaySettings = Overlay().CurrentOverlaySettings(),
        .AutoOrient = ui->cbAutoOrient->isChecked(),
        // The combo's items are in the order of the modes.
        .Metadata = TMetadataMode(std::clamp(ui->cbMetadata->currentIndex(), 0, 2)),
    };
}

void TfrmMain::ApplyJob(const TJob &job)
{
    ui->cbResize->setChecked(job.Resize);
    ui->seResizePercent->setValue(job.ResizePercent);
    mResizeOptions = job.ResizeOptions;
    ui->seQuality->setValue(job.Quality);
    ui->cbRename->setChecked(job.Rename);
    ui->ebPrefix->setText(job.Namer.Prefix());
    // The padding first: it formats the number.
    ui->sePadding->setValue(job.Namer.Padding());
    ui->ebNumber->SetValue(job.Namer.Number());
    ui->ebSuffix->setText(job.Namer.Suffix());
    ui->cbOverlay->setChecked(job.Overlay);
    Overlay().SetOverlaySettings(job.OverlaySettings);
    ui->cbAutoOrient->setChecked(job.AutoOrient);
    ui->cbMetadata->setCurrentIndex(int(job.Metadata));
    UpdateResizeControls();
    UpdateRenameControls();
    UpdateSampleName();
    RefreshPreview();
}

void TfrmMain::NumberAdvanced(std::int64_t next)
{
    ui->ebNumber->SetValue(next);
    UpdateSampleName();
}

const TOverlaySettingsProvider &TfrmMain::Overlay() const
{
    if (mOverlaySettings != nullptr)
        return *mOverlaySettings;
    return mDefaultOverlay;
}

TOverlaySettingsHolder &TfrmMain::Overlay()
{
    if (mOverlaySettings != nullptr)
        return *mOverlaySettings;
    return mDefaultOverlay;
}

QMenu *TfrmMain::PresetsMenu()
{
    FillPresetsMenu();
    return mPresetsMenu;
}

void TfrmMain::FillPresetsMenu()
{
    // A name's "&" is shown, not taken as a shortcut's mark.
    const auto shown = [](QString name) {
        return name.replace(QLatin1Char('&'), QLatin1String("&&"));
    };
    mPresetsMenu->clear();
    mPresetsMenu->addAction(tr("Save As..."), this, &TfrmMain::btnPresetsSaveAsClick);
    const QStringList names = mPresets.Names();
    mPresetsMenu->addSeparator();
    for (const QString &name : names) {
        mPresetsMenu->addAction(shown(name), this, [this, name] {
            RunGuarded(this, [this, &name] {
                ApplyJob(mPresets.Load(name, mDefaults));
            });
        });
    }
    QAction *lastUsed = mPresetsMenu->addAction(tr("Last used"), this, [this] {
        RunGuarded(this, [this] {
            if (const std::optional<TJob> job = mPresets.LastUsed(mDefaults))
                ApplyJob(*job);
        });
    });
    lastUsed->setEnabled(mPresets.HasLastUsed());
    mPresetsMenu->addSeparator();
    mPresetsMenu->addAction(tr("Import..."), this, &TfrmMain::btnPresetsImportClick);
    mPresetsMenu->addAction(tr("Export..."), this, &TfrmMain::btnPresetsExportClick);
    QMenu *remove = mPresetsMenu->addMenu(tr("Delete"));
    remove->setEnabled(!names.isEmpty());
    for (const QString &name : names) {
        remove->addAction(shown(name), this, [this, name] {
            RunGuarded(this, [this, &name] {
                if (mConfirm(tr("Delete the preset \"%1\"?").arg(name)))
                    mPresets.Remove(name);
            });
        });
    }
    mPresetsMenu->addSeparator();
    QAction *startWithLastUsed = mPresetsMenu->addAction(tr("Start with the last used settings"));
    startWithLastUsed->setCheckable(true);
    startWithLastUsed->setChecked(mPresets.StartWithLastUsed());
    connect(startWithLastUsed, &QAction::toggled, this, [this](bool on) {
        RunGuarded(this, [this, on] {
            mPresets.SetStartWithLastUsed(on);
        });
    });
    mPresetsMenu->addAction(tr("Reset to defaults"), this, [this] {
        RunGuarded(this, [this] {
            ApplyJob(mDefaults);
        });
    });
}

void TfrmMain::btnPresetsSaveAsClick()
{
    RunGuarded(this, [this] {
        const std::optional<QString> chosen = mChoosePresetName();
        if (!chosen)
            return;
        const QString name = chosen->trimmed();
        (void)mPresets.PathOf(name);
        if (mPresets.Names().contains(name) && !mConfirm(tr("A preset named \"%1\" exists. Replace it?").arg(name)))
            return;
        mPresets.Save(name, Snapshot());
    });
}

void TfrmMain::btnPresetsImportClick()
{
    RunGuarded(this, [this] {
        if (const std::optional<QString> path = mChoosePresetFile(false))
            (void)mPresets.Import(*path, mDefaults);
    });
}

void TfrmMain::btnPresetsExportClick()
{
    RunGuarded(this, [this] {
        const std::optional<QString> path = mChoosePresetFile(true);
        if (!path)
            return;
        // The same rule as a report: never a photo of the listing or an output the settings plan.
        if (const QStringList clashes = PlanRun(Snapshot(), { { QStringLiteral("preset"), *path } }).OtherClashes;
            !clashes.isEmpty())
            throw Exception(tr("The preset was not saved: %1").arg(clashes.join(QLatin1Char('\n'))));
        SavePresetFile(*path, Snapshot());
    });
}

void TfrmMain::ApplyStartSettings()
{
    try {
        if (!mPresets.StartWithLastUsed())
            return;
        if (const std::optional<TJob> job = mPresets.LastUsed(mDefaults))
            ApplyJob(*job);
    } catch (const Exception &error) {
        AddStatusLine(QStringLiteral("The last used settings were not applied: ") + error.Message());
    }
}

std::optional<QString> TfrmMain::DefaultChoosePresetName()
{
    bool ok = false;
    const QString name =
        QInputDialog::getText(this, tr("Save Preset As"), tr("Name of the preset:"), QLineEdit::Normal, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return name;
}

std::optional<QString> TfrmMain::DefaultChoosePresetFile(bool save)
{
    QFileDialog dialog(this, save ? tr("Export Preset") : tr("Import Preset"), QString(), tr("Preset (*.json)"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("json"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

bool TfrmMain::DefaultConfirm(const QString &question)
{
    QMessageBox box(QMessageBox::Question,
        QString::fromLatin1(kAppTitle),
        question,
        QMessageBox::Yes | QMessageBox::No,
        this);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void TfrmMain::AddStatusLine(const QString &line)
{
    mLog.AddStatusLine(line);
}

void TfrmMain::SetProgress(int percent)
{
    ui->ProgressBar->setValue(percent);
}

void TfrmMain::ProcessPendingEvents()
{
    QCoreApplication::processEvents();
}

void TfrmMain::ShowSourceList()
{
    const QIcon fileIcon(QStringLiteral(":/icons/file.xpm"));
    ui->lbSrc->clear();
    for (const QString &name : mSourceList.Names())
        new QListWidgetItem(fileIcon, PrintableName(name), ui->lbSrc);
}

void TfrmMain::ShowLogChange(TStatusLog::TChange change, const QString &line)
{
    if (change == TStatusLog::TChange::Cleared) {
        ui->moStatus->clear();
        return;
    }
    // One block per line; the first line goes into the empty document's only block, so that an empty
    // first line is kept.
    QTextCursor cursor(ui->moStatus->document());
    cursor.movePosition(QTextCursor::End);
    if (mLog.Lines().size() > 1)
        cursor.insertBlock();
    cursor.insertText(line);
    ui->moStatus->moveCursor(QTextCursor::End);
    ui->moStatus->verticalScrollBar()->setValue(ui->moStatus->verticalScrollBar()->maximum());
}

std::optional<QString> TfrmMain::DefaultChooseFolder(const QString &)
{
    // The dialog remembers the last accepted folder itself, whichever button opened it.
    return FolderDialog1.Execute(this);
}

std::optional<QString> TfrmMain::DefaultChooseReportFile(const QString &proposedPath)
{
    // The text report first, as before; the per-photo reports of the last run beside it.
    QFileDialog dialog(this,
        tr("Save Report As..."),
        QString(),
        tr("Text File (*.txt);;Report as JSON (*.json);;Report as CSV (*.csv)"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString &filter) {
        dialog.setDefaultSuffix(filter.section(QLatin1String("(*."), 1).chopped(1));
    });
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.selectFile(proposedPath);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

void TfrmMain::DefaultWarnSameFolder()
{
    QMessageBox box(QMessageBox::Warning,
        tr("Warning"),
        SameFolderWarningLines().join(QLatin1Char('\n')),
        QMessageBox::Ok,
        this);
    box.exec();
}

void TfrmMain::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        RunGuarded(this, [this] {
            UpdateResizeControls();
            UpdateRenameControls();
            // Back from the overlay dialog: a changed text or font changes the output.
            if (ui->cbOverlay->isChecked() && Overlay().CurrentOverlaySettings() != mPreviewOverlay)
                RefreshPreview();
        });
    }
    QMainWindow::changeEvent(event);
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
    // Closing during a run stops it: the image in hand is finished, and the window closes once the run
    // has returned.
    if (mRunning) {
        if (!mCloseRequested) {
            mCloseRequested = true;
            btnStopClick();
        }
        event->ignore();
        return;
    }
    if (mOverlayDialog != nullptr)
        mOverlayDialog->close();
    QMainWindow::closeEvent(event);
}

bool TfrmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyRelease
        && (watched == ui->ebPrefix || watched == ui->ebNumber || watched == ui->ebSuffix))
        ebPrefixKeyUp();
    return QMainWindow::eventFilter(watched, event);
}

} // namespace vellumar
