// Message boxes, confirmations and file dialogs, behind one interface so that tests can
// record what the program showed and answer for the user.
#pragma once

#include <optional>
#include <string>

class QWidget;

struct FileDialogOptions {
    std::string Filter;            // "description|pattern", CP932
    std::string DefaultExtension;  // ".txt"
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A plain message box: the application title as caption, one OK button. Text in CP932.
    virtual void Message(QWidget* parent, const std::string& text) = 0;
    // A confirmation box captioned "確認" with Yes and No, No the default; true only for Yes.
    virtual bool Confirm(QWidget* parent, const std::string& text) = 0;
    // File dialogs; the chosen path (local 8-bit), or nothing when cancelled. The first opens
    // in the program's folder, where Sample.txt lies; later ones where the last file was chosen,
    // except that a save dialog opens in FirstSaveFolder instead of a folder it cannot write to.
    virtual std::optional<std::string> OpenFile(QWidget* parent, const FileDialogOptions& options) = 0;
    virtual std::optional<std::string> SaveFile(QWidget* parent, const FileDialogOptions& options) = 0;
};

// The dialogs in use: the real Qt ones unless a test installed its own.
Dialogs& CurrentDialogs();
// Installs replacement dialogs (nullptr restores the real ones); the caller keeps ownership.
void SetDialogs(Dialogs* dialogs);

// The folder the first file dialog opens in (where Sample.txt lies); the program's folder
// when empty. Set by the main window when it is first shown.
extern std::string FirstDialogFolder;
// Where a save dialog opens before a file is chosen in a folder the user can write to;
// FirstDialogFolder when empty. Set by the main window when it is first shown.
extern std::string FirstSaveFolder;

// Qt's own texts (file dialogs, standard buttons) in Japanese, from Qt's translations.
void InstallQtTranslations();

// Shorthands for the windows.
void ShowMessage(QWidget* parent, const std::string& text);
bool ConfirmYes(QWidget* parent, const std::string& text);

// What every window says when user text holds a quote (CP932).
std::string QuoteMessage();

// The application title, the caption of every plain message box.
std::string ApplicationTitle();
