// A window's controls found by their object names, as the form names them (Button1, Edit3),
// and the checks that tables of such names make.
#pragma once

#include <QVariant>
#include <QWidget>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// The control of that kind and name that belongs to window itself (not to a window it owns).
// A missing one fails the test and ends it.
template <class T>
T* Control(const QWidget* window, const char* name)
{
    for (T* control : window->findChildren<T*>(QString::fromLatin1(name)))
        if (control->window() == window) return control;
    const std::string missing = window->objectName().toStdString() + " has no " + name;
    ADD_FAILURE() << missing;
    throw std::logic_error(missing);
}

// The widget that the Tab key reaches next from widget.
inline QWidget* NextTabStop(QWidget* widget)
{
    QWidget* next = widget->nextInFocusChain();
    while (next != widget && !(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
    return next;
}

// Tab leads through these controls of window in this order.
inline void ExpectTabChain(const QWidget* window, const std::vector<const char*>& names)
{
    for (size_t i = 0; i + 1 < names.size(); ++i)
        EXPECT_EQ(NextTabStop(Control<QWidget>(window, names[i])), Control<QWidget>(window, names[i + 1]))
            << "after " << names[i];
}

// Each named control shows this text (UTF-8): a caption, or what a box holds.
inline void ExpectTexts(const QWidget* window, const std::vector<std::pair<const char*, const char*>>& texts)
{
    for (const auto& [name, text] : texts)
        EXPECT_EQ(Control<QWidget>(window, name)->property("text").toString(), QString::fromUtf8(text)) << name;
}
