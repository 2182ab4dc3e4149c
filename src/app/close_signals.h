// SIGTERM, SIGINT and SIGHUP (a logout, a shutdown, Ctrl+C in a terminal) close the program as
// the main window's close box does, so that the settings and layout are written. A second
// signal while that close runs ends the program at once.
#pragma once

#include <functional>

class QObject;

// Sets up the handlers and calls close, on context's thread from its event loop, at the first
// signal. Call once, after the application object exists.
void CloseOnSignals(QObject* context, std::function<void()> close);

// Installs the handlers again. The embedded Firebird engine installs handlers of its own for
// SIGINT and SIGTERM when it loads; they shut the engine down under the program's close, which
// then crashes. After every connection the program takes the signals back.
void ReclaimCloseSignals();
