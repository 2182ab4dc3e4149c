// TForm3, the Q&A entry window (modeless): each press of the register button stores the ten
// boxes as one new QUIZQA row.
#pragma once

#include <QWidget>
#include <memory>

class QuizDatabase;

namespace Ui {
class TForm3;
}

class TForm3 : public QWidget {
    Q_OBJECT

public:
    explicit TForm3(QuizDatabase& db, QWidget* parent = nullptr);
    ~TForm3() override;

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

private:
    std::unique_ptr<Ui::TForm3> Controls;
    QuizDatabase& Db;
};

extern TForm3* Form3;
