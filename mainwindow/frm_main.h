#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QMainWindow>

#include "engine/background_run.h"
#include "engine/batch_run.h"
#include "engine/preset.h"
#include "engine/run_report.h"
#include "engine/source_list.h"
#include "engine/status_log.h"
#include "mainwindow/folder_dialog.h"
#include "mainwindow/frm_output_options.h"
#include "overlay/overlay_settings.h"

class QCheckBox;
class QDialog;
class QMenu;

namespace Ui
{
class TfrmMain;
}

namespace vellumar
{

class TfrmPreview;

/**
 * The main window: the two folders with the source list, the options of a run, Start and Stop, the
 * progress bar, the status log and Close. It is the job source and the sink of the runs it starts:
 * every option is read from its control when an image needs it. A run goes on its own thread
 * (TBackgroundRun), which asks and tells the window on the window's thread.
 */
class TfrmMain : public QMainWindow, public TJobSource, public TRunSink
{
    Q_OBJECT

public:
    /** Runs a folder-browse dialog opened at lastFolder; nullopt when cancelled. */
    using TFolderChooser = std::function<std::optional<QString>(const QString &lastFolder)>;
    /** Runs the report's save dialog proposing proposedPath; nullopt when cancelled. */
    using TReportFileChooser = std::function<std::optional<QString>(const QString &proposedPath)>;
    /** Tells that the destination is the source folder; returns once the user has read it. */
    using TSameFolderWarning = std::function<void()>;
    /** Asks the name to save a preset under; nullopt when cancelled. */
    using TPresetNameChooser = std::function<std::optional<QString>()>;
    /** Asks for a preset file to import (save false) or to export to (save true); nullopt when cancelled. */
    using TPresetFileChooser = std::function<std::optional<QString>(bool save)>;
    /** Asks a yes-or-no question (replace, delete); true for yes. */
    using TConfirmation = std::function<bool(const QString &question)>;

    explicit TfrmMain(QWidget *parent = nullptr);
    ~TfrmMain() override;
    TfrmMain(const TfrmMain &) = delete;
    TfrmMain &operator=(const TfrmMain &) = delete;

    /**
     * The overlay dialog shown by "Text Overlay..." and the settings a run draws with. Neither is owned:
     * both must live while the window handles events; the destructor does not touch them. Without them a
     * run uses the default overlay.
     */
    void SetOverlayDialog(QDialog *dialog, TOverlaySettingsHolder *settings);
    /** The overlay switch, for the overlay dialog to tick. */
    [[nodiscard]] QCheckBox *OverlaySwitch() const;

    // Where the window asks the user; tests supply answers without modal dialogs.
    void SetFolderChooser(TFolderChooser chooser) { mChooseFolder = std::move(chooser); }
    /** The folder-browse dialog that the folder buttons open unless a chooser is set. */
    [[nodiscard]] TFolderDialog &FolderDialog() { return FolderDialog1; }
    void SetReportFileChooser(TReportFileChooser chooser) { mChooseReportFile = std::move(chooser); }
    void SetSameFolderWarning(TSameFolderWarning warning) { mWarnSameFolder = std::move(warning); }
    void SetPresetNameChooser(TPresetNameChooser chooser) { mChoosePresetName = std::move(chooser); }
    void SetPresetFileChooser(TPresetFileChooser chooser) { mChoosePresetFile = std::move(chooser); }
    void SetConfirmation(TConfirmation confirm) { mConfirm = std::move(confirm); }

    /** Where the presets and the last used settings are kept: the user's config folder unless set. */
    void SetPresetFolder(const TPresetFolder &folder) { mPresets = folder; }
    /** The "Presets" button's menu, made afresh at each showing (and by this call). */
    [[nodiscard]] QMenu *PresetsMenu();
    /**
     * Applies the last used settings when the user chose to start with them; called once the overlay
     * dialog is set. A preset that cannot be read is told in the status log, and the defaults stay.
     */
    void ApplyStartSettings();
    /**
     * Sets every setting's control to job's settings, and the folders to job's when it names them (a
     * preset saved with its folders); the listing is read afresh from the folder.
     */
    void ApplyJob(const TJob &job);

    [[nodiscard]] const TStatusLog &StatusLog() const { return mLog; }
    /** A run is in progress: from Start until its end has been shown (RunEnded). */
    [[nodiscard]] bool Running() const { return mRunning; }

    // The handlers bound to the controls; each runs its body through RunGuarded.
    void FormCreate();
    void UpdateResizeControls();
    void UpdateRenameControls();
    void UpdateStartButton();
    void UpdateSampleName();
    void sePaddingChange();
    void ebPrefixKeyUp();
    void ebNumberChange();
    void cbRenameClick();
    void cbResizeClick();
    void ebSrcFolderElipsisClick();
    void ebDestFolderElipsisClick();
    void btnProcessClick();
    void btnStopClick();
    void btnOverlayClick();
    void btnClearClick();
    void SpeedButton1Click();
    void btnAboutClick();
    void Button1Click();
    void btnPlanClick();
    void btnPreviewClick();
    void btnOutputOptionsClick();
    void cbSubfoldersClick();
    void btnPresetsSaveAsClick();
    void btnPresetsImportClick();
    void btnPresetsExportClick();

