#pragma once

#include <functional>
#include <memory>

#include <QDialog>
#include <QString>

namespace Ui
{
class TfrmAbout;
}

namespace vellumar
{

/** The About box: the logo, the program's version, a link to the project's page and a short notice. */
class TfrmAbout : public QDialog
{
    Q_OBJECT
public:
    /** Yields the version text to show; throws on failure. */
    using TVersionSource = std::function<QString()>;

    /** Reads the version through versionSource (the program's own version block by default). */
    explicit TfrmAbout(QWidget *parent = nullptr, TVersionSource versionSource = {});
    ~TfrmAbout() override;

private:
    void ConnectHandlers();
    void FormCreate();

    std::unique_ptr<Ui::TfrmAbout> ui;
    TVersionSource mVersionSource;
};

} // namespace vellumar
