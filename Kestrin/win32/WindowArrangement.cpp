#include "WindowArrangement.h"

#include <algorithm>
#include <cstring>

#include "Arrangement.h"
#include "WideText.h"

BOOL CALLBACK PlaceWindowByTitle(HWND window, LPARAM parameter) {
  const WindowSearchRecord* record = reinterpret_cast<const WindowSearchRecord*>(parameter);
  if (!IsWindowVisible(window)) return TRUE;
  // By the wide title: the monitor sets it from the file's own name.
  wchar_t title[kPathBufferSize];
  if (GetWindowTextW(window, title, kPathBufferSize) < 0) return TRUE;
  if (Utf8FromWide(title) != record->title) return TRUE;
  std::vector<HWND>& placed = *record->placed;
  if (std::find(placed.begin(), placed.end(), window) != placed.end()) return TRUE;
  placed.push_back(window);
  SetWindowPos(window, HWND_TOP, record->x, record->y, record->width, record->height, SWP_SHOWWINDOW);
  return FALSE;
}

void ArrangeMonitorWindows(int keyCounter) {
  std::vector<HWND> placed;
  for (const PlannedWindow& planned : PlanArrangement(keyCounter)) {
    WindowSearchRecord record{};
    std::strncpy(record.title, planned.title.c_str(), sizeof record.title - 1);
    record.x = planned.cell.x;
    record.y = planned.cell.y;
    record.width = planned.cell.width;
    record.height = planned.cell.height;
    record.placed = &placed;
    EnumWindows(PlaceWindowByTitle, reinterpret_cast<LPARAM>(&record));
    Sleep(100);
  }
}
