// Typing text into a widget as a keyboard would, including characters that have no key of
// their own (Japanese text arrives as key events that carry the text).
#pragma once

#include <QString>

class QWidget;

void TypeText(QWidget* widget, const QString& text);
