#pragma once

#include <QFileDialog>

class QLabel;

namespace vellumar
{

/**
 * The "Select Sample Image" dialog: the file dialog for JPEG and bitmap files with a picture preview pane
 * beside the list, which shows the highlighted picture reduced to fit (upright, as the camera meant it).
 */
class TSampleFileDialog : public QFileDialog
{
    Q_OBJECT

public:
    explicit TSampleFileDialog(QWidget *owner = nullptr);

    /** The preview pane: the picture, or a word why there is none. */
    [[nodiscard]] QLabel *PreviewPane() const { return mPreview; }

private:
    void ShowPreview(const QString &path);

    QLabel *mPreview = nullptr;
};

} // namespace vellumar
