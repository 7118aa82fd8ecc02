// Lays the console monitors' windows over the 4 x 3 cell grid, finding each
// window by its title, the bare name of the file it watches.
#pragma once

#include <windows.h>

#include "DoubleByteText.h"

// What the window search looks for and where the window goes.
struct WindowSearchRecord {
  char title[kPathBufferSize];
  int x, y, width, height;
};

// EnumWindows callback: moves the first visible window titled exactly
// record->title (case significant) to the record's cell, on top, shown.
BOOL CALLBACK PlaceWindowByTitle(HWND window, LPARAM record);

// Every listed file in key order takes the next cell (modulo 12), with a
// pause of 100 ms after each.
void ArrangeMonitorWindows(int keyCounter);
