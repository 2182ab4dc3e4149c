#include "game/play_window.h"

#include "app/window_style.h"

#include <QShowEvent>

TFormPlay* FormPlay = nullptr;

TFormPlay::TFormPlay(QWidget* parent) : QDialog(parent)
{
    Controls.setupUi(this);
    ApplyFormLook(this, Qt::white);
    MakeFixedSingleBorder(this);
    PlaceWindow(this, 192, 107);
}

void TFormPlay::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TFormPlay::FormShow() {}
