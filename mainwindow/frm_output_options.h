#pragma once

#include <memory>

#include <QDialog>

#include "engine/job.h"
#include "engine/pixel_size.h"

namespace Ui
{
class TfrmOutputOptions;
}

namespace vellumar
{

/**
 * The reduction's filter and size mode, the quality with the overlay, what to do with existing outputs, the
 * output's colours, and the web outputs, opened from the main window's reduce group.
 */
class TfrmOutputOptions : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmOutputOptions(QWidget *parent = nullptr);
    ~TfrmOutputOptions() override;
    TfrmOutputOptions(const TfrmOutputOptions &) = delete;
    TfrmOutputOptions &operator=(const TfrmOutputOptions &) = delete;

    void SetResizeOptions(const TResizeOptions &options);
    [[nodiscard]] TResizeOptions ResizeOptions() const;
    /** Shows the settings of job that this dialog holds (CopyOptions names them). */
    void SetOptions(const TJob &job);
    /** Writes the settings as the fields stand into job; the variants' lines that cannot be read are left out. */
    void TakeOptions(TJob &job) const;
    /** Copies the settings this dialog holds, beside the reduction's, from one job to another. */
    static void CopyOptions(const TJob &from, TJob &to);

    void cbSizeModeChange();
    void ebNameTemplateChange();
    void btnOkClick();

private:
    void ConnectHandlers();

    std::unique_ptr<Ui::TfrmOutputOptions> ui;
};

/** The options in a few words, as the main window's tooltip shows them ("Smooth, long edge 1600 px"). */
[[nodiscard]] QString ResizeOptionsText(const TResizeOptions &options);

/** The size a reduction in pixels makes, as the reduce group names it ("Long edge: 1600 px"); empty by percent. */
[[nodiscard]] QString SizeInPixelsText(const TResizeOptions &options);

} // namespace vellumar
