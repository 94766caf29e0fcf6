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

/** The reduction's filter and size mode, and the output's colours, opened from the main window's reduce group. */
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
    void SetToSrgb(bool on);
    [[nodiscard]] bool ToSrgb() const;

    void cbSizeModeChange();

private:
    void ConnectHandlers();

    std::unique_ptr<Ui::TfrmOutputOptions> ui;
};

/** The options in a few words, as the main window's tooltip shows them ("Smooth, long edge 1600 px"). */
[[nodiscard]] QString ResizeOptionsText(const TResizeOptions &options);

} // namespace vellumar
