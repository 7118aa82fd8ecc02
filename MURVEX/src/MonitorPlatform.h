// What the portable monitor needs of its platform: file services, the
// console and the change wait. One implementation per platform (win32/,
// posix/); tests drive the monitor through scripted ones.
//
// No <windows.h> here: handles are opaque integers.
#pragma once

#include <cstddef>
#include <cstdint>

// The status of the watched file as far as the change cycle compares it.
// Any difference between two statuses counts as a change.
struct FileStatus {
  int64_t size = 0;          // bytes
  int64_t modifiedNs = 0;    // last write, at the file system's full resolution
  uint64_t fileId = 0;       // identity of the file (inode / file index); 0 if unknown
  // Only a regular file is read: a FIFO, socket or device may never end or
  // wait for a writer, and a folder has no lines. kUnreadable: a regular
  // file this process may not read (where the platform can tell).
  enum Kind : uint8_t { kRegular, kFolder, kOther, kUnreadable } kind = kRegular;
  bool operator==(const FileStatus& other) const {
    return size == other.size && modifiedNs == other.modifiedNs && fileId == other.fileId && kind == other.kind;
  }
  bool operator!=(const FileStatus& other) const { return !(*this == other); }
};

// Opaque open-file handle; kNoFile when nothing is open.
using FileHandle = intptr_t;
constexpr FileHandle kNoFile = -1;

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // 0 when path exists (file or folder), -1 otherwise.
  virtual int Exists(const char* path) = 0;
  // Current status, taken from an open handle where the platform allows so
  // that a writer holding the file open cannot make it stale; a folder or a
  // file that is not regular is only named by its kind, never opened for
  // reading. 0 or -1.
  virtual int Status(const char* path, FileStatus* status) = 0;
  // Opens for reading, sharing read, write and delete with everyone, so the
  // writer can go on writing, rename or delete the file. kNoFile on failure.
  virtual FileHandle OpenShared(const char* path) = 0;
  // Opens for unbuffered reading (same sharing). Reads must then use buffers
  // from AllocateAligned and sizes that are multiples of *alignment.
  virtual FileHandle OpenDirect(const char* path, size_t* alignment) = 0;
  // Bytes delivered (0 at the end), -1 on failure.
  virtual int64_t Read(FileHandle file, void* buffer, size_t size) = 0;
  // The same from `offset` (not negative) on, whatever was read before: a
  // pass may start anywhere in the file. On a direct handle the offset is a
  // multiple of the alignment too.
  virtual int64_t ReadAt(FileHandle file, int64_t offset, void* buffer, size_t size) = 0;
  virtual void Close(FileHandle file) = 0;
  // Page-aligned, locked where possible; null on failure.
  virtual void* AllocateAligned(size_t size) = 0;
  virtual void FreeAligned(void* block, size_t size) = 0;
};

// Colour attributes of the console, as the console API numbers them.
enum ConsoleColour : int {
  kColourFirstListing = 15,  // bright white on black
  kColourListing = 10,       // bright green on black
  kColourChanged = 95,       // bright white on magenta
};

class Console {
 public:
  virtual ~Console() = default;
  // Standard output. Text reaches the screen in order with colour changes
  // and clears: a platform that buffers flushes before each of those. A line
  // feed ends a row; a carriage return is text, shown without moving the
  // cursor (^M on Linux, as other control characters; a space on Windows).
  virtual void Write(const char* text, size_t length) = 0;
  virtual void SetColour(int attribute) = 0;
  virtual void SetTitle(const char* title) = 0;
  virtual void Clear() = 0;
  // End of a listing or pass, and before each read of the file: everything
  // written is on its way to the screen.
  virtual void Flush() = 0;
  // Standard error, flushed at once.
  virtual void WriteError(const char* text) = 0;
};

// Watches a folder (and what lies below it) for changes.
class ChangeWatcher {
 public:
  virtual ~ChangeWatcher() = default;
  // Starts watching the folder for changes of `file`, a path in it (what
  // happens to its name there, and the file the name leads to, wherever it
  // lies); changes of other files of the folder need not wake the wait.
  // Stays armed until Stop, so changes made between two waits are not lost.
  // 0 or -1 (folder cannot be watched).
  virtual int Start(const char* folder, const char* file) = 0;
  // Blocks until a change since the last wake-up or the time-out.
  // kWoke after a change, kTimedOut when none came in time, kWaitFailed when
  // the wait itself failed, kFolderGone when the folder can no longer be
  // watched (deleted or moved away; the watcher has then let it go, so that
  // it can really be deleted). Not armed, it only waits out the time-out.

  enum { kWoke = 0, kTimedOut = 1, kWaitFailed = -1, kFolderGone = -2 };
  virtual int Wait(int timeoutMs) = 0;
  virtual void Stop() = 0;
  // Milliseconds on a clock that only moves forward, for how long the file
  // has stayed unchanged. A steady clock of the C++ library by default.
  virtual int64_t NowMs();
  // Microseconds of processor time the process has used: what a pass cost,
  // whatever else the machine runs. The clock of NowMs by default, where the
  // platform counts processor time only by its scheduler's tick.
  virtual int64_t CpuUs();
};

// The platform the monitor runs on, chosen once at start.
struct MonitorPlatform {
  FileSystem* files;
  Console* console;
  ChangeWatcher* watcher;
};

// The process-wide platform. Set by main (or a test) before anything reads
// a file; the line reader and the encoding test use its file services.
MonitorPlatform& CurrentPlatform();
void SetPlatform(const MonitorPlatform& platform);

// The real platform of this build (win32/ or posix/).
MonitorPlatform NativePlatform();

// The file services of this build alone (FileSystem.cpp), for tests that
// need real files without the console.
FileSystem& NativeFileSystem();

// Converts one UTF-16 unit to the ANSI code page (932) the way the C
// runtime's wctomb does under the Japanese locale. 1 or 2 bytes written to
// out, or 0 when the code page has no form for the unit. Platform code.
int UnitToAnsi(uint16_t unit, char out[2]);

// Decodes count bytes of code page 932 into units (room for count), as the
// system's decoder does. The units made, or -1 when the bytes are not code
// page 932 throughout (a stray byte, a lead byte without its second byte).
// Platform code.
long AnsiToUnits(const char* bytes, size_t count, uint16_t* units);

// Path rules of this platform for the watched folder and the title:
// Windows uses the double-byte-aware backslash rules, Linux splits at '/'.
// Static buffers, overwritten by the next call of the same function.
const char* WatchedFolderOf(const char* path);
const char* TitleOf(const char* path);
