// The monitor state shared by the entry (Monitor.cpp) and the change cycle.
#pragma once

#include <cstddef>
#include <cstdint>

#include "MonitorPlatform.h"

struct MonitorState {
  const char* path = nullptr;
  char watchedFolder[4096] = {};
  FileStatus current;
  FileStatus saved;
  bool fileFound = true;  // whether the last status call found the file
  int32_t lineCounter = 0;
  int32_t listedCount = 0;
  int32_t previousCount = 0;
};

// Reads the next line of the watched file as the monitor shows and stores it
// (the console's text, whatever the file's encoding), its NUL bytes left
// out; *textLength (when given) gets its length. Null when the pass is over.
const char* NextLineText(const char* path, size_t* textLength = nullptr);

// Lists the whole file from line 1, storing every line in the line table
// (which must hold none of its keys); the line counter ends at the count.
void ListAllLines(MonitorState& state, Console& console);

// Runs the change cycle until the change wait ends it (exit code 0), or
// returns 2 after maxWakeups wake-ups when maxWakeups is not negative.
int RunChangeCycle(MonitorState& state, const MonitorPlatform& platform, long maxWakeups);
