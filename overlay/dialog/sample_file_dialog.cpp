#include "overlay/dialog/sample_file_dialog.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>

namespace vellumar
{

namespace
{

constexpr int kPreviewSide = 200;
// A header claiming more than this is not decoded for a preview.
constexpr qint64 kPreviewPixelLimit = qint64(1) << 28;

} // namespace

TSampleFileDialog::TSampleFileDialog(QWidget *owner)
    : QFileDialog(owner,
        tr("Select Sample Image"),
        QString(),
        tr("JPEG or Bitmap (*.jpg *.jpeg *.bmp);;"
           "JPEG Image File (*.jpg *.jpeg);;"
           "Bitmaps (*.bmp)"))
{
    // The pane needs the dialog's own widgets, not the platform's.
    setOption(QFileDialog::DontUseNativeDialog);
    setFileMode(QFileDialog::ExistingFile);
    mPreview = new QLabel(this);
    mPreview->setObjectName(QStringLiteral("lblPreview"));
    mPreview->setAccessibleName(tr("Picture preview"));
    mPreview->setFixedSize(kPreviewSide, kPreviewSide);
    mPreview->setAlignment(Qt::AlignCenter);
    mPreview->setFrameShape(QFrame::StyledPanel);
    if (auto *grid = qobject_cast<QGridLayout *>(layout()))
        grid->addWidget(mPreview, 1, grid->columnCount(), grid->rowCount() - 1, 1);
    connect(this, &QFileDialog::currentChanged, this, &TSampleFileDialog::ShowPreview);
}

void TSampleFileDialog::ShowPreview(const QString &path)
{
    mPreview->clear();
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return;
    // Decoded straight at the pane's size (a JPEG at a reduced DCT scale), so a large photo shows at once.
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > kPreviewPixelLimit) {
        mPreview->setText(tr("No preview"));
        return;
    }
    reader.setScaledSize(size.scaled(kPreviewSide, kPreviewSide, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    const QImage picture = reader.read();
    if (picture.isNull())
        mPreview->setText(tr("No preview"));
    else
        mPreview->setPixmap(QPixmap::fromImage(picture));
}

} // namespace vellumar
