#include "qa/edit_window.h"

#include "app/window_style.h"

#include <QShowEvent>

TForm4* Form4 = nullptr;

TForm4::TForm4(QWidget* parent) : QWidget(parent)
{
    Controls.setupUi(this);
    setWindowFlag(Qt::Window);
    ApplyFormLook(this, Qt::white);
    MakeFixedSingleBorder(this);
    PlaceWindow(this, 192, 107);
}

void TForm4::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TForm4::FormShow() {}
