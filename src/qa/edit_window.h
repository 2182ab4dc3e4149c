// TForm4, the Q&A edit window (modeless).
#pragma once

#include "ui_edit_window.h"

#include <QWidget>

class TForm4 : public QWidget {
    Q_OBJECT

public:
    explicit TForm4(QWidget* parent = nullptr);

    Ui::TForm4 Controls;

    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;
};

extern TForm4* Form4;
