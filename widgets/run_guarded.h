#pragma once

#include <exception>
#include <utility>

#include <QString>

#include "imaging/native_name.h"

class QWidget;

namespace vellumar
{

/**
 * The error box's text: message with "." appended when it is not empty and its last character comes
 * after "." in character order ("x.", "wow!" and "(see above)" stay, "done" and "why?" get the period).
 */
[[nodiscard]] QString ErrorBoxText(const QString &message);

/**
 * Shows message in the application's error box: a modal critical box captioned with the application
 * title, a single OK button. Any mouse grab is released first.
 */
void ShowErrorBox(QWidget *parent, const QString &message);

/**
 * Runs body and shows any std::exception it throws in the error box, then returns normally. Qt does not
 * let exceptions travel through its signal and event dispatch, so every handler bound to a control runs
 * its body through this.
 */
template<class F>
void RunGuarded(QWidget *parent, F &&body)
{
    try {
        std::forward<F>(body)();
    } catch (const std::exception &error) {
        ShowErrorBox(parent, PathFromNative(error.what()));
    }
}

} // namespace vellumar
