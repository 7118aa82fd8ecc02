// The manager's data folder under ProgramData.
#pragma once

#include <cstddef>

// "<ProgramData>\Fennwick\Kestrin" (no doubled backslash) into folder, a
// kPathBufferSize buffer. -1 when programData is null or the list path's
// temporary copy ("\Surveillance.txt", a tag and ".new" appended) would not
// fit 259 bytes.
int FormatDataFolder(const char* programData, char* folder, size_t size);

// Finds or creates the data folder; on creation grants Everyone access.
// Returns the folder (process-wide buffer), or null when "ProgramData" is not
// set or too long. Windows only.
const char* SetupDataFolder();

// Gives the data folder one inheritable access entry for Everyone (S-1-1-0):
// read, write, execute and delete, not permissions or owner. 1 or 0.
int GrantEveryoneAccess();

// The data folder and the watch list path, filled by SetupDataFolder.
extern char g_dataFolder[260];
extern char g_watchListPath[260];
// Set at start when the list or its folders were not plain: the user has
// been told, and the list is then never saved over.
extern bool g_watchListRefused;
