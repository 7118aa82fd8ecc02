// One line of the watched file as the console's text: the text the monitor
// shows, stores and compares. Code page 932 on Windows; UTF-8 on Linux,
// where the terminal reads UTF-8, so no character is lost on the way.
// One implementation per platform (win32/, posix/).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Each conversion returns terminated text and puts its length (bytes before
// the terminator) in *converted, so nobody measures it again.

// A line in code page 932 of length bytes, terminated. The line itself or a
// static buffer, overwritten by the next call.
const char* AnsiLineToConsole(const char* line, size_t length, size_t* converted);

// A line of UTF-8 of length bytes, terminated; a leading mark is dropped
// and each malformed form shows as one space. Static buffer or the line.
const char* Utf8LineToConsole(const char* line, size_t length, size_t* converted);

// A line of UTF-16LE of count units, 0-terminated; a leading FEFF is
// dropped. Static buffer, overwritten by the next call.
const char* Utf16LineToConsole(const uint16_t* line, size_t count, size_t* converted);

// A message of the monitor, written in UTF-8 (the system's Japanese text), in
// the console's text and, on Linux, in the language the entry chose.
std::string MessageToConsole(const std::string& utf8);

// Why path cannot be opened for reading now, in the system's words, for a
// message in the language the entry chose ("Permission denied", "Is a
// directory"); empty when the messages are the system's Japanese texts or
// nothing is known.
std::string OpenFailureReason(const char* path);
