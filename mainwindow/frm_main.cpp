#include "mainwindow/frm_main.h"

#include <algorithm>
#include <limits>

#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTextCursor>
#include <QThread>
#include <QUrl>

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
    mResizeCaption = ui->cbResize->text();
    mOverlayQualityNote = ui->lblOverlayQuality->text();
    // The folder buttons sit inside their fields; the text must not run under them.
    ui->ebSrcFolder->setTextMargins(0, 0, ui->ebSrcFolder->width() - ui->btnSrcFolder->x(), 0);
    ui->ebDestFolder->setTextMargins(0, 0, ui->ebDestFolder->width() - ui->btnDestFolder->x(), 0);
    for (QWidget *field : { static_cast<QWidget *>(ui->ebPrefix),
             static_cast<QWidget *>(ui->ebNumber),
             static_cast<QWidget *>(ui->ebSuffix) })
        field->installEventFilter(this);
    // A folder (or a photo, for its folder) dropped from a file manager is chosen as the button would.
    for (QWidget *target : { ui->lbSrc->viewport(), static_cast<QWidget *>(ui->ebDestFolder) }) {
        target->setAcceptDrops(true);
        target->installEventFilter(this);
    }
    ui->lbSrc->installEventFilter(this);

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
    UpdateResizeControls();

    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    RunGuarded(this, [this] {
        mSourceList.ChangeListFolder(QDir::currentPath());
    });
    FormCreate();
    // The output options' tooltip names them from the start, so that a reset shows as the start does.
    UpdateResizeControls();
    mDefaults = Snapshot();
    // A preset without folders leaves the window's as they are.
    mDefaults.SourceFolder.clear();
    mDefaults.SourceNames.clear();
    mDefaults.DestinationFolder.clear();
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
    connect(ui->cbSubfolders, &QCheckBox::clicked, this, &TfrmMain::cbSubfoldersClick);
    // The preview follows the selected photo and every setting that changes its output.
    connect(ui->lbSrc, &QListWidget::currentRowChanged, this, &TfrmMain::RefreshPreview);
    for (QCheckBox *box : { ui->cbResize, ui->cbRename, ui->cbOverlay, ui->cbAutoOrient })
        connect(box, &QCheckBox::toggled, this, &TfrmMain::RefreshPreview);
    connect(ui->cbOverlay, &QCheckBox::toggled, this, &TfrmMain::UpdateResizeControls);
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
    const bool byPercent = mResizeOptions.Mode == TSizeMode::Percent;
    const bool on = ui->cbResize->isChecked() && byPercent;
    ui->seResizePercent->setEnabled(on);
    ui->RzLabel1->setEnabled(on);
    // A size in pixels is named where the percentage would be, so that the group reads as the run writes.
    ui->seResizePercent->setVisible(byPercent);
    ui->RzLabel1->setVisible(byPercent);
    ui->lblSizeInPixels->setVisible(!byPercent);
    ui->lblSizeInPixels->setText(SizeInPixelsText(mResizeOptions));
    ui->lblSizeInPixels->setEnabled(ui->cbResize->isChecked());
    ui->cbResize->setText(byPercent ? mResizeCaption : ui->cbResize->property("captionInPixels").toString());
    // The overlay is encoded last: its quality, not the field's, is the written file's.
    ui->lblOverlayQuality->setText(mOverlayQualityNote.arg(mOutputOptions.OverlayQuality));
    ui->lblOverlayQuality->setEnabled(ui->cbOverlay->isChecked());
    ui->btnOutputOptions->setToolTip(
        tr("Output options: the filter, the size by percent, long edge or fit (now: %1), the quality "
           "with the overlay, what to do with existing files (now: %2), the colours, the coding, a size "
           "cap, a name template and variants")
            .arg(ResizeOptionsText(mResizeOptions), ExistingName(mOutputOptions.Existing)));
}

void TfrmMain::SetResizeOptions(const TResizeOptions &options)
{
    mResizeOptions = options;
    UpdateResizeControls();
    RefreshPreview();
}

void TfrmMain::SetOverlayQuality(int quality)
{
    mOutputOptions.OverlayQuality = quality;
    UpdateResizeControls();
    RefreshPreview();
}

