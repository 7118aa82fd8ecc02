#include "Monitor.h"

#include <cstring>

#include "ChangeCycle.h"
#include "KeyedTextTable.h"
#include "LineDigest.h"
#include "MonitorError.h"
#include "TextEncoding.h"

namespace {

// Lives as long as the process: the cycle keeps working on it.
MonitorState g_state;
// What LimitListings set: the last lines a listing shows, -1 for all.
int64_t g_shownLines = -1;
// What WaitForTheFile set: a file not there at start is waited for.
bool g_waitForTheFile = false;

int StartMonitor(int argc, char** argv, const MonitorPlatform& platform, long maxWakeups) {
  if (argc != 2) return 1;
  const char* path = argv[1];
  FileSystem& files = *platform.files;
  Console& console = *platform.console;
  SetPlatform(platform);
  MonitorState& state = g_state;
  state = MonitorState();
  state.path = path;
  state.shownLines = g_shownLines;

  const bool found = files.Status(path, &state.current) == 0;
  bool there = found && state.current.kind == FileStatus::kRegular;
  if (!there && !g_waitForTheFile) {
    // A folder or a device cannot be opened as the file; a missing file was
    // named by the caller's check.
    if (found || files.Exists(path) == 0) WriteMonitorError("[%s]はオープンできません\n", path);
    return 1;
  }
  FileHandle probe = there ? files.OpenShared(path) : kNoFile;
  if (probe != kNoFile) {
    // A status that says 0 bytes of a file that reads bytes (/proc, /sys)
    // would never show a change.
    char byte;
    int64_t got = state.current.size == 0 ? files.Read(probe, &byte, 1) : 0;
    files.Close(probe);
    if (got > 0) {
      WriteMonitorError("[%s]は大きさが0と報告されるため、変化を監視できません\n", path);
      return 1;
    }
  } else if (g_waitForTheFile) {
    there = false;
  }
  // -1 refuses the file (and says why); 0 means the test could not even run.
  if (there && DetectTextEncoding(path) != 1) return 1;
  if (there) state.saved = state.current;

  console.SetColour(kColourFirstListing);
  strncpy(state.watchedFolder, WatchedFolderOf(path), sizeof state.watchedFolder - 1);
  console.SetTitle(TitleOf(path));

  TableClear();
  SeedLineDigest();
  if (there) {
    ListAllLines(state, console, true);  // the file as found
    console.Flush();
  } else {
    // Listed in full by the cycle once it is there; what is under the name
    // now is what its first look compares with.
    const FileStatus::Kind kind = found ? state.current.kind : FileStatus::kRegular;
    state.current = FileStatus();
    state.current.kind = kind;
    state.fileFound = false;
  }
  state.listedCount = state.lineCounter;
  state.previousCount = state.lineCounter;
  return RunChangeCycle(state, platform, maxWakeups);
}

}  // namespace

void LimitListings(int64_t count) { g_shownLines = count < 0 ? -1 : count; }

void WaitForTheFile(bool wait) { g_waitForTheFile = wait; }

int MonitorMain(int argc, char** argv, const MonitorPlatform& platform) {
  int exitCode = StartMonitor(argc, argv, platform, -1);
  // The process ends with the cycle: hand the table's memory back first, so
  // that a leak check at exit finds nothing held.
  TableClear();
  return exitCode;
}

int MonitorMainBounded(int argc, char** argv, const MonitorPlatform& platform, long maxWakeups) {
  return StartMonitor(argc, argv, platform, maxWakeups < 0 ? 0 : maxWakeups);
}
