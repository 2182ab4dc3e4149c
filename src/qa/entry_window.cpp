#include "qa/entry_window.h"

#include "app/window_style.h"

#include <QShowEvent>

TForm3* Form3 = nullptr;

TForm3::TForm3(QWidget* parent) : QWidget(parent)
{
    Controls.setupUi(this);
    setWindowFlag(Qt::Window);
    ApplyFormLook(this, Qt::white);
    MakeFixedSingleBorder(this);
    PlaceWindow(this, 192, 107);
}

void TForm3::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TForm3::FormShow() {}
