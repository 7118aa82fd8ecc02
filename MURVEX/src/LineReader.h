// Hands the watched file to the monitor one line at a time. One process-wide
// reader: a pass is a series of calls of one reader until it returns 0; the
// first call of a pass opens the file (through CurrentPlatform().files) and
// the call that finds no further line closes it again.
#pragma once

#include <cstddef>
#include <cstdint>

// Stores the next line, its line feed included, terminated, in line (at most
// capacity - 1 bytes: longer lines come in pieces). Returns the number of
// bytes stored; 0 when the pass is over (the file is then closed) or the file
// could not be opened (a message is then on standard error). A capacity
// below 2 leaves no room for a byte and its terminator: 0, nothing opened.
int ReadLineA(const char* path, char* line, int capacity);

// The same in 16-bit little-endian units; capacity and result count units.
int ReadLineW(const char* path, uint16_t* line, int capacity);

// Called by the readers only. 0 when the file is open for a pass, -1 when not.
int OpenLineReader(const char* path);
void CloseLineReader();

// Largest read request of the heap path (262,144 bytes by default).
// Tests and fuzzers lower it so that refills happen on small files.
void SetLineReaderBufferLimit(size_t bytes);
// Test hook: make the heap buffer unavailable so the direct path is taken.
void SetLineReaderForceDirect(bool force);
