// Ctrl-C and termination requests during a capture: noted by a signal
// handler, acted on by the capture between frames (and by blocking writes,
// which the signal interrupts), so a partial output can be removed before
// the program ends.
#pragma once

namespace capture {

// Catches SIGINT, SIGTERM and SIGHUP from now on. Blocking calls are not
// restarted after them, so a write to a stalled pipe returns.
void InstallStopHandlers();

// Whether one of those signals has arrived since the handlers were
// installed.
bool StopRequested();

}  // namespace capture
