// Paths handed over by the shell as UTF-16, taken into the ANSI code page
// only when every character has an exact counterpart there.
#pragma once

#include <cstddef>

// Converts wide into out (size bytes with the terminator) without best-fit
// mapping. False, with out empty, when a character has no exact ANSI form or
// the result does not fit: a near-miss name could name another file.
bool WideToAnsiPath(const wchar_t* wide, char* out, size_t size);

// Whether wide's ANSI form (best fit allowed, terminator included) takes at
// most size bytes: tells a name too long for a path from one the code page
// cannot hold.
bool FitsAnsiPath(const wchar_t* wide, size_t size);
