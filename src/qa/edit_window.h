// TForm4, the Q&A edit window (modeless): fetches one QUIZQA row by its number into the ten
// boxes and writes the boxes back to the row with the number in Edit1.
#pragma once

#include <QWidget>
#include <memory>

class QuizDatabase;

namespace Ui {
class TForm4;
}

class TForm4 : public QWidget {
    Q_OBJECT

public:
    explicit TForm4(QuizDatabase& db, QWidget* parent = nullptr);
    ~TForm4() override;

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

private:
    std::unique_ptr<Ui::TForm4> Controls;
    QuizDatabase& Db;
};

extern TForm4* Form4;
