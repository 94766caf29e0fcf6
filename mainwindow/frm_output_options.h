#pragma once

#include <memory>

#include <QDialog>

#include "engine/pixel_size.h"

namespace Ui
{
class TfrmOutputOptions;
}

namespace vellumar
{

/** The reduction's filter and size mode and the quality with the overlay, opened from the main window's reduce group.
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
    void SetOverlayQuality(int quality);
    [[nodiscard]] int OverlayQuality() const;

    void cbSizeModeChange();

private:
    void ConnectHandlers();

    std::unique_ptr<Ui::TfrmOutputOptions> ui;
};

/** The options in a few words, as the main window's tooltip shows them ("Smooth, long edge 1600 px"). */
[[nodiscard]] QString ResizeOptionsText(const TResizeOptions &options);

/** The size a reduction in pixels makes, as the reduce group names it ("Long edge: 1600 px"); empty by percent. */
[[nodiscard]] QString SizeInPixelsText(const TResizeOptions &options);

} // namespace vellumar
