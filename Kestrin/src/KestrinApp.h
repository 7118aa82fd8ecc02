// The manager's application object: single instance, data folder, watch
// list, cell table, then the main dialog until it is closed.
#pragma once

#include "Framework.h"

class CKestrinApp : public CWinApp {
 public:
  CKestrinApp() = default;
  ~CKestrinApp() override = default;

  BOOL InitInstance() override;

  DECLARE_MESSAGE_MAP()
};

// The process's one application object (defined beside the entry point).
extern CKestrinApp theApp;

// Sets up the data folder and the watch list path. When "ProgramData" is
// missing or too long, tells the user why the manager cannot start and
// returns false.
bool PrepareWatchListPath();

// Loads the watch list. When the file is there but cannot be read, says so
// and lets the user try again; false when the user gives up, and the manager
// then does not start. A list or folder that is not plain is said once and
// refused (g_watchListRefused); the manager starts with an empty list.
bool ReadWatchListAtStart();
