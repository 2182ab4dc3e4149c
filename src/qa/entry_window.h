// TForm3, the Q&A entry window (modeless): each press of the register button stores the ten
// boxes as one new QUIZQA row.
#pragma once

#include "qa/qa_values.h"
#include "ui_entry_window.h"

#include <QWidget>

class TForm3 : public QWidget {
    Q_OBJECT

public:
    explicit TForm3(QWidget* parent = nullptr);

    Ui::TForm3 Controls;

    void FormShow();
    void Edit1DblClick();
    void Button1Click();
    void Button2Click();
    void Button3Click();

protected:
    void showEvent(QShowEvent* event) override;
    // Enter presses the register button, Esc the close button.
    void keyPressEvent(QKeyEvent* event) override;
    // Catches the double-click on Edit1.
    bool eventFilter(QObject* watched, QEvent* event) override;
};

extern TForm3* Form3;
