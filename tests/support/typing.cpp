#include "support/typing.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

void TypeText(QWidget* widget, const QString& text)
{
    for (qsizetype i = 0; i < text.size();) {
        // A character outside the basic plane is two UTF-16 units and one key press.
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString character = text.mid(i, length);
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, character);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, character);
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
        i += length;
    }
}
