// TForm3, the Q&A entry window (modeless).
#pragma once

#include "ui_entry_window.h"

#include <QWidget>

class TForm3 : public QWidget {
    Q_OBJECT

public:
    explicit TForm3(QWidget* parent = nullptr);

    Ui::TForm3 Controls;

    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;
};

extern TForm3* Form3;
