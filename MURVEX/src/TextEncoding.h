// Decides once whether the watched file is text the monitor can show, and in
// which encoding.
#pragma once

#include <cstddef>

enum class TextEncoding { None, Ansi, Utf8Bom, Utf16LeBom };

// The monitor's encoding of the watched file: None until DetectTextEncoding
// succeeds, then fixed for the life of the process.
extern TextEncoding g_textEncoding;

// 1: text, g_textEncoding recorded; -1: cannot be opened ("[%s]はオープンで
// きません" on standard error) or looks binary; 0: no memory for the test.
int DetectTextEncoding(const char* path);

// The same verdict for a dropped file; records nothing.
int IsTextFile(const char* path);

// The verdict on the first bytes of a file (at most 1,000,000), shared by
// both tests: the encoding, or None for a file that looks binary.
TextEncoding ClassifyTextBytes(const unsigned char* bytes, size_t count);
