// Lays the console monitors' windows over the 4 x 3 cell grid, finding each
// window by its title, the bare name of the file it watches.
#pragma once

#include <windows.h>

#include <vector>

#include "DoubleByteText.h"

// What the window search looks for and where the window goes.
struct WindowSearchRecord {
  char title[kPathBufferSize];
  int x, y, width, height;
  std::vector<HWND>* placed;  // windows this Arrange has moved; the match is added
};

// EnumWindows callback: moves the first visible window titled exactly
// record->title (case significant) that this Arrange has not placed yet to
// the record's cell, on top, shown.
BOOL CALLBACK PlaceWindowByTitle(HWND window, LPARAM record);

// Every listed file in key order takes the next cell (modulo 12), with a
// pause of 100 ms after each. Each window is placed at most once, so files
// of the same bare name take a window each.
void ArrangeMonitorWindows(int keyCounter);
