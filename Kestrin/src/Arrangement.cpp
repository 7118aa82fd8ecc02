#include "Arrangement.h"

#include "DoubleByteText.h"
#include "KeyedTextTable.h"

WindowCell g_cells[kCellCount];

void ComputeCellTable(int screenWidth, int screenHeight) {
  int width = screenWidth / 4;
  int height = screenHeight / 3;
  for (int i = 0; i < kCellCount; ++i) {
    g_cells[i] = WindowCell{(i % 4) * width, (i / 4) * height, width, height};
  }
}

std::vector<PlannedWindow> PlanArrangement(int keyCounter) {
  std::vector<PlannedWindow> plan;
  int found = 0;
  for (int key = 0; key < keyCounter; ++key) {
    const char* path = TableFind(DecimalKey(key));
    if (path == nullptr) continue;
    const WindowCell& cell = g_cells[found % kCellCount];
    ++found;
    if (cell.width == 0 || cell.height == 0) continue;
    plan.push_back(PlannedWindow{FileNameOfUtf8Path(path), cell});
  }
  return plan;
}
