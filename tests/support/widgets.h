#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
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

/** Selects the entry of a list by its text, as the user would from the drop-down. */
inline void Choose(QComboBox &box, const QString &text)
{
    const int index = box.findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    box.setCurrentIndex(index);
    emit box.activated(index);
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

} // namespace vellumar::test
