#pragma once

#include <QMainWindow>

namespace vellumar {

/** The main window; until its controls arrive, a plain window with the program's caption. */
class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget *parent = nullptr);
};

} // namespace vellumar
