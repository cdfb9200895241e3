#pragma once

#include <functional>

class QObject;

// Ctrl-C (SIGINT) and SIGTERM, turned into a call of `handler` from the event loop of `context`'s
// thread, where it may do anything (send a last frame, quit). The only POSIX piece of the core;
// the handler replaces the one given before. False when the signals cannot be watched (a build
// for a system without POSIX signals; see the README).
bool onTerminationSignal(QObject *context, std::function<void()> handler);
