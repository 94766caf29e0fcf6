#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QStringList>
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

/** The names of the labels and check boxes of window whose caption is wider than their room. */
inline QStringList ClippedCaptions(const QWidget &window)
{
    QStringList clipped;
    for (const QLabel *label : window.findChildren<QLabel *>()) {
        const int room = label->contentsRect().width() - 2 * label->margin();
        if (!label->wordWrap() && label->fontMetrics().size(0, label->text()).width() > room)
            clipped << label->objectName();
    }
    for (const QCheckBox *box : window.findChildren<QCheckBox *>())
        if (box->sizeHint().width() > box->width())
            clipped << box->objectName();
    return clipped;
}

} // namespace vellumar::test
