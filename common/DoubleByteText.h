// Byte strings in the ANSI code page, Shift-JIS (code page 932): a lead byte
// 0x81-0x9F or 0xE0-0xFC starts a two-byte character, and no search for a
// separator ever takes the second byte of such a character for one.
#pragma once

#include <cstddef>

// 1 for a lead byte (fixed ranges, not the current code page), else 0.
int IsLeadByte(unsigned char byte);

// 1 when text[position] is the second byte of a two-byte character, found by
// reading the text character by character from its start; 0 otherwise,
// including position 0 and positions at or beyond the terminator.
int IsTrailByteAt(const char* text, size_t position);

// Last position holding byte c that is not a trail position; null if none.
// The result points into text.
const char* FindLastChar(const char* text, char c);

// First blank (0x20) that is not a trail position; null if none.
const char* FindFirstSpace(const char* text);

// Folder part of path including its last backslash, ".\" when it has none,
// or path itself (not copied) when it names an existing directory. Paths
// are cut at 259 bytes. Static 260-byte buffer, overwritten by the next call.
const char* FolderOfPath(const char* path);

// Part of path after its last backslash (empty when path ends in one), or the
// whole path when it has none; cut at 259 bytes. Static 260-byte buffer,
// overwritten by the next call.
const char* FileNameOfPath(const char* path);

// 1 when path names an existing directory; 0 otherwise, also for a null or
// empty path and for any failure of the file search. Platform code.
int IsDirectory(const char* path);

// Paths fit buffers of this many bytes including the terminator.
constexpr size_t kPathBufferSize = 260;

// The same parts of a UTF-8 path, the programs' own form of a path on every
// platform: there each byte 0x5C is a backslash (the Shift-JIS walk would
// take the 5C of "ぁ\" for a second byte). No directory test; cut at a
// character boundary within kUtf8PathBufferSize - 1 bytes. Static buffers,
// overwritten by the next call of the same function.
constexpr size_t kUtf8PathBufferSize = 4096;
const char* FolderOfUtf8Path(const char* path);
const char* FileNameOfUtf8Path(const char* path);
