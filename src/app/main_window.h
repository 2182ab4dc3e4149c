// TForm1, the main window: the hub that owns the database connection, keeps the settings and
// layout files, and opens every other window.
#pragma once

#include "db/quiz_database.h"

#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>

namespace Ui {
class TForm1;
}

class TForm1 : public QWidget {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    QuizDatabase& Database() { return Db; }

    // The executable whose folder holds games.dat and whose name gives the layout file;
    // the running program's own unless set before the window is first shown.
    void SetExecutablePath(const std::string& path) { ExecutablePath = path; }

    void LoadSettings(const std::string& path);
    void SaveSettings(const std::string& path);
    void LoadLayout(const std::string& path);
    void SaveLayout(const std::string& path);

    void FormShow();
    void FormClose();
    void Button0Click();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void ButtonGClick();

    void setVisible(bool visible) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<Ui::TForm1> Controls;
    QuizDatabase Db;
    // While the program is meant to be connected (there is a data folder, and the settings
    // window is not open) but is not (the connection broke, or the server was down when it
    // started), it connects again every few seconds, so that the next action works again.
    QTimer Reconnect;
    bool KeepConnected = false;
    std::string ExecutablePath;
    std::string SettingsPath;
    std::string LayoutPath;
};

extern TForm1* Form1;
