#ifndef TERMINATIONSIGNALS_H
#define TERMINATIONSIGNALS_H

#include <QObject>

#include <functional>

// SIGINT and SIGTERM held for watchTerminationSignals(). Threads inherit
// the mask, and the process's signal goes to any thread that does not hold
// it, so a program that starts threads before it watches (a GUI's display
// connection) calls this first. (On Windows the console's Ctrl+C and close
// stand for them, and nothing is held.)
void holdTerminationSignals();

// SIGINT and SIGTERM taken on the event loop, while `context` lives, so that
// a sweep stops in order (its closing commands sent, the board's power
// switched off) rather than the process ending where it stands.
void watchTerminationSignals(QObject *context, std::function<void(int signal)> stop);

#endif // TERMINATIONSIGNALS_H
