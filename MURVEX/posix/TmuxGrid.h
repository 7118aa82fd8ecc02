// Several files at once: one monitor per file, in the panes of tmux windows.
#pragma once

#include <vector>

#include "PosixPlatform.h"

// What each pane's monitor is given besides its file.
struct GridOptions {
  const char* lines = nullptr;  // -n, as given; null when not given
  const char* encoding = nullptr;  // --encoding, as given; null when not given
  ColourChoice colour = ColourChoice::kAuto;
  bool retry = false;  // -F: a file not there yet is awaited
};

// Opens `files` (already checked) in tmux, up to twelve panes a window,
// four columns by three rows, in the order given, each pane titled with its
// file's bare name. A pane whose monitor ends keeps what it said until a key
// is pressed in it. Inside tmux the windows open in the current session and
// this returns 0 (1 when tmux fails); outside, a new session is attached to
// the terminal and the process becomes its client. Without tmux it says so
// and returns 1.
int OpenGrid(const std::vector<const char*>& files, const GridOptions& options);
