#include "support/recording_dialogs.h"

RecordingDialogs::RecordingDialogs() { SetDialogs(this); }

RecordingDialogs::~RecordingDialogs() { SetDialogs(nullptr); }

void RecordingDialogs::Message(QWidget*, const std::string& text) { Messages.push_back(text); }

bool RecordingDialogs::Confirm(QWidget*, const std::string& text)
{
    Confirmations.push_back(text);
    if (ConfirmAnswers.empty()) return false;
    const bool answer = ConfirmAnswers.front();
    ConfirmAnswers.pop_front();
    return answer;
}

std::optional<std::string> RecordingDialogs::OpenFile(QWidget*, const FileDialogOptions& options)
{
    FileDialogs.push_back(options);
    if (FileAnswers.empty()) return std::nullopt;
    auto answer = FileAnswers.front();
    FileAnswers.pop_front();
    return answer;
}

std::optional<std::string> RecordingDialogs::SaveFile(QWidget* parent, const FileDialogOptions& options)
{
    return OpenFile(parent, options);
}
