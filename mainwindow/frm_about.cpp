#include "mainwindow/frm_about.h"

#include "ui_frm_about.h"
#include "version/version_info.h"
#include "widgets/run_guarded.h"

// The logo lives in a static library, whose resource initialiser the linker would otherwise drop.
static void InitAboutResources()
{
    Q_INIT_RESOURCE(about);
}

namespace vellumar
{

namespace
{

// The layout's font heights are in pixels, which a .ui file cannot state.
constexpr int kDialogFontPixels = 11;
constexpr int kVersionFontPixels = 13;

void SetPixelSize(QWidget *widget, int pixels)
{
    QFont font = widget->font();
    font.setPixelSize(pixels);
    widget->setFont(font);
}

} // namespace

TfrmAbout::TfrmAbout(QWidget *parent, TVersionSource versionSource)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TfrmAbout>())
    , mVersionSource(versionSource ? std::move(versionSource) : TVersionSource(&ProgramVersionText))
{
    InitAboutResources();
    ui->setupUi(this);
    // The children's fonts name only their style (bold) and take their size from here.
    SetPixelSize(this, kDialogFontPixels);
    SetPixelSize(ui->lblVer, kVersionFontPixels);
    // Aliased lettering keeps the engraved effect crisp: exactly one light pixel beside each dark one.
    QFont versionFont = ui->lblVer->font();
    versionFont.setStyleStrategy(QFont::NoAntialias);
    ui->lblVer->setFont(versionFont);
    ConnectHandlers();
    RunGuarded(parentWidget(), [this] {
        FormCreate();
    });
}

TfrmAbout::~TfrmAbout() = default;

void TfrmAbout::ConnectHandlers()
{
    connect(ui->RzButton1, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmAbout::FormCreate()
{
    ui->lblVer->setText(mVersionSource());
}

} // namespace vellumar