void TfrmMain::btnOutputOptionsClick()
{
    RunGuarded(this, [this] {
        TfrmOutputOptions dlg(this);
        dlg.SetResizeOptions(mResizeOptions);
        dlg.SetOptions(mOutputOptions);
        if (dlg.exec() == QDialog::Accepted) {
            // Set before the resize options, which refresh the button's tooltip.
            dlg.TakeOptions(mOutputOptions);
            SetResizeOptions(dlg.ResizeOptions());
            UpdateSampleName();
        }
    });
}

void TfrmMain::cbSubfoldersClick()
{
    RunGuarded(this, [this] {
        mSourceList.SetRecursive(ui->cbSubfolders->isChecked());
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
    // A name template names the photos instead; the plan view shows their names.
    ui->pnlSample->setText(mOutputOptions.NameTemplate.isEmpty()
            ? TOutputNamer::SampleName(ui->ebPrefix->text(), ui->ebNumber->text(), ui->ebSuffix->text())
            : mOutputOptions.NameTemplate + QStringLiteral(".jpg"));
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

std::optional<QString> TfrmMain::ChooseFolder(const QString &caption)
{
    mFolderCaption = caption;
    std::optional<QString> chosen = mChooseFolder(mLastFolder);
    if (chosen)
        mLastFolder = *chosen;
    return chosen;
}

void TfrmMain::ebSrcFolderElipsisClick()
{
    RunGuarded(this, [this] {
        if (const std::optional<QString> chosen = ChooseFolder(ui->btnSrcFolder->property("dialogCaption").toString()))
            SourceFolderChosen(*chosen);
    });
}

void TfrmMain::SourceFolderChosen(const QString &folder)
{
    // A folder that cannot be entered stops here: field, log and Start stay as they were. The folder
    // shown already is read again: a choice lists what is there now.
    mSourceList.ChooseListFolder(folder);
    ui->ebSrcFolder->setText(folder);
    ui->ebSrcFolder->setCursorPosition(0);
    for (const QString &line : SourceFolderLines(mSourceList))
        AddStatusLine(line);
    UpdateStartButton();
}

void TfrmMain::RelistSource()
{
    RunGuarded(this, [this] {
        mSourceList.ReadListFiles();
        for (const QString &line : SourceFolderLines(mSourceList))
            AddStatusLine(line);
    });
}

void TfrmMain::ebDestFolderElipsisClick()
{
    RunGuarded(this, [this] {
        if (const std::optional<QString> chosen = ChooseFolder(ui->btnDestFolder->property("dialogCaption").toString()))
            DestinationFolderChosen(*chosen);
    });
}

void TfrmMain::DestinationFolderChosen(const QString &folder)
{
    ui->ebDestFolder->setText(folder + QLatin1Char('/'));
    // A long path shows from its start, as it is read.
    ui->ebDestFolder->setCursorPosition(0);
    if (NameSameFolder(ui->ebDestFolder->text(), ui->ebSrcFolder->text()))
        mWarnSameFolder();
    // A run writes all its photos into the folder of Start, the one its check covered.
    if (mRunning)
        AddStatusLine(DestinationFolderLine(folder) + QStringLiteral(" (from the next run on)"));
    else
        AddStatusLine(DestinationFolderLine(folder));
    UpdateStartButton();
}

namespace
{

// The folder a drop names: the first local item, a folder itself or a file's folder; empty otherwise.
QString DroppedFolder(const QMimeData *data)
{
    if (data == nullptr)
        return {};
    for (const QUrl &url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo item(url.toLocalFile());
        if (item.isDir())
            return QDir::cleanPath(item.absoluteFilePath());
        if (item.exists())
            return QDir::cleanPath(item.absolutePath());
    }
    return {};
}

} // namespace

bool TfrmMain::HandleFolderDrop(QObject *target, QEvent *event)
{
    auto *drop = static_cast<QDropEvent *>(event);
    const QString folder = DroppedFolder(drop->mimeData());
    if (folder.isEmpty())
        return false;
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (event->type() != QEvent::Drop)
        return true;
    const bool source = target == ui->lbSrc->viewport();
    RunGuarded(this, [&] {
        // The folder dialog then opens on it, as after a choice made in it.
        mLastFolder = folder;
        FolderDialog1.SetRemembered(folder);
        if (source)
            SourceFolderChosen(folder);
        else
            DestinationFolderChosen(folder);
    });
    return true;
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
        mRunDestination = ui->ebDestFolder->text();
        // Kept for "Last used" and the next start; a folder that cannot keep them does not stop the run.
        try {
            mPresets.SaveLastUsed(Snapshot());
        } catch (const Exception &error) {
            AddStatusLine(QStringLiteral("The settings were not kept as the last used: ") + error.Message());
        }
        mRecorder.Start(Snapshot(), {}, ProgramVersionText());
        SetRunning(true);
        auto idle = qScopeGuard([this] {
            SetRunning(false);
        });
        // One image per processor at once; each image's settings are read from the controls when it is
        // handed out, and the log and files are those of a one-at-a-time run. The run goes on its own
        // thread: this one only draws, handles input and answers the run.
        const int jobs = std::max(1, QThread::idealThreadCount());
        mRun = std::make_unique<TBackgroundRun>(
            *this,
            *this,
            *this,
            [jobs](TJobSource &job, TRunSink &sink) {
                return RunBatch(job, sink, jobs);
            },
            [this](const TRunSummary &summary, const std::exception_ptr &error) {
                FinishRun(summary, error);
            });
        idle.dismiss();
    });
}

void TfrmMain::SetRunning(bool running)
{
    mRunning = running;
    ui->btnProcess->setEnabled(!running);
    ui->btnStop->setEnabled(running);
    ui->gbResize->setEnabled(!running);
    ui->gbRename->setEnabled(!running);
    ui->btnPresets->setEnabled(!running);
}

void TfrmMain::FinishRun(const TRunSummary &summary, const std::exception_ptr &error)
{
    mRun.reset();
    // The window returns to idle before any error is shown.
    SetRunning(false);
    RunGuarded(this, [&] {
        if (error) {
            try {
                std::rethrow_exception(error);
            } catch (const ERunRefused &refused) {
                // The box goes away; the log keeps why nothing was written.
                for (const QString &line : refused.Message().split(QLatin1Char('\n')))
                    AddStatusLine(line);
                throw;
            }
        }
        mLastReport = mRecorder.Finish(summary.Stopped);
    });
    // The window was asked to close while the run went on; now it may.
    if (mCloseRequested) {
        mCloseRequested = false;
        close();
    }
    emit RunEnded();
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
        // The first report is proposed beside the photos it tells of.
        const QString destination = ui->ebDestFolder->text();
        const QString proposal = !mReportName.isEmpty() ? mReportName
            : destination.isEmpty()                     ? QStringLiteral("Quendrix.txt")
                                                        : PathInFolder(destination, QStringLiteral("Quendrix.txt"));
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
        if (mPreview == nullptr) {
            mPreview = new TfrmPreview(this);
            connect(mPreview, &TfrmPreview::StepRequested, this, [this](int by) {
                const int row = ui->lbSrc->currentRow() + by;
                if (row >= 0 && row < ui->lbSrc->count())
                    ui->lbSrc->setCurrentRow(row);
            });
        }
        mPreview->show();
        mPreview->raise();
        RefreshPreview();
    });
}

