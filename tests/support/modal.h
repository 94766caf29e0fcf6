#pragma once

#include <utility>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

namespace vellumar::test
{

/**
 * Calls action with the next visible modal widget of type W, once the modal loop that shows it runs.
 * Polls with zero-length timers (no sleeps); gives up with a test failure after many empty rounds.
 */
template<class W, class F>
void WhenModal(F action, int roundsLeft = 100000)
{
    QTimer::singleShot(0, qApp, [action = std::move(action), roundsLeft]() mutable {
        auto *widget = qobject_cast<W *>(QApplication::activeModalWidget());
        if (widget != nullptr && widget->isVisible())
            action(widget);
        else if (roundsLeft > 0)
            WhenModal<W>(std::move(action), roundsLeft - 1);
        else
            ADD_FAILURE() << "no modal " << W::staticMetaObject.className() << " appeared";
    });
}

} // namespace vellumar::test
