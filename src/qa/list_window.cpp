#include "qa/list_window.h"

#include "app/window_style.h"

#include <QColor>
#include <QShowEvent>

TForm5* Form5 = nullptr;

TForm5::TForm5(QWidget* parent) : QWidget(parent)
{
    Controls.setupUi(this);
    setWindowFlag(Qt::Window);
    ApplyFormLook(this, QColor(0xA6, 0xCA, 0xF0));
    PlaceWindow(this, 192, 107);
}

void TForm5::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TForm5::FormShow() {}
