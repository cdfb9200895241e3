#pragma once

#include <functional>

class QObject;

// Ctrl-C (SIGINT), SIGTERM and SIGHUP (the terminal closed, or a fleet engine giving up), each
// turned into a call of `handler` from the event loop of `context`'s thread, where it may do
// anything (send a last frame, print, quit); a second signal calls it again. The only POSIX piece
// of the core; the handler replaces the one given before. False when the signals cannot be watched
// (a build for a system without POSIX signals; see the README).
bool onTerminationSignal(QObject *context, std::function<void()> handler);

// How many of those signals this process has received, counted in the signal handler itself: also
// those the event loop has not handled yet. Code about to send a frame that must not leave after
// one asks this.
int terminationSignalsReceived();
