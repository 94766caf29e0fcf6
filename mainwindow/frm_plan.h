#pragma once

#include <memory>

#include <QDialog>

#include "engine/dry_run.h"

namespace Ui
{
class TfrmPlan;
}

namespace vellumar
{

/** "Plan...": what Start would do with the current settings, photo by photo, before anything is written. */
class TfrmPlan : public QDialog
{
    Q_OBJECT
public:
    TfrmPlan(const TDryRun &plan, QWidget *parent = nullptr);
    ~TfrmPlan() override;

private:
    void ConnectHandlers();
    void FormCreate(const TDryRun &plan);

    std::unique_ptr<Ui::TfrmPlan> ui;
};

} // namespace vellumar