void TfrmMain::RefreshPreview()
{
    if (mPreview == nullptr || !mPreview->isVisible())
        return;
    const int row = ui->lbSrc->currentRow();
    const TJob job = Snapshot();
    const QStringList &names = job.SourceNames;
    if (row < 0 || row >= mSourceList.Count()) {
        mPreview->ShowNothing(tr("Select a photo in the source list."));
        return;
    }
    // The run's listing leaves out photos inside the destination folder.
    const int position = int(names.indexOf(mSourceList.Name(row)));
    if (position < 0) {
        mPreview->ShowNothing(tr("This photo is inside the destination folder: a run does not take it."));
        return;
    }
    // Everything the pool threads need is taken here, as values: the settings as they stand now.
    TPreviewRequest request;
    request.Task = PlanImageTask(job, position);
    request.Position = position;
    request.Count = int(names.size());
    mPreviewOverlay = job.OverlaySettings;
    for (const int sample : SamplePositions(int(names.size())))
        request.Samples.push_back(PlanImageTask(job, sample));
    for (const QString &name : names)
        request.Sources << PathInFolder(job.SourceFolder, name);
    mPreview->ShowPreview(std::move(request));
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
    // The field may change during a run; the run keeps the folder it started with.
    const QString destination = mRunning ? mRunDestination : ui->ebDestFolder->text();
    // The settings Output Options holds, and the window's own on top.
    TJob job = mOutputOptions;
    job.SourceFolder = mSourceList.ListFolder();
    job.SourceNames = NamesOutsideDestination(mSourceList.Names(), mSourceList.ListFolder(), destination);
    job.Recursive = mSourceList.Recursive();
    job.DestinationFolder = destination;
    job.Resize = ui->cbResize->isChecked();
    job.ResizePercent = ui->seResizePercent->value();
    job.ResizeOptions = mResizeOptions;
    job.Quality = ui->seQuality->value();
    job.Rename = ui->cbRename->isChecked();
    job.Namer = namer;
    job.ShownSample = ui->pnlSample->text();
    job.Overlay = ui->cbOverlay->isChecked();
    job.OverlaySettings = Overlay().CurrentOverlaySettings();
    job.AutoOrient = ui->cbAutoOrient->isChecked();
    // The combo's items are in the order of the modes.
    job.Metadata = TMetadataMode(std::clamp(ui->cbMetadata->currentIndex(), 0, 2));
    return job;
}

