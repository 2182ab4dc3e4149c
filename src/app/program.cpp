#include "app/program.h"

#include "app/close_signals.h"
#include "app/dialogs.h"
#include "app/file_places.h"
#include "app/handler_guard.h"
#include "app/main_window.h"
#include "app/sjis_text.h"
#include "app/window_style.h"
#include "game/play_window.h"
#include "player/settings_window.h"
#include "qa/edit_window.h"
#include "qa/entry_window.h"
#include "qa/list_window.h"

#include <QDialog>
#include <csignal>
#include <exception>

QuizApplication::QuizApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool QuizApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        // The last net: handlers run inside Guarded, so nothing is expected here.
        ShowHandlerError(error.what());
    } catch (...) {
        ShowHandlerError("unknown error");
    }
    return false;
}

void CloseForSignal()
{
    // A modal window (the play window, the settings, a message) ends first, as its own close
    // does: the play window leaves the room. Its loop returns once this handler has run.
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(window); dialog && dialog->isVisible() && dialog->isModal())
            dialog->reject();
    if (Form1) Form1->close();
}

void CreateWindows()
{
    // The other windows belong to the main window: they close with it and stay above it.
    Form1 = new TForm1;
    Form4 = new TForm4(Form1->Database(), Form1);
    Form2 = new TForm2(Form1->Database(), Form1);
    Form3 = new TForm3(Form1->Database(), Form1);
    Form5 = new TForm5(Form1->Database(), Form1);
    FormPlay = new TFormPlay(Form1->Database(), Form1);
}

void DestroyWindows()
{
    delete Form1;
    Form1 = nullptr;
    Form2 = nullptr;
    Form3 = nullptr;
    Form4 = nullptr;
    Form5 = nullptr;
    FormPlay = nullptr;
}

int RunProgram(int argc, char** argv)
{
    // A write past the file-size limit then fails (EFBIG) as any other failed write does: the
    // old settings and layout stay, and no temporary file is left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    ChooseEmbeddedLockFolder();
    QuizApplication application(argc, argv);
    QApplication::setApplicationName(ToQt(ApplicationTitle()));
    InstallQtTranslations();
    QApplication::setWindowIcon(ProgramIcon());
    InstallGothicSubstitution();
    CreateWindows();
    CloseOnSignals(&application, CloseForSignal);
    Form1->show();
    const int result = QApplication::exec();
    DestroyWindows();
    return result;
}
