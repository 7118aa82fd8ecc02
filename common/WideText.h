// UTF-8, the programs' own form of paths and texts on Windows, and the
// UTF-16 of the wide Windows calls, converted at each call. Windows only.
#pragma once

#include <string>

// Malformed UTF-8 becomes U+FFFD (such a name reaches no file); null is empty.
std::wstring WideFromUtf8(const char* utf8);
// Lone surrogates become U+FFFD; null is empty.
std::string Utf8FromWide(const wchar_t* wide);
