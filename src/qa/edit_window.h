// TForm4, the Q&A edit window (modeless): fetches one QUIZQA row by its number into the ten
// boxes and writes the boxes back to the row with the number in Edit1.
#pragma once

#include "db/quiz_database.h"

#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

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
    enum class Save { Update, Insert, Nothing };

    // Row number (decimal) as "SELECT *" gives it, all empty when there is none; nothing when
    // it could not be read.
    std::optional<TextList> ReadRow(const std::string& number);
    // How the boxes are written to row number: updated, unless it is the row fetched and
    // another program changed or deleted it since; then the user is told what changed and
    // asked, and a deleted row is registered anew (an update would find nothing to change).
    Save HowToSave(const std::string& number);

    std::unique_ptr<Ui::TForm4> Controls;
    QuizDatabase& Db;
    // The row as the last fetch found it, while the boxes show it.
    std::optional<TextList> Fetched;
};

extern TForm4* Form4;
