// Hands the watched file to the monitor one line at a time. One process-wide
// reader: a pass is a series of calls of one reader until it returns 0; the
// first call of a pass opens the file (through CurrentPlatform().files) and
// the call that finds no further line closes it again.
//
// A pass reads one view of the file: the bytes from offset 0 up to the size
// the file had when the pass opened it, in order, each exactly once. It ends
// where that view ends, or earlier where a read delivers nothing (the file
// shrank); bytes written after the open belong to the next pass, so a line
// being written is never split at a momentary end of file. Concatenated, the
// results of a pass are the view's bytes (ReadLineW may drop one lone last
// byte). The last result may be a line without its line end; LastLineIsOpen
// says so, and its writer may still be writing it.
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

// 1 when the line the last read returned runs up to the end of the pass's
// view without its line end (a line feed, or a unit 0x000A): the file's last
// line as far as it was written. 0 for a whole line or a piece of an
// overlong one.
int LastLineIsOpen();

// For the runs of whole lines (RunTable.h), between the reads of a pass:
// the offset in the file just after the last line returned (-1 once the
// pass is over: that line ran into its end); and the keyed
// digest (DigestBytes) of the bytes from the last take (or the pass's first
// byte, or the last run moved over) up to that offset, which starts the next.
int64_t LineReaderOffset();
uint64_t TakeRunDigest();

// At a line start of a pass (its first call, or after a run moved over):
// moves over the next `length` bytes when their digest is `digest`. 1 when
// moved over; 0 when not (they differ, the file ends sooner, or they do not
// fit one read), nothing delivered then; -1 when the file could not be
// opened (reported).
int SkipRunIfSame(const char* path, int64_t length, uint64_t digest);

// Called by the readers only. 0 when the file is open for a pass, -1 when not.
int OpenLineReader(const char* path);
void CloseLineReader();

// Largest read request of the heap path (262,144 bytes by default).
// Tests and fuzzers lower it so that refills happen on small files.
void SetLineReaderBufferLimit(size_t bytes);
// Test hook: make the heap buffer unavailable so the direct path is taken.
void SetLineReaderForceDirect(bool force);
