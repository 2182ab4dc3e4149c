#include "player/settings_window.h"

#include "app/window_style.h"

#include <QShowEvent>

TForm2* Form2 = nullptr;

TForm2::TForm2(QWidget* parent) : QDialog(parent)
{
    Controls.setupUi(this);
    ApplyFormLook(this, Qt::white);
    MakeFixedSingleBorder(this);
    PlaceWindow(this, 192, 107);
}

void TForm2::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TForm2::FormShow() {}
