#include "Monitor.h"

#include <cstring>

#include "ChangeCycle.h"
#include "KeyedTextTable.h"
#include "LineDigest.h"
#include "TextEncoding.h"

namespace {

// Lives as long as the process: the cycle keeps working on it.
MonitorState g_state;
// What LimitListings set: the last lines a listing shows, -1 for all.
int64_t g_shownLines = -1;

int StartMonitor(int argc, char** argv, const MonitorPlatform& platform, long maxWakeups) {
  if (argc != 2) return 1;
  const char* path = argv[1];
  FileSystem& files = *platform.files;
  Console& console = *platform.console;
  SetPlatform(platform);
  if (files.Exists(path) != 0) return 1;
  // -1 refuses the file; 0 means the test could not even run.
  if (DetectTextEncoding(path) != 1) return 1;

  MonitorState& state = g_state;
  state = MonitorState();
  state.path = path;
  state.shownLines = g_shownLines;
  if (files.Status(path, &state.current) != 0) return 1;
  state.saved = state.current;

  console.SetColour(kColourFirstListing);
  strncpy(state.watchedFolder, WatchedFolderOf(path), sizeof state.watchedFolder - 1);
  console.SetTitle(TitleOf(path));

  TableClear();
  SeedLineDigest();
  ListAllLines(state, console, true);  // the file as found
  console.Flush();
  state.listedCount = state.lineCounter;
  state.previousCount = state.lineCounter;
  return RunChangeCycle(state, platform, maxWakeups);
}

}  // namespace

void LimitListings(int64_t count) { g_shownLines = count < 0 ? -1 : count; }

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
