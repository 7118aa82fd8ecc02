// The watch list: watched paths in the process's keyed text table under
// DecimalKey of their list number, and its file "Surveillance.txt".
#pragma once

#include <cstddef>
#include <string>

// Process-wide state of the manager, touched only by the UI thread:
extern int g_keyCounter;      // list number of the next entry added; set by load and Clear
extern int g_monitoringFlag;  // 1 while the monitors run (Start sets it, Stop clears it)

// Reads list file bytes into the table, every entry in UTF-8: the file in
// UTF-16LE or UTF-8 after their marks, in UTF-8 without one when the
// monitor's rule says so, otherwise in code page 932. Lines end at LF and are
// taken whole whatever their length, less a CR right before the LF (or the
// end); a line that as written names no file loses the blanks around it and
// a pair of double quotes around the whole; what is left empty is no entry.
// Keys from 0; returns the entry count.
int ParseWatchList(const char* bytes, size_t size);

// The file's bytes for the current list: each entry with key 0..keyCounter-1
// and CR LF, in key order; in code page 932 when every entry has its exact
// form there, otherwise in UTF-8 after its mark. A list whose last parse
// could not take every byte (a NUL, bytes of no character) gives back the
// bytes it was read from while its entries are unchanged.
std::string FormatWatchList(int keyCounter);

// The list file's name in the data folder, what its temporary copy appends
// while it is saved (a tag of the saving process's own, then the suffix),
// and what the copy of the list before the last change appends; the data
// folder's bound counts the temporary's name, the longest.
constexpr char kWatchListFileName[] = "Surveillance.txt";
constexpr size_t kTemporaryTagLength = 13;  // "." and 12 hex digits
constexpr char kTemporarySuffix[] = ".new";
constexpr char kBackupSuffix[] = ".bak";
static_assert(sizeof kBackupSuffix <= kTemporaryTagLength + sizeof kTemporarySuffix);

// What loading and saving give when the list is no plain file of its own
// (a link, a reparse point, a file with a second name, a folder, a device)
// or its folder or the folder above is no real folder (a link, a junction).
constexpr int kNotPlainFile = -2;

// Loads the file at path into the table and sets g_keyCounter, never
// following a link. 0 when loaded, or when there is no such file (an empty
// list); -1, with the list empty, when the file is there but cannot be opened
// or read (held by another program); kNotPlainFile, with the list empty, when
// it or its folders are not plain. Neither must ever be saved over.
int LoadWatchList(const char* path);

// Writes the list to path safely: a file created new under a name of this
// process's own in the same folder (never a name already there), every
// write checked, flushed, then moved over path in one step, the old file
// kept as path + ".bak". A file that already holds the list is left alone,
// backup included; saves running at once each replace the list whole.
// 0 on success; -1 with the old file untouched; kNotPlainFile, with nothing
// written, when the list or its folders are not plain.
int SaveWatchList(const char* path);

// Whether some entry's path equals path (both UTF-8) with the ASCII letters
// A-Z folded to lower case; every other byte is compared exactly. Stops at
// the first match of the walk.
bool IsListed(const char* path);

// Adds path under the key counter, which then goes up by one whether or not
// the table had memory for it. Returns the key used.
int AddToWatchList(const char* path);

// Platform parts of loading and saving, none of which follows a link at the
// list's name.
//
// Checks that the folder of listPath and the folder above it are real
// folders, and on Windows keeps them from being moved or deleted until
// ReleaseListFolder. 0 when so (release it then); 1 when the folder is not
// there; kNotPlainFile otherwise.
int HoldListFolder(const char* listPath);
void ReleaseListFolder();

// Reads the file at path whole into bytes: 0; 1 when there is no such file;
// -1 when it cannot be opened or read; kNotPlainFile when it is no plain file
// of its own (nothing read).
int ReadPlainFile(const char* path, std::string& bytes);

// Creates path only when no such name exists, writes bytes and puts them on
// disk. 0; 1 when the name is taken (nothing opened); -1 when a step failed
// (the file made is removed).
int WriteNewFile(const char* path, const std::string& bytes);

// Removes the file at path, a temporary left by a failed replace.
void RemoveFile(const char* path);

// The process's number, for names of its own.
unsigned long CurrentProcessNumber();

// Replaces target by the finished temporary
// file in one step, the old target (when there is one) becoming backup;
// target always names the old file or the new one. 0 or -1.
int ReplaceFileAtomically(const char* temporary, const char* target, const char* backup);
