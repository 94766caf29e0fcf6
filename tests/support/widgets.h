#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QStringList>
#include <QTest>
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

/** What a control shows as its caption: a label's text, a button's text or a group's title. */
inline QString Caption(const QWidget &control)
{
    if (const auto *label = qobject_cast<const QLabel *>(&control))
        return label->text();
    if (const auto *button = qobject_cast<const QAbstractButton *>(&control))
        return button->text();
    if (const auto *group = qobject_cast<const QGroupBox *>(&control))
        return group->title();
    return {};
}

/** The entries of a list box, in order. */
inline QStringList Items(const QComboBox &box)
{
    QStringList items;
    for (int i = 0; i < box.count(); ++i)
        items.append(box.itemText(i));
    return items;
}

/** Selects the entry of a list by its text from the drop-down: opened, walked to, then key (Enter). */
inline void Choose(QComboBox &box, const QString &text, Qt::Key key = Qt::Key_Return)
{
    const int index = box.findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    box.showPopup();
    box.view()->setCurrentIndex(box.model()->index(index, 0));
    QTest::keyClick(box.view(), key);
    ASSERT_FALSE(box.view()->isVisible());
}

/**
 * The order in which Tab visits the named controls of window, from first round the focus chain once. An
 * editable box's text field stands for its box.
 */
inline QStringList TabOrder(const QWidget &window, const char *first)
{
    QStringList order;
    QWidget *start = Child(window, first);
    QWidget *widget = start;
    do {
        QWidget *stop = qobject_cast<QComboBox *>(widget->parentWidget()) ? widget->parentWidget() : widget;
        if ((widget->focusPolicy() & Qt::TabFocus) != 0 && !stop->objectName().isEmpty()
            && !order.contains(stop->objectName()))
            order.append(stop->objectName());
        widget = widget->nextInFocusChain();
    } while (widget != start && widget != nullptr);
    return order;
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
