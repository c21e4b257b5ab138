// Requests to stop from outside the program (SIGINT, SIGTERM, SIGHUP; on
// Windows the console's Ctrl+C, Ctrl+Break and close events). The first one is
// read as Escape, so it takes the effect's own shut-down path; a second one
// while that is still under way ends the program at once, with the signal's
// status (130 for SIGINT, 143 for SIGTERM), after removing every temporary
// output file, as does a host that can go on no longer (Fatal).
#pragma once

#include <functional>
#include <string>

#include "runtime/stop_request.h"
#include "system/signals.h"  // kStopEvents, kConsoleNote, OnConsoleEvent

namespace squarefield {

// Installs the handlers, which record a stop in the one stop request
// (runtime/stop_request.h). A signal that was ignored when the program
// started (SIGHUP under nohup) stays ignored.
void InstallStopHandlers();
// Forgets every stop so far, signals included (for tests that run twice).
void ForgetStopSignals();
// The signal of the first stop so far (on Windows, the console event's stand-in); 0 for none.
int StopSignal();

// Temporary files to remove when the program has to end at once. False when
// the path cannot be kept (too long, or every slot taken): such a file must not
// be written, since a signal would leave it behind.
[[nodiscard]] bool RegisterTemporary(const std::string& path);
void ForgetTemporary(const std::string& path);

// Reports `what` on stderr, runs the finisher (if one is set), removes the
// temporaries left and ends the program with status 1.
[[noreturn]] void Fatal(const char* what);
// What Fatal finishes before it ends the program: a run's outputs. One at a time; nullptr: none.
void SetFatalFinisher(std::function<void()> finish);

}  // namespace squarefield
