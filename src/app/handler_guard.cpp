#include "app/handler_guard.h"

#include "app/dialogs.h"
#include "app/sjis_text.h"
#include "db/quiz_database.h"

#include <QApplication>

bool Guarded(const std::function<void()>& handler)
{
    const std::optional<std::string> lost = RunUntilConnectionLost(handler);
    if (lost) ShowHandlerError(Sjis("データベースとの接続が切れました。数秒ごとに自動で再接続します。") + "\r\n" + *lost);
    return !lost;
}

void ShowHandlerError(const std::string& text) { ShowMessage(QApplication::activeWindow(), text); }
