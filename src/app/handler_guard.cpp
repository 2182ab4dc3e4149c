#include "app/handler_guard.h"

#include "app/dialogs.h"
#include "db/quiz_database.h"

#include <QApplication>

bool Guarded(const std::function<void()>& handler)
{
    const std::optional<std::string> lost = RunUntilConnectionLost(handler);
    if (lost) ShowHandlerError(*lost);
    return !lost;
}

void ShowHandlerError(const std::string& text) { ShowMessage(QApplication::activeWindow(), text); }
