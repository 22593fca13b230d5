// The demo clock: the time base of the picture timeline, read from the
// platform's performance counter.
#pragma once

#include <cstdint>

// Ticks per second of the performance counter, read at every clock start.
extern int64_t counterFrequency;
// Counter value at clock start, in whole seconds (truncating division).
extern int64_t startSeconds;
// Counter value at clock start in seconds, with its fraction, in single
// precision.
extern float startTime;
// Whole seconds since clock start as the sequencer counts them: the
// difference of two truncated quotients. Set by every frame.
extern int32_t elapsedSeconds;
// Elapsed time in seconds with its fraction. Set by every frame.
extern float frameTime;

// Starts (or restarts) the clock at the counter's present value.
void StartDemoClock();

// Reads the counter and sets elapsedSeconds and frameTime from it.
void ReadDemoClock();
