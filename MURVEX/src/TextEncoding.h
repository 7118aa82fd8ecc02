// Decides whether the watched file is text the monitor can show, and in which
// encoding: at start, and again at every full listing.
#pragma once

#include <cstddef>

// Ansi is code page 932 (or the character set named by --encoding); Utf8 is
// UTF-8 without a mark; Undecided is a file whose first bytes are plain
// ASCII (or well-formed in neither UTF-8 nor code page 932), read as its
// lines decide.
enum class TextEncoding { None, Ansi, Utf8Bom, Utf16LeBom, Utf8, Undecided, Utf16BeBom };

// The monitor's encoding of the watched file: None until DetectTextEncoding
// succeeds; each full listing decides it again.
extern TextEncoding g_textEncoding;

// 1: text, g_textEncoding recorded; -1: cannot be opened ("[%s]はオープンで
// きません" on standard error) or looks binary; 0: no memory for the test.
int DetectTextEncoding(const char* path);

// A full listing reads the file afresh: marks and the UTF-8 rule apply to
// its first bytes as at start, and the result replaces g_textEncoding (1;
// the lines must then decide afresh too). A running monitor never ends
// because of content: bytes that look binary are read as code page 932. A
// file that cannot be opened changes nothing and is not reported here (0).
int DetectTextEncodingAgain(const char* path);

// The same verdict for a dropped file; records nothing.
int IsTextFile(const char* path);

// The verdict on the first bytes of a file (at most 1,000,000), shared by
// both tests: the encoding, or None for a file that looks binary.
TextEncoding ClassifyTextBytes(const unsigned char* bytes, size_t count);

// Bytes without a mark: Utf8 when they hold at least one well-formed
// multi-byte UTF-8 form and at least twenty for every malformed one; Ansi
// when they hold a malformed UTF-8 form and are well-formed code page 932;
// Undecided otherwise: plain ASCII, a form cut off by their end (which
// counts neither way), or bytes well-formed in neither (a stray Latin-1
// byte must not fix the encoding of what follows).
TextEncoding ClassifyUnmarkedText(const unsigned char* bytes, size_t count);

// The encoding to read one line of the watched file in: g_textEncoding, but
// for an Undecided file the verdict on the first line of the listing or pass
// that decides (Utf8 or Ansi), which then holds for the lines after it;
// Undecided while the lines are plain ASCII. A line that decides nothing but
// holds a byte of 0x80 or more is read as UTF-8 (Utf8), each malformed form
// one mark. `decision` is
// what the lines have decided so far (None, Utf8 or Ansi), kept by the
// reader's view: a full listing sets it back to None, a pass that moves
// over lines without reading them takes on the decision their reading made.
TextEncoding LineEncoding(const char* line, size_t count, TextEncoding& decision);

// --encoding: every file is read in `encoding` (Ansi, Utf8, Utf16LeBom or
// Utf16BeBom) from now on, whatever its bytes; the detection only checks
// that it can be opened. None gives the detection back.
void ForceTextEncoding(TextEncoding encoding);
TextEncoding ForcedTextEncoding();
