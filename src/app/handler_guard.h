// Event handlers that may reach the database run inside Guarded: a connection found broken
// on the way abandons the handler, and it is said once, in a plain message box: a Japanese
// sentence, then the server's error text. No exception of the database layer crosses a Qt signal emission.
#pragma once

#include <QObject>
#include <functional>
#include <string>

// Runs handler; false when it was abandoned because the connection broke (the message has
// been shown by then).
bool Guarded(const std::function<void()>& handler);

// The one place that shows an error that ended a handler: a plain message box over the
// active window. Guarded and the application's last-resort handler use it.
void ShowHandlerError(const std::string& text);

// Connects signal of sender to a handler of window without arguments, run inside Guarded.
template <class Sender, class Signal, class Window>
void ConnectGuarded(Sender* sender, Signal signal, Window* window, void (Window::*handler)())
{
    QObject::connect(sender, signal, window, [window, handler] { Guarded([window, handler] { (window->*handler)(); }); });
}
