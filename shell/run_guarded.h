#pragma once

#include <exception>
#include <utility>

#include <QString>

class QWidget;

namespace vellumar
{

/** The error box's text: the message, with a "." added when its last character sorts after ".". */
[[nodiscard]] QString ErrorBoxText(const std::exception &error);

/** Shows error in a modal error box captioned with the application title. */
void ShowErrorBox(QWidget *parent, const std::exception &error);

/** Runs action; an error escaping it is shown in the error box, and the program goes on. */
template<typename F>
void RunGuarded(QWidget *parent, F &&action)
{
    try {
        std::forward<F>(action)();
    } catch (const std::exception &error) {
        ShowErrorBox(parent, error);
    }
}

} // namespace vellumar
