// The monitor's messages to the user, in the console's text.
#pragma once

// Writes a message of the monitor to standard error (the platform console's
// when one is set), flushed: utf8Format is UTF-8 source text with at most one
// "%s", which takes path exactly as given; the rest goes out in the
// console's text (code page 932 on Windows, UTF-8 on Linux).
void WriteMonitorError(const char* utf8Format, const char* path);

// "[path]はオープンできません" as WriteMonitorError writes it, with the
// system's reason after it where the messages' language takes one.
void WriteOpenError(const char* path);
