// The monitor state shared by the entry (Monitor.cpp) and the change cycle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "LineReader.h"
#include "MonitorPlatform.h"
#include "RunTable.h"

struct MonitorState {
  const char* path = nullptr;
  char watchedFolder[4096] = {};
  FileStatus current;
  FileStatus saved;
  bool fileFound = true;  // whether the last status call found the file
  int32_t lineCounter = 0;
  int32_t listedCount = 0;
  int32_t previousCount = 0;
  // The number of a last line without its line end that the last pass held
  // back (not shown, not stored) while its writer may still be writing it;
  // 0 when none. It counts among the listed lines.
  int32_t heldLine = 0;
  int64_t changedAtMs = 0;  // when a look last found the status changed
  // When the next pass may start, on the change watcher's clock (NowMs).
  int64_t nextPassMs = 0;
  int64_t shownLines = -1;  // a listing shows only this many last lines; -1 all
  // The cursor of the passes over the file, and the runs of lines the last
  // one recorded.
  std::unique_ptr<FileView> view = std::make_unique<FileView>();
  RunTable runs;
  // The change wait is armed on the folder now under the watched folder's
  // name, whose identity is folderId; otherwise the cycle only looks, and
  // arms it again as soon as the folder is there.
  bool folderArmed = false;
  uint64_t folderId = 0;
  // What the user was told since the wait was last armed: nothing (0), that
  // the folder is awaited (1), that it cannot be watched (2).
  int folderTold = 0;
  // A difference pass starts after this many runs, trusted unread (the
  // sweep found the next one changed); -1: as the status says.
  int64_t restartRun = -1;
  // The sweep that verifies, between the waits, the runs an append pass
  // trusted: the runs left to verify before it rests (a whole sweep after
  // each pass that trusted runs unread), the next run it verifies, the
  // processor time (microseconds) and the bytes it may still take, when it
  // last ran, and its read buffer.
  size_t sweepLeft = 0;
  size_t sweepRun = 0;
  int64_t sweepCreditUs = 0;
  int64_t sweepCreditBytes = 0;
  int64_t sweptAtMs = -1;
  std::vector<unsigned char> sweepBuffer;
};

// Files of at least this many bytes (4 MiB by default) that grew are read
// from the end of their last run only, the rest verified by the sweep;
// smaller ones are verified whole at every pass. Tests lower it.
void SetWholeVerifyLimit(int64_t bytes);

// The sweep's processor time in microseconds for every millisecond that
// passes (5, half a percent of a core, by default; negative: the default),
// and the bytes it reads a second at least where that time allows (4 MiB,
// or the file in 30 s where that is more; not positive: the default). The
// pass benchmark sets 0 to time the passes alone.
void SetSweepRate(int64_t microsecondsPerMs, int64_t leastBytesPerS = 0);

// Reads the next line of the watched file through the view as the monitor
// shows and digests it (the console's text, whatever the file's encoding),
// its NUL bytes left out; *textLength (when given) gets its length. Null
// when the pass is over.
const char* NextLineText(FileView& view, const char* path, size_t* textLength = nullptr);

// Lists the whole file from line 1, storing every line's digest in the line
// table (which must hold none of its keys); the line counter ends at the count.
// A last line without its line end is shown when showOpen, else held back.
void ListAllLines(MonitorState& state, Console& console, bool showOpen);

// Runs the change cycle until the change wait fails (exit code 0), or
// returns 2 after maxWakeups wake-ups when maxWakeups is not negative. The
// folder going away or being replaced does not end it: the file is followed
// by its name.
int RunChangeCycle(MonitorState& state, const MonitorPlatform& platform, long maxWakeups);
