// Program start: the application object, its top-level error handler and the six windows.
#pragma once

#include <QApplication>

class QuizApplication : public QApplication {
public:
    QuizApplication(int& argc, char** argv);
    // The last net: an error that escapes an event handler (none should, as handlers that
    // reach the database run guarded) is shown in a plain message box, and the program goes
    // on with the next event.
    bool notify(QObject* receiver, QEvent* event) override;
};

// Creates the six windows in their fixed order: TForm1, TForm4, TForm2, TForm3, TForm5, TFormPlay.
void CreateWindows();
void DestroyWindows();

// What a SIGTERM, SIGINT or SIGHUP does: ends any modal window, then closes the main window as
// its close box does.
void CloseForSignal();

int RunProgram(int argc, char** argv);
