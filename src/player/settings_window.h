// TForm2, the database settings and player registration window (modal). It stores where the
// database lives and registers the player, or signs in one registered already, working on a
// connection of its own that it opens and closes again.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

class QLineEdit;
class QuizDatabase;

namespace Ui {
class TForm2;
}

class TForm2 : public QDialog {
    Q_OBJECT

public:
    explicit TForm2(QuizDatabase& db, QWidget* parent = nullptr);
    ~TForm2() override;

    // Fills the boxes from AppSettings.
    void FormShow();
    // OK: checks the boxes, stores the server and folder, then signs in or registers the player.
    // The window closes accepted only when a player was signed in or registered.
    void Button1Click();
    // Cancel: closes; what an earlier OK stored stays.
    void Button2Click();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Shows the message and puts the focus on the box the user has to correct.
    void Refuse(QLineEdit* box, const std::string& message);

    std::unique_ptr<Ui::TForm2> Controls;
    QuizDatabase& Db;
};

extern TForm2* Form2;
