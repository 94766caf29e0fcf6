#pragma once

#include <exception>
#include <utility>

#include <QString>

class QWidget;

namespace vellumar
{

/** The error box's text: the message, with "." appended when its last character sorts after ".". */
[[nodiscard]] QString ErrorBoxText(const QString &message);

/** The application's error box: a critical message box captioned with the program's title, OK only. */
void ShowErrorBox(QWidget *parent, const QString &message);

/**
 * Runs a handler's body and shows an escaping std::exception in the error box; the program goes on.
 * Qt's event dispatch does not let exceptions pass through it, so every handler runs through this.
 */
template<class F>
void RunGuarded(QWidget *parent, F &&body)
{
    try {
        std::forward<F>(body)();
    } catch (const std::exception &error) {
        ShowErrorBox(parent, QString::fromUtf8(error.what()));
    }
}

} // namespace vellumar
