// The system's side of stopping: which requests to stop it delivers and how,
// removing a file and ending the process at once from inside a handler. The
// shell's stop handling (shell/stop.h) is the same on every system above it.
#pragma once

namespace squarefield {

// What stops the program from outside, in this system's words, and how a
// console user runs it so that the console waits ("" where nothing needs saying).
extern const char* const kStopEvents;
extern const char* const kConsoleNote;

// Routes the requests to stop to on_stop(signal): SIGINT, SIGTERM and SIGHUP
// (SIGHUP left ignored where it was, as under nohup); node's, from its event
// loop; the console's Ctrl+C as SIGINT and Ctrl+Break, close, log-off and
// shut-down as SIGTERM. The other signals whose default ends a program call
// on_end(signal) first, then end it with the signal's own status.
void RouteStopSignals(void (*on_stop)(int signal), void (*on_end)(int signal));

// Removes the file named (UTF-8); safe inside a signal handler.
void RemoveFileNow(const char* path);

// Ends the process at once with `status`: no destructors, no buffers flushed.
[[noreturn]] void EndProcessNow(int status);

// The console's control handler, exposed for tests: true when the event was
// one of ours (Windows; false elsewhere).
bool OnConsoleEvent(unsigned long event);

}  // namespace squarefield
