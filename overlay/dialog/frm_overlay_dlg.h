#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include <QDialog>
#include <QPointer>
#include <QRgb>

#include "overlay/overlay_settings.h"

class QCheckBox;
class QComboBox;

namespace Ui
{
class TfrmOverlayDlg;
}

namespace vellumar
{

class TPictureView;
class TPreviewLabel;

/**
 * "Text Overlay": the user composes the overlay here, with a live preview over a sample picture. Its
 * controls are the only store of the overlay settings. Modeless; made once at start-up, hidden, and
 * only hidden again by "OK" or the close box.
 */
class TfrmOverlayDlg : public QDialog, public TOverlaySettingsHolder
{
    Q_OBJECT
public:
    explicit TfrmOverlayDlg(QWidget *parent = nullptr);
    ~TfrmOverlayDlg() override;

    [[nodiscard]] TOverlaySettings CurrentOverlaySettings() const override;
    /** Sets the controls to settings, the inverse of CurrentOverlaySettings. */
    void SetOverlaySettings(const TOverlaySettings &settings) override;

    /** The main window's "Add Text Overlay" box, which "OK" ticks once the text was changed. */
    void SetOverlaySwitch(QCheckBox *overlaySwitch);

    /** The preview's points for a size class: its percent of the preview label's smaller side. */
    [[nodiscard]] int PreviewFontSize(int index) const;

    /** The colour of the selected colour entry; the default colour with none selected. */
    [[nodiscard]] TColor SelectedColor() const;

    /** Loads path into the sample view; errors pass on, and the previous picture then stays. */
    void LoadSamplePicture(const QString &path);

    /** Asks for a sample picture's path; empty when the user cancels. A file dialog unless replaced. */
    std::function<QString()> FileChooser;
    /** Asks for a colour, starting at initial; nullopt when the user cancels. A colour dialog unless replaced. */
    std::function<std::optional<TColor>(TColor initial)> ColorChooser;

    /** The colour list's default colour, carried by its first entry, "Default". */
    static constexpr TColor kDefaultColor = clSilver;
    /** "Custom" is the colour list's last entry. */
    static constexpr int kCustomColorIndex = int(kOverlayColors.size()) - 1;

protected:
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ConnectHandlers();

    void FormCreate();
    void cbFontNameChange();
    void cbFontSizeChange();
    void cbFontColorChange();
    void moTextChange();
    void cbBoldClick();
    void cbItalicClick();
    void cbTxtPosChange();
    void btnTestClick();
    void btnCloseClick();

    void FillFontList();
    void FillColorList();
    /** Selects the first entry of that colour; without one, "Custom" takes it. */
    void SelectColor(TColor color);
    void SetCustomColor(TColor color);
    /** An entry taken from the colour list, by the drop-down or by a key in the closed list. */
    void cbFontColorActivated(int index);
    /** "Custom" chosen from the list: the colour chooser decides its colour. */
    void ChooseCustomColor(int index);
    /** Typed text selects the entry it names (without regard to case), or none. */
    void MatchTypedText(QComboBox *box);
    void SetPreviewStyle(TFontStyles style, bool on);
    /** The text box's text, lines separated by CR LF. */
    [[nodiscard]] QString MemoText() const;

    [[nodiscard]] QString ChooseFileWithDialog();
    [[nodiscard]] std::optional<TColor> ChooseColorWithDialog(TColor initial);

    std::unique_ptr<Ui::TfrmOverlayDlg> ui;
    QPointer<QCheckBox> mOverlaySwitch;
    /** The colour chooser's custom colours, kept while the program runs. */
    std::array<QRgb, 16> mCustomColors {};
    bool mMatchingTypedText = false;
    /** The colour list's drop-down is open, or has just closed with its choice still to come. */
    bool mColorDropDownOpen = false;
    /** The size box's text from the layout, shown while no size is selected. */
    QString mNoSizeText;
};

} // namespace vellumar
