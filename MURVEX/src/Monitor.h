// The console monitor: entry, first listing and the change cycle.
#pragma once

#include <cstdint>

#include "MonitorPlatform.h"

// Runs the monitor on path with the given platform until the change wait
// fails. The result is the process's exit code: 1 for a refused start, 0
// when the change wait failed.
// argc/argv as main receives them (exactly one argument is required). The
// line table is emptied before it returns.
int MonitorMain(int argc, char** argv, const MonitorPlatform& platform);

// Bounded variant for tests: returns 2 after maxWakeups wake-ups of the change
// wait instead of waiting for ever.
int MonitorMainBounded(int argc, char** argv, const MonitorPlatform& platform, long maxWakeups);

// Every listing (the first, and each after the file shrank) shows only the
// file's last `count` lines; all lines are still read and recorded, so a
// later change above them is shown as any change is. -1 (the default)
// shows every line. Set before MonitorMain.
void LimitListings(int64_t count);

// With `wait`, a file that is not there yet at start (missing, not a
// regular file, or not open to reading) is waited for instead of refused,
// and listed when it appears; the caller has told the user. Set before
// MonitorMain.
void WaitForTheFile(bool wait);
