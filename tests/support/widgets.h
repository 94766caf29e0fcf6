#pragma once

#include <QWidget>

#include <gtest/gtest.h>

namespace vellumar::test
{

/** The child widget of window named name; a test failure when there is none. */
template<class T = QWidget>
T *Child(const QWidget &window, const char *name)
{
    T *child = window.findChild<T *>(QLatin1String(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

} // namespace vellumar::test
