// TFormPlay, the play window (modal).
#pragma once

#include "ui_play_window.h"

#include <QDialog>

class TFormPlay : public QDialog {
    Q_OBJECT

public:
    explicit TFormPlay(QWidget* parent = nullptr);

    Ui::TFormPlay Controls;

    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;
};

extern TFormPlay* FormPlay;
