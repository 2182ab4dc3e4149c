// TForm5, the Q&A list window (modeless, the one resizable window).
#pragma once

#include "ui_list_window.h"

#include <QWidget>

class TForm5 : public QWidget {
    Q_OBJECT

public:
    explicit TForm5(QWidget* parent = nullptr);

    Ui::TForm5 Controls;

    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;
};

extern TForm5* Form5;
