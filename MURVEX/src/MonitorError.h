// The monitor's messages to the user, in the console's code page.
#pragma once

// Writes a message of the monitor to standard error (the platform console's
// when one is set), flushed: utf8Format is UTF-8 source text with at most one
// "%s", which takes path as it is (already ANSI); the rest goes out in the
// ANSI code page.
void WriteMonitorError(const char* utf8Format, const char* path);
