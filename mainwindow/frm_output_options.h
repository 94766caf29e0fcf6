#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QDialog>

#include "engine/job.h"
#include "engine/output_variant.h"
#include "engine/pixel_size.h"
#include "imaging/jpeg_bridge.h"

namespace Ui
{
class TfrmOutputOptions;
}

namespace vellumar
{

/** The outputs' settings beside the reduction's size: coding, size cap, name template, variants. */
struct TWebOutputOptions {
    TJpegCoding Coding = TJpegCoding::Baseline;
    /** 0: no cap. */
    std::int64_t MaxBytes = 0;
    int MinQuality = 40;
    QString NameTemplate;
    bool OverlayTokens = false;
    std::vector<TOutputVariant> Variants;
};

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
    void SetExisting(TExisting existing);
    [[nodiscard]] TExisting Existing() const;
    void SetWebOptions(const TWebOutputOptions &options);
    /** The settings as the fields stand; the variants' lines that cannot be read are left out. */
    [[nodiscard]] TWebOutputOptions WebOptions() const;
    void SetToSrgb(bool on);
    [[nodiscard]] bool ToSrgb() const;
    void SetOverlayQuality(int quality);
    [[nodiscard]] int OverlayQuality() const;

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
