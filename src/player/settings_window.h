// TForm2, the database settings and player registration window (modal).
#pragma once

#include "ui_settings_window.h"

#include <QDialog>

class TForm2 : public QDialog {
    Q_OBJECT

public:
    explicit TForm2(QWidget* parent = nullptr);

    Ui::TForm2 Controls;

    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;
};

extern TForm2* Form2;
