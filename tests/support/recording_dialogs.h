// Dialogs that record what the program showed and answer with prepared replies.
#pragma once

#include "app/dialogs.h"

#include <deque>
#include <string>
#include <vector>

class RecordingDialogs : public Dialogs {
public:
    RecordingDialogs();   // installs itself
    ~RecordingDialogs() override;  // restores the real dialogs

    void Message(QWidget* parent, const std::string& text) override;
    bool Confirm(QWidget* parent, const std::string& text) override;
    std::optional<std::string> OpenFile(QWidget* parent, const FileDialogOptions& options) override;
    std::optional<std::string> SaveFile(QWidget* parent, const FileDialogOptions& options) override;

    // Texts in CP932, in the order shown.
    std::vector<std::string> Messages;
    std::vector<std::string> Confirmations;
    std::vector<FileDialogOptions> FileDialogs;

    // Replies, used front first; an empty queue answers No / Cancel.
    std::deque<bool> ConfirmAnswers;
    std::deque<std::optional<std::string>> FileAnswers;
};
