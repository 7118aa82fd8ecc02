// Turns UTF-8 and UTF-16 lines into the ANSI code page (932), in which the
// monitor shows every line and digests it for the line table.
#pragma once

#include <cstddef>
#include <cstdint>

// Largest converted line: 65,534 bytes and the terminator. Longer results are
// cut at a character boundary.
constexpr size_t kConvertedLineSize = 65535;

// One line of a UTF-8 file in the ANSI code page; a leading EF BB BF is
// dropped. Static buffer, overwritten by the next call; empty on failure.
const char* Utf8LineToAnsi(const char* line);

// One line of a UTF-16LE file (0-terminated units); a leading FEFF is
// dropped. Static buffer, overwritten by the next call.
const char* Utf16LineToAnsi(const uint16_t* line);

// UTF-8 text (up to its NUL, leading EF BB BF skipped) as 0-terminated
// UTF-16; *count gets the number of units. Heap, caller frees with free();
// null when memory runs out.
uint16_t* Utf8ToUtf16Alloc(const char* text, size_t* count);

// Decodes count bytes of UTF-8 into units (destination unused when counting
// is nonzero; otherwise a 0 unit follows the last). Returns the number of
// units. Four-byte forms become surrogate pairs; a malformed (overlong,
// surrogate, stray) or cut-off form consumes only its own bytes and yields
// one unit the code page cannot hold, so no form decodes to NUL; CR, LF and
// NUL are never consumed by another character.
size_t DecodeUtf8(uint16_t* destination, const unsigned char* bytes, size_t count, int counting);

// 0-terminated units as 0-terminated ANSI text (a leading FEFF/FFFE
// skipped); *count gets the bytes before the NUL. Heap, caller frees with
// free(); null when an argument is null or memory runs out.
char* Utf16ToAnsiAlloc(const uint16_t* text, size_t* count);
