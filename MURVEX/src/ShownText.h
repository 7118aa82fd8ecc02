// How a line's text takes up a row of the screen, the same on both
// consoles: the columns of each character, where a tab ends, and the
// visible forms of control characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Columns a character takes in a terminal's grid: 2 for East Asian wide and
// fullwidth ones, 0 for combining marks and other zero-width ones, 1 for the
// rest, a malformed form among them (control characters are never shown as
// themselves, so never asked).
int CharacterColumns(uint32_t code);

// Appends the spaces a tab at *column (counted from the start of the line's
// text) becomes, up to the next multiple of eight as the file's own editor
// showed it, and moves *column past them.
inline void AppendTab(std::string& out, size_t* column) {
  size_t spaces = 8 - *column % 8;
  out.append(spaces, ' ');
  *column += spaces;
}

// Whether code must not reach a terminal as itself: C0 controls, DEL, and
// the C1 controls U+0080 to U+009F, which an 8-bit terminal acts on.
inline bool IsControlCode(uint32_t code) { return code < 0x20 || (code >= 0x7F && code <= 0x9F); }

// Appends the visible form of a control code as cat -v shows it (^[ for
// ESC, ^? for DEL, M-^[ for U+009B); returns the columns it takes.
int AppendVisibleControl(std::string& out, uint32_t code);

// A name (a path, a title) with each C0 control and DEL in its visible
// form; every other byte as it is, so the text may be UTF-8 or code page
// 932 (whose double-byte characters hold no byte below 0x40).
std::string VisibleName(const char* name);
