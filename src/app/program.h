// Program start: the application object, its top-level error handler and the six windows.
#pragma once

#include <QApplication>
#include <array>

class QuizApplication : public QApplication {
public:
    QuizApplication(int& argc, char** argv);
    // Any error that escapes an event handler is shown in a plain message box; the program
    // goes on with the next event.
    bool notify(QObject* receiver, QEvent* event) override;
};

// Creates the six windows in their fixed order: TForm1, TForm4, TForm2, TForm3, TForm5, TFormPlay.
void CreateWindows();
// The windows in the order they were created.
std::array<QWidget*, 6> CreatedWindows();
void DestroyWindows();

int RunProgram(int argc, char** argv);