    /** The output options as the dialog left them; the tests set them without the modal dialog. */
    void SetResizeOptions(const TResizeOptions &options);
    void SetOverlayQuality(int quality);

    // TJobSource: the controls' values at the moment of the call; the number field follows the run.
    [[nodiscard]] TJob Snapshot() const override;
    void NumberAdvanced(std::int64_t next) override;

    // TRunSink: the status log, the progress bar and the Stop button's flag. The run goes on its own thread
    // (TBackgroundRun), which calls these on the window's thread.
    void AddStatusLine(const QString &line) override;
    void SetProgress(int percent) override;
    void ProcessPendingEvents() override;
    [[nodiscard]] bool StopRequested() const override { return mStopRequested; }
    void ClearStopRequest() override { mStopRequested = false; }
    void ImageReported(int position, const TImageTask &task, const TImageOutcome &outcome) override;

    /** The output preview, once "Preview..." has made it; null before. */
    [[nodiscard]] TfrmPreview *Preview() const { return mPreview; }

signals:
    /** A run has ended and the window is idle again (its error, if any, was shown). */
    void RunEnded();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The overlay dialog's settings, or the defaults before it exists.
    [[nodiscard]] const TOverlaySettingsProvider &Overlay() const;
    [[nodiscard]] TOverlaySettingsHolder &Overlay();
    void FillPresetsMenu();
    // The settings to save as a preset, with the folders as their fields show them.
    [[nodiscard]] TJob PresetSnapshot() const;
    [[nodiscard]] std::optional<QString> DefaultChoosePresetName();
    [[nodiscard]] std::optional<QString> DefaultChoosePresetFile(bool save);
    [[nodiscard]] bool DefaultConfirm(const QString &question);
    void ConnectHandlers();
    void ShowSourceList();
    void RefreshPreview();
    void SaveReportAs(const QString &path) const;
    // What an accepted folder choice does, whether from the folder button or a drop.
    void SourceFolderChosen(const QString &folder);
    void DestinationFolderChosen(const QString &folder);
    void RelistSource();
    [[nodiscard]] bool HandleFolderDrop(QObject *target, QEvent *event);
    void ShowLogChange(TStatusLog::TChange change, const QString &line);
    void SetRunning(bool running);
    void FinishRun(const TRunSummary &summary, const std::exception_ptr &error);
    [[nodiscard]] std::optional<QString> ChooseFolder(const QString &caption);
    [[nodiscard]] std::optional<QString> DefaultChooseFolder(const QString &lastFolder);
    [[nodiscard]] std::optional<QString> DefaultChooseReportFile(const QString &proposedPath);
    void DefaultWarnSameFolder();

    std::unique_ptr<Ui::TfrmMain> ui;
    TStatusLog mLog;
    TSourceList mSourceList;
    TDefaultOverlaySettingsProvider mDefaultOverlay;
    QDialog *mOverlayDialog = nullptr;
    TOverlaySettingsHolder *mOverlaySettings = nullptr;
    // One folder-browse dialog serves both folder buttons.
    TFolderDialog FolderDialog1;
    TFolderChooser mChooseFolder;
    TReportFileChooser mChooseReportFile;
    TSameFolderWarning mWarnSameFolder;
    TPresetNameChooser mChoosePresetName;
    TPresetFileChooser mChoosePresetFile;
    TConfirmation mConfirm;
    TPresetFolder mPresets;
    // The settings as the layout and the overlay's defaults make them: what "Reset to defaults" restores.
    TJob mDefaults;
    // "Save with folders": Save As and Export keep the two folders in the preset too.
    bool mSaveWithFolders = false;
    QMenu *mPresetsMenu = nullptr; // owned by the window as its child
    QString mLastFolder;
    // The caption of the folder dialog being opened.
    QString mFolderCaption;
    QString mReportName;
    TResizeOptions mResizeOptions;
    /** The settings Output Options holds beside the reduction's (TfrmOutputOptions::CopyOptions names them). */
    TJob mOutputOptions;
    // The reduce group's captions from the layout; the code fills in the numbers.
    QString mResizeCaption;
    QString mOverlayQualityNote;
    bool mStopRequested = false;
    bool mRunning = false;
    // The destination field as it was at Start: the folder the run checked and writes into.
    QString mRunDestination;
    bool mCloseRequested = false;
    // The last run's per-photo records, for "Save report as JSON/CSV".
    TReportRecorder mRecorder;
    std::optional<TRunReport> mLastReport;
    TfrmPreview *mPreview = nullptr; // owned by the window as its child
    TOverlaySettings mPreviewOverlay;
    // The run in progress; last, so that a window destroyed during a run stops it before anything else goes.
    std::unique_ptr<TBackgroundRun> mRun;
};

} // namespace vellumar
