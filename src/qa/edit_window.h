// TForm4, the Q&A edit window (modeless): fetches one QUIZQA row by its number into the ten
// boxes and writes the boxes back to the row with the number in Edit1.
#pragma once

#include "qa/qa_values.h"
#include "ui_edit_window.h"

#include <QWidget>

class TForm4 : public QWidget {
    Q_OBJECT

public:
    explicit TForm4(QWidget* parent = nullptr);

    Ui::TForm4 Controls;

    void FormShow();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();

protected:
    void showEvent(QShowEvent* event) override;
    // Enter presses the fetch button in the number box and the save button elsewhere, Esc
    // the close button.
    void keyPressEvent(QKeyEvent* event) override;
};

extern TForm4* Form4;