void TfrmMain::ApplyJob(const TJob &job)
{
    // Before the folders: it decides how the source is listed.
    ui->cbSubfolders->setChecked(job.Recursive);
    mSourceList.SetRecursive(job.Recursive);
    // The folders first, as their buttons would choose them: a source that cannot be read stops here.
    if (!job.SourceFolder.isEmpty()) {
        mSourceList.ChangeListFolder(job.SourceFolder);
        ui->ebSrcFolder->setText(job.SourceFolder);
        ui->ebSrcFolder->setCursorPosition(0);
        for (const QString &line : SourceFolderLines(mSourceList))
            AddStatusLine(line);
    }
    if (!job.DestinationFolder.isEmpty()) {
        ui->ebDestFolder->setText(job.DestinationFolder);
        ui->ebDestFolder->setCursorPosition(0);
        AddStatusLine(DestinationFolderLine(QDir::cleanPath(job.DestinationFolder)));
    }
    UpdateStartButton();
    ui->cbResize->setChecked(job.Resize);
    ui->seResizePercent->setValue(job.ResizePercent);
    mResizeOptions = job.ResizeOptions;
    TfrmOutputOptions::CopyOptions(job, mOutputOptions);
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
    QAction *withFolders = mPresetsMenu->addAction(tr("Save with folders"));
    withFolders->setCheckable(true);
    withFolders->setChecked(mSaveWithFolders);
    connect(withFolders, &QAction::toggled, this, [this](bool on) {
        mSaveWithFolders = on;
    });
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
        mPresets.Save(name, PresetSnapshot(), mSaveWithFolders);
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
        SavePresetFile(*path, PresetSnapshot(), mSaveWithFolders);
    });
}

TJob TfrmMain::PresetSnapshot() const
{
    TJob job = Snapshot();
    job.SourceFolder = ui->ebSrcFolder->text();
    job.DestinationFolder = ui->ebDestFolder->text();
    return job;
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
    // The run is on its own thread and this one's event loop runs meanwhile: nothing to pump.
}

void TfrmMain::ShowSourceList()
{
    const QIcon fileIcon(QStringLiteral(":/icons/file.png"));
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
    return FolderDialog1.Execute(this, mFolderCaption);
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
    const bool dropTarget = watched == ui->lbSrc->viewport() || watched == ui->ebDestFolder;
    if (dropTarget
        && (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove || event->type() == QEvent::Drop)
        && HandleFolderDrop(watched, event))
        return true;
    if (watched == ui->lbSrc && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_F5) {
        RelistSource();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace vellumar
